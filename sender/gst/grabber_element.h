// The in-process GStreamer element behind each grabber: a passthrough, in-place
// GstBaseTransform that shows every segment and buffer to its owner and lets the buffer pass
// unchanged.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <optional>

#include "protocol/messages.h"

namespace vantorel::sender::gst {

class GrabberCallbacks {
 public:
  virtual ~GrabberCallbacks() = default;
  // The sink pad's SEGMENT event, before it travels on. Called on the streaming thread.
  virtual void NewSegment(const GstSegment& segment) = 0;
  // Each buffer, with the segment it belongs to. Called on the streaming thread.
  virtual void Transform(GstBuffer* buffer, const GstSegment& segment) = 0;
  // The sink pad has its (new) caps and the source pad is linked. Called on the streaming
  // thread.
  virtual void CapsReady(const GstCaps* caps) = 0;
};

// Registers the element type inside this process (idempotent). False when GStreamer is
// unusable.
bool RegisterGrabberElement();

// A new grabber element named `name` reporting to `callbacks` (not owned). The returned
// reference is the caller's (not floating); null on failure.
GstElement* MakeGrabberElement(const char* name, GrabberCallbacks* callbacks);

// Stops the element reporting to its callbacks; called by the owner before it goes away.
void DetachGrabberElement(GstElement* element);

// Asks downstream of the element's source pad how buffers of these caps are allocated;
// nothing when no element answers with a pool.
std::optional<protocol::AllocatorProperties> QueryDownstreamAllocation(GstElement* element,
                                                                       const GstCaps* caps);

// The pipeline clock the element runs against (the system clock before one is distributed),
// in nanoseconds.
GstClockTime ReadElementClock(GstElement* element);

}  // namespace vantorel::sender::gst
