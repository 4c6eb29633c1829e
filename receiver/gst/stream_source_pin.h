// StreamSourcePin: a live push source (GstPushSrc subclass) serving one described stream. Its
// `create` runs FillBuffer on the element's own streaming thread: it blocks in the pin's
// PacketQueue, applies the pin's packet rules, and hands out each sample's bytes without
// copying them. `unlock` stops the queue, so a blocked `create` returns at once.
#pragma once

#include <gst/gst.h>

#include "receiver/source_pins.h"

namespace vantorel::receiver::gst {

// A new pin element serving `pin` (borrowed: it must outlive the element) with these caps,
// fixated (the element keeps its own copy; null caps: the pin offers nothing and cannot be
// linked). Owned by the caller; null on failure.
GstElement* MakeStreamSourcePin(receiver::SourcePin& pin, const GstCaps* caps, const char* name);

// Nanoseconds from the wire's 100 ns units; GST_CLOCK_TIME_NONE for times before zero or
// beyond the clock's range.
GstClockTime ClockTimeFrom100ns(std::int64_t time);
// Nanoseconds from start to stop (100 ns units); GST_CLOCK_TIME_NONE unless the stop is after
// the start and the length is within the clock's range.
GstClockTime DurationFrom100ns(std::int64_t start, std::int64_t stop);

}  // namespace vantorel::receiver::gst
