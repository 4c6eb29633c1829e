// StreamSourceFilter: a bin with one StreamSourcePin element per described stream, each pin's
// src pad exposed on the bin as "src_<index>". The pins' caps come from their media types.
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "receiver/source_pins.h"

namespace vantorel::receiver::gst {

class StreamSourceFilter {
 public:
  // Nothing when an element cannot be made. `pins` must outlive the filter.
  static std::unique_ptr<StreamSourceFilter> Create(receiver::SourcePins& pins);
  StreamSourceFilter(const StreamSourceFilter&) = delete;
  StreamSourceFilter& operator=(const StreamSourceFilter&) = delete;

  GstElement* Bin() const { return bin_.get(); }
  std::size_t PinCount() const { return elements_.size(); }
  GstElement* PinElement(std::size_t index) const { return elements_[index].get(); }
  // The bin's pad for the pin.
  GstPad* PinPad(std::size_t index) const { return pads_[index]; }
  // Null when the pin's media type has no caps.
  const GstCaps* Caps(std::size_t index) const { return caps_[index].get(); }

  // Keeps a pin that nothing renders out of every state change, so that its streaming
  // thread never starts (and the bin's teardown never waits for it).
  void Park(std::size_t index);

 private:
  StreamSourceFilter() = default;
  media::ElementPtr bin_;
  std::vector<media::ElementPtr> elements_;
  std::vector<GstPad*> pads_;  // owned by the bin
  std::vector<media::CapsPtr> caps_;
};

}  // namespace vantorel::receiver::gst
