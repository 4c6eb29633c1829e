#include "receiver/gst/stream_source_filter.h"

#include <string>

#include "platform/media/caps_conversion.h"
#include "receiver/gst/stream_source_pin.h"

namespace vantorel::receiver::gst {

std::unique_ptr<StreamSourceFilter> StreamSourceFilter::Create(receiver::SourcePins& pins) {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  std::unique_ptr<StreamSourceFilter> filter(new StreamSourceFilter());
  filter->bin_.reset(gst_bin_new("stream-source"));
  if (!filter->bin_) return nullptr;
  gst_object_ref_sink(filter->bin_.get());
  for (std::size_t i = 0; i < pins.Count(); ++i) {
    media::CapsPtr caps(media::CapsFromMediaType(pins.Pin(i).Logic().MediaType()));
    const std::string name = "PinSource_" + std::to_string(i);
    media::ElementPtr element(MakeStreamSourcePin(pins.Pin(i), caps.get(), name.c_str()));
    if (!element || !gst_bin_add(GST_BIN(filter->bin_.get()), element.get())) return nullptr;
    // The bin took a reference of its own; ours keeps the element until the filter goes.
    media::PadPtr target(gst_element_get_static_pad(element.get(), "src"));
    const std::string padName = "src_" + std::to_string(i);
    GstPad* ghost = gst_ghost_pad_new(padName.c_str(), target.get());
    if (ghost == nullptr || !gst_element_add_pad(filter->bin_.get(), ghost)) return nullptr;
    filter->elements_.push_back(std::move(element));
    filter->pads_.push_back(ghost);
    filter->caps_.push_back(std::move(caps));
  }
  return filter;
}

void StreamSourceFilter::Park(std::size_t index) {
  gst_element_set_locked_state(elements_[index].get(), TRUE);
}

}  // namespace vantorel::receiver::gst
