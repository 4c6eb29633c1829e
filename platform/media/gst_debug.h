// The GStreamer debug category of our elements and graphs: GST_DEBUG=vantorel:4 shows what
// they refuse or fail to link, besides what they count.
#pragma once

#include <gst/gst.h>

namespace vantorel::media {

// The category, registered on first use (thread-safe).
GstDebugCategory* DebugCategory();

}  // namespace vantorel::media
