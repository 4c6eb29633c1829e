#include "tools/listen/message_format.h"

#include <gtest/gtest.h>

#include <functional>

#include "protocol/messages.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::tools {
namespace {

using protocol::StreamKind;
using testing::Bytes;

Bytes Description() {
  protocol::FormatRecord audio;
  audio.stream = StreamKind::kAudio;
  audio.session = 2;
  audio.majorCode = 3;
  audio.formatCode = 5;
  audio.formatBlock = Bytes(18);
  protocol::FormatRecord video;
  video.session = 2;
  video.majorCode = 15;
  video.formatCode = 255;
  video.formatBlock = Bytes(88);
  return protocol::EncodeStreamDescription(3, {audio, video});
}

Bytes Sample(StreamKind stream, std::size_t size) {
  protocol::SampleProperties p;
  p.sampleFlags =
      protocol::kSampleSplicePoint | protocol::kSampleTimeValid | protocol::kSampleStopValid;
  p.start = 400000;
  p.stop = -1;
  const Bytes data(size, 0x33);
  return testing::Flatten(protocol::SampleMessageBuffers::Make(stream, p, data)->Buffers());
}

Bytes Segment(std::int64_t clock) {
  const auto s = protocol::EncodeSegmentStart({StreamKind::kAudio, clock});
  return Bytes(s.begin(), s.end());
}

struct LineCase {
  const char* name;
  std::uint32_t number;
  std::uint32_t channel;
  std::function<Bytes()> body;
  const char* line;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.name;
}

class MessageFormatTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(MessageFormatTest, DescribesTheMessageOnOneLine) {
  const LineCase& c = GetParam();
  EXPECT_EQ(DescribeMessage(c.number, c.channel, c.body()), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MessageFormatTest,
    ::testing::Values(
        LineCase{"Description", 0, 1, Description,
                 "message=0 channel=1 length=230 kind=10 flags=3 records=2 record=21:2:3:5:18 "
                 "record=11:2:15:255:88"},
        LineCase{"VideoSample", 7, 1, [] { return Sample(StreamKind::kVideo, 1412); },
                 "message=7 channel=1 length=1460 kind=14 data=1412 flags=0x111 start=400000 "
                 "stop=-1"},
        LineCase{"EmptyAudioSample", 8, 1, [] { return Sample(StreamKind::kAudio, 0); },
                 "message=8 channel=1 length=48 kind=24 data=0 flags=0x111 start=400000 stop=-1"},
        LineCase{"SegmentStart", 4294967295u, 7, [] { return Segment(-5); },
                 "message=4294967295 channel=7 length=12 kind=26 clock=-5"},
        LineCase{"UnknownKind", 1, 1, [] { return Bytes{0, 0, 0, 99, 1, 2}; },
                 "message=1 channel=1 length=6 kind=99"},
        LineCase{"EmptyBody", 2, 1, [] { return Bytes{}; }, "message=2 channel=1 length=0 kind=0"},
        LineCase{"ShorterThanAHeaderWord", 2, 1,
                 [] {
                   return Bytes{0x0A, 0, 0};
                 },
                 "message=2 channel=1 length=3 kind=0"},
        LineCase{"MalformedDescription", 3, 1,
                 [] {
                   Bytes b = Description();
                   b.pop_back();
                   return b;
                 },
                 "message=3 channel=1 length=229 kind=10 malformed"},
        LineCase{"MalformedSample", 3, 1,
                 [] {
                   Bytes b = Sample(StreamKind::kVideo, 10);
                   b.push_back(0);
                   return b;
                 },
                 "message=3 channel=1 length=59 kind=14 malformed"},
        LineCase{"MalformedSegmentStart", 3, 1,
                 [] {
                   return Bytes{0, 0, 0, 16};
                 },
                 "message=3 channel=1 length=4 kind=16 malformed"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantorel::tools
