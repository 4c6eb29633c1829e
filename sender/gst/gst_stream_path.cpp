// How GstMediaGraph builds the path of each stream that parsebin exposes.
#include <gst/audio/audio.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/media/caps_conversion.h"
#include "platform/media/gst_debug.h"
#include "sender/gst/gst_media_graph.h"

namespace vantorel::sender::gst {

namespace {

// The queue in front of each stream holds what the demuxer reads ahead of playback: about a
// second. In a badly interleaved file one stream's data lies far ahead of the other's; when a
// full queue would stall the demuxer while a sibling queue is empty, the full one grows, up to
// the byte cap that keeps a file from being read into memory whole.
constexpr guint64 kQueueReadAhead = GST_SECOND;
constexpr guint kQueueByteLimit = 32u * 1024 * 1024;
// A stream whose caps never come (a stream without data) holds the others back no longer.
constexpr std::chrono::seconds kSiblingPathWait{5};

// Raw audio in a form the wave format cannot describe (big-endian AU samples, signed 8-bit,
// unsigned 16-bit) is converted in front of the grabbers: the caps it is converted to, keeping
// the sample width, or null when the stream needs no conversion.
media::CapsPtr WaveCompatibleCapsFor(const GstCaps* caps) {
  GstAudioInfo info;
  if (!media::NeedsLittleEndianConversion(caps) || !gst_audio_info_from_caps(&info, caps))
    return nullptr;
  const gint width = GST_AUDIO_INFO_WIDTH(&info);
  GstAudioFormat target = GST_AUDIO_FORMAT_UNKNOWN;
  if (GST_AUDIO_INFO_IS_FLOAT(&info)) {
    target = width == 64 ? GST_AUDIO_FORMAT_F64LE : GST_AUDIO_FORMAT_F32LE;
  } else if (width <= 8) {
    target = GST_AUDIO_FORMAT_U8;
  } else {
    target = gst_audio_format_build_integer(TRUE, G_LITTLE_ENDIAN, width, width);
  }
  if (target == GST_AUDIO_FORMAT_UNKNOWN) return nullptr;
  media::CapsPtr converted(gst_caps_copy(caps));
  gst_caps_set_simple(converted.get(), "format", G_TYPE_STRING, gst_audio_format_to_string(target),
                      "layout", G_TYPE_STRING, "interleaved", nullptr);
  media::CapsPtr wave(media::WaveRawAudioCaps());
  if (!gst_caps_can_intersect(converted.get(), wave.get())) return nullptr;
  return converted;
}

// H.264 in its packetised form is re-framed as a byte stream with the parameter sets in front
// of every key frame: the caps after that, or null when the stream needs nothing.
media::CapsPtr ByteStreamCapsFor(const GstCaps* caps) {
  if (!media::NeedsByteStreamConversion(caps)) return nullptr;
  media::CapsPtr converted(gst_caps_copy(caps));
  GstStructure* s = gst_caps_get_structure(converted.get(), 0);
  gst_structure_remove_field(s, "codec_data");
  gst_structure_set(s, "stream-format", G_TYPE_STRING, "byte-stream", "alignment", G_TYPE_STRING,
                    "au", nullptr);
  return converted;
}

GstElement* MakeCapsFilter(const GstCaps* caps) {
  GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
  if (filter != nullptr) g_object_set(filter, "caps", caps, nullptr);
  return filter;
}

// The elements that bring a stream into a form the wire can carry, and the caps the stream
// then has; no elements when it is fine as it is.
media::CapsPtr AddConversion(const GstCaps* caps, std::vector<GstElement*>& chain) {
  if (media::CapsPtr wave = WaveCompatibleCapsFor(caps)) {
    chain.push_back(gst_element_factory_make("audioconvert", nullptr));
    chain.push_back(MakeCapsFilter(wave.get()));
    return wave;
  }
  if (media::CapsPtr byteStream = ByteStreamCapsFor(caps)) {
    GstElement* parser = gst_element_factory_make("h264parse", nullptr);
    if (parser != nullptr) g_object_set(parser, "config-interval", -1, nullptr);
    chain.push_back(parser);
    chain.push_back(MakeCapsFilter(byteStream.get()));
    return byteStream;
  }
  return media::CapsPtr(gst_caps_copy(caps));
}

bool CapsNameStartsWith(const GstCaps* caps, const char* prefix) {
  const GstStructure* s = caps != nullptr ? gst_caps_get_structure(caps, 0) : nullptr;
  return s != nullptr && std::strncmp(gst_structure_get_name(s), prefix, std::strlen(prefix)) == 0;
}

// Adds the new elements, links the whole chain in order and brings the new elements to the
// pipeline's state, downstream first. `added` are the chain's elements not yet in the bin.
bool AddAndLink(GstBin* bin, const std::vector<GstElement*>& chain,
                const std::vector<GstElement*>& added) {
  for (GstElement* e : added) gst_bin_add(bin, e);
  for (std::size_t i = 1; i < chain.size(); ++i) {
    if (!gst_element_link(chain[i - 1], chain[i])) return false;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) gst_element_sync_state_with_parent(*it);
  return true;
}

}  // namespace

GstElement* GstMediaGraph::MakeReadAheadQueue() {
  GstElement* queue = gst_element_factory_make("queue", nullptr);
  if (queue == nullptr) return nullptr;
  g_object_set(queue, "max-size-buffers", 0u, "max-size-time", kQueueReadAhead, "max-size-bytes",
               kQueueByteLimit, nullptr);
  g_signal_connect(queue, "overrun", G_CALLBACK(&GstMediaGraph::OnQueueFull), this);
  std::lock_guard guard(lock_);
  queues_.emplace_back(GST_ELEMENT(gst_object_ref(queue)));
  return queue;
}

// The queue re-reads its limits after this signal: one whose sibling starves may fill to the
// byte cap, so that the demuxer reaches the sibling's data.
void GstMediaGraph::OnQueueFull(GstElement* queue, gpointer self) {
  auto* graph = static_cast<GstMediaGraph*>(self);
  bool starving = false;
  {
    std::lock_guard guard(graph->lock_);
    for (const media::ElementPtr& sibling : graph->queues_) {
      if (sibling.get() == queue) continue;
      guint buffers = 0;
      g_object_get(sibling.get(), "current-level-buffers", &buffers, nullptr);
      if (buffers == 0) starving = true;
    }
  }
  if (starving) g_object_set(queue, "max-size-time", guint64{0}, nullptr);
}

// Called on parsebin's streaming thread, with the stream's final caps.
void GstMediaGraph::BuildStreamPath(GstPad* pad, const GstCaps* caps) {
  LinkStreamPath(pad, caps);
  // Notified under the lock, so that the graph's destructor, taking the lock, comes after.
  std::lock_guard guard(lock_);
  --pathsPending_;
  streamsFound_.notify_all();
}

void GstMediaGraph::LinkStreamPath(GstPad* pad, const GstCaps* caps) {
  std::vector<GstElement*> added{MakeReadAheadQueue()};
  const media::CapsPtr grabbed = AddConversion(caps, added);
  std::vector<GstElement*> chain = added;
  GstGraphFilter* filter = TakeFilterFor(grabbed.get());
  if (filter != nullptr) {
    chain.push_back(filter->Element());
  } else {
    NoteRefusedStream(caps);
  }
  GstElement* output = MakeStreamOutput();
  added.push_back(output);
  chain.push_back(output);
  for (GstElement* e : added) {
    if (e != nullptr) continue;
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad,
                           "an element of the stream's path is missing");
    for (GstElement* d : added) {
      if (d != nullptr) gst_object_unref(gst_object_ref_sink(d));
    }
    return;
  }
  if (!AddAndLink(GST_BIN(pipeline_.get()), chain, added)) {
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad, "cannot link the path for %" GST_PTR_FORMAT,
                           caps);
    return;
  }
  // The stream waits for the paths of its siblings, so that every grabber has published its
  // format before the first message of any stream is sent.
  media::PadPtr queueSrc(gst_element_get_static_pad(chain.front(), "src"));
  gst_pad_add_probe(queueSrc.get(), GST_PAD_PROBE_TYPE_DATA_DOWNSTREAM, &OnFirstQueuedData, this,
                    nullptr);
  media::PadPtr queueSink(gst_element_get_static_pad(chain.front(), "sink"));
  if (GST_PAD_LINK_FAILED(gst_pad_link(pad, queueSink.get()))) {
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad, "cannot link the stream to its path");
    return;
  }
  if (options_.output != media::OutputMode::kNullSinks) {
    std::lock_guard guard(lock_);
    ++decodersPending_;
  }
  if (filter != nullptr) filter->CompleteConnect(grabbed.get());
}

// Runs on parsebin's streaming thread. Some parsers send TIME segments that cannot be played
// as they are, and such a segment is repaired here:
// - mpegpsdemux (MPEG-1 system streams) gives a stream time that is missing or below zero
//   (wrapped) and keeps the first segment's start after a seek: position queries fail and
//   playback after a seek waits for the skipped time. The segment is rebuilt from the first
//   segment's start and the last seek target.
// - auparse gives a seek's segment a stop of 0, before its start, which ends the stream at
//   once (even a seek to 0 gives an empty segment). The stop is dropped.
GstPadProbeReturn GstMediaGraph::OnSegmentEvent(GstPad*, GstPadProbeInfo* info, gpointer self) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
  const GstSegment* segment = nullptr;
  gst_event_parse_segment(event, &segment);
  if (segment->format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(segment->start)) {
    return GST_PAD_PROBE_OK;
  }
  const bool timeBroken =
      !GST_CLOCK_TIME_IS_VALID(segment->time) || static_cast<gint64>(segment->time) < 0;
  const bool stopBroken = GST_CLOCK_TIME_IS_VALID(segment->stop) && segment->stop <= segment->start;
  if (!timeBroken && !stopBroken) return GST_PAD_PROBE_OK;
  auto* graph = static_cast<GstMediaGraph*>(self);
  GstSegment repaired;
  gst_segment_copy_into(segment, &repaired);
  if (stopBroken) repaired.stop = GST_CLOCK_TIME_NONE;
  if (timeBroken) {
    GstClockTime origin = GST_CLOCK_TIME_NONE;
    graph->contentOrigin_.compare_exchange_strong(origin, segment->start);
    repaired.time = graph->seekTarget_.load();
    repaired.start = graph->contentOrigin_.load() + repaired.time;
    repaired.position = repaired.start;
  }
  GstEvent* replacement = gst_event_new_segment(&repaired);
  gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
  gst_event_unref(event);
  GST_PAD_PROBE_INFO_DATA(info) = replacement;
  return GST_PAD_PROBE_OK;
}

// Runs on the queue's streaming thread, once.
GstPadProbeReturn GstMediaGraph::OnFirstQueuedData(GstPad*, GstPadProbeInfo*, gpointer self) {
  auto* graph = static_cast<GstMediaGraph*>(self);
  std::unique_lock guard(graph->lock_);
  graph->streamsFound_.wait_for(guard, kSiblingPathWait,
                                [graph] { return graph->pathsPending_ == 0; });
  return GST_PAD_PROBE_REMOVE;
}

GstGraphFilter* GstMediaGraph::TakeFilterFor(const GstCaps* caps) {
  const std::optional<protocol::MediaType> type = media::MediaTypeFromCaps(caps);
  if (!type) return nullptr;
  std::lock_guard guard(lock_);
  for (FilterSlot& slot : filters_) {
    if (!slot.linked && slot.filter->AcceptsInput(*type)) {
      slot.linked = true;
      return slot.filter;
    }
  }
  return nullptr;
}

GstElement* GstMediaGraph::MakeStreamOutput() {
  if (options_.output == media::OutputMode::kNullSinks) return media::MakeNullSink();
  GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
  if (decoder != nullptr) {
    g_signal_connect(decoder, "pad-added", G_CALLBACK(&OnDecodedPad), this);
  }
  return decoder;
}

// Runs on the decodebin's streaming thread; a decodebin exposes all its pads on one thread.
void GstMediaGraph::OnDecodedPad(GstElement* decodebin, GstPad* pad, gpointer self) {
  auto* graph = static_cast<GstMediaGraph*>(self);
  if (g_object_get_data(G_OBJECT(decodebin), kDecodedMark) == nullptr) {
    g_object_set_data(G_OBJECT(decodebin), kDecodedMark, decodebin);
    std::lock_guard guard(graph->lock_);
    --graph->decodersPending_;
    graph->streamsFound_.notify_all();
  }
  media::CapsPtr caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  GstElement* output = nullptr;
  if (CapsNameStartsWith(caps.get(), "video/")) {
    output = media::MakeVideoOutput(graph->options_.videoFrames);
    graph->hasVideo_.store(output != nullptr);
  } else if (CapsNameStartsWith(caps.get(), "audio/") && !graph->live_) {
    // Only a file's sound plays here: a live source's is the microphone, which would record it.
    bool noDevice = false;
    output = media::MakeAudioOutput(noDevice, graph->options_.audioLevel);
    if (noDevice && !graph->noAudioReported_.exchange(true)) {
      GstStructure* s = gst_structure_new_empty(kNoAudioDeviceMessage);
      gst_element_post_message(graph->pipeline_.get(), gst_message_new_application(nullptr, s));
    }
  } else {
    output = media::MakeNullSink();
  }
  if (output == nullptr) {
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad, "no output for %" GST_PTR_FORMAT,
                           caps.get());
    return;
  }
  gst_bin_add(GST_BIN(graph->pipeline_.get()), output);
  gst_element_sync_state_with_parent(output);
  media::PadPtr sink(gst_element_get_static_pad(output, "sink"));
  if (GST_PAD_LINK_FAILED(gst_pad_link(pad, sink.get()))) {
    GST_CAT_WARNING_OBJECT(media::DebugCategory(), pad,
                           "cannot link the decoded stream to its output");
  }
}

std::unique_ptr<MediaGraph> GstGraphFactory::CreateGraph() {
  return GstMediaGraph::Create(options_);
}

}  // namespace vantorel::sender::gst
