// The WebRTC output against a real peer: a second webrtcbin plays the browser's part. It offers
// to receive, the output answers with every candidate inside, and the peer decodes what comes.
// ICE runs on the loopback address alone.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>
#include <gtest/gtest.h>
#include <nice/agent.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/gst_ptr.h"
#include "tools/web/sdp_offer.h"
#include "tools/web/web_output.h"

namespace vantorel::web {
namespace {

using media::ElementPtr;

// Runs the default main context until `done` or about `seconds` have passed.
template <typename Done>
bool RunUntil(Done done, int seconds) {
  const gint64 until = g_get_monotonic_time() + seconds * G_USEC_PER_SEC;
  while (!done() && g_get_monotonic_time() < until) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(2000);
  }
  return done();
}

// A live H.264 picture and an Opus tone, pushed into the output as a reception graph would.
class Source {
 public:
  explicit Source(WebOutput& output) : output_(output) {
    pipeline_.reset(gst_parse_launch(
        "videotestsrc is-live=true pattern=ball ! video/x-raw,width=320,height=240,framerate=30/1"
        " ! x264enc name=encoder tune=zerolatency speed-preset=ultrafast key-int-max=300"
        " ! video/x-h264,profile=constrained-baseline,stream-format=byte-stream,alignment=au"
        " ! appsink name=video sync=false"
        " audiotestsrc is-live=true ! audio/x-raw,rate=48000,channels=2 ! opusenc"
        " ! appsink name=audio sync=false",
        nullptr));
    Hook("video", true);
    Hook("audio", false);
    // As a reception graph does: a key frame whenever the output asks.
    output.SetKeyFrameRequest([this] {
      ElementPtr encoder(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "encoder"));
      media::PadPtr src(gst_element_get_static_pad(encoder.get(), "src"));
      gst_pad_send_event(src.get(),
                         gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    });
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
  }
  ~Source() {
    output_.SetKeyFrameRequest(nullptr);
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  }

 private:
  void Hook(const char* name, bool video) {
    ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline_.get()), name));
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = video ? &Source::OnVideo : &Source::OnAudio;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
  }
  static GstFlowReturn OnVideo(GstAppSink* sink, gpointer self) {
    media::SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (sample) static_cast<Source*>(self)->output_.PushVideo(sample.get());
    return GST_FLOW_OK;
  }
  static GstFlowReturn OnAudio(GstAppSink* sink, gpointer self) {
    media::SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (sample) static_cast<Source*>(self)->output_.PushAudio(sample.get());
    return GST_FLOW_OK;
  }
  WebOutput& output_;
  ElementPtr pipeline_;
};

// The browser: offers to receive H.264 and Opus, and counts the pictures it decodes.
class Peer {
 public:
  Peer() {
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("peer"))));
    webrtc_ = gst_element_factory_make("webrtcbin", nullptr);
    gst_bin_add(GST_BIN(pipeline_.get()), webrtc_);
    gst_util_set_object_arg(G_OBJECT(webrtc_), "bundle-policy", "max-bundle");
    GObject* ice = nullptr;
    g_object_get(webrtc_, "ice-agent", &ice, nullptr);
    NiceAgent* agent = nullptr;
    g_object_get(ice, "agent", &agent, nullptr);
    NiceAddress loopback;
    nice_address_init(&loopback);
    nice_address_set_from_string(&loopback, "127.0.0.1");
    nice_agent_add_local_address(agent, &loopback);
    g_object_unref(agent);
    g_object_unref(ice);
    AddTransceiver(
        "application/x-rtp,media=video,encoding-name=H264,clock-rate=90000,payload=102,"
        "packetization-mode=(string)1,profile-level-id=(string)42e01f");
    AddTransceiver(
        "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,payload=111,"
        "encoding-params=(string)2");
    g_signal_connect(webrtc_, "pad-added", G_CALLBACK(&Peer::OnPad), this);
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
  }
  ~Peer() { gst_element_set_state(pipeline_.get(), GST_STATE_NULL); }

  // The offer with every candidate, or nothing.
  std::optional<std::string> Offer() {
    GstPromise* promise = gst_promise_new();
    g_signal_emit_by_name(webrtc_, "create-offer", nullptr, promise);
    gst_promise_wait(promise);
    GstWebRTCSessionDescription* offer = nullptr;
    gst_structure_get(gst_promise_get_reply(promise), "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION,
                      &offer, nullptr);
    gst_promise_unref(promise);
    if (offer == nullptr) return std::nullopt;
    g_signal_emit_by_name(webrtc_, "set-local-description", offer, nullptr);
    gst_webrtc_session_description_free(offer);
    const bool gathered = RunUntil(
        [this] {
          GstWebRTCICEGatheringState state{};
          g_object_get(webrtc_, "ice-gathering-state", &state, nullptr);
          return state == GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE;
        },
        10);
    if (!gathered) return std::nullopt;
    GstWebRTCSessionDescription* local = nullptr;
    g_object_get(webrtc_, "local-description", &local, nullptr);
    gchar* text = gst_sdp_message_as_text(local->sdp);
    std::string sdp = text;
    g_free(text);
    gst_webrtc_session_description_free(local);
    return sdp;
  }

  void Answer(const std::string& sdp) {
    GstSDPMessage* message = nullptr;
    ASSERT_EQ(gst_sdp_message_new_from_text(sdp.c_str(), &message), GST_SDP_OK);
    GstWebRTCSessionDescription* answer =
        gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_ANSWER, message);
    g_signal_emit_by_name(webrtc_, "set-remote-description", answer, nullptr);
    gst_webrtc_session_description_free(answer);
  }

  std::uint64_t Pictures() const { return pictures_.load(); }
  int State() const {
    GstWebRTCPeerConnectionState state{};
    g_object_get(webrtc_, "connection-state", &state, nullptr);
    return static_cast<int>(state);
  }
  std::uint64_t Sounds() const { return sounds_.load(); }

 private:
  void AddTransceiver(const char* caps) {
    GstCaps* want = gst_caps_from_string(caps);
    GstWebRTCRTPTransceiver* transceiver = nullptr;
    g_signal_emit_by_name(webrtc_, "add-transceiver", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY,
                          want, &transceiver);
    gst_caps_unref(want);
    if (transceiver != nullptr) gst_object_unref(transceiver);
  }
  static void OnPad(GstElement*, GstPad* pad, gpointer data) {
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
    auto* self = static_cast<Peer*>(data);
    GstElement* decode = gst_element_factory_make("decodebin", nullptr);
    gst_bin_add(GST_BIN(self->pipeline_.get()), decode);
    g_signal_connect(decode, "pad-added", G_CALLBACK(&Peer::OnDecoded), self);
    gst_element_sync_state_with_parent(decode);
    media::PadPtr sink(gst_element_get_static_pad(decode, "sink"));
    gst_pad_link(pad, sink.get());
  }
  static void OnDecoded(GstElement*, GstPad* pad, gpointer data) {
    auto* self = static_cast<Peer*>(data);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(self->pipeline_.get()), sink);
    gst_element_sync_state_with_parent(sink);
    media::PadPtr in(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, in.get());
    media::CapsPtr caps(gst_pad_query_caps(pad, nullptr));
    const bool video =
        g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "video/");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer counter) {
          static_cast<std::atomic<std::uint64_t>*>(counter)->fetch_add(1);
          return GST_PAD_PROBE_OK;
        },
        video ? &self->pictures_ : &self->sounds_, nullptr);
  }

  ElementPtr pipeline_;
  GstElement* webrtc_ = nullptr;  // owned by the pipeline
  std::atomic<std::uint64_t> pictures_{0};
  std::atomic<std::uint64_t> sounds_{0};
};

class WebOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartGstreamer());
    std::string error;
    output_ = WebOutput::Create(error);
    ASSERT_TRUE(output_) << error;
    output_->SetIceAddresses({"127.0.0.1"});
  }

  // Offers, waits for the answer and hands it to the peer; the answer's text.
  std::string Connect(Peer& peer, const std::string& id) {
    const std::optional<std::string> offer = peer.Offer();
    EXPECT_TRUE(offer);
    if (!offer) return {};
    const OfferCheck check = ReadOffer(*offer);
    EXPECT_TRUE(check.ok) << check.error;
    std::optional<OfferResult> result;
    output_->Offer(id, *offer, check.codecs, [&result](OfferResult r) { result = std::move(r); });
    EXPECT_TRUE(RunUntil([&result] { return result.has_value(); }, 15));
    if (!result) return {};
    EXPECT_TRUE(result->ok) << result->error;
    if (result->ok) peer.Answer(result->sdp);
    return result->sdp;
  }

  std::unique_ptr<WebOutput> output_;
};

TEST_F(WebOutputTest, AViewerDecodesPicturesAndSoundFromOneSharedStream) {
  Source source(*output_);
  Peer first;
  Peer second;
  const std::string answer = Connect(first, "first");
  // No trickle: every candidate travels in the answer.
  EXPECT_NE(answer.find("a=candidate:"), std::string::npos) << answer;
  EXPECT_NE(answer.find("a=sendonly"), std::string::npos);
  Connect(second, "second");
  EXPECT_EQ(output_->Viewers(), 2u);
  EXPECT_TRUE(RunUntil([&] { return first.Pictures() >= 20 && second.Pictures() >= 20; }, 20))
      << first.Pictures() << " and " << second.Pictures() << " pictures, " << first.Sounds()
      << " sounds, video in " << output_->Stats().videoIn << ", state " << first.State();
  EXPECT_GT(first.Sounds(), 0u);
  // A viewer joining asked for a key frame.
  EXPECT_GE(output_->Stats().keyFramesAsked, 2u);

  // One leaves; the other keeps receiving.
  EXPECT_TRUE(output_->Remove("first"));
  EXPECT_FALSE(output_->Remove("first"));
  EXPECT_EQ(output_->Viewers(), 1u);
  const std::uint64_t seen = second.Pictures();
  EXPECT_TRUE(RunUntil([&] { return second.Pictures() >= seen + 20; }, 10));
}

TEST_F(WebOutputTest, AnOfferThatCannotBeAnsweredFailsAndLeavesNoViewer) {
  std::optional<OfferResult> result;
  OfferCodecs codecs;
  codecs.videoMid = "0";
  codecs.h264Payload = 102;
  output_->Offer("bad", "v=0\r\nthis is no session description\r\n", codecs,
                 [&result](OfferResult r) { result = std::move(r); });
  ASSERT_TRUE(RunUntil([&result] { return result.has_value(); }, 10));
  EXPECT_FALSE(result->ok);
  EXPECT_FALSE(result->error.empty());
  EXPECT_EQ(output_->Viewers(), 0u);
}

}  // namespace
}  // namespace vantorel::web
