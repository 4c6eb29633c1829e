// Owning pointers for GLib objects, for the parts of vantorel-web that use GLib without
// GStreamer (the HTTP server and the Janus client).
#pragma once

#include <glib-object.h>

#include <memory>

namespace vantorel::web {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

}  // namespace vantorel::web
