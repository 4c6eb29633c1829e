#include "platform/media/gst_debug.h"

namespace vantorel::media {

GstDebugCategory* DebugCategory() {
  static GstDebugCategory* const category = [] {
    GstDebugCategory* made = nullptr;
    GST_DEBUG_CATEGORY_INIT(made, "vantorel", 0, "Vantorel graphs and elements");
    return made;
  }();
  return category;
}

}  // namespace vantorel::media
