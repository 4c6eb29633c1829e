#include "tools/web/web_output.h"

#include <gst/app/gstappsrc.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>
#include <nice/agent.h>

#include <cstdio>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <utility>
#include <vector>

#include "platform/media/gst_debug.h"

namespace vantorel::web {

namespace {

using media::DebugCategory;

// Opus and H.264 payload types of the Janus mountpoint (docs/web.md).
constexpr int kJanusVideoPayload = 96;
constexpr int kJanusAudioPayload = 111;
// What waits for a viewer whose connection is slow: a second of pictures, then the oldest go.
constexpr guint64 kViewerQueueTime = GST_SECOND;
// How long an answer, with its candidates, may take.
constexpr guint kAnswerTimeout = 10;

// Runs `task` on the main context, at its next turn.
void PostToMain(std::function<void()> task) {
  auto* held = new std::function<void()>(std::move(task));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      held, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

GstElement* MakeElement(const char* factory, std::string& error) {
  GstElement* element = gst_element_factory_make(factory, nullptr);
  if (element == nullptr && error.empty()) error = std::string("no GStreamer element ") + factory;
  return element;
}

// The payloader and its caps for one kind of stream.
GstElement* MakePayloader(bool video, int payload, std::string& error) {
  GstElement* pay = MakeElement(video ? "rtph264pay" : "rtpopuspay", error);
  if (pay == nullptr) return nullptr;
  g_object_set(pay, "pt", static_cast<guint>(payload), nullptr);
  if (video) {
    // Parameter sets before every key frame: a viewer that joins starts at the next one.
    g_object_set(pay, "config-interval", -1, nullptr);
    gst_util_set_object_arg(G_OBJECT(pay), "aggregate-mode", "zero-latency");
  }
  return pay;
}

GstCaps* RtpCaps(bool video, int payload) {
  if (video) {
    return gst_caps_new_simple("application/x-rtp", "media", G_TYPE_STRING, "video",
                               "encoding-name", G_TYPE_STRING, "H264", "clock-rate", G_TYPE_INT,
                               90000, "payload", G_TYPE_INT, payload, nullptr);
  }
  return gst_caps_new_simple("application/x-rtp", "media", G_TYPE_STRING, "audio", "encoding-name",
                             G_TYPE_STRING, "OPUS", "clock-rate", G_TYPE_INT, 48000, "payload",
                             G_TYPE_INT, payload, nullptr);
}

// A queue that lets a slow branch lose its oldest buffers rather than hold the others up.
GstElement* MakeLeakyQueue(std::string& error) {
  GstElement* queue = MakeElement("queue", error);
  if (queue == nullptr) return nullptr;
  g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
               kViewerQueueTime, nullptr);
  gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
  return queue;
}

// Puts `elements` into `bin`, links them in order and gives the bin a sink pad `name` for the
// first. False when any step fails (the bin holds what was added).
bool AddChain(GstElement* bin, const std::vector<GstElement*>& elements, const char* name) {
  for (GstElement* e : elements) {
    if (e == nullptr) return false;
  }
  for (GstElement* e : elements) {
    if (!gst_bin_add(GST_BIN(bin), e)) return false;
  }
  for (std::size_t i = 1; i < elements.size(); ++i) {
    if (!gst_element_link(elements[i - 1], elements[i])) return false;
  }
  media::PadPtr sink(gst_element_get_static_pad(elements.front(), "sink"));
  GstPad* ghost = gst_ghost_pad_new(name, sink.get());
  return ghost != nullptr && gst_element_add_pad(bin, ghost);
}

// The candidates gathered so far into the answer text, when webrtcbin did not put them there.
std::string WithCandidates(std::string sdp,
                           const std::vector<std::pair<unsigned, std::string>>& candidates) {
  if (sdp.find("a=candidate:") != std::string::npos || candidates.empty()) return sdp;
  // Every media section ends where the next "m=" begins; the candidates go at its end.
  std::vector<std::size_t> ends;
  std::size_t at = sdp.find("\r\nm=");
  while (at != std::string::npos) {
    ends.push_back(at + 2);
    at = sdp.find("\r\nm=", at + 2);
  }
  ends.push_back(sdp.size());
  std::string out;
  std::size_t from = 0;
  for (std::size_t section = 0; section < ends.size(); ++section) {
    out.append(sdp, from, ends[section] - from);
    from = ends[section];
    if (section == 0) continue;  // the session part
    for (const auto& [line, text] : candidates) {
      if (line + 1 == section) out += "a=" + text + "\r\n";
    }
  }
  return out;
}

// UDP candidates only, and only of `addresses` when some are given. Keepalives that want an
// answer: a browser that went away without a word (a closed lid, a lost network) stops
// answering, its connection fails, and its place is given back.
void SetUpIce(GstElement* webrtc, const std::vector<std::string>& addresses) {
  GObject* ice = nullptr;
  g_object_get(webrtc, "ice-agent", &ice, nullptr);
  if (ice == nullptr) return;
  g_object_set(ice, "ice-tcp", FALSE, nullptr);
  NiceAgent* agent = nullptr;
  g_object_get(ice, "agent", &agent, nullptr);
  if (agent != nullptr) {
    g_object_set(agent, "keepalive-conncheck", TRUE, nullptr);
    for (const std::string& text : addresses) {
      NiceAddress address;
      nice_address_init(&address);
      if (nice_address_set_from_string(&address, text.c_str())) {
        nice_agent_add_local_address(agent, &address);
      }
    }
    g_object_unref(agent);
  }
  g_object_unref(ice);
}

}  // namespace

// One webrtcbin and its payloaders, or the Janus sender: a bin after both tees.
struct WebOutput::Branch {
  GstElement* tee = nullptr;  // owned by the pipeline
  media::PadPtr teePad;       // requested from the tee; released when the branch goes
};

struct WebOutput::Viewer {
  std::string id;
  GstElement* bin = nullptr;  // owned by the pipeline
  GstElement* webrtc = nullptr;
  std::vector<std::unique_ptr<Branch>> branches;
  Done done;                // until answered
  std::vector<bool> kinds;  // the streams it takes, true for video, linked once answered
  std::mutex lock;
  std::vector<std::pair<unsigned, std::string>> candidates;  // under lock
  bool failed = false;                                       // main thread
};

namespace {

// What a webrtcbin callback needs to find its viewer again, if both still exist.
struct ViewerRef {
  std::weak_ptr<WebOutput*> owner;
  std::string id;
};

}  // namespace

bool StartGstreamer() {
#if defined(__SANITIZE_ADDRESS__)
  // The registry that GStreamer loads at its start fills GLib's quark table, whose blocks GLib
  // drops unfreed when the table grows (the many names of the WebRTC elements make it grow):
  // never ours, and the leak checker looks away.
  __lsan_disable();
  const bool started = gst_init_check(nullptr, nullptr, nullptr);
  __lsan_enable();
  return started;
#else
  return gst_init_check(nullptr, nullptr, nullptr);
#endif
}

std::unique_ptr<WebOutput> WebOutput::Create(std::string& error) {
  if (!StartGstreamer()) {
    error = "GStreamer cannot start";
    return nullptr;
  }
  std::unique_ptr<WebOutput> output(new WebOutput());
  if (!output->Make(error)) return nullptr;
  return output;
}

bool WebOutput::Make(std::string& error) {
  pipeline_.reset(gst_pipeline_new("web"));
  if (!pipeline_) {
    error = "no pipeline";
    return false;
  }
  gst_object_ref_sink(pipeline_.get());
  GstElement* videoSrc = MakeElement("appsrc", error);
  GstElement* parse = MakeElement("h264parse", error);
  GstElement* videoTee = MakeElement("tee", error);
  GstElement* audioSrc = MakeElement("appsrc", error);
  GstElement* opusParse = MakeElement("opusparse", error);
  GstElement* audioTee = MakeElement("tee", error);
  GstBin* bin = GST_BIN(pipeline_.get());
  for (GstElement* e : {videoSrc, parse, videoTee, audioSrc, opusParse, audioTee}) {
    if (e == nullptr) return false;
    gst_bin_add(bin, e);
  }
  for (GstElement* src : {videoSrc, audioSrc}) {
    // Timed on arrival: the graph behind releases each buffer at its presentation time, and the
    // times of one graph have nothing to do with those of the next.
    g_object_set(src, "is-live", TRUE, "do-timestamp", TRUE, "format", GST_FORMAT_TIME, "max-bytes",
                 static_cast<guint64>(8 << 20), nullptr);
    gst_util_set_object_arg(G_OBJECT(src), "leaky-type", "downstream");
  }
  g_object_set(parse, "config-interval", -1, nullptr);
  for (GstElement* tee : {videoTee, audioTee}) g_object_set(tee, "allow-not-linked", TRUE, nullptr);
  if (!gst_element_link_many(videoSrc, parse, videoTee, nullptr) ||
      !gst_element_link_many(audioSrc, opusParse, audioTee, nullptr)) {
    error = "cannot link the web pipeline";
    return false;
  }
  videoSrc_ = videoSrc;
  audioSrc_ = audioSrc;
  videoTee_ = videoTee;
  audioTee_ = audioTee;
  // A browser that lost pictures asks for a key frame; the request stops at the source.
  media::PadPtr src(gst_element_get_static_pad(videoSrc, "src"));
  gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, &WebOutput::OnUpstreamEvent, this,
                    nullptr);
  bus_.reset(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
  gst_bus_set_sync_handler(bus_.get(), &WebOutput::OnBusMessage, nullptr, nullptr);
  if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    error = "the web pipeline does not start";
    return false;
  }
  return true;
}

// Nobody pops this bus: each message is looked at here and dropped.
GstBusSyncReply WebOutput::OnBusMessage(GstBus*, GstMessage* message, gpointer) {
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR ||
      GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
    GError* error = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
      gst_message_parse_error(message, &error, nullptr);
    } else {
      gst_message_parse_warning(message, &error, nullptr);
    }
    GST_CAT_WARNING_OBJECT(DebugCategory(), GST_MESSAGE_SRC(message), "web output: %s",
                           error != nullptr ? error->message : "unknown error");
    g_clear_error(&error);
  }
  gst_message_unref(message);
  return GST_BUS_DROP;
}

WebOutput::~WebOutput() {
  *self_ = nullptr;
  if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  if (bus_) gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
}

namespace {

// The sample again, its buffer timed anew by the source on arrival: each graph counts its own
// times, and the payloaders need times that only go forward.
void PushRetimed(GstElement* source, GstSample* sample) {
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (buffer == nullptr) return;
  GstBuffer* copy = gst_buffer_copy(buffer);  // shares the memory
  GST_BUFFER_PTS(copy) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_DURATION(copy) = GST_CLOCK_TIME_NONE;
  GstSample* retimed = gst_sample_new(copy, gst_sample_get_caps(sample), nullptr, nullptr);
  gst_buffer_unref(copy);
  gst_app_src_push_sample(GST_APP_SRC(source), retimed);
  gst_sample_unref(retimed);
}

}  // namespace

void WebOutput::PushVideo(GstSample* sample) {
  videoIn_.fetch_add(1);
  PushRetimed(videoSrc_, sample);
}

void WebOutput::PushAudio(GstSample* sample) {
  audioIn_.fetch_add(1);
  PushRetimed(audioSrc_, sample);
}

void WebOutput::SetKeyFrameRequest(KeyFrameRequest request) {
  std::lock_guard guard(lock_);
  keyFrame_ = std::move(request);
}

void WebOutput::AskKeyFrame() {
  keyFramesAsked_.fetch_add(1);
  std::lock_guard guard(lock_);
  if (keyFrame_) keyFrame_();
}

GstPadProbeReturn WebOutput::OnUpstreamEvent(GstPad*, GstPadProbeInfo* info, gpointer self) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (gst_video_event_is_force_key_unit(event)) static_cast<WebOutput*>(self)->AskKeyFrame();
  return GST_PAD_PROBE_OK;
}

std::unique_ptr<WebOutput::Branch> WebOutput::AddBranch(GstElement* tee, GstElement* bin,
                                                        const char* sinkName) {
  auto branch = std::make_unique<Branch>();
  branch->tee = tee;
  branch->teePad.reset(gst_element_request_pad_simple(tee, "src_%u"));
  media::PadPtr sink(gst_element_get_static_pad(bin, sinkName));
  if (!branch->teePad || !sink ||
      gst_pad_link(branch->teePad.get(), sink.get()) != GST_PAD_LINK_OK) {
    if (branch->teePad) gst_element_release_request_pad(tee, branch->teePad.get());
    return nullptr;
  }
  return branch;
}

void WebOutput::Offer(const std::string& id, const std::string& sdp, const OfferCodecs& codecs,
                      Done done) {
  auto fail = [this, &done](std::string why) {
    viewersFailed_.fetch_add(1);
    PostToMain([done = std::move(done), why = std::move(why)] { done({false, {}, why}); });
  };
  GstSDPMessage* message = nullptr;
  if (gst_sdp_message_new_from_text(sdp.c_str(), &message) != GST_SDP_OK ||
      gst_sdp_message_medias_len(message) == 0) {
    if (message != nullptr) gst_sdp_message_free(message);
    fail("the offer cannot be read");
    return;
  }
  GstWebRTCSessionDescription* offer =
      gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_OFFER, message);
  std::string error;
  auto viewer = std::make_unique<Viewer>();
  viewer->id = id;
  viewer->bin = gst_bin_new(nullptr);
  viewer->webrtc = MakeElement("webrtcbin", error);
  bool made = viewer->bin != nullptr && viewer->webrtc != nullptr &&
              gst_bin_add(GST_BIN(viewer->bin), viewer->webrtc);
  if (made) {
    gst_util_set_object_arg(G_OBJECT(viewer->webrtc), "bundle-policy", "max-bundle");
    // A LAN needs no STUN or TURN server, and none is asked.
    SetUpIce(viewer->webrtc, iceAddresses_);
  }
  struct Wanted {
    bool video;
    int payload;
  };
  std::vector<Wanted> wanted;
  // Sections in the offer's order, so each sink pad meets the transceiver of its kind.
  if (!codecs.videoMid.empty() && codecs.h264Payload >= 0)
    wanted.push_back({true, codecs.h264Payload});
  if (!codecs.audioMid.empty() && codecs.opusPayload >= 0)
    wanted.push_back({false, codecs.opusPayload});
  for (const Wanted& w : wanted) {
    if (!made) break;
    GstElement* queue = MakeLeakyQueue(error);
    GstElement* pay = MakePayloader(w.video, w.payload, error);
    made = AddChain(viewer->bin, {queue, pay}, w.video ? "video" : "audio");
    if (!made) break;
    GstCaps* caps = RtpCaps(w.video, w.payload);
    // Asked with its caps, the pad's transceiver knows its kind at once and meets the offer's
    // section of that kind.
    GstPadTemplate* templ =
        gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(viewer->webrtc), "sink_%u");
    GstPad* sink = gst_element_request_pad(viewer->webrtc, templ, nullptr, caps);
    media::PadPtr paySrc(gst_element_get_static_pad(pay, "src"));
    made = sink != nullptr && gst_pad_link(paySrc.get(), sink) == GST_PAD_LINK_OK;
    if (made) {
      GstWebRTCRTPTransceiver* transceiver = nullptr;
      g_object_get(sink, "transceiver", &transceiver, nullptr);
      if (transceiver != nullptr) {
        g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY,
                     "codec-preferences", caps, nullptr);
        gst_object_unref(transceiver);
      }
    }
    if (sink != nullptr) gst_object_unref(sink);
    gst_caps_unref(caps);
  }
  if (!made || wanted.empty()) {
    gst_webrtc_session_description_free(offer);
    if (viewer->bin != nullptr) gst_object_unref(gst_object_ref_sink(viewer->bin));
    fail(wanted.empty() ? "the offer takes neither H.264 nor Opus"
                        : (error.empty() ? "cannot make the viewer's elements" : error));
    return;
  }
  Viewer& v = *viewer;
  v.done = std::move(done);
  for (const Wanted& w : wanted) v.kinds.push_back(w.video);
  gst_bin_add(GST_BIN(pipeline_.get()), v.bin);
  viewers_[id] = std::move(viewer);
  viewersAdded_.fetch_add(1);

  auto ref = [this, &id] { return new ViewerRef{self_, id}; };
  auto free_ref = [](gpointer data, GClosure*) { delete static_cast<ViewerRef*>(data); };
  g_signal_connect_data(v.webrtc, "on-ice-candidate",
                        G_CALLBACK(+[](GstElement*, guint line, gchar* candidate, gpointer data) {
                          auto* r = static_cast<ViewerRef*>(data);
                          auto owner = r->owner.lock();
                          if (!owner || *owner == nullptr) return;
                          // Only read under the viewer's lock; the map itself is the main thread's.
                          PostToMain([owner, id = r->id, line, text = std::string(candidate)] {
                            if (*owner == nullptr) return;
                            auto it = (*owner)->viewers_.find(id);
                            if (it == (*owner)->viewers_.end()) return;
                            std::lock_guard guard(it->second->lock);
                            it->second->candidates.emplace_back(line, text);
                          });
                        }),
                        ref(), free_ref, GConnectFlags{});
  g_signal_connect_data(v.webrtc, "notify::ice-gathering-state",
                        G_CALLBACK(+[](GstElement* webrtc, GParamSpec*, gpointer data) {
                          GstWebRTCICEGatheringState state{};
                          g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
                          if (state != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE) return;
                          auto* r = static_cast<ViewerRef*>(data);
                          auto owner = r->owner.lock();
                          if (!owner) return;
                          GstWebRTCSessionDescription* local = nullptr;
                          g_object_get(webrtc, "local-description", &local, nullptr);
                          std::string text;
                          if (local != nullptr) {
                            gchar* sdpText = gst_sdp_message_as_text(local->sdp);
                            text = sdpText;
                            g_free(sdpText);
                            gst_webrtc_session_description_free(local);
                          }
                          // After the candidates told before it (the same queue of the main
                          // context).
                          PostToMain([owner, id = r->id, text = std::move(text)] {
                            if (*owner == nullptr) return;
                            WebOutput& self = **owner;
                            auto it = self.viewers_.find(id);
                            if (it == self.viewers_.end()) return;
                            std::vector<std::pair<unsigned, std::string>> candidates;
                            {
                              std::lock_guard guard(it->second->lock);
                              candidates = it->second->candidates;
                            }
                            if (text.empty()) {
                              self.FinishOffer(id, {false, {}, "no local description"});
                            } else {
                              self.FinishOffer(id, {true, WithCandidates(text, candidates), {}});
                            }
                          });
                        }),
                        ref(), free_ref, GConnectFlags{});
  g_signal_connect_data(v.webrtc, "notify::connection-state", G_CALLBACK(&WebOutput::OnViewerState),
                        ref(), free_ref, GConnectFlags{});

  gst_element_sync_state_with_parent(v.bin);
  // Whatever webrtcbin makes of the offer, the viewer hears within a few seconds.
  g_timeout_add_seconds_full(
      G_PRIORITY_DEFAULT, kAnswerTimeout,
      +[](gpointer data) -> gboolean {
        auto* r = static_cast<ViewerRef*>(data);
        auto owner = r->owner.lock();
        if (owner && *owner != nullptr) {
          (*owner)->FinishOffer(r->id, {false, {}, "no answer was made in time"});
        }
        return G_SOURCE_REMOVE;
      },
      ref(), [](gpointer data) { delete static_cast<ViewerRef*>(data); });

  // Remote offer, then the answer, then the answer as the local description; the candidates
  // gather from there, and the answer goes out once they are all in.
  struct Step {
    std::weak_ptr<WebOutput*> owner;
    std::string id;
    GstElement* webrtc;
  };
  auto* step = new Step{self_, id, v.webrtc};
  GstPromise* remoteSet = gst_promise_new_with_change_func(
      [](GstPromise* promise, gpointer data) {
        auto* s = static_cast<Step*>(data);
        const GstStructure* reply = gst_promise_get_reply(promise);
        GError* failed = nullptr;
        if (reply != nullptr && gst_structure_has_field(reply, "error")) {
          gst_structure_get(reply, "error", G_TYPE_ERROR, &failed, nullptr);
        }
        gst_promise_unref(promise);
        if (failed != nullptr) {
          std::string why = std::string("the offer was refused: ") + failed->message;
          g_error_free(failed);
          PostToMain([owner = s->owner, id = s->id, why] {
            auto o = owner.lock();
            if (o && *o != nullptr) (*o)->FinishOffer(id, {false, {}, why});
          });
          delete s;
          return;
        }
        GstPromise* answered = gst_promise_new_with_change_func(
            [](GstPromise* p, gpointer data2) {
              auto* s2 = static_cast<Step*>(data2);
              const GstStructure* r = gst_promise_get_reply(p);
              GstWebRTCSessionDescription* answer = nullptr;
              if (r != nullptr) {
                gst_structure_get(r, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &answer,
                                  nullptr);
              }
              gst_promise_unref(p);
              if (answer == nullptr) {
                PostToMain([owner = s2->owner, id = s2->id] {
                  auto o = owner.lock();
                  if (o && *o != nullptr) {
                    (*o)->FinishOffer(id, {false, {}, "no answer to the offer"});
                  }
                });
              } else {
                g_signal_emit_by_name(s2->webrtc, "set-local-description", answer, nullptr);
                gst_webrtc_session_description_free(answer);
              }
              delete s2;
            },
            s, nullptr);
        g_signal_emit_by_name(s->webrtc, "create-answer", nullptr, answered);
      },
      step, nullptr);
  g_signal_emit_by_name(v.webrtc, "set-remote-description", offer, remoteSet);
  gst_webrtc_session_description_free(offer);
}

void WebOutput::FinishOffer(const std::string& id, OfferResult result) {
  auto it = viewers_.find(id);
  if (it == viewers_.end() || !it->second->done) return;
  Done done = std::move(it->second->done);
  it->second->done = nullptr;
  if (!result.ok) {
    viewersFailed_.fetch_add(1);
    GST_CAT_WARNING(DebugCategory(), "viewer %s: %s", id.c_str(), result.error.c_str());
    DropViewer(id);
  } else {
    // webrtcbin holds its inputs until the answer is set; a branch linked before then would
    // hold the tee (and every other viewer) on its first query.
    Viewer& v = *it->second;
    for (const bool video : v.kinds) {
      auto branch = AddBranch(video ? videoTee_ : audioTee_, v.bin, video ? "video" : "audio");
      if (branch) v.branches.push_back(std::move(branch));
    }
    // The new viewer starts at a key frame.
    AskKeyFrame();
  }
  done(std::move(result));
}

void WebOutput::OnViewerState(GstElement* webrtc, GParamSpec*, gpointer data) {
  GstWebRTCPeerConnectionState state{};
  g_object_get(webrtc, "connection-state", &state, nullptr);
  if (state != GST_WEBRTC_PEER_CONNECTION_STATE_FAILED &&
      state != GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED) {
    return;
  }
  auto* r = static_cast<ViewerRef*>(data);
  PostToMain([owner = r->owner, id = r->id] {
    auto o = owner.lock();
    if (!o || *o == nullptr) return;
    WebOutput& self = **o;
    auto it = self.viewers_.find(id);
    if (it == self.viewers_.end() || it->second->failed) return;
    it->second->failed = true;
    self.viewersFailed_.fetch_add(1);
    GST_CAT_INFO(DebugCategory(), "viewer %s: the connection ended", id.c_str());
    self.DropViewer(id);
  });
}

bool WebOutput::Remove(const std::string& id) {
  if (viewers_.find(id) == viewers_.end()) return false;
  DropViewer(id);
  return true;
}

void WebOutput::DropViewer(const std::string& id) {
  auto it = viewers_.find(id);
  if (it == viewers_.end()) return;
  std::unique_ptr<Viewer> viewer = std::move(it->second);
  viewers_.erase(it);
  if (viewer->done) {
    Done done = std::move(viewer->done);
    PostToMain([done = std::move(done)] { done({false, {}, "the viewer left"}); });
  }
  Detach(*viewer);
}

void WebOutput::Detach(Viewer& viewer) {
  // The tees let go of the branch between two buffers; the bin stops apart from the rest.
  for (auto& branch : viewer.branches) {
    media::PadPtr peer(gst_pad_get_peer(branch->teePad.get()));
    if (peer) gst_pad_unlink(branch->teePad.get(), peer.get());
    gst_element_release_request_pad(branch->tee, branch->teePad.get());
  }
  viewer.branches.clear();
  gst_element_set_state(viewer.bin, GST_STATE_NULL);
  gst_bin_remove(GST_BIN(pipeline_.get()), viewer.bin);
}

std::size_t WebOutput::Viewers() const {
  return viewers_.size();
}

void WebOutput::PublishTo(const std::string& host, std::uint16_t videoPort,
                          std::uint16_t audioPort) {
  if (janus_) {
    Detach(*janus_);
    janus_.reset();
  }
  std::string error;
  auto sender = std::make_unique<Viewer>();
  sender->id = "janus";
  sender->bin = gst_bin_new("janus");
  bool made = sender->bin != nullptr;
  for (const bool video : {true, false}) {
    if (!made) break;
    GstElement* queue = MakeLeakyQueue(error);
    GstElement* pay = MakePayloader(video, video ? kJanusVideoPayload : kJanusAudioPayload, error);
    GstElement* udp = MakeElement("udpsink", error);
    if (udp != nullptr) {
      g_object_set(udp, "host", host.c_str(), "port",
                   static_cast<int>(video ? videoPort : audioPort), "sync", FALSE, "async", FALSE,
                   nullptr);
    }
    made = AddChain(sender->bin, {queue, pay, udp}, video ? "video" : "audio");
  }
  if (!made) {
    std::fprintf(stderr, "vantorel-web: cannot send to Janus: %s\n", error.c_str());
    if (sender->bin != nullptr) gst_object_unref(gst_object_ref_sink(sender->bin));
    return;
  }
  gst_bin_add(GST_BIN(pipeline_.get()), sender->bin);
  for (const bool video : {true, false}) {
    auto branch = AddBranch(video ? videoTee_ : audioTee_, sender->bin, video ? "video" : "audio");
    if (branch) sender->branches.push_back(std::move(branch));
  }
  gst_element_sync_state_with_parent(sender->bin);
  janus_ = std::move(sender);
  AskKeyFrame();
}

WebOutputStats WebOutput::Stats() const {
  WebOutputStats s;
  s.videoIn = videoIn_.load();
  s.audioIn = audioIn_.load();
  s.viewersAdded = viewersAdded_.load();
  s.viewersFailed = viewersFailed_.load();
  s.keyFramesAsked = keyFramesAsked_.load();
  return s;
}

}  // namespace vantorel::web
