#include "sender/gst/gst_media_graph.h"

#include <gst/pbutils/pbutils.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/media/gst_debug.h"
#include "sender/file_kind.h"

namespace vantorel::sender::gst {

namespace {

constexpr GstClockTime kRenderTimeout = 10 * GST_SECOND;
constexpr GstClockTime kStateTimeout = 5 * GST_SECOND;
constexpr GstClockTime kStatePollStep = 20 * GST_MSECOND;
constexpr GstClockTime kDecoderSettle = 2 * GST_SECOND;

constexpr double kNanosecondsPerSecond = 1e9;

MediaErrc CodeForError(const GError* error) {
  if (error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_NOT_FOUND) {
    return MediaErrc::kFileNotFound;
  }
  if (error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_OPEN_READ) {
    return MediaErrc::kAccessDenied;
  }
  if (error->domain == GST_STREAM_ERROR &&
      (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
       error->code == GST_STREAM_ERROR_WRONG_TYPE || error->code == GST_STREAM_ERROR_DEMUX ||
       error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND)) {
    return MediaErrc::kUnsupportedStream;
  }
  return MediaErrc::kFailed;
}

Status StatusOfError(const GError* error) {
  return Status(CodeForError(error), error->message != nullptr ? error->message : "");
}

Status Failed() {
  return Status(MediaErrc::kFailed);
}

void DiscardElement(GstElement* element) {
  if (element == nullptr) return;
  gst_object_ref_sink(element);
  gst_object_unref(element);
}

}  // namespace

std::unique_ptr<GstMediaGraph> GstMediaGraph::Create(const media::GraphOptions& options) {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  gst_pb_utils_init();
  std::unique_ptr<GstMediaGraph> graph(new GstMediaGraph(options));
  if (!graph->pipeline_ || !graph->bus_) return nullptr;
  return graph;
}

GstMediaGraph::GstMediaGraph(const media::GraphOptions& options) : options_(options) {
  GstElement* pipeline = gst_pipeline_new(nullptr);
  if (pipeline == nullptr) return;
  pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(pipeline)));
  bus_.reset(gst_element_get_bus(pipeline_.get()));
  gst_bus_set_sync_handler(bus_.get(), &OnBusMessage, this, nullptr);
}

GstMediaGraph::~GstMediaGraph() {
  if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  // The streaming threads have stopped, but they go back to GLib's pool rather than being
  // joined: taking the lock they last released orders their work before this destruction.
  { std::lock_guard guard(lock_); }
  if (bus_) {
    gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
    gst_bus_set_flushing(bus_.get(), TRUE);
  }
}

Status GstMediaGraph::AddFilter(GraphFilter& filter) {
  auto* gstFilter = dynamic_cast<GstGraphFilter*>(&filter);
  if (gstFilter == nullptr || gstFilter->Element() == nullptr)
    return Status(MediaErrc::kInvalidArgument);
  std::lock_guard guard(lock_);
  // The filter's element is not floating: the bin takes a reference of its own.
  if (!gst_bin_add(GST_BIN(pipeline_.get()), gstFilter->Element())) {
    return Failed();
  }
  filters_.push_back({gstFilter, false});
  return {};
}

Status GstMediaGraph::RemoveFilter(GraphFilter& filter) {
  // Streaming must be over before an element leaves the pipeline.
  gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  std::lock_guard guard(lock_);
  for (auto it = filters_.begin(); it != filters_.end(); ++it) {
    if (it->filter != &filter) continue;
    GstElement* element = it->filter->Element();
    gst_element_set_state(element, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(pipeline_.get()), element);
    filters_.erase(it);
    return {};
  }
  return Status(MediaErrc::kInvalidArgument);
}

Status GstMediaGraph::RenderFile(const std::string& path) {
  Status status = Render(path);
  if (!status.ok()) {
    GST_CAT_WARNING(media::DebugCategory(), "cannot render %s: %s %s", path.c_str(),
                    std::string(NameOf(status.code())).c_str(), status.message().c_str());
  }
  return status;
}

Status GstMediaGraph::Render(const std::string& path) {
  if (rendered_) return Status(MediaErrc::kWrongState);
  // filesrc opens the file on this thread while the pipeline changes state: a FIFO without a
  // writer would block it there for good.
  switch (KindOfFile(path)) {
    case FileKind::kRegular:
      break;
    case FileKind::kMissing:
      return Status(MediaErrc::kFileNotFound);
    default:
      return Status(MediaErrc::kBadFileType);
  }
  if (::access(path.c_str(), R_OK) != 0) return Status(MediaErrc::kAccessDenied);
  GstElement* source = gst_element_factory_make("filesrc", nullptr);
  GstElement* parser = gst_element_factory_make("parsebin", nullptr);
  if (source == nullptr || parser == nullptr) {
    DiscardElement(source);
    DiscardElement(parser);
    return Failed();
  }
  g_object_set(source, "location", path.c_str(), nullptr);
  g_signal_connect(parser, "pad-added", G_CALLBACK(&OnStreamPad), this);
  gst_bin_add_many(GST_BIN(pipeline_.get()), source, parser, nullptr);
  if (!gst_element_link(source, parser)) return Failed();
  rendered_ = true;
  if (gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
    media::MessagePtr error = TakeError();
    return error ? ResultOfError(error.get()) : Failed();
  }
  // parsebin finishes its own state change before it has found the streams. It exposes all of
  // them together and lets no data out before that is done, so once the streams seen have
  // their paths, the pipeline is ready when every sink has prerolled.
  Status found = WaitForStreams(kRenderTimeout);
  if (!found.ok()) return found;
  Status paused = WaitForState(kRenderTimeout);
  return !paused.ok() ? paused : WaitForDecoders(kDecoderSettle);
}

// The pipeline can preroll on one stream before the decodebin of another has found its
// decoder, or found that there is none. Each decodebin either exposes a pad or reports what is
// missing once its data has flowed; a stream without data does not hold the open longer than
// `timeout`.
Status GstMediaGraph::WaitForDecoders(GstClockTime timeout) {
  for (GstClockTime waited = 0; waited < timeout; waited += kStatePollStep) {
    media::MessagePtr error = TakeError();
    if (error) return ResultOfError(error.get());
    std::unique_lock guard(lock_);
    if (!findings_.missingDecoders.empty()) return Status(MediaErrc::kUnsupportedStream);
    if (streamsFound_.wait_for(guard, std::chrono::nanoseconds(kStatePollStep),
                               [this] { return decodersPending_ <= 0; })) {
      return {};
    }
  }
  return {};
}

Status GstMediaGraph::WaitForStreams(GstClockTime timeout) {
  for (GstClockTime waited = 0; waited < timeout; waited += kStatePollStep) {
    media::MessagePtr error = TakeError();
    if (error) return ResultOfError(error.get());
    std::unique_lock guard(lock_);
    if (streamsFound_.wait_for(guard, std::chrono::nanoseconds(kStatePollStep),
                               [this] { return streamsSeen_ > 0 && pathsPending_ == 0; })) {
      return {};
    }
  }
  return Status(MediaErrc::kTimeout);
}

// Waits for a pending state change to finish, and fails early when an element reports an
// error (a stream error leaves the change pending for ever).
Status GstMediaGraph::WaitForState(GstClockTime timeout) {
  for (GstClockTime waited = 0; waited < timeout; waited += kStatePollStep) {
    media::MessagePtr error = TakeError();
    if (error) return ResultOfError(error.get());
    switch (gst_element_get_state(pipeline_.get(), nullptr, nullptr, kStatePollStep)) {
      case GST_STATE_CHANGE_SUCCESS:
      case GST_STATE_CHANGE_NO_PREROLL: {
        // A decodebin that found no decoder posts its error just before it lets the state
        // change finish.
        media::MessagePtr late = TakeError();
        return late ? ResultOfError(late.get()) : Status();
      }
      case GST_STATE_CHANGE_FAILURE: {
        media::MessagePtr failure = TakeError();
        return failure ? ResultOfError(failure.get()) : Failed();
      }
      case GST_STATE_CHANGE_ASYNC:
        break;
    }
  }
  return Status(MediaErrc::kTimeout);
}

Status GstMediaGraph::Run() {
  if (!rendered_) return Status(MediaErrc::kWrongState);
  return gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE
             ? Failed()
             : Status();
}

Status GstMediaGraph::Pause() {
  if (!rendered_) return Status(MediaErrc::kWrongState);
  if (gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
    return Failed();
  }
  return WaitForState(kStateTimeout);
}

Status GstMediaGraph::Stop() {
  if (!rendered_) return Status(MediaErrc::kWrongState);
  return gst_element_set_state(pipeline_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE
             ? Failed()
             : Status();
}

Status GstMediaGraph::GetDuration(double& seconds) {
  gint64 duration = 0;
  if (!rendered_ || !gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) ||
      duration < 0) {
    return Failed();
  }
  seconds = static_cast<double>(duration) / kNanosecondsPerSecond;
  return {};
}

Status GstMediaGraph::GetCurrentPosition(double& seconds) {
  gint64 position = 0;
  if (!rendered_ || !gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) ||
      position < 0) {
    return Failed();
  }
  seconds = static_cast<double>(position) / kNanosecondsPerSecond;
  return {};
}

Status GstMediaGraph::PutCurrentPosition(double seconds) {
  if (!rendered_ || !std::isfinite(seconds)) return Failed();
  const auto target = static_cast<gint64>(std::max(0.0, seconds) * kNanosecondsPerSecond);
  // Not key-unit: the position must end up where it was put, so that resting just before the
  // end after the end of the stream is recognised by the next Play.
  const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH);
  seekTarget_.store(static_cast<GstClockTime>(target));
  if (!gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME, flags, target)) return Failed();
  // A flushing seek prerolls again; the position is right once that is done.
  return WaitForState(kStateTimeout);
}

// Takes the first error out of the graph's events; the other events stay for GetEvent.
media::MessagePtr GstMediaGraph::TakeError() {
  std::lock_guard guard(lock_);
  for (auto it = events_.begin(); it != events_.end(); ++it) {
    if (GST_MESSAGE_TYPE(it->get()) != GST_MESSAGE_ERROR) continue;
    media::MessagePtr error = std::move(*it);
    events_.erase(it);
    return error;
  }
  return nullptr;
}

Status GstMediaGraph::SetNotifyWindow(gui::Mailbox<GraphNotice>* owner) {
  std::lock_guard guard(lock_);
  owner_ = owner;
  // Events that arrived before the owner was known are announced now.
  if (owner_ != nullptr && !events_.empty()) {
    owner_->Post(GraphNotice{});
  }
  return {};
}

std::optional<GraphEvent> GstMediaGraph::GetEvent() {
  for (;;) {
    media::MessagePtr message;
    {
      std::lock_guard guard(lock_);
      if (events_.empty()) return std::nullopt;
      message = std::move(events_.front());
      events_.pop_front();
    }
    switch (GST_MESSAGE_TYPE(message.get())) {
      case GST_MESSAGE_EOS:
        return GraphEvent{EC_COMPLETE, {}};
      case GST_MESSAGE_ERROR: {
        GError* raw = nullptr;
        gst_message_parse_error(message.get(), &raw, nullptr);
        const media::ErrorPtr error(raw);
        if (!error) return GraphEvent{EC_ERRORABORT, Failed()};
        return GraphEvent{EC_ERRORABORT, StatusOfError(error.get())};
      }
      case GST_MESSAGE_APPLICATION:
        return GraphEvent{EC_NO_AUDIO_DEVICE, {}};
      default:
        break;
    }
  }
}

// Keeps what becomes a graph event in the graph's own queue, then tells the owner: the event
// is queued before the owner can look for it. Nothing stays on the bus. Runs on the thread
// that posts the message (a streaming thread, or the caller of a state change).
GstBusSyncReply GstMediaGraph::OnBusMessage(GstBus*, GstMessage* message, gpointer self) {
  // Every message is dropped, and a dropped message is ours to unref: kept, it would hold its
  // source element and with it the whole pipeline.
  media::MessagePtr owned(message);
  auto* graph = static_cast<GstMediaGraph*>(self);
  bool event = false;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
      event = GST_MESSAGE_SRC(message) == GST_OBJECT(graph->pipeline_.get());
      break;
    case GST_MESSAGE_ERROR:
      event = true;
      break;
    case GST_MESSAGE_APPLICATION:
      event = gst_message_has_name(message, kNoAudioDeviceMessage);
      break;
    case GST_MESSAGE_ELEMENT:
      if (gst_is_missing_plugin_message(message)) graph->NoteMissing(message);
      break;
    default:
      break;
  }
  if (event) graph->Announce(std::move(owned));
  return GST_BUS_DROP;
}

void GstMediaGraph::NoteMissing(GstMessage* message) {
  gchar* raw = gst_missing_plugin_message_get_description(message);
  if (raw == nullptr) return;
  MissingDecoder missing{raw, {}};
  g_free(raw);
  if (gchar* detail = gst_missing_plugin_message_get_installer_detail(message)) {
    missing.package = PackageForMissing(detail);
    g_free(detail);
  }
  std::lock_guard guard(lock_);
  std::vector<MissingDecoder>& known = findings_.missingDecoders;
  if (std::none_of(known.begin(), known.end(), [&missing](const MissingDecoder& m) {
        return m.description == missing.description;
      })) {
    known.push_back(std::move(missing));
  }
  streamsFound_.notify_all();
}

// Runs on parsebin's streaming thread, for a stream that no added filter takes.
void GstMediaGraph::NoteRefusedStream(const GstCaps* caps) {
  gchar* raw = gst_pb_utils_get_codec_description(caps);
  std::string codec =
      raw != nullptr ? raw : gst_structure_get_name(gst_caps_get_structure(caps, 0));
  g_free(raw);
  std::lock_guard guard(lock_);
  findings_.refusedCodecs.push_back(std::move(codec));
}

Status GstMediaGraph::ResultOfError(GstMessage* message) {
  GError* raw = nullptr;
  gst_message_parse_error(message, &raw, nullptr);
  media::ErrorPtr error(raw);
  if (!error) return Failed();
  std::lock_guard guard(lock_);
  if (findings_.errorText.empty()) findings_.errorText = error->message;
  NoteLiveError(message);
  // Type finding recognised nothing, or something that is not media (a text file).
  if (error->domain == GST_STREAM_ERROR && (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
                                            error->code == GST_STREAM_ERROR_WRONG_TYPE)) {
    findings_.unknownType = true;
  }
  return StatusOfError(error.get());
}

OpenFindings GstMediaGraph::Findings() const {
  std::lock_guard guard(lock_);
  return findings_;
}

void GstMediaGraph::Announce(media::MessagePtr message) {
  std::lock_guard guard(lock_);
  events_.push_back(std::move(message));
  if (owner_ != nullptr) owner_->Post(GraphNotice{});
}

// parsebin exposes all its pads together, before any data leaves them: building every path
// here lets all grabbers publish their formats before the first sample is sent. A pad whose
// caps are not known yet gets its path when its CAPS event comes by.
void GstMediaGraph::OnStreamPad(GstElement*, GstPad* pad, gpointer self) {
  auto* graph = static_cast<GstMediaGraph*>(self);
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnSegmentEvent, self, nullptr);
  {
    std::lock_guard guard(graph->lock_);
    ++graph->streamsSeen_;
    ++graph->pathsPending_;
  }
  if (media::CapsPtr caps{gst_pad_get_current_caps(pad)}) {
    graph->BuildStreamPath(pad, caps.get());
    return;
  }
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnStreamEvent, self, nullptr);
}

GstPadProbeReturn GstMediaGraph::OnStreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer self) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  // The path is built before the event travels on, so it reaches the new queue.
  static_cast<GstMediaGraph*>(self)->BuildStreamPath(pad, caps);
  return GST_PAD_PROBE_REMOVE;
}

}  // namespace vantorel::sender::gst
