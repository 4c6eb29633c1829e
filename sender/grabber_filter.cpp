#include "sender/grabber_filter.h"

#include <algorithm>
#include <limits>
#include <span>

#include "platform/media/caps_conversion.h"
#include "platform/media/timing_log.h"
#include "protocol/media_codes.h"
#include "sender/grabber_policy.h"

namespace vantorel::sender {

namespace {

constexpr std::int64_t kNanosecondsPer100ns = 100;

// Holds a buffer's read mapping for the length of one send.
class MappedBuffer {
 public:
  explicit MappedBuffer(GstBuffer* buffer) : buffer_(buffer) {
    mapped_ = gst_buffer_map(buffer_, &map_, GST_MAP_READ);
  }
  ~MappedBuffer() {
    if (mapped_) gst_buffer_unmap(buffer_, &map_);
  }
  MappedBuffer(const MappedBuffer&) = delete;
  MappedBuffer& operator=(const MappedBuffer&) = delete;
  bool Mapped() const { return mapped_; }
  std::span<const std::uint8_t> Bytes() const { return {map_.data, map_.size}; }

 private:
  GstBuffer* buffer_;
  GstMapInfo map_{};
  bool mapped_ = false;
};

std::int32_t ClampToInt32(std::size_t v) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(v, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
}

// The running time of t, in 100 ns units. Negative before the segment's start: after an
// accurate seek the key frame and the first audio buffer begin before the place sought, and
// go out timed before the segment start, as preroll that receivers decode but never show.
std::optional<std::int64_t> RunningTime100ns(const GstSegment& segment, GstClockTime t) {
  if (segment.format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(t)) return std::nullopt;
  guint64 running = 0;
  const int sign = gst_segment_to_running_time_full(&segment, GST_FORMAT_TIME, t, &running);
  if (sign == 0) return std::nullopt;
  const auto magnitude = static_cast<std::int64_t>(running / kNanosecondsPer100ns);
  return sign > 0 ? magnitude : -magnitude;
}

BufferFacts FactsOf(GstBuffer* buffer, const GstSegment& segment) {
  BufferFacts f;
  f.deltaUnit = GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
  f.discontinuity = GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  // A frame whose container gives only its decoding time (the index of an AVI file) goes out
  // with that time, as the container knows it.
  GstClockTime pts = GST_BUFFER_PTS(buffer);
  if (!GST_CLOCK_TIME_IS_VALID(pts)) pts = GST_BUFFER_DTS(buffer);
  f.start = RunningTime100ns(segment, pts);
  if (f.start && GST_BUFFER_DURATION_IS_VALID(buffer)) {
    f.stop = RunningTime100ns(segment, pts + GST_BUFFER_DURATION(buffer));
  }
  gsize offset = 0;
  gsize maxSize = 0;
  const gsize size = gst_buffer_get_sizes(buffer, &offset, &maxSize);
  f.actualLength = ClampToInt32(size);
  f.bufferSize = ClampToInt32(maxSize);
  return f;
}

}  // namespace

GrabberFilter::GrabberFilter(std::uint8_t session, StreamMultiplexer* multiplexer, const char* name,
                             protocol::StreamKind kind)
    : session_(session),
      multiplexer_(multiplexer),
      kind_(kind),
      element_(sender::gst::MakeGrabberElement(name, this)) {}

GrabberFilter::~GrabberFilter() {
  if (element_) sender::gst::DetachGrabberElement(element_.get());
}

HRESULT GrabberFilter::CheckInputType(const protocol::MediaType& type) {
  return sender::CheckInputType(kind_, type);
}

// Runs on the streaming thread that built the stream's path, once both pads are linked.
void GrabberFilter::CompleteConnect(const GstCaps* caps) {
  {
    std::lock_guard guard(publishLock_);
    if (!type_) {
      type_ = media::MediaTypeFromCaps(caps);
      if (!type_) return;
      allocator_ = sender::gst::QueryDownstreamAllocation(element_.get(), caps)
                       .value_or(FallbackAllocatorProperties(*type_));
    }
  }
  connected_.store(true);
  PublishFormat();
}

void GrabberFilter::CapsReady(const GstCaps* caps) {
  if (!connected_.load()) CompleteConnect(caps);
}

void GrabberFilter::PublishFormat() {
  std::lock_guard guard(publishLock_);
  if (!record_.empty() || !type_ || multiplexer_ == nullptr) return;
  protocol::FormatRecord r;
  r.stream = kind_;
  r.subtype = type_->subtype;
  r.session = session_;
  r.majorCode = protocol::MajorTypeCode(type_->majorType);
  r.formatCode = protocol::FormatTypeCode(type_->formatType);
  r.mediaFlags = (type_->fixedSizeSamples ? protocol::kMediaFlagFixedSizeSamples : 0) |
                 (type_->temporalCompression ? protocol::kMediaFlagTemporalCompression : 0);
  r.sampleSize = type_->sampleSize;
  r.clockTime = lastClock_.load();
  r.allocator = allocator_;
  r.formatBlock = type_->formatBlock;
  record_ = protocol::EncodeFormatRecord(r);
  if (record_.empty()) return;
  const std::uint8_t flag = kind_ == protocol::StreamKind::kVideo ? protocol::kStreamFlagVideo
                                                                  : protocol::kStreamFlagAudio;
  multiplexer_->RegisterStream(this, flag, record_);
}

std::int64_t GrabberFilter::ReadClock100ns() {
  return static_cast<std::int64_t>(sender::gst::ReadElementClock(element_.get()) /
                                   kNanosecondsPer100ns);
}

std::int64_t GrabberFilter::BaseTime100ns() {
  return static_cast<std::int64_t>(gst_element_get_base_time(element_.get()) /
                                   kNanosecondsPer100ns);
}

std::int64_t GrabberFilter::ReadClock() {
  const std::int64_t now = ReadClock100ns();
  std::int64_t unset = 0;
  segmentBase_.compare_exchange_strong(unset, now);
  lastClock_.store(now);
  return now;
}

void GrabberFilter::NewSegment(const GstSegment&) {
  segmentPending_.store(false);
  const std::int64_t now = ReadClock100ns();
  lastClock_.store(now);
  // A live stream's running time goes on across a pause: its samples are timed from the base
  // time, which the pipeline moves on by the pause, so that they stay on the clock.
  segmentBase_.store(live_.load() ? BaseTime100ns() : now);
  if (multiplexer_ == nullptr) return;
  const auto bytes = protocol::EncodeSegmentStart({kind_, now});
  const protocol::Buffer buffer = protocol::MakeBuffer(bytes.data(), bytes.size());
  multiplexer_->Send(protocol::kChannelMessage, {&buffer, 1});
  segmentStarts_.fetch_add(1);
}

void GrabberFilter::Transform(GstBuffer* buffer, const GstSegment& segment) {
  if (multiplexer_ == nullptr) return;
  if (segmentPending_.load()) NewSegment(segment);
  const protocol::SampleProperties properties = MakeSampleProperties(
      FactsOf(buffer, segment), live_.load() ? BaseTime100ns() : segmentBase_.load());
  MappedBuffer mapped(buffer);
  if (!mapped.Mapped()) {
    unmappable_.fetch_add(1);
    return;
  }
  auto message = protocol::SampleMessageBuffers::Make(kind_, properties, mapped.Bytes());
  if (!message) {
    droppedOversized_.fetch_add(1);
    return;
  }
  if (multiplexer_->Send(protocol::kChannelMessage, message->Buffers()) == 0) {
    droppedOversized_.fetch_add(1);
    return;
  }
  samples_.fetch_add(1);
  if ((properties.sampleFlags & protocol::kSampleTimeValid) != 0) {
    media::LogPresentation(
        "send", element_.get(), kind_ == protocol::StreamKind::kVideo, properties.start,
        gst_segment_to_running_time(&segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer)));
  }
}

GrabberStats GrabberFilter::Stats() const {
  return {samples_.load(), segmentStarts_.load(), droppedOversized_.load(), unmappable_.load()};
}

std::vector<std::uint8_t> GrabberFilter::FormatRecord() const {
  std::lock_guard guard(publishLock_);
  return record_;
}

}  // namespace vantorel::sender
