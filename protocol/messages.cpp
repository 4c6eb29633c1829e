#include "protocol/messages.h"

#include "protocol/byte_io.h"

namespace vantorel::protocol {
namespace {

constexpr std::uint8_t KindByte(BlockKind k) {
  return static_cast<std::uint8_t>(k);
}

// Each stream kind's blocks: its format record's kind K, then K+3 (sample properties), K+4
// (sample data) and K+5 (segment start).
BlockKind StreamBlockKind(StreamKind s, std::uint8_t offset) {
  std::uint8_t base = KindByte(BlockKind::kFormatRecordVideo);
  if (s == StreamKind::kAudio) base = KindByte(BlockKind::kFormatRecordAudio);
  if (s == StreamKind::kThird) base = KindByte(BlockKind::kFormatRecordThird);
  return static_cast<BlockKind>(base + offset);
}

// The stream whose block of the given offset has this kind byte.
std::optional<StreamKind> StreamOfKind(std::uint8_t kind, std::uint8_t offset) {
  for (StreamKind s : {StreamKind::kVideo, StreamKind::kAudio, StreamKind::kThird}) {
    if (kind == KindByte(StreamBlockKind(s, offset))) return s;
  }
  return std::nullopt;
}

}  // namespace

BlockKind FormatRecordKind(StreamKind s) {
  return StreamBlockKind(s, 0);
}
BlockKind SamplePropertiesKind(StreamKind s) {
  return StreamBlockKind(s, 3);
}
BlockKind SampleDataKind(StreamKind s) {
  return StreamBlockKind(s, 4);
}
BlockKind SegmentStartKind(StreamKind s) {
  return StreamBlockKind(s, 5);
}

MessageKind ClassifyMessage(std::span<const std::uint8_t> body) {
  if (body.size() < kHeaderWordSize) return MessageKind::kUnknown;
  switch (HeaderKind(LoadU32(body.data()))) {
    case KindByte(BlockKind::kStreamDescription):
      return MessageKind::kStreamDescription;
    case KindByte(BlockKind::kSamplePropertiesVideo):
    case KindByte(BlockKind::kSamplePropertiesAudio):
    case KindByte(BlockKind::kSamplePropertiesThird):
      return MessageKind::kSample;
    case KindByte(BlockKind::kSegmentStartVideo):
    case KindByte(BlockKind::kSegmentStartAudio):
    case KindByte(BlockKind::kSegmentStartThird):
      return MessageKind::kSegmentStart;
    default:
      return MessageKind::kUnknown;
  }
}

std::vector<std::uint8_t> EncodeFormatRecord(const FormatRecord& r) {
  const std::uint64_t blockLength = 56 + static_cast<std::uint64_t>(r.formatBlock.size());
  if (blockLength > kMaxBlockLength) return {};
  std::vector<std::uint8_t> out(kFormatRecordFixedSize + r.formatBlock.size());
  ByteWriter w(out);
  w.U32(MakeHeaderWord(FormatRecordKind(r.stream), static_cast<std::uint32_t>(blockLength)));
  w.Bytes(r.subtype.ToBytes());
  w.U8(r.session);
  w.U8(r.majorCode);
  w.U8(r.formatCode);
  w.U8(r.mediaFlags);
  w.U32(r.sampleSize);
  w.U32(static_cast<std::uint32_t>(r.formatBlock.size()));
  w.U32(r.reserved);
  w.I64(r.clockTime);
  w.I32(r.allocator.buffers);
  w.I32(r.allocator.bufferSize);
  w.I32(r.allocator.alignment);
  w.I32(r.allocator.prefix);
  w.Bytes(r.formatBlock);
  return out;
}

std::optional<FormatRecord> ParseFormatRecord(std::span<const std::uint8_t> bytes) {
  ByteReader r(bytes);
  const std::uint32_t head = r.U32();
  FormatRecord rec;
  auto stream = StreamOfKind(HeaderKind(head), 0);
  if (!r.Ok() || !stream) return std::nullopt;
  rec.stream = *stream;
  auto guidBytes = r.Bytes(Guid::kSize);
  if (!r.Ok()) return std::nullopt;
  rec.subtype = Guid::FromBytes(guidBytes);
  rec.session = r.U8();
  rec.majorCode = r.U8();
  rec.formatCode = r.U8();
  rec.mediaFlags = r.U8();
  rec.sampleSize = r.U32();
  const std::uint32_t formatSize = r.U32();
  rec.reserved = r.U32();
  rec.clockTime = r.I64();
  rec.allocator.buffers = r.I32();
  rec.allocator.bufferSize = r.I32();
  rec.allocator.alignment = r.I32();
  rec.allocator.prefix = r.I32();
  if (!r.Ok()) return std::nullopt;
  // The header length, the F field and the bytes present must all agree.
  if (formatSize != r.Remaining() ||
      HeaderLength(head) != 56 + static_cast<std::uint64_t>(formatSize)) {
    return std::nullopt;
  }
  auto block = r.Bytes(formatSize);
  rec.formatBlock.assign(block.begin(), block.end());
  return rec;
}

std::vector<std::uint8_t> EncodeStreamDescription(std::uint8_t streamFlags,
                                                  const std::vector<FormatRecord>& records) {
  if (records.size() > kMaxDescribedStreams) return {};
  std::vector<std::uint8_t> out(kHeaderWordSize);
  for (const FormatRecord& rec : records) {
    auto bytes = EncodeFormatRecord(rec);
    if (bytes.empty()) return {};
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  const std::size_t total = out.size() - kHeaderWordSize;
  if (total > kMaxDescriptionTotal) return {};
  StoreU32(out.data(), MakeDescriptionHeaderWord(streamFlags, static_cast<std::uint32_t>(total)));
  return out;
}

std::optional<StreamDescription> ParseStreamDescription(std::span<const std::uint8_t> body) {
  if (body.size() < kHeaderWordSize) return std::nullopt;
  const std::uint32_t head = LoadU32(body.data());
  if (HeaderKind(head) != KindByte(BlockKind::kStreamDescription)) return std::nullopt;
  const std::size_t total = head & kMaxDescriptionTotal;
  if (total > body.size() - kHeaderWordSize) return std::nullopt;
  auto records = body.subspan(kHeaderWordSize, total);

  StreamDescription d;
  d.streamFlags = static_cast<std::uint8_t>(head >> 16);
  std::size_t offset = 0;
  while (offset < records.size()) {
    const std::size_t left = records.size() - offset;
    if (d.records.size() == kMaxDescribedStreams || left < kFormatRecordFixedSize) {
      return std::nullopt;
    }
    const std::size_t length = kHeaderWordSize + HeaderLength(LoadU32(records.data() + offset));
    if (length > left) return std::nullopt;
    auto rec = ParseFormatRecord(records.subspan(offset, length));
    if (!rec) return std::nullopt;
    d.records.push_back(std::move(*rec));
    offset += length;
  }
  return d;
}

std::array<std::uint8_t, kSamplePropertiesSize> EncodeSampleProperties(const SampleProperties& p) {
  std::array<std::uint8_t, kSamplePropertiesSize> out{};
  ByteWriter v(out);
  v.U32(p.typeSpecificFlags);
  v.U32(p.sampleFlags);
  v.I32(p.actualLength);
  v.U32(p.reserved);
  v.I64(p.start);
  v.I64(p.stop);
  v.U32(p.streamId);
  v.I32(p.bufferSize);
  return out;
}

SampleProperties DecodeSampleProperties(
    std::span<const std::uint8_t, kSamplePropertiesSize> bytes) {
  ByteReader r(bytes);
  SampleProperties p;
  p.typeSpecificFlags = r.U32();
  p.sampleFlags = r.U32();
  p.actualLength = r.I32();
  p.reserved = r.U32();
  p.start = r.I64();
  p.stop = r.I64();
  p.streamId = r.U32();
  p.bufferSize = r.I32();
  return p;
}

std::optional<SampleMessageView> ParseSampleMessage(std::span<const std::uint8_t> body) {
  ByteReader r(body);
  const std::uint32_t head = r.U32();
  auto stream = StreamOfKind(HeaderKind(head), 3);
  if (!r.Ok() || !stream || HeaderLength(head) != kSamplePropertiesSize) return std::nullopt;
  auto props = r.Bytes(kSamplePropertiesSize);
  const std::uint32_t dataHead = r.U32();
  if (!r.Ok() || HeaderKind(dataHead) != KindByte(SampleDataKind(*stream))) return std::nullopt;
  const std::uint32_t n = HeaderLength(dataHead);
  if (n != r.Remaining()) return std::nullopt;
  SampleMessageView view;
  view.stream = *stream;
  view.properties = DecodeSampleProperties(props.first<kSamplePropertiesSize>());
  view.data = r.Bytes(n);
  return view;
}

std::array<std::uint8_t, kSegmentStartSize> EncodeSegmentStart(const SegmentStart& s) {
  std::array<std::uint8_t, kSegmentStartSize> out{};
  ByteWriter w(out);
  w.U32(MakeHeaderWord(SegmentStartKind(s.stream), 8));
  w.I64(s.clockTime);
  return out;
}

std::optional<SegmentStart> ParseSegmentStart(std::span<const std::uint8_t> body) {
  ByteReader r(body);
  const std::uint32_t head = r.U32();
  auto stream = StreamOfKind(HeaderKind(head), 5);
  SegmentStart s;
  s.clockTime = r.I64();
  if (!r.Ok() || !stream || HeaderLength(head) != 8) return std::nullopt;
  s.stream = *stream;
  return s;
}

std::optional<SampleMessageBuffers> SampleMessageBuffers::Make(StreamKind stream,
                                                               const SampleProperties& p,
                                                               std::span<const std::uint8_t> data) {
  if (data.size() > kMaxSampleData) return std::nullopt;
  SampleMessageBuffers m;
  StoreU32(m.head_.data(), MakeHeaderWord(SamplePropertiesKind(stream), kSamplePropertiesSize));
  m.properties_ = EncodeSampleProperties(p);
  StoreU32(m.dataHead_.data(),
           MakeHeaderWord(SampleDataKind(stream), static_cast<std::uint32_t>(data.size())));
  m.data_ = data;
  return m;
}

BufferList SampleMessageBuffers::Buffers() {
  list_[0] = MakeBuffer(head_.data(), head_.size());
  list_[1] = MakeBuffer(properties_.data(), properties_.size());
  list_[2] = MakeBuffer(dataHead_.data(), dataHead_.size());
  if (data_.empty()) return BufferList(list_.data(), 3);
  list_[3] = MakeBuffer(data_.data(), data_.size());
  return BufferList(list_.data(), 4);
}

}  // namespace vantorel::protocol
