// How GstMediaGraph captures and encodes a live source. Each device is a bin that ends in a
// ghost "src" pad giving a stream the wire carries as it carries a file's: H.264 byte stream
// for the picture, 16-bit PCM for the sound. The bin's pad is then treated as parsebin's pads
// are: its CAPS event builds the stream's path (grabber, preview or null sink).
#include <gst/gst.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/media/gst_debug.h"
#include "sender/gst/gst_media_graph.h"

namespace vantorel::sender::gst {

namespace {

constexpr GstClockTime kLiveStartTimeout = 10 * GST_SECOND;
constexpr GstClockTime kLiveDecoderSettle = 2 * GST_SECOND;
// The picture the encoder takes: even sizes (4:2:0), square pixels, within the largest size.
constexpr const char* kEncoderInput =
    "video/x-raw,format=I420,width=(int)[16,1920,2],height=(int)[16,1080,2],"
    "pixel-aspect-ratio=1/1";
constexpr const char* kEncodedVideo = "video/x-h264,stream-format=byte-stream,alignment=au";
// The wave format the receivers play without a decoder: 16-bit PCM at 48 kHz.
constexpr const char* kMicrophoneOutput =
    "audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=(int)[1,2]";
// A camera's picture: JPEG first, as most cameras give their larger sizes at full rate only so.
constexpr const char* kCameraInput =
    "image/jpeg,width=(int)[1,1920],height=(int)[1,1080];"
    "video/x-raw,width=(int)[1,1920],height=(int)[1,1080]";
constexpr const char* kTestCameraPicture = "video/x-raw,width=640,height=480";
// Sound is cut into 10 ms buffers: short enough to add no delay of note.
constexpr int kTestToneSamplesPerBuffer = 480;
constexpr double kTestToneVolume = 0.2;
constexpr double kTestToneFrequency = 440;
// The capture queue holds at most this many frames; older ones are dropped when the encoder
// falls behind, so that the picture stays live.
constexpr guint kCaptureQueueFrames = 2;

GstElement* Make(const char* factory) {
  return gst_element_factory_make(factory, nullptr);
}

GstElement* MakeCapsFilter(const std::string& caps) {
  GstElement* filter = Make("capsfilter");
  if (filter == nullptr) return nullptr;
  media::CapsPtr parsed(gst_caps_from_string(caps.c_str()));
  g_object_set(filter, "caps", parsed.get(), nullptr);
  return filter;
}

// Adds the elements to the bin and links them in order. False when one is missing (the others
// are then released) or a link fails.
bool AddChain(GstElement* bin, const std::vector<GstElement*>& chain) {
  bool complete = true;
  for (GstElement* e : chain) complete = complete && e != nullptr;
  if (!complete) {
    for (GstElement* e : chain) {
      if (e != nullptr) gst_object_unref(gst_object_ref_sink(e));
    }
    return false;
  }
  GstElement* previous = nullptr;
  for (GstElement* e : chain) {
    gst_bin_add(GST_BIN(bin), e);
    if (previous != nullptr && !gst_element_link(previous, e)) return false;
    previous = e;
  }
  return true;
}

// Ends the bin with a ghost "src" pad for the last element's; the bin is released on failure.
GstElement* Finish(GstElement* bin, GstElement* last) {
  media::PadPtr src(gst_element_get_static_pad(last, "src"));
  if (!src || !gst_element_add_pad(bin, gst_ghost_pad_new("src", src.get()))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

// The encoder's rate, where none was given, follows the picture it gets; set before the
// encoder opens with those caps.
GstPadProbeReturn OnEncoderCaps(GstPad* pad, GstPadProbeInfo* info, gpointer) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  gint width = 0, height = 0, num = 0, den = 1;
  gst_structure_get_int(s, "width", &width);
  gst_structure_get_int(s, "height", &height);
  if (!gst_structure_get_fraction(s, "framerate", &num, &den) || num <= 0 || den <= 0) {
    num = sender::kLiveFramesPerSecond;
    den = 1;
  }
  media::ElementPtr encoder(gst_pad_get_parent_element(pad));
  if (encoder) {
    const int kbit = sender::LiveBitrateKbit(width, height, (num + den - 1) / den);
    g_object_set(encoder.get(), "bitrate", static_cast<guint>(kbit), nullptr);
  }
  return GST_PAD_PROBE_OK;
}

// Converts, scales and encodes raw video into H.264 for the wire: zero-latency tuning (no
// frame is held back), a key frame every second so that a receiver that joins late starts
// within one. `rateControl` paces a source that does not pace itself. The chain's last element,
// or null.
GstElement* AddVideoEncoder(GstElement* bin, GstElement* rawSource,
                            const sender::LiveSource& source, bool rateControl) {
  GstElement* queue = Make("queue");
  GstElement* encoder = Make("x264enc");
  GstElement* parser = Make("h264parse");
  const int fps =
      source.framesPerSecond > 0 ? source.framesPerSecond : sender::kLiveFramesPerSecond;
  std::string input = kEncoderInput;
  if (rateControl) input += ",framerate=" + std::to_string(fps) + "/1";
  if (queue != nullptr) {
    g_object_set(queue, "max-size-buffers", kCaptureQueueFrames, "max-size-bytes", 0u,
                 "max-size-time", guint64{0}, nullptr);
    gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
  }
  if (encoder != nullptr) {
    gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "superfast");
    g_object_set(encoder, "key-int-max", static_cast<guint>(fps), "byte-stream", TRUE, nullptr);
    if (source.bitrateKbit > 0) {
      g_object_set(encoder, "bitrate", static_cast<guint>(source.bitrateKbit), nullptr);
    } else {
      media::PadPtr sink(gst_element_get_static_pad(encoder, "sink"));
      gst_pad_add_probe(sink.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnEncoderCaps, nullptr,
                        nullptr);
    }
  }
  if (parser != nullptr) g_object_set(parser, "config-interval", -1, nullptr);
  GstElement* last = MakeCapsFilter(kEncodedVideo);
  std::vector<GstElement*> chain{queue, Make("videoconvert"), Make("videoscale")};
  if (rateControl) chain.push_back(Make("videorate"));
  chain.insert(chain.end(), {MakeCapsFilter(input), encoder, parser, last});
  if (!AddChain(bin, chain) || !gst_element_link(rawSource, queue)) return nullptr;
  return last;
}

// decodebin's pad: the camera's decoded picture goes on to the encoder.
void OnCameraPicture(GstElement*, GstPad* pad, gpointer next) {
  media::PadPtr sink(gst_element_get_static_pad(GST_ELEMENT(next), "sink"));
  if (sink && !gst_pad_is_linked(sink.get())) gst_pad_link(pad, sink.get());
}

// A PulseAudio (or PipeWire) sound server is there to record from.
bool SoundServerPresent() {
  if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr && *server != '\0') {
    return true;
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') return false;
  struct stat info {};
  return ::stat((std::string(runtime) + "/pulse/native").c_str(), &info) == 0;
}

// A Wayland desktop: its screen is shared through the screen-cast portal, as X capture would
// see only the windows of X programs.
bool WaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  if (type != nullptr && std::string_view(type) == "wayland") return true;
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display == nullptr || *display == '\0') && wayland != nullptr && *wayland != '\0';
}

bool HasElement(const char* factory) {
  GstElementFactory* found = gst_element_factory_find(factory);
  if (found == nullptr) return false;
  gst_object_unref(found);
  return true;
}

bool HasProperty(GstElement* element, const char* name) {
  return g_object_class_find_property(G_OBJECT_GET_CLASS(element), name) != nullptr;
}

// The screen or window the portal shares, from PipeWire. Frames come as the picture changes,
// not at a steady rate: the encoder's chain paces them, and while the picture stands still the
// last frame is sent again, so that a receiver that joins then still gets its key frame.
GstElement* MakePortalScreenBranch(const sender::LiveSource& source,
                                   const ScreenCastPortal& portal) {
  GstElement* bin = gst_bin_new("screen");
  GstElement* capture = Make("pipewiresrc");
  if (capture != nullptr) {
    const std::string node = std::to_string(portal.NodeId());
    g_object_set(capture, "fd", portal.PipeWireFd(), "path", node.c_str(), "do-timestamp", TRUE,
                 nullptr);
    // The desktop's buffers go back to it at once rather than waiting in the encoder's queue.
    if (HasProperty(capture, "always-copy")) g_object_set(capture, "always-copy", TRUE, nullptr);
    if (HasProperty(capture, "keepalive-time")) {
      const int fps =
          source.framesPerSecond > 0 ? source.framesPerSecond : sender::kLiveFramesPerSecond;
      g_object_set(capture, "keepalive-time", 1000 / fps, nullptr);
    }
  }
  GstElement* last = nullptr;
  if (!AddChain(bin, {capture}) ||
      (last = AddVideoEncoder(bin, capture, source, true)) == nullptr) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return Finish(bin, last);
}

// The last line of an error's debug text: often the system's own reason ("Device or resource
// busy") where the message only says that the device did not open.
std::string DebugReason(GstMessage* message) {
  gchar* debug = nullptr;
  GError* error = nullptr;
  gst_message_parse_error(message, &error, &debug);
  if (error != nullptr) g_error_free(error);
  std::string text = debug != nullptr ? debug : "";
  g_free(debug);
  const std::size_t line = text.rfind('\n');
  if (line == std::string::npos) return {};
  return text.substr(line + 1);
}

}  // namespace

Status GstMediaGraph::RenderLive(const sender::LiveSource& source) {
  Status status = StartLive(source);
  if (!status.ok()) {
    GST_CAT_WARNING(media::DebugCategory(), "cannot start the live source: %s %s",
                    std::string(NameOf(status.code())).c_str(), status.message().c_str());
  }
  return status;
}

Status GstMediaGraph::LiveFailure(sender::LiveDevice device, std::string reason) {
  std::lock_guard guard(lock_);
  findings_.failedDevice = device;
  findings_.errorText = reason;
  return Status(MediaErrc::kFailed, std::move(reason));
}

Status GstMediaGraph::StartLive(const sender::LiveSource& source) {
  if (rendered_) return Status(MediaErrc::kWrongState);
  if (!sender::HasStream(source)) return Status(MediaErrc::kInvalidArgument);
  live_ = true;
  if (source.video == sender::LiveVideo::kScreen) {
    GstElement* bin = nullptr;
    // A window chosen by its X id stays an X capture: X programs keep their windows under
    // Wayland too.
    const bool portal = source.display.empty() && source.window == 0 && WaylandSession();
    if (portal) {
      if (!HasElement("pipewiresrc")) {
        return LiveFailure(sender::LiveDevice::kScreen,
                           "its capture element is missing (gstreamer1.0-pipewire)");
      }
      std::string whyNot;
      screenCast_ = ScreenCastPortal::Open(whyNot);
      if (!screenCast_) return LiveFailure(sender::LiveDevice::kScreen, std::move(whyNot));
      bin = MakePortalScreenBranch(source, *screenCast_);
    } else {
      std::string display = source.display;
      if (display.empty()) {
        const char* env = std::getenv("DISPLAY");
        display = env != nullptr ? env : "";
      }
      if (display.empty()) {
        return LiveFailure(sender::LiveDevice::kScreen, "no display is set ($DISPLAY is empty)");
      }
      bin = MakeScreenBranch(source);
    }
    if (bin == nullptr) {
      return LiveFailure(sender::LiveDevice::kScreen,
                         std::string("its capture or encoding elements are missing (") +
                             (portal ? "gstreamer1.0-pipewire" : "gstreamer1.0-x") +
                             ", gstreamer1.0-plugins-ugly)");
    }
    liveBranches_.push_back({sender::LiveDevice::kScreen, bin});
  } else if (source.video == sender::LiveVideo::kCamera) {
    GstElement* bin = MakeCameraBranch(source);
    if (bin == nullptr) {
      return LiveFailure(sender::LiveDevice::kCamera,
                         "its capture or encoding elements are missing "
                         "(gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly)");
    }
    liveBranches_.push_back({sender::LiveDevice::kCamera, bin});
  }
  if (source.microphone) {
    GstElement* bin = MakeMicrophoneBranch(source);
    if (bin == nullptr) {
      return LiveFailure(sender::LiveDevice::kMicrophone,
                         "its recording elements are missing (gstreamer1.0-pulseaudio, "
                         "gstreamer1.0-alsa)");
    }
    liveBranches_.push_back({sender::LiveDevice::kMicrophone, bin});
  }
  {
    std::lock_guard guard(lock_);
    streamsSeen_ = static_cast<int>(liveBranches_.size());
    pathsPending_ = streamsSeen_;
  }
  for (const LiveBranch& branch : liveBranches_) {
    gst_bin_add(GST_BIN(pipeline_.get()), branch.bin);
    media::PadPtr src(gst_element_get_static_pad(branch.bin, "src"));
    gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnStreamEvent, this,
                      nullptr);
  }
  rendered_ = true;
  // Live sources give data only while playing: the streams' caps, and so their paths, come
  // with the first captured frames.
  if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    media::MessagePtr error = TakeError();
    return error ? ResultOfError(error.get()) : Status(MediaErrc::kFailed);
  }
  Status status = WaitForStreams(kLiveStartTimeout);
  if (status.code() == MediaErrc::kTimeout) {
    for (const LiveBranch& branch : liveBranches_) {
      media::PadPtr src(gst_element_get_static_pad(branch.bin, "src"));
      if (!gst_pad_has_current_caps(src.get())) {
        return LiveFailure(branch.device, "nothing came from it within 10 seconds");
      }
    }
  }
  if (!status.ok()) return status;
  status = WaitForDecoders(kLiveDecoderSettle);
  if (!status.ok()) return status;
  return Pause();
}

GstElement* GstMediaGraph::MakeScreenBranch(const sender::LiveSource& source) {
  GstElement* bin = gst_bin_new("screen");
  GstElement* capture = Make("ximagesrc");
  if (capture != nullptr) {
    // Damage tracking saves nothing on a moving picture and costs a round trip per region.
    g_object_set(capture, "use-damage", FALSE, "show-pointer", TRUE, nullptr);
    // Without a name it opens $DISPLAY itself; a name given is set only then, as the element
    // never frees its copy.
    if (!source.display.empty()) {
      g_object_set(capture, "display-name", source.display.c_str(), nullptr);
    }
    if (source.window != 0) g_object_set(capture, "xid", guint64{source.window}, nullptr);
  }
  const int fps =
      source.framesPerSecond > 0 ? source.framesPerSecond : sender::kLiveFramesPerSecond;
  GstElement* paced = MakeCapsFilter("video/x-raw,framerate=" + std::to_string(fps) + "/1");
  GstElement* last = nullptr;
  if (!AddChain(bin, {capture, paced}) ||
      (last = AddVideoEncoder(bin, paced, source, false)) == nullptr) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return Finish(bin, last);
}

GstElement* GstMediaGraph::MakeCameraBranch(const sender::LiveSource& source) {
  GstElement* bin = gst_bin_new("camera");
  if (source.camera == sender::kTestCamera) {
    GstElement* pattern = Make("videotestsrc");
    if (pattern != nullptr) {
      g_object_set(pattern, "is-live", TRUE, nullptr);
      gst_util_set_object_arg(G_OBJECT(pattern), "pattern", "ball");
    }
    GstElement* sized = MakeCapsFilter(kTestCameraPicture);
    GstElement* last = nullptr;
    if (AddChain(bin, {pattern, sized}) &&
        (last = AddVideoEncoder(bin, sized, source, true)) != nullptr) {
      return Finish(bin, last);
    }
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  GstElement* capture = Make("v4l2src");
  if (capture != nullptr) g_object_set(capture, "device", source.camera.c_str(), nullptr);
  GstElement* decoder = Make("decodebin");
  // The decoded picture enters the encoder's chain at a converter of its own, linked once
  // decodebin exposes the picture.
  GstElement* entry = Make("videoconvert");
  GstElement* last = nullptr;
  if (!AddChain(bin, {capture, MakeCapsFilter(kCameraInput), decoder}) || !AddChain(bin, {entry}) ||
      (last = AddVideoEncoder(bin, entry, source, true)) == nullptr) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  g_signal_connect(decoder, "pad-added", G_CALLBACK(&OnCameraPicture), entry);
  return Finish(bin, last);
}

GstElement* GstMediaGraph::MakeMicrophoneBranch(const sender::LiveSource& source) {
  GstElement* bin = gst_bin_new("microphone");
  GstElement* capture = nullptr;
  if (source.microphoneDevice == sender::kTestMicrophone) {
    capture = Make("audiotestsrc");
    if (capture != nullptr) {
      g_object_set(capture, "is-live", TRUE, "samplesperbuffer", kTestToneSamplesPerBuffer,
                   "volume", kTestToneVolume, "freq", kTestToneFrequency, nullptr);
    }
  } else if (SoundServerPresent()) {
    capture = Make("pulsesrc");
    if (capture != nullptr && !source.microphoneDevice.empty()) {
      g_object_set(capture, "device", source.microphoneDevice.c_str(), nullptr);
    }
  } else {
    capture = Make("alsasrc");
    if (capture != nullptr) {
      g_object_set(capture, "device",
                   source.microphoneDevice.empty() ? "default" : source.microphoneDevice.c_str(),
                   nullptr);
    }
  }
  GstElement* volume = Make("volume");
  if (volume != nullptr) {
    g_object_set(volume, "mute", source.microphoneMuted ? TRUE : FALSE, nullptr);
    microphoneVolume_.reset(GST_ELEMENT(gst_object_ref(volume)));
  }
  if (!AddChain(bin, {capture, Make("audioconvert"), Make("audioresample"),
                      MakeCapsFilter(kMicrophoneOutput), volume})) {
    microphoneVolume_.reset();
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return Finish(bin, volume);
}

void GstMediaGraph::SetMicrophoneMuted(bool muted) {
  if (microphoneVolume_)
    g_object_set(microphoneVolume_.get(), "mute", muted ? TRUE : FALSE, nullptr);
}

std::optional<sender::LiveDevice> GstMediaGraph::DeviceOf(GstMessage* message) const {
  for (const LiveBranch& branch : liveBranches_) {
    if (gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(branch.bin))) {
      return branch.device;
    }
  }
  return std::nullopt;
}

// Adds what the error says of a live device to the findings: which device, and the system's
// reason beside GStreamer's message. Called with the lock held.
void GstMediaGraph::NoteLiveError(GstMessage* message) {
  if (!live_ || findings_.failedDevice) return;
  findings_.failedDevice = DeviceOf(message);
  if (!findings_.failedDevice) return;
  const std::string reason = DebugReason(message);
  if (!reason.empty() && findings_.errorText.find(reason) == std::string::npos) {
    if (!findings_.errorText.empty() && findings_.errorText.back() == '.') {
      findings_.errorText.pop_back();
    }
    findings_.errorText += " (" + reason + ")";
  }
}

}  // namespace vantorel::sender::gst
