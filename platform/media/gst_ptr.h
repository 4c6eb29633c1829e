// Owning pointers for GStreamer objects and mini objects, released by stateless deleters.
#pragma once

#include <gst/gst.h>

#include <memory>

namespace vantorel::media {

struct GstObjectUnref {
  void operator()(gpointer p) const { gst_object_unref(p); }
};
struct GstMiniObjectUnref {
  void operator()(GstMiniObject* p) const { gst_mini_object_unref(p); }
};
struct GstCapsUnref {
  void operator()(GstCaps* p) const { gst_caps_unref(p); }
};
struct GstMessageUnref {
  void operator()(GstMessage* p) const { gst_message_unref(p); }
};
struct GstQueryUnref {
  void operator()(GstQuery* p) const { gst_query_unref(p); }
};
struct GstSampleUnref {
  void operator()(GstSample* p) const { gst_sample_unref(p); }
};
struct GErrorFree {
  void operator()(GError* p) const { g_error_free(p); }
};
struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};

using ElementPtr = std::unique_ptr<GstElement, GstObjectUnref>;
using PadPtr = std::unique_ptr<GstPad, GstObjectUnref>;
using BusPtr = std::unique_ptr<GstBus, GstObjectUnref>;
using ClockPtr = std::unique_ptr<GstClock, GstObjectUnref>;
using CapsPtr = std::unique_ptr<GstCaps, GstCapsUnref>;
using MessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;
using QueryPtr = std::unique_ptr<GstQuery, GstQueryUnref>;
using SamplePtr = std::unique_ptr<GstSample, GstSampleUnref>;
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using GCharPtr = std::unique_ptr<gchar, GFree>;

// Takes a new reference to an object the caller only borrows.
template <typename T>
std::unique_ptr<T, GstObjectUnref> RefObject(T* object) {
  return std::unique_ptr<T, GstObjectUnref>(static_cast<T*>(gst_object_ref(object)));
}

}  // namespace vantorel::media
