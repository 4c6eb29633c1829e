// What GStreamer's leaks tracer counts alive, by type. A rebuilt or reopened graph must leave
// nothing behind: the objects a dropped bus message keeps alive stay reachable, so only the
// tracer sees them, not the leak sanitizer.
#pragma once

#include <gst/gst.h>

#include <cstdlib>
#include <map>
#include <string>

namespace vantorel::testing {

// Names the leaks tracer for GStreamer to start with; call before gst_init (a namespace-scope
// initialiser in the test file does).
inline bool RequestLeaksTracer() {
  return setenv("GST_TRACERS", "leaks", 0) == 0;
}

// Counts, by type, the objects made and freed between Start and Grown. The tracer's
// checkpoints hold type names and addresses only: unlike its list of live objects, they take
// no part in the objects' reference counts.
class LiveObjects {
 public:
  LiveObjects() {
    gst_init(nullptr, nullptr);
    GList* tracers = gst_tracing_get_active_tracers();
    for (GList* l = tracers; l != nullptr; l = l->next) {
      if (tracer_ == nullptr && g_str_equal(G_OBJECT_TYPE_NAME(l->data), "GstLeaksTracer")) {
        tracer_ = GST_TRACER(gst_object_ref(l->data));
      }
    }
    g_list_free_full(tracers, gst_object_unref);
  }
  ~LiveObjects() {
    if (tracer_ == nullptr) return;
    if (tracking_) g_signal_emit_by_name(tracer_, "activity-stop-tracking");
    gst_object_unref(tracer_);
  }
  LiveObjects(const LiveObjects&) = delete;
  LiveObjects& operator=(const LiveObjects&) = delete;

  // False when GStreamer started before RequestLeaksTracer (another test in the process).
  bool Active() const { return tracer_ != nullptr; }

  void Start() {
    g_signal_emit_by_name(tracer_, "activity-start-tracking");
    tracking_ = true;
  }

  // "Type +n" for each type with n more objects made than freed since Start: empty when
  // everything made since then is gone again. Streaming threads let go of their last
  // references just after a pipeline has stopped, so this waits up to two seconds for the
  // count to settle.
  std::string Grown() {
    std::string grown;
    for (int i = 0; i < 100; ++i) {
      grown = Checkpoint();
      if (grown.empty()) break;
      g_usleep(20000);
    }
    return grown;
  }

 private:
  std::string Checkpoint() {
    GstStructure* checkpoint = nullptr;
    g_signal_emit_by_name(tracer_, "activity-get-checkpoint", &checkpoint);
    if (checkpoint == nullptr) return "no checkpoint\n";
    Tally(checkpoint, "objects-created-list", +1, net_);
    Tally(checkpoint, "objects-removed-list", -1, net_);
    gst_structure_free(checkpoint);
    std::string out;
    for (const auto& [type, n] : net_) {
      if (n > 0) out += type + " +" + std::to_string(n) + "\n";
    }
    return out;
  }

  static void Tally(const GstStructure* checkpoint, const char* field, int step,
                    std::map<std::string, int>& net) {
    const GValue* list = gst_structure_get_value(checkpoint, field);
    for (guint i = 0; list != nullptr && i < gst_value_list_get_size(list); ++i) {
      const GstStructure* entry = gst_value_get_structure(gst_value_list_get_value(list, i));
      if (const gchar* type = gst_structure_get_string(entry, "type-name")) net[type] += step;
    }
  }

  GstTracer* tracer_ = nullptr;
  bool tracking_ = false;
  std::map<std::string, int> net_;  // made less freed since Start, by type
};

}  // namespace vantorel::testing
