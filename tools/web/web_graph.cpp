#include "tools/web/web_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/gst_debug.h"
#include "platform/media/gst_ptr.h"
#include "receiver/gst/receiver_playback_graph.h"
#include "receiver/gst/stream_source_filter.h"
#include "sender/live_source.h"

namespace vantorel::web {

namespace {

using media::CapsPtr;
using media::DebugCategory;
using media::ElementPtr;
using media::PadPtr;

// Only the first two streams of a broadcast are played, as a receiver does.
constexpr std::size_t kRenderedPins = 2;
constexpr int kOpusBitrate = 96000;
// Profiles every browser decodes.
constexpr const char* kPassedProfiles[] = {"constrained-baseline", "baseline", "main"};

GstElement* MakeNamed(const char* factory) {
  return gst_element_factory_make(factory, nullptr);
}

bool AddAndLink(GstElement* pipeline, const std::vector<GstElement*>& chain) {
  for (GstElement* e : chain) {
    if (e == nullptr) return false;
  }
  for (GstElement* e : chain) gst_bin_add(GST_BIN(pipeline), e);
  for (std::size_t i = 1; i < chain.size(); ++i) {
    if (!gst_element_link(chain[i - 1], chain[i])) return false;
  }
  for (GstElement* e : chain) gst_element_sync_state_with_parent(e);
  return true;
}

class WebGraph;

// One rendered pin.
struct Chain {
  WebGraph* graph = nullptr;
  std::size_t index = 0;
  receiver::SourcePin* pin = nullptr;
  std::string caps;
  bool video = false;
  std::atomic<bool> linked{false};  // an output was linked; one per stream
  std::atomic<std::uint64_t> out{0};
  // H.264: the selector between sending the pictures as they are and encoding them again.
  GstElement* selector = nullptr;  // owned by the pipeline
  PadPtr passPad;
  PadPtr decodePad;
};

class WebGraph : public receiver::RenderedGraph {
 public:
  WebGraph(WebOutput& output, std::shared_ptr<WebGraphBuilder::Counters> counters)
      : output_(output), counters_(std::move(counters)) {}
  ~WebGraph() override { Stop(); }

  bool Make(receiver::SourcePins& pins);
  void Run(Clock::time_point origin) override;
  void Stop() override;
  std::vector<receiver::StreamOutputStats> OutputStats() const override { return final_; }

 private:
  void Render(std::size_t index);
  // Links `pad` (parsed H.264, or decoded pictures or sound) to the chain that suits it.
  void LinkOutput(Chain& chain, GstPad* pad);
  bool LinkVideoEncoder(Chain& chain, GstPad* pad, const GstCaps* caps);
  bool LinkAudioEncoder(Chain& chain, GstPad* pad);
  GstElement* MakeAppSink(Chain& chain, bool sync);
  void KeyFrame();
  static void OnPadAdded(GstElement*, GstPad* pad, gpointer chain);
  static GstPadProbeReturn OnParsedCaps(GstPad* pad, GstPadProbeInfo* info, gpointer chain);
  static GstFlowReturn OnSample(GstAppSink* sink, gpointer chain);
  static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer self);

  WebOutput& output_;
  std::shared_ptr<WebGraphBuilder::Counters> counters_;
  ElementPtr pipeline_;
  media::BusPtr bus_;
  std::unique_ptr<receiver::gst::StreamSourceFilter> filter_;
  std::vector<std::unique_ptr<Chain>> chains_;
  std::mutex lock_;
  ElementPtr encoder_;  // the video encoder once linked, under lock_
  std::vector<receiver::StreamOutputStats> final_;
  bool running_ = false;
  bool stopped_ = false;
};

bool WebGraph::Make(receiver::SourcePins& pins) {
  pipeline_.reset(gst_pipeline_new("web-reception"));
  if (!pipeline_) return false;
  gst_object_ref_sink(pipeline_.get());
  filter_ = receiver::gst::StreamSourceFilter::Create(pins);
  if (!filter_ || !gst_bin_add(GST_BIN(pipeline_.get()), filter_->Bin())) return false;
  bus_.reset(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
  gst_bus_set_sync_handler(bus_.get(), &WebGraph::OnBusMessage, this, nullptr);
  bool haveVideo = false;
  bool haveAudio = false;
  for (std::size_t i = 0; i < pins.Count(); ++i) {
    auto chain = std::make_unique<Chain>();
    chain->graph = this;
    chain->index = i;
    chain->pin = &pins.Pin(i);
    const GstCaps* caps = filter_->Caps(i);
    if (caps != nullptr && !gst_caps_is_empty(caps)) {
      gchar* text = gst_caps_to_string(caps);
      chain->caps = text;
      g_free(text);
      // MJPEG comes as image/jpeg: a picture all the same.
      const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
      chain->video = g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/");
    }
    chains_.push_back(std::move(chain));
  }
  for (std::size_t i = 0; i < pins.Count(); ++i) {
    Chain& chain = *chains_[i];
    const GstCaps* caps = filter_->Caps(i);
    bool& taken = chain.video ? haveVideo : haveAudio;
    if (i >= kRenderedPins || taken || caps == nullptr || !receiver::gst::CanDecode(caps)) {
      filter_->Park(i);
      continue;
    }
    taken = true;
    Render(i);
  }
  return true;
}

void WebGraph::Render(std::size_t index) {
  Chain& chain = *chains_[index];
  const GstCaps* caps = filter_->Caps(index);
  const bool h264 = gst_structure_has_name(gst_caps_get_structure(caps, 0), "video/x-h264");
  GstElement* first = nullptr;
  if (h264) {
    // Parsed into whole access units, then either sent as they are or decoded to be encoded
    // again: which, the profile tells once the parser knows it. Both ways are linked now; the
    // selector sends down one.
    // No caps filter after the parser: the source pin takes only the caps it was made with,
    // and a filter's wishes would reach it through the parser.
    GstElement* parse = MakeNamed("h264parse");
    GstElement* selector = MakeNamed("output-selector");
    GstElement* queue = MakeNamed("queue");
    GstElement* sink = MakeAppSink(chain, true);
    GstElement* decodebin = MakeNamed("decodebin");
    if (selector != nullptr)
      gst_util_set_object_arg(G_OBJECT(selector), "pad-negotiation-mode", "all");
    if (AddAndLink(pipeline_.get(), {parse, selector}) &&
        AddAndLink(pipeline_.get(), {queue, sink}) && AddAndLink(pipeline_.get(), {decodebin})) {
      chain.selector = selector;
      chain.passPad.reset(gst_element_request_pad_simple(selector, "src_%u"));
      chain.decodePad.reset(gst_element_request_pad_simple(selector, "src_%u"));
      PadPtr queueIn(gst_element_get_static_pad(queue, "sink"));
      PadPtr decodeIn(gst_element_get_static_pad(decodebin, "sink"));
      if (chain.passPad && chain.decodePad &&
          gst_pad_link(chain.passPad.get(), queueIn.get()) == GST_PAD_LINK_OK &&
          gst_pad_link(chain.decodePad.get(), decodeIn.get()) == GST_PAD_LINK_OK) {
        first = parse;
        g_signal_connect(decodebin, "pad-added", G_CALLBACK(&WebGraph::OnPadAdded), &chain);
        PadPtr src(gst_element_get_static_pad(parse, "src"));
        gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &WebGraph::OnParsedCaps,
                          &chain, nullptr);
      }
    }
  } else {
    first = MakeNamed("decodebin");
    if (first != nullptr) {
      gst_bin_add(GST_BIN(pipeline_.get()), first);
      g_signal_connect(first, "pad-added", G_CALLBACK(&WebGraph::OnPadAdded), &chain);
    }
  }
  PadPtr sink(first != nullptr ? gst_element_get_static_pad(first, "sink") : nullptr);
  if (!sink || gst_pad_link(filter_->PinPad(index), sink.get()) != GST_PAD_LINK_OK) {
    GST_CAT_WARNING(DebugCategory(), "web: stream %zu cannot be linked", index);
    filter_->Park(index);
    return;
  }
  chain.pin->SetConnected(true);
}

GstPadProbeReturn WebGraph::OnParsedCaps(GstPad*, GstPadProbeInfo* info, gpointer data) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
  auto* chain = static_cast<Chain*>(data);
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  const gchar* profile = gst_structure_get_string(gst_caps_get_structure(caps, 0), "profile");
  const bool passes = profile != nullptr &&
                      std::any_of(std::begin(kPassedProfiles), std::end(kPassedProfiles),
                                  [profile](const char* p) { return g_str_equal(p, profile); });
  // Before the caps go on: they go down the chosen way only.
  g_object_set(chain->selector, "active-pad",
               passes ? chain->passPad.get() : chain->decodePad.get(), nullptr);
  if (passes && !chain->linked.exchange(true)) chain->graph->counters_->passedThrough.fetch_add(1);
  GST_CAT_INFO(DebugCategory(), "web: H.264 profile %s %s", profile ? profile : "unknown",
               passes ? "passes through" : "is encoded again");
  return GST_PAD_PROBE_OK;
}

void WebGraph::OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
  auto* chain = static_cast<Chain*>(data);
  if (chain->linked.exchange(true)) return;
  chain->graph->LinkOutput(*chain, pad);
}

void WebGraph::LinkOutput(Chain& chain, GstPad* pad) {
  CapsPtr caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
  bool linked = false;
  if (g_str_has_prefix(name, "video/x-raw")) {
    linked = LinkVideoEncoder(chain, pad, caps.get());
  } else if (g_str_has_prefix(name, "audio/x-raw")) {
    linked = LinkAudioEncoder(chain, pad);
  }
  if (!linked) {
    GST_CAT_WARNING(DebugCategory(), "web: no output for stream %zu (%s)", chain.index, name);
    chain.pin->SetConnected(false);
  }
}

GstElement* WebGraph::MakeAppSink(Chain& chain, bool sync) {
  GstElement* sink = MakeNamed("appsink");
  if (sink == nullptr) return nullptr;
  // Released at the presentation time: a late buffer still goes, a browser may yet show it.
  g_object_set(sink, "sync", sync ? TRUE : FALSE, "async", FALSE, "max-lateness",
               static_cast<gint64>(-1), "qos", FALSE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = &WebGraph::OnSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &chain, nullptr);
  return sink;
}

bool WebGraph::LinkVideoEncoder(Chain& chain, GstPad* pad, const GstCaps* caps) {
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  int width = 0;
  int height = 0;
  int num = 25;
  int den = 1;
  gst_structure_get_int(s, "width", &width);
  gst_structure_get_int(s, "height", &height);
  gst_structure_get_fraction(s, "framerate", &num, &den);
  const int fps = den > 0 && num > 0 ? std::clamp(num / den, 1, 60) : 25;
  GstElement* queue = MakeNamed("queue");
  GstElement* convert = MakeNamed("videoconvert");
  GstElement* scale = MakeNamed("videoscale");
  GstElement* raw = MakeNamed("capsfilter");
  GstElement* clock = MakeNamed("clocksync");
  GstElement* encoder = MakeNamed("x264enc");
  GstElement* encoded = MakeNamed("capsfilter");
  GstElement* sink = MakeAppSink(chain, false);
  if (raw != nullptr) {
    // 4:2:0 needs even sizes.
    CapsPtr want(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr));
    if (width > 1 && height > 1) {
      gst_caps_set_simple(want.get(), "width", G_TYPE_INT, width & ~1, "height", G_TYPE_INT,
                          height & ~1, nullptr);
    }
    g_object_set(raw, "caps", want.get(), nullptr);
  }
  if (encoder != nullptr) {
    const int kbit =
        sender::LiveBitrateKbit(width > 0 ? width : 640, height > 0 ? height : 480, fps);
    gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "superfast");
    g_object_set(encoder, "bitrate", static_cast<guint>(kbit), "key-int-max",
                 static_cast<guint>(2 * fps), nullptr);
  }
  if (encoded != nullptr) {
    CapsPtr want(gst_caps_from_string(
        "video/x-h264,profile=constrained-baseline,stream-format=byte-stream,alignment=au"));
    g_object_set(encoded, "caps", want.get(), nullptr);
  }
  if (clock != nullptr) g_object_set(clock, "sync", TRUE, nullptr);
  if (!AddAndLink(pipeline_.get(), {queue, convert, scale, raw, clock, encoder, encoded, sink})) {
    return false;
  }
  auto count = [](GstPad*, GstPadProbeInfo*, gpointer counter) {
    static_cast<std::atomic<std::uint64_t>*>(counter)->fetch_add(1);
    return GST_PAD_PROBE_OK;
  };
  PadPtr encoderIn(gst_element_get_static_pad(encoder, "sink"));
  PadPtr encoderOut(gst_element_get_static_pad(encoder, "src"));
  gst_pad_add_probe(encoderIn.get(), GST_PAD_PROBE_TYPE_BUFFER, count, &counters_->framesIn,
                    nullptr);
  gst_pad_add_probe(encoderOut.get(), GST_PAD_PROBE_TYPE_BUFFER, count, &counters_->framesOut,
                    nullptr);
  {
    std::lock_guard guard(lock_);
    encoder_.reset(GST_ELEMENT(gst_object_ref(encoder)));
  }
  counters_->transcoded.fetch_add(1);
  PadPtr in(gst_element_get_static_pad(queue, "sink"));
  return gst_pad_link(pad, in.get()) == GST_PAD_LINK_OK;
}

bool WebGraph::LinkAudioEncoder(Chain& chain, GstPad* pad) {
  GstElement* queue = MakeNamed("queue");
  GstElement* convert = MakeNamed("audioconvert");
  GstElement* resample = MakeNamed("audioresample");
  GstElement* raw = MakeNamed("capsfilter");
  GstElement* clock = MakeNamed("clocksync");
  GstElement* encoder = MakeNamed("opusenc");
  GstElement* sink = MakeAppSink(chain, false);
  if (raw != nullptr) {
    CapsPtr want(gst_caps_from_string("audio/x-raw,rate=48000,channels=2"));
    g_object_set(raw, "caps", want.get(), nullptr);
  }
  if (clock != nullptr) g_object_set(clock, "sync", TRUE, nullptr);
  if (encoder != nullptr) g_object_set(encoder, "bitrate", kOpusBitrate, nullptr);
  if (!AddAndLink(pipeline_.get(), {queue, convert, resample, raw, clock, encoder, sink})) {
    return false;
  }
  PadPtr in(gst_element_get_static_pad(queue, "sink"));
  return gst_pad_link(pad, in.get()) == GST_PAD_LINK_OK;
}

GstFlowReturn WebGraph::OnSample(GstAppSink* sink, gpointer data) {
  auto* chain = static_cast<Chain*>(data);
  media::SamplePtr sample(gst_app_sink_pull_sample(sink));
  if (!sample) return GST_FLOW_OK;
  chain->out.fetch_add(1);
  if (chain->video) {
    chain->graph->output_.PushVideo(sample.get());
  } else {
    chain->graph->output_.PushAudio(sample.get());
  }
  return GST_FLOW_OK;
}

void WebGraph::KeyFrame() {
  std::lock_guard guard(lock_);
  if (!encoder_) return;
  PadPtr src(gst_element_get_static_pad(encoder_.get(), "src"));
  gst_pad_send_event(src.get(),
                     gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
}

GstBusSyncReply WebGraph::OnBusMessage(GstBus*, GstMessage* message, gpointer) {
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    GST_CAT_WARNING_OBJECT(DebugCategory(), GST_MESSAGE_SRC(message), "web: stream failed: %s",
                           error != nullptr ? error->message : "unknown error");
    g_clear_error(&error);
  }
  gst_message_unref(message);
  return GST_BUS_DROP;
}

void WebGraph::Run(Clock::time_point origin) {
  if (!pipeline_ || stopped_) return;
  // The receivers' clock and origin: a picture leaves here when their screens show it.
  receiver::gst::PlayFrom(pipeline_.get(), origin);
  if (!running_) {
    running_ = true;
    output_.SetKeyFrameRequest([this] { KeyFrame(); });
  }
}

void WebGraph::Stop() {
  if (stopped_ || !pipeline_) return;
  stopped_ = true;
  if (running_) output_.SetKeyFrameRequest(nullptr);
  gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  for (const auto& chain : chains_) {
    receiver::StreamOutputStats s;
    s.rendered = chain->linked.load();
    s.video = chain->video;
    s.caps = chain->caps;
    s.decoded = chain->out.load();
    final_.push_back(std::move(s));
  }
  {
    std::lock_guard guard(lock_);
    encoder_.reset();
  }
  if (bus_) {
    gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
    gst_bus_set_flushing(bus_.get(), TRUE);
  }
}

}  // namespace

std::unique_ptr<receiver::RenderedGraph> WebGraphBuilder::Build(receiver::SourcePins& pins) {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  auto graph = std::make_unique<WebGraph>(output_, counters_);
  if (!graph->Make(pins)) return nullptr;
  return graph;
}

WebGraphStats WebGraphBuilder::Stats() const {
  WebGraphStats s;
  s.passedThrough = counters_->passedThrough.load();
  s.transcoded = counters_->transcoded.load();
  s.framesIn = counters_->framesIn.load();
  s.framesOut = counters_->framesOut.load();
  return s;
}

}  // namespace vantorel::web
