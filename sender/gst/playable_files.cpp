#include "sender/gst/playable_files.h"

#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

namespace vantorel::sender::gst {
namespace {

// Sound, pictures, and the containers whose media type does not say so.
bool IsMediaType(std::string_view name) {
  return name.starts_with("audio/") || name.starts_with("video/") || name == "application/ogg" ||
         name == "application/x-id3" || name == "application/mxf" ||
         name == "application/vnd.rn-realmedia";
}

}  // namespace

std::vector<std::string> PlayableExtensions() {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return {};
  GList* takers = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DEMUXER |
                                                            GST_ELEMENT_FACTORY_TYPE_PARSER |
                                                            GST_ELEMENT_FACTORY_TYPE_DECODER,
                                                        GST_RANK_MARGINAL);
  GList* finders = gst_type_find_factory_get_list();
  std::set<std::string> extensions;
  for (GList* item = finders; item != nullptr; item = item->next) {
    auto* finder = GST_TYPE_FIND_FACTORY(item->data);
    const gchar* const* names = gst_type_find_factory_get_extensions(finder);
    GstCaps* caps = gst_type_find_factory_get_caps(finder);  // not ours
    if (names == nullptr || caps == nullptr || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) {
      continue;
    }
    if (!IsMediaType(gst_structure_get_name(gst_caps_get_structure(caps, 0)))) continue;
    GList* taking = gst_element_factory_list_filter(takers, caps, GST_PAD_SINK, FALSE);
    const bool playable = taking != nullptr;
    gst_plugin_feature_list_free(taking);
    if (!playable) continue;
    for (const gchar* const* name = names; *name != nullptr; ++name) {
      std::string extension(*name);
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (!extension.empty()) extensions.insert(extension);
    }
  }
  gst_plugin_feature_list_free(finders);
  gst_plugin_feature_list_free(takers);
  // Elementary MPEG video also comes named after its version, which its type finder omits.
  if (extensions.contains("mpv")) extensions.insert({"m1v", "m2v"});
  return {extensions.begin(), extensions.end()};
}

}  // namespace vantorel::sender::gst
