// How GstMediaGraph builds the path of each stream that parsebin exposes.
#include <gst/audio/audio.h>

#include <cstring>
#include <vector>

#include "platform/media/caps_conversion.h"
#include "platform/media/gst_media_graph.h"

namespace vantorel::media {

namespace {

// The queue in front of each stream holds what the demuxer reads ahead of playback. Counts
// and durations are unlimited so that a badly interleaved file cannot stall the other stream;
// the byte cap keeps a file from being read into memory whole.
constexpr guint kQueueByteLimit = 32u * 1024 * 1024;

// Raw audio the wire carries only little-endian (big-endian PCM of AU files) is converted
// before the grabbers see it: the caps to convert to, or null when none is needed.
CapsPtr LittleEndianCapsFor(const GstCaps* caps) {
  GstAudioInfo info;
  if (!gst_caps_is_fixed(caps) || !gst_audio_info_from_caps(&info, caps)) return nullptr;
  if (GST_AUDIO_INFO_ENDIANNESS(&info) != G_BIG_ENDIAN || GST_AUDIO_INFO_WIDTH(&info) <= 8) {
    return nullptr;
  }
  const GstAudioFormat little = gst_audio_format_build_integer(
      GST_AUDIO_INFO_IS_SIGNED(&info), G_LITTLE_ENDIAN, GST_AUDIO_INFO_WIDTH(&info),
      GST_AUDIO_INFO_DEPTH(&info));
  if (little == GST_AUDIO_FORMAT_UNKNOWN) return nullptr;
  CapsPtr converted(gst_caps_copy(caps));
  gst_caps_set_simple(converted.get(), "format", G_TYPE_STRING,
                      gst_audio_format_to_string(little), nullptr);
  return converted;
}

bool CapsNameStartsWith(const GstCaps* caps, const char* prefix) {
  const GstStructure* s = caps != nullptr ? gst_caps_get_structure(caps, 0) : nullptr;
  return s != nullptr && std::strncmp(gst_structure_get_name(s), prefix, std::strlen(prefix)) == 0;
}

GstElement* MakeQueue() {
  GstElement* queue = gst_element_factory_make("queue", nullptr);
  if (queue != nullptr) {
    g_object_set(queue, "max-size-buffers", 0u, "max-size-time", guint64{0}, "max-size-bytes",
                 kQueueByteLimit, nullptr);
  }
  return queue;
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

// Called on parsebin's streaming thread, with the stream's final caps.
void GstMediaGraph::BuildStreamPath(GstPad* pad, const GstCaps* caps) {
  LinkStreamPath(pad, caps);
  {
    std::lock_guard guard(lock_);
    --pathsPending_;
  }
  streamsFound_.notify_all();
}

void GstMediaGraph::LinkStreamPath(GstPad* pad, const GstCaps* caps) {
  std::vector<GstElement*> added{MakeQueue()};
  CapsPtr grabbed(gst_caps_copy(caps));
  if (CapsPtr little = LittleEndianCapsFor(caps)) {
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    if (filter != nullptr) g_object_set(filter, "caps", little.get(), nullptr);
    added.push_back(gst_element_factory_make("audioconvert", nullptr));
    added.push_back(filter);
    grabbed = std::move(little);
  }
  std::vector<GstElement*> chain = added;
  GstGraphFilter* filter = TakeFilterFor(grabbed.get());
  if (filter != nullptr) chain.push_back(filter->Element());
  GstElement* output = MakeStreamOutput();
  added.push_back(output);
  chain.push_back(output);
  for (GstElement* e : added) {
    if (e != nullptr) continue;
    for (GstElement* d : added) {
      if (d != nullptr) gst_object_unref(gst_object_ref_sink(d));
    }
    return;
  }
  if (!AddAndLink(GST_BIN(pipeline_.get()), chain, added)) return;
  PadPtr queueSink(gst_element_get_static_pad(chain.front(), "sink"));
  if (GST_PAD_LINK_FAILED(gst_pad_link(pad, queueSink.get()))) return;
  if (filter != nullptr) filter->CompleteConnect(grabbed.get());
}

// Runs on parsebin's streaming thread. Some demuxers (mpegpsdemux on MPEG-1 system streams)
// send TIME segments whose stream time is missing or below zero (wrapped), and keep the first
// segment's start after a seek:
// position queries then fail and playback after a seek waits for the skipped time. Such a
// segment is rebuilt from the first segment's start and the last seek target.
GstPadProbeReturn GstMediaGraph::OnSegmentEvent(GstPad*, GstPadProbeInfo* info, gpointer self) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
  const GstSegment* segment = nullptr;
  gst_event_parse_segment(event, &segment);
  const bool timeBroken = !GST_CLOCK_TIME_IS_VALID(segment->time) ||
                          static_cast<gint64>(segment->time) < 0;
  if (segment->format != GST_FORMAT_TIME || !timeBroken ||
      !GST_CLOCK_TIME_IS_VALID(segment->start)) {
    return GST_PAD_PROBE_OK;
  }
  auto* graph = static_cast<GstMediaGraph*>(self);
  GstClockTime origin = GST_CLOCK_TIME_NONE;
  graph->contentOrigin_.compare_exchange_strong(origin, segment->start);
  origin = graph->contentOrigin_.load();
  GstSegment repaired;
  gst_segment_copy_into(segment, &repaired);
  repaired.time = graph->seekTarget_.load();
  repaired.start = origin + repaired.time;
  repaired.position = repaired.start;
  GstEvent* replacement = gst_event_new_segment(&repaired);
  gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
  gst_event_unref(event);
  GST_PAD_PROBE_INFO_DATA(info) = replacement;
  return GST_PAD_PROBE_OK;
}

GstGraphFilter* GstMediaGraph::TakeFilterFor(const GstCaps* caps) {
  const std::optional<protocol::MediaType> type = MediaTypeFromCaps(caps);
  if (!type) return nullptr;
  std::lock_guard guard(lock_);
  for (FilterSlot& slot : filters_) {
    if (!slot.linked && SUCCEEDED(slot.filter->CheckInputType(*type))) {
      slot.linked = true;
      return slot.filter;
    }
  }
  return nullptr;
}

GstElement* GstMediaGraph::MakeStreamOutput() {
  if (options_.output == OutputMode::kNullSinks) return MakeNullSink();
  GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
  if (decoder != nullptr) {
    g_signal_connect(decoder, "pad-added", G_CALLBACK(&OnDecodedPad), this);
  }
  return decoder;
}

// Runs on the decodebin's streaming thread.
void GstMediaGraph::OnDecodedPad(GstElement*, GstPad* pad, gpointer self) {
  auto* graph = static_cast<GstMediaGraph*>(self);
  CapsPtr caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  GstElement* output = nullptr;
  if (CapsNameStartsWith(caps.get(), "video/")) {
    output = MakeVideoOutput(graph->options_.videoFrames);
    graph->hasVideo_.store(output != nullptr);
  } else if (CapsNameStartsWith(caps.get(), "audio/")) {
    bool noDevice = false;
    output = MakeAudioOutput(noDevice);
    if (noDevice && !graph->noAudioReported_.exchange(true)) {
      GstStructure* s = gst_structure_new_empty(kNoAudioDeviceMessage);
      gst_element_post_message(graph->pipeline_.get(),
                               gst_message_new_application(nullptr, s));
    }
  } else {
    output = MakeNullSink();
  }
  if (output == nullptr) return;
  gst_bin_add(GST_BIN(graph->pipeline_.get()), output);
  gst_element_sync_state_with_parent(output);
  PadPtr sink(gst_element_get_static_pad(output, "sink"));
  gst_pad_link(pad, sink.get());
}

std::unique_ptr<MediaGraph> GstGraphFactory::CreateGraph() {
  return GstMediaGraph::Create(options_);
}

}  // namespace vantorel::media
