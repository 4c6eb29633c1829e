// For measuring, not for users: when VANTOREL_TIMING_LOG names a file, every sample that
// reaches an output adds one line to it (appended, so that several programs may share one
// file):
//   present side=<send|receive> pid=<pid> stream=<video|audio> start=<the sample's start
//   on the wire, 100 ns> at-ns=<when it is presented, on the host's monotonic clock>
// A sample keeps its wire start from the sender to every receiver, so the lines of two
// programs on one host say how far apart they present it.
#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace vantorel::media {

// The sample of `element` at `runningTime` is presented at the element's base time plus it,
// on the element's clock, turned here into the monotonic clock. Thread-safe; does nothing
// when the variable is not set.
void LogPresentation(const char* side, GstElement* element, bool video, std::int64_t start100ns,
                     GstClockTime runningTime);

}  // namespace vantorel::media
