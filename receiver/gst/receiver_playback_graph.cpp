#include "receiver/gst/receiver_playback_graph.h"

#include "platform/media/gst_debug.h"
#include "platform/media/timing_log.h"
#include "protocol/saturating.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <thread>

namespace vantorel::receiver::gst {
namespace {

// Only the first two pins are rendered.
constexpr std::size_t kRenderedPins = 2;
// A null sink drops a buffer this late, as a video sink does.
constexpr gint64 kMaxLateness = 20 * GST_MSECOND;
// Decode margins kept per stream for the median; the worst is kept over every buffer.
constexpr std::size_t kMaxMargins = 1u << 16;

bool HasFactoryFor(const GstCaps* caps, GstElementFactoryListType type) {
  GList* all = gst_element_factory_list_get_elements(type, GST_RANK_MARGINAL);
  GList* taking = gst_element_factory_list_filter(all, caps, GST_PAD_SINK, FALSE);
  const bool found = taking != nullptr;
  gst_plugin_feature_list_free(taking);
  gst_plugin_feature_list_free(all);
  return found;
}

std::string CapsText(const GstCaps* caps) {
  if (caps == nullptr) return "none";
  media::GCharPtr text(gst_caps_to_string(caps));
  std::string out(text.get());
  // One word, so that report lines stay easy to split.
  out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
  return out;
}

guint64 DroppedBy(GstElement* sink) {
  if (sink == nullptr ||
      g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "stats") == nullptr) {
    return 0;
  }
  GstStructure* stats = nullptr;
  g_object_get(sink, "stats", &stats, nullptr);
  guint64 dropped = 0;
  if (stats != nullptr) {
    gst_structure_get_uint64(stats, "dropped", &dropped);
    gst_structure_free(stats);
  }
  return dropped;
}

// The sinks inside an output element (itself when it is a sink).
std::vector<media::ElementPtr> SinksOf(GstElement* output) {
  std::vector<media::ElementPtr> sinks;
  if (!GST_IS_BIN(output)) {
    sinks.push_back(media::RefObject(output));
    return sinks;
  }
  GstIterator* it = gst_bin_iterate_sinks(GST_BIN(output));
  GValue item = G_VALUE_INIT;
  while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
    sinks.push_back(media::RefObject(GST_ELEMENT(g_value_get_object(&item))));
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(it);
  return sinks;
}

class GstPlaybackGraph;

// The decoder and output of one rendered pin.
struct StreamChain {
  GstPlaybackGraph* graph = nullptr;
  std::size_t index = 0;
  receiver::SourcePin* pin = nullptr;
  GstElement* decodebin = nullptr;  // owned by the pipeline
  std::string caps;
  std::atomic<std::uint64_t> decoded{0};
  std::mutex lock;  // guards the fields below: streaming threads write, the owner reads
  bool video = false;
  std::vector<media::ElementPtr> sinks;
  std::vector<std::int64_t> margins;  // presentation time less decode time, ns
  std::int64_t worstMargin = std::numeric_limits<std::int64_t>::max();
};

// Made, run and stopped on the window thread; the callbacks below say where they run.
class GstPlaybackGraph : public receiver::RenderedGraph {
 public:
  GstPlaybackGraph(const ReceiverGraphOptions& options, std::atomic<bool>& noAudioDevice)
      : options_(options), noAudioDevice_(noAudioDevice) {}
  ~GstPlaybackGraph() override { Stop(); }

  bool Make(receiver::SourcePins& pins);
  void Run(Clock::time_point origin) override;
  void Stop() override;
  std::vector<receiver::StreamOutputStats> OutputStats() const override;

 private:
  void Render(std::size_t index, receiver::SourcePin& pin);
  GstElement* MakeOutput(bool video);
  void MarkFailed(GstObject* source);
  // decodebin's pad-added: on that decodebin's streaming thread.
  static void OnDecodedPad(GstElement* decodebin, GstPad* pad, gpointer chain);
  // Buffers out of a decoder: on its streaming thread.
  static GstPadProbeReturn OnDecodedBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer chain);
  // Bus sync handler: on whichever thread posts. Nobody pops this bus, so every message is
  // dropped here once looked at; a dropped message is ours to unref (it holds its source).
  static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);

  ReceiverGraphOptions options_;
  std::atomic<bool>& noAudioDevice_;
  media::ElementPtr pipeline_;
  media::BusPtr bus_;
  std::unique_ptr<StreamSourceFilter> filter_;
  std::vector<std::unique_ptr<StreamChain>> chains_;  // one per pin; fixed once made
  std::vector<receiver::StreamOutputStats> final_;
  bool stopped_ = false;
};

bool GstPlaybackGraph::Make(receiver::SourcePins& pins) {
  pipeline_.reset(gst_pipeline_new("receiver"));
  if (!pipeline_) return false;
  gst_object_ref_sink(pipeline_.get());
  filter_ = StreamSourceFilter::Create(pins);
  if (!filter_ || !gst_bin_add(GST_BIN(pipeline_.get()), filter_->Bin())) return false;
  bus_.reset(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
  gst_bus_set_sync_handler(bus_.get(), &GstPlaybackGraph::OnBusMessage, this, nullptr);
  for (std::size_t i = 0; i < pins.Count(); ++i) {
    auto chain = std::make_unique<StreamChain>();
    chain->graph = this;
    chain->index = i;
    chain->pin = &pins.Pin(i);
    chain->caps = CapsText(filter_->Caps(i));
    chains_.push_back(std::move(chain));
  }
  for (std::size_t i = 0; i < pins.Count(); ++i) Render(i, pins.Pin(i));
  return true;
}

// A pin with no decoder, or past the first two, is parked: its stream has no downstream and
// its packets are refused when routed.
void GstPlaybackGraph::Render(std::size_t index, receiver::SourcePin& pin) {
  const GstCaps* caps = filter_->Caps(index);
  if (index >= kRenderedPins || caps == nullptr || !CanDecode(caps)) {
    GST_CAT_INFO(media::DebugCategory(), "stream %zu is not rendered (caps %" GST_PTR_FORMAT ")",
                 index, caps);
    filter_->Park(index);
    return;
  }
  GstElement* decodebin = gst_element_factory_make("decodebin", nullptr);
  if (decodebin == nullptr || !gst_bin_add(GST_BIN(pipeline_.get()), decodebin)) {
    GST_CAT_WARNING(media::DebugCategory(), "stream %zu: no decoder element", index);
    filter_->Park(index);
    return;
  }
  media::PadPtr sink(gst_element_get_static_pad(decodebin, "sink"));
  if (gst_pad_link(filter_->PinPad(index), sink.get()) != GST_PAD_LINK_OK) {
    GST_CAT_WARNING(media::DebugCategory(), "stream %zu: cannot link its pin to the decoder",
                    index);
    filter_->Park(index);
    return;
  }
  StreamChain* chain = chains_[index].get();
  chain->decodebin = decodebin;
  g_signal_connect(decodebin, "pad-added", G_CALLBACK(&GstPlaybackGraph::OnDecodedPad), chain);
  pin.SetConnected(true);
}

GstElement* GstPlaybackGraph::MakeOutput(bool video) {
  if (options_.output == media::ReceiverOutput::kNullSinks) {
    GstElement* sink = media::MakeNullSink();
    if (sink != nullptr) g_object_set(sink, "max-lateness", kMaxLateness, "async", FALSE, nullptr);
    return sink;
  }
  if (video) return media::MakeVideoOutput(options_.videoFrames);
  bool noDevice = false;
  GstElement* output = media::MakeAudioOutput(noDevice, options_.audioLevel);
  if (noDevice) noAudioDevice_.store(true);
  return output;
}

void GstPlaybackGraph::OnDecodedPad(GstElement*, GstPad* pad, gpointer data) {
  auto* chain = static_cast<StreamChain*>(data);
  GstPlaybackGraph* self = chain->graph;
  media::CapsPtr caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
  const bool video = g_str_has_prefix(name, "video/");
  {
    std::lock_guard guard(chain->lock);
    if (!chain->sinks.empty()) return;  // one output per stream
    chain->video = video;
  }
  // The queue lets the decoder work ahead while the output waits for presentation times.
  GstElement* queue = gst_element_factory_make("queue", nullptr);
  GstElement* output = self->MakeOutput(video);
  if (queue == nullptr || output == nullptr ||
      !gst_bin_add(GST_BIN(self->pipeline_.get()), queue) ||
      !gst_bin_add(GST_BIN(self->pipeline_.get()), output) || !gst_element_link(queue, output)) {
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad, "no output for stream %zu", chain->index);
    chain->pin->SetConnected(false);
    return;
  }
  media::PadPtr sink(gst_element_get_static_pad(queue, "sink"));
  gst_element_sync_state_with_parent(output);
  gst_element_sync_state_with_parent(queue);
  if (gst_pad_link(pad, sink.get()) != GST_PAD_LINK_OK) {
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad, "cannot link stream %zu to its output",
                           chain->index);
    chain->pin->SetConnected(false);
    return;
  }
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &GstPlaybackGraph::OnDecodedBuffer, chain,
                    nullptr);
  std::lock_guard guard(chain->lock);
  chain->sinks = SinksOf(output);
}

GstPadProbeReturn GstPlaybackGraph::OnDecodedBuffer(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* chain = static_cast<StreamChain*>(data);
  chain->decoded.fetch_add(1);
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  const GstClockTime pts = GST_BUFFER_PTS(buffer);
  if (!GST_CLOCK_TIME_IS_VALID(pts)) return GST_PAD_PROBE_OK;
  const GstClockTime now = gst_element_get_current_running_time(chain->graph->pipeline_.get());
  if (!GST_CLOCK_TIME_IS_VALID(now)) return GST_PAD_PROBE_OK;
  // Unsigned times from the wire reach past the signed range: the margin stops at its ends.
  constexpr GstClockTime kFar = protocol::kTimeMax;
  const std::int64_t margin = pts >= now ? static_cast<std::int64_t>(std::min(pts - now, kFar))
                                         : -static_cast<std::int64_t>(std::min(now - pts, kFar));
  bool video = false;
  {
    std::lock_guard guard(chain->lock);
    video = chain->video;
    if (chain->margins.size() < kMaxMargins) chain->margins.push_back(margin);
    chain->worstMargin = std::min(chain->worstMargin, margin);
  }
  // Running time is the buffer time here: it is presented at the base time plus it.
  media::LogPresentation("receive", chain->graph->pipeline_.get(), video,
                         chain->pin->Logic().WireTime(static_cast<std::int64_t>(pts / 100)), pts);
  if (DecodeObserver* observer = chain->graph->options_.observer) {
    observer->OnDecoded(chain->index, video, pts, GST_BUFFER_DURATION(buffer), now);
  }
  return GST_PAD_PROBE_OK;
}

void GstPlaybackGraph::MarkFailed(GstObject* source) {
  for (auto& chain : chains_) {
    GstElement* pinElement = filter_->PinElement(chain->index);
    const bool inChain = GST_OBJECT(pinElement) == source ||
                         (chain->decodebin != nullptr &&
                          gst_object_has_as_ancestor(source, GST_OBJECT(chain->decodebin)));
    if (inChain) chain->pin->SetConnected(false);
  }
}

GstBusSyncReply GstPlaybackGraph::OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
  // A stream whose decoder or source failed stops taking packets.
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), GST_MESSAGE_SRC(message), "stream failed: %s",
                           error != nullptr ? error->message : "unknown error");
    g_clear_error(&error);
    static_cast<GstPlaybackGraph*>(data)->MarkFailed(GST_MESSAGE_SRC(message));
  }
  gst_message_unref(message);
  return GST_BUS_DROP;
}

void GstPlaybackGraph::Run(Clock::time_point origin) {
  if (!pipeline_ || stopped_) return;
  PlayFrom(pipeline_.get(), origin);
}

void GstPlaybackGraph::Stop() {
  if (stopped_ || !pipeline_) return;
  stopped_ = true;
  for (auto& chain : chains_) {
    receiver::StreamOutputStats s;
    s.rendered = chain->decodebin != nullptr;
    s.caps = chain->caps;
    std::lock_guard guard(chain->lock);
    for (const media::ElementPtr& sink : chain->sinks) s.late += DroppedBy(sink.get());
    final_.push_back(std::move(s));
  }
  gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  for (std::size_t i = 0; i < chains_.size(); ++i) {
    StreamChain& chain = *chains_[i];
    std::lock_guard guard(chain.lock);
    final_[i].decoded = chain.decoded.load();
    final_[i].video = chain.video;
    if (!chain.margins.empty()) {
      std::vector<std::int64_t> sorted = chain.margins;
      std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
      final_[i].medianMarginNs = sorted[sorted.size() / 2];
      final_[i].worstMarginNs = chain.worstMargin;
      final_[i].timed = chain.margins.size();
    }
    chain.sinks.clear();
  }
  if (bus_) {
    // Nobody pops this bus: a message left on it would keep its element alive.
    gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
    gst_bus_set_flushing(bus_.get(), TRUE);
  }
}

std::vector<receiver::StreamOutputStats> GstPlaybackGraph::OutputStats() const {
  return final_;
}

}  // namespace

void PlayFrom(GstElement* pipeline, std::chrono::steady_clock::time_point origin) {
  // The system clock reads the monotonic clock, as steady_clock does: the pipeline's base time
  // is the origin itself, and it keeps it across pauses.
  GstClock* clock = gst_system_clock_obtain();
  gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
  gst_object_unref(clock);
  const auto base = std::chrono::duration_cast<std::chrono::nanoseconds>(origin.time_since_epoch());
  gst_element_set_start_time(pipeline, GST_CLOCK_TIME_NONE);
  gst_element_set_base_time(pipeline, static_cast<GstClockTime>(base.count()));
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
}

bool CanDecode(const GstCaps* caps) {
  if (caps == nullptr || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) return false;
  const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
  if (g_str_equal(name, "video/x-raw") || g_str_equal(name, "audio/x-raw")) return true;
  return HasFactoryFor(caps, GST_ELEMENT_FACTORY_TYPE_DECODER) ||
         HasFactoryFor(caps, GST_ELEMENT_FACTORY_TYPE_PARSER);
}

namespace {

constexpr long kMaxBuildDelayMs = 5000;

// VANTOREL_BUILD_DELAY_MS, read once: how long each build waits before it hands over its graph.
std::chrono::milliseconds BuildDelay() {
  static const std::chrono::milliseconds delay = [] {
    const char* text = std::getenv("VANTOREL_BUILD_DELAY_MS");
    const long ms = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return std::chrono::milliseconds(std::clamp(ms, 0L, kMaxBuildDelayMs));
  }();
  return delay;
}

}  // namespace

std::unique_ptr<receiver::RenderedGraph> GstPlaybackGraphBuilder::Build(
    receiver::SourcePins& pins) {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  auto graph = std::make_unique<GstPlaybackGraph>(options_, noAudioDevice_);
  // A graph that could not be made is dropped whole; nothing of it is used.
  if (!graph->Make(pins)) return nullptr;
  // Emulates a slow decoder start, for the benchmarks only (bench/build_loss.sh).
  if (const auto delay = BuildDelay(); delay.count() > 0) std::this_thread::sleep_for(delay);
  return graph;
}

}  // namespace vantorel::receiver::gst
