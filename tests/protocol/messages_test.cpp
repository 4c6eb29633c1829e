#include "protocol/messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "protocol/byte_io.h"
#include "protocol/media_codes.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::protocol {
namespace {

using testing::Bytes;
using testing::Pattern;
using testing::WordAt;

FormatRecord MakeRecord(StreamKind stream, std::size_t formatSize, std::uint8_t session = 0) {
  FormatRecord r;
  r.stream = stream;
  r.subtype = GuidFromFourcc(stream == StreamKind::kVideo ? 0x3147504D : 0x00000050);
  r.session = session;
  r.majorCode = stream == StreamKind::kVideo ? 15 : 3;
  r.formatCode = stream == StreamKind::kVideo ? 1 : 5;
  r.mediaFlags = kMediaFlagFixedSizeSamples;
  r.sampleSize = 4608;
  r.clockTime = -123456789;
  r.allocator = {4, 65536, 1, 0};
  r.formatBlock = Pattern(formatSize, 3);
  return r;
}

void StoreAt(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  StoreU32(bytes.data() + offset, value);
}

TEST(FormatRecordTest, FieldsLieAtTheirOffsets) {
  FormatRecord r = MakeRecord(StreamKind::kVideo, 5, 7);
  r.reserved = 0x01020304;
  const Bytes bytes = EncodeFormatRecord(r);
  ASSERT_EQ(bytes.size(), 65u);
  EXPECT_EQ(WordAt(bytes, 0), 0x0B00003Du);  // kind 11, 56 + 5
  EXPECT_EQ(Guid::FromBytes(std::span(bytes).subspan(4)), r.subtype);
  EXPECT_EQ(bytes[20], 7);
  EXPECT_EQ(bytes[21], 15);
  EXPECT_EQ(bytes[22], 1);
  EXPECT_EQ(bytes[23], kMediaFlagFixedSizeSamples);
  EXPECT_EQ(WordAt(bytes, 24), 4608u);
  EXPECT_EQ(WordAt(bytes, 28), 5u);
  EXPECT_EQ(WordAt(bytes, 32), 0x01020304u);
  const std::uint64_t clock = WordAt(bytes, 36) | (std::uint64_t{WordAt(bytes, 40)} << 32);
  EXPECT_EQ(static_cast<std::int64_t>(clock), -123456789);
  EXPECT_EQ(kFormatRecordClockOffset, 36u);
  EXPECT_EQ(WordAt(bytes, 44), 4u);
  EXPECT_EQ(WordAt(bytes, 48), 65536u);
  EXPECT_EQ(WordAt(bytes, 52), 1u);
  EXPECT_EQ(WordAt(bytes, 56), 0u);
  EXPECT_EQ(Bytes(bytes.begin() + 60, bytes.end()), r.formatBlock);
}

TEST(FormatRecordTest, RoundTrips) {
  for (StreamKind s : {StreamKind::kVideo, StreamKind::kAudio}) {
    const FormatRecord r = MakeRecord(s, 90, 255);
    auto parsed = ParseFormatRecord(EncodeFormatRecord(r));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, r);
  }
}

TEST(StreamDescriptionTest, OneAudioRecordWithEighteenFormatBytes) {
  const Bytes body =
      EncodeStreamDescription(kStreamFlagAudio, {MakeRecord(StreamKind::kAudio, 18)});
  ASSERT_EQ(body.size(), 82u);
  EXPECT_EQ(WordAt(body, 0), 0x0A02004Eu);
  EXPECT_EQ(WordAt(body, 4), 0x1500004Au);  // kind 21, 56 + 18
  EXPECT_EQ(ClassifyMessage(body), MessageKind::kStreamDescription);
}

TEST(StreamDescriptionTest, RoundTripsRecordsInOrder) {
  const std::vector<FormatRecord> records{MakeRecord(StreamKind::kAudio, 18),
                                          MakeRecord(StreamKind::kVideo, 140)};
  auto parsed = ParseStreamDescription(EncodeStreamDescription(3, records));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->streamFlags, 3);
  EXPECT_EQ(parsed->records, records);
}

TEST(StreamDescriptionTest, EightRecordsAreTheLimit) {
  const std::vector<FormatRecord> eight(8, MakeRecord(StreamKind::kVideo, 0));
  auto parsed = ParseStreamDescription(EncodeStreamDescription(1, eight));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->records.size(), 8u);
  EXPECT_TRUE(
      EncodeStreamDescription(1, std::vector(9, MakeRecord(StreamKind::kVideo, 0))).empty());
}

TEST(StreamDescriptionTest, EncoderRefusesRecordsOf65536BytesOrMore) {
  // 60 + F per record: two records totalling exactly 65535 bytes fit, one byte more does not.
  const FormatRecord a = MakeRecord(StreamKind::kVideo, 32000);
  EXPECT_EQ(
      EncodeStreamDescription(1, {a, MakeRecord(StreamKind::kAudio, 65535 - 32060 - 60)}).size(),
      4u + 65535u);
  EXPECT_TRUE(
      EncodeStreamDescription(1, {a, MakeRecord(StreamKind::kAudio, 65536 - 32060 - 60)}).empty());
}

// A valid two-record description and one way to spoil it.
struct DescriptionMutation {
  const char* name;
  std::function<void(Bytes&)> spoil;
};

void PrintTo(const DescriptionMutation& m, std::ostream* os) {
  *os << m.name;
}

class MalformedDescriptionTest : public ::testing::TestWithParam<DescriptionMutation> {
 protected:
  static Bytes ValidBody() {
    return EncodeStreamDescription(
        3, {MakeRecord(StreamKind::kVideo, 20), MakeRecord(StreamKind::kAudio, 18)});
  }
};

TEST_P(MalformedDescriptionTest, IsRejected) {
  Bytes body = ValidBody();
  ASSERT_TRUE(ParseStreamDescription(body));
  GetParam().spoil(body);
  EXPECT_FALSE(ParseStreamDescription(body));
}

constexpr std::size_t kSecondRecord = 4 + 80;

INSTANTIATE_TEST_SUITE_P(
    Mutations, MalformedDescriptionTest,
    ::testing::Values(
        DescriptionMutation{"EmptyBody", [](Bytes& b) { b.clear(); }},
        DescriptionMutation{"ThreeBytes", [](Bytes& b) { b.resize(3); }},
        DescriptionMutation{"NotKind10", [](Bytes& b) { b[3] = 14; }},
        DescriptionMutation{"FieldFLargerThanHeaderLength",
                            [](Bytes& b) { StoreAt(b, 4 + 28, 21); }},
        DescriptionMutation{"FieldFSmallerThanHeaderLength",
                            [](Bytes& b) { StoreAt(b, kSecondRecord + 28, 17); }},
        DescriptionMutation{"RecordHeaderLengthTooLarge",
                            [](Bytes& b) { StoreAt(b, 4, 0x0B000000u | (56 + 21)); }},
        DescriptionMutation{"RecordHeaderLengthZero", [](Bytes& b) { StoreAt(b, 4, 0x0B000000u); }},
        DescriptionMutation{"TotalLargerThanBody",
                            [](Bytes& b) { StoreAt(b, 0, WordAt(b, 0) + 1); }},
        DescriptionMutation{"BodyCutShort", [](Bytes& b) { b.pop_back(); }},
        DescriptionMutation{"TotalEndsInsideARecord",
                            [](Bytes& b) { StoreAt(b, 0, WordAt(b, 0) - 1); }},
        DescriptionMutation{"TotalLeavesAShortRecordTail",
                            [](Bytes& b) { StoreAt(b, 0, 0x0A030000u | (80 + 59)); }},
        DescriptionMutation{"RecordOfSampleKind", [](Bytes& b) { b[kSecondRecord + 3] = 24; }},
        DescriptionMutation{"NineRecords",
                            [](Bytes& b) {
                              const Bytes rec =
                                  EncodeFormatRecord(MakeRecord(StreamKind::kVideo, 0));
                              b.resize(4);
                              for (int i = 0; i < 9; ++i) b.insert(b.end(), rec.begin(), rec.end());
                              StoreAt(b, 0, MakeDescriptionHeaderWord(1, 9 * 60));
                            }}),
    [](const auto& info) { return std::string(info.param.name); });

SampleProperties SomeProperties() {
  SampleProperties p;
  p.typeSpecificFlags = 0x11;
  p.sampleFlags = kSampleSplicePoint | kSampleTimeValid | kSampleStopValid;
  p.actualLength = 1412;
  p.start = 400000;
  p.stop = 733333;
  p.streamId = 2;
  p.bufferSize = 65536;
  return p;
}

Bytes SampleBody(StreamKind stream, const Bytes& data) {
  auto m = SampleMessageBuffers::Make(stream, SomeProperties(), data);
  EXPECT_TRUE(m);
  return testing::Flatten(m->Buffers());
}

TEST(SampleMessageTest, PropertiesLieAtTheirOffsets) {
  const Bytes body = SampleBody(StreamKind::kAudio, Pattern(10));
  ASSERT_EQ(body.size(), 58u);
  EXPECT_EQ(WordAt(body, 0), 0x18000028u);  // kind 24, 40
  EXPECT_EQ(WordAt(body, 4), 0x11u);
  EXPECT_EQ(WordAt(body, 8), 0x111u);
  EXPECT_EQ(WordAt(body, 12), 1412u);
  EXPECT_EQ(WordAt(body, 16), 0u);
  EXPECT_EQ(WordAt(body, 20), 400000u);
  EXPECT_EQ(WordAt(body, 24), 0u);
  EXPECT_EQ(WordAt(body, 28), 733333u);
  EXPECT_EQ(WordAt(body, 36), 2u);
  EXPECT_EQ(WordAt(body, 40), 65536u);
  EXPECT_EQ(WordAt(body, 44), 0x1900000Au);  // kind 25, 10
  EXPECT_EQ(Bytes(body.begin() + 48, body.end()), Pattern(10));
}

TEST(SampleMessageTest, EmptySampleIs48BytesEndingWithAZeroLengthDataHeader) {
  for (StreamKind s : {StreamKind::kVideo, StreamKind::kAudio}) {
    const Bytes body = SampleBody(s, {});
    ASSERT_EQ(body.size(), kSampleMessageOverhead);
    EXPECT_EQ(WordAt(body, 44), MakeHeaderWord(SampleDataKind(s), 0));
    auto parsed = ParseSampleMessage(body);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->data.empty());
  }
}

TEST(SampleMessageTest, BuffersBorrowTheSampleBytes) {
  const Bytes data = Pattern(1404);
  auto m = SampleMessageBuffers::Make(StreamKind::kVideo, SomeProperties(), data);
  ASSERT_TRUE(m);
  const BufferList list = m->Buffers();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].length, 4u);
  EXPECT_EQ(list[1].length, 40u);
  EXPECT_EQ(list[2].length, 4u);
  EXPECT_EQ(list[3].length, 1404u);
  EXPECT_EQ(list[3].data, data.data());
  EXPECT_EQ(m->Buffers().size(), 4u);  // a second call gives the same list
  EXPECT_EQ(SampleMessageBuffers::Make(StreamKind::kVideo, {}, {})->Buffers().size(), 3u);
}

TEST(SampleMessageTest, RoundTrips) {
  const Bytes data = Pattern(300, 9);
  const Bytes body = SampleBody(StreamKind::kVideo, data);
  EXPECT_EQ(ClassifyMessage(body), MessageKind::kSample);
  auto parsed = ParseSampleMessage(body);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->stream, StreamKind::kVideo);
  EXPECT_EQ(parsed->properties, SomeProperties());
  EXPECT_EQ(Bytes(parsed->data.begin(), parsed->data.end()), data);
  EXPECT_EQ(parsed->data.data(), body.data() + 48);
}

TEST(SampleMessageTest, MakeRefusesDataThatTheHeaderWordCannotExpress) {
  Bytes data(kMaxSampleData + 1);
  EXPECT_FALSE(SampleMessageBuffers::Make(StreamKind::kVideo, {}, data));
  data.pop_back();
  auto m = SampleMessageBuffers::Make(StreamKind::kVideo, {}, data);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->Buffers()[2].data[0] | (m->Buffers()[2].data[3] << 24), 0x0F0000FF);
  EXPECT_EQ(TotalLength(m->Buffers()), kSampleMessageOverhead + kMaxSampleData);
}

struct SampleMutation {
  const char* name;
  std::function<void(Bytes&)> spoil;
};

void PrintTo(const SampleMutation& m, std::ostream* os) {
  *os << m.name;
}

class MalformedSampleTest : public ::testing::TestWithParam<SampleMutation> {};

TEST_P(MalformedSampleTest, IsRejected) {
  Bytes body = SampleBody(StreamKind::kVideo, Pattern(16));
  ASSERT_TRUE(ParseSampleMessage(body));
  GetParam().spoil(body);
  EXPECT_FALSE(ParseSampleMessage(body));
}

INSTANTIATE_TEST_SUITE_P(
    Mutations, MalformedSampleTest,
    ::testing::Values(
        SampleMutation{"Empty", [](Bytes& b) { b.clear(); }},
        SampleMutation{"ShorterThanTheBlocks", [](Bytes& b) { b.resize(47); }},
        SampleMutation{"PropertiesLength39", [](Bytes& b) { StoreAt(b, 0, 0x0E000027u); }},
        SampleMutation{"FirstKindNotSample", [](Bytes& b) { b[3] = 16; }},
        SampleMutation{"DataKindOfTheOtherStream", [](Bytes& b) { b[47] = 25; }},
        SampleMutation{"DataLengthPastTheBody", [](Bytes& b) { b.pop_back(); }},
        SampleMutation{"BytesAfterTheData", [](Bytes& b) { b.push_back(0); }},
        SampleMutation{"DataLengthHuge", [](Bytes& b) { StoreAt(b, 44, 0x0FFFFFFFu); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SegmentStartTest, IsTwelveBytesAndRoundTrips) {
  const auto bytes = EncodeSegmentStart({StreamKind::kAudio, 0x0102030405060708});
  const Bytes body(bytes.begin(), bytes.end());
  EXPECT_EQ(WordAt(body, 0), 0x1A000008u);
  EXPECT_EQ(WordAt(body, 4), 0x05060708u);
  EXPECT_EQ(WordAt(body, 8), 0x01020304u);
  EXPECT_EQ(ClassifyMessage(body), MessageKind::kSegmentStart);
  auto parsed = ParseSegmentStart(body);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->stream, StreamKind::kAudio);
  EXPECT_EQ(parsed->clockTime, 0x0102030405060708);
}

TEST(SegmentStartTest, RejectsWrongLengthKindOrTruncation) {
  const auto bytes = EncodeSegmentStart({StreamKind::kVideo, 5});
  Bytes body(bytes.begin(), bytes.end());
  EXPECT_FALSE(ParseSegmentStart(std::span(body).first(11)));
  Bytes wrongLength = body;
  StoreAt(wrongLength, 0, 0x10000009u);
  EXPECT_FALSE(ParseSegmentStart(wrongLength));
  Bytes wrongKind = body;
  wrongKind[3] = 15;
  EXPECT_FALSE(ParseSegmentStart(wrongKind));
}

TEST(ClassifyMessageTest, TellsBodiesByTheirFirstKindByte) {
  auto kindOf = [](std::uint8_t kind, std::size_t size = 4) {
    Bytes body(size);
    if (size >= 4) body[3] = kind;
    return ClassifyMessage(body);
  };
  EXPECT_EQ(kindOf(10), MessageKind::kStreamDescription);
  EXPECT_EQ(kindOf(14), MessageKind::kSample);
  EXPECT_EQ(kindOf(24), MessageKind::kSample);
  EXPECT_EQ(kindOf(16), MessageKind::kSegmentStart);
  EXPECT_EQ(kindOf(26), MessageKind::kSegmentStart);
  for (std::uint8_t k : {0, 11, 15, 21, 25, 255})
    EXPECT_EQ(kindOf(k), MessageKind::kUnknown) << int{k};
  EXPECT_EQ(kindOf(10, 3), MessageKind::kUnknown);
}

}  // namespace
}  // namespace vantorel::protocol
