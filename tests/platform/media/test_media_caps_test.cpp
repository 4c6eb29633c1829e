// The streams that parsebin exposes for each generated test file map to a media type whose
// caps, rebuilt the way the receiver does, really decode: the parsed samples are pushed through
// appsrc with only those caps into decodebin. A second pass joins late, from a key frame in the
// middle, so the codec data must travel inside the format block.
#include "platform/media/caps_conversion.h"
#include "platform/media/gst_ptr.h"
#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"
#include "sender/gst/playable_files.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantorel::media {
namespace {

using protocol::Guid;
using protocol::GuidFromFourcc;
using protocol::MakeFourcc;
namespace guids = protocol::guids;
namespace tags = protocol::wave_tags;

constexpr GstClockTime kTimeout = 30 * GST_SECOND;

struct BufferUnref {
  void operator()(GstBuffer* b) const { gst_buffer_unref(b); }
};
using BufferPtr = std::unique_ptr<GstBuffer, BufferUnref>;

struct ParsedStream {
  CapsPtr exposedCaps;  // as parsebin exposed the stream
  CapsPtr caps;         // after the conversion the graph layer adds, if any
  std::vector<BufferPtr> buffers;
};

std::string TestMediaPath(const std::string& name) {
  return std::string(VANTOREL_TEST_MEDIA_DIR) + "/" + name;
}

// Runs the pipeline to its end and leaves it there; the error text, or empty on EOS.
std::string RunToEnd(GstElement* pipeline) {
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    return "cannot play";
  }
  BusPtr bus(gst_element_get_bus(pipeline));
  MessagePtr message(gst_bus_timed_pop_filtered(
      bus.get(), kTimeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
  std::string error;
  if (!message) {
    error = "timed out";
  } else if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
    GError* raw = nullptr;
    gst_message_parse_error(message.get(), &raw, nullptr);
    ErrorPtr owned(raw);
    error = owned ? owned->message : "error";
  }
  return error;
}

// Every stream parsebin exposes, with its final caps and all its parsed buffers.
struct ParseRun {
  struct Branch {
    PadPtr entry;      // where the stream parsebin exposed enters the branch
    GstElement* sink;  // owned by the pipeline
  };
  std::mutex lock;
  std::vector<Branch> branches;
  GstElement* pipeline = nullptr;
};

// Puts the byte-stream conversion that the graph layer adds for H.264 in stream-format avc in
// front of `next`; the element the stream enters, `next` itself for other streams. The final
// caps are not known yet when the pad appears, so every H.264 stream gets the conversion.
GstElement* WithByteStreamConversion(GstBin* bin, GstPad* pad, GstElement* next) {
  CapsPtr possible(gst_pad_query_caps(pad, nullptr));
  if (gst_caps_is_empty(possible.get()) ||
      !gst_structure_has_name(gst_caps_get_structure(possible.get(), 0), "video/x-h264")) {
    return next;
  }
  GstElement* parse = gst_element_factory_make("h264parse", nullptr);
  GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
  g_object_set(parse, "config-interval", -1, nullptr);
  CapsPtr byteStream(gst_caps_from_string("video/x-h264, stream-format=byte-stream, alignment=au"));
  g_object_set(filter, "caps", byteStream.get(), nullptr);
  gst_bin_add_many(bin, parse, filter, nullptr);
  gst_element_link_many(parse, filter, next, nullptr);
  gst_element_sync_state_with_parent(filter);
  gst_element_sync_state_with_parent(parse);
  return parse;
}

// Called on the streaming thread when parsebin exposes a stream.
void OnParsedPad(GstElement*, GstPad* pad, gpointer data) {
  auto* run = static_cast<ParseRun*>(data);
  // The queue lets each stream preroll while the demuxer still feeds the others, however the
  // file interleaves them (the test files are small).
  GstElement* queue = gst_element_factory_make("queue", nullptr);
  g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", guint64{0},
               nullptr);
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  // Without wait-on-eos the sink takes EOS while its samples are still queued for pulling.
  g_object_set(sink, "sync", FALSE, "wait-on-eos", FALSE, nullptr);
  gst_bin_add_many(GST_BIN(run->pipeline), queue, sink, nullptr);
  gst_element_link(queue, sink);
  gst_element_sync_state_with_parent(sink);
  gst_element_sync_state_with_parent(queue);
  GstElement* entry = WithByteStreamConversion(GST_BIN(run->pipeline), pad, queue);
  PadPtr entryPad(gst_element_get_static_pad(entry, "sink"));
  gst_pad_link(pad, entryPad.get());
  std::lock_guard guard(run->lock);
  run->branches.push_back({std::move(entryPad), sink});
}

std::vector<ParsedStream> ParseFile(const std::string& path) {
  ParseRun run;
  ElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
  run.pipeline = pipeline.get();
  GstElement* source = gst_element_factory_make("filesrc", nullptr);
  GstElement* parser = gst_element_factory_make("parsebin", nullptr);
  g_object_set(source, "location", path.c_str(), nullptr);
  gst_bin_add_many(GST_BIN(pipeline.get()), source, parser, nullptr);
  gst_element_link(source, parser);
  g_signal_connect(parser, "pad-added", G_CALLBACK(OnParsedPad), &run);
  const std::string error = RunToEnd(pipeline.get());
  EXPECT_EQ(error, "") << path;
  std::vector<ParsedStream> streams;
  for (ParseRun::Branch& branch : run.branches) {
    ParsedStream stream;
    stream.exposedCaps.reset(gst_pad_get_current_caps(branch.entry.get()));
    while (SamplePtr sample{gst_app_sink_try_pull_sample(GST_APP_SINK(branch.sink), 0)}) {
      if (!stream.caps) stream.caps.reset(gst_caps_ref(gst_sample_get_caps(sample.get())));
      stream.buffers.emplace_back(gst_buffer_ref(gst_sample_get_buffer(sample.get())));
    }
    if (stream.caps) streams.push_back(std::move(stream));
  }
  gst_element_set_state(pipeline.get(), GST_STATE_NULL);
  return streams;
}

// Called on the streaming thread for every decoded buffer.
void OnDecoded(GstElement*, GstBuffer*, GstPad*, gpointer counter) {
  static_cast<std::atomic<int>*>(counter)->fetch_add(1);
}

// Pushes buffers[first...] into appsrc with the given caps, decodes them; the number of
// decoded buffers, or -1 on an error.
int DecodeFrom(GstCaps* caps, const std::vector<BufferPtr>& buffers, std::size_t first) {
  GError* raw = nullptr;
  GstElement* launched = gst_parse_launch(
      "appsrc name=src format=time ! decodebin ! fakesink name=out sync=false signal-handoffs=true",
      &raw);
  ErrorPtr parseError(raw);
  if (launched == nullptr) return -1;
  ElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(launched)));
  if (parseError) return -1;
  ElementPtr source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
  ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
  g_object_set(source.get(), "caps", caps, nullptr);
  std::atomic<int> decoded{0};
  g_signal_connect(sink.get(), "handoff", G_CALLBACK(OnDecoded), &decoded);
  for (std::size_t i = first; i < buffers.size(); ++i) {
    gst_app_src_push_buffer(GST_APP_SRC(source.get()), gst_buffer_ref(buffers[i].get()));
  }
  gst_app_src_end_of_stream(GST_APP_SRC(source.get()));
  const std::string error = RunToEnd(pipeline.get());
  gst_element_set_state(pipeline.get(), GST_STATE_NULL);
  EXPECT_EQ(error, "");
  return error.empty() ? decoded.load() : -1;
}

// Where a late receiver starts: for video the first key frame in the second half of the
// stream; for audio the middle (some demuxers flag every audio buffer as a delta unit).
std::optional<std::size_t> LateStart(const ParsedStream& stream) {
  const std::size_t middle = stream.buffers.size() / 2;
  const GstStructure* s = gst_caps_get_structure(stream.caps.get(), 0);
  if (g_str_has_prefix(gst_structure_get_name(s), "audio/")) return middle;
  for (std::size_t i = middle; i < stream.buffers.size(); ++i) {
    if (!GST_BUFFER_FLAG_IS_SET(stream.buffers[i].get(), GST_BUFFER_FLAG_DELTA_UNIT)) return i;
  }
  return std::nullopt;
}

enum class Broadcast : std::uint8_t { kYes, kRefusedRaw, kNeedsConversion, kAfterByteStream };

struct ExpectedStream {
  const char* mediaClass;  // "video/" or "audio/"
  Guid subtype;
  Broadcast broadcast = Broadcast::kYes;
};

struct TestFile {
  std::string name;
  std::vector<ExpectedStream> streams;
};

void PrintTo(const TestFile& f, std::ostream* os) {
  *os << f.name;
}

class GeneratedMedia : public ::testing::TestWithParam<TestFile> {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

const ExpectedStream* Find(const TestFile& file, const GstCaps* caps) {
  const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
  for (const ExpectedStream& expected : file.streams) {
    if (std::string(name).starts_with(expected.mediaClass)) return &expected;
  }
  return nullptr;
}

void CheckStream(const ExpectedStream& expected, const ParsedStream& stream) {
  if (expected.broadcast == Broadcast::kAfterByteStream) {
    EXPECT_FALSE(MediaTypeFromCaps(stream.exposedCaps.get()).has_value());
    EXPECT_TRUE(NeedsByteStreamConversion(stream.exposedCaps.get()));
  }
  const auto type = MediaTypeFromCaps(stream.caps.get());
  if (expected.broadcast == Broadcast::kNeedsConversion) {
    EXPECT_FALSE(type.has_value());
    EXPECT_TRUE(NeedsLittleEndianConversion(stream.caps.get()));
    return;
  }
  ASSERT_TRUE(type.has_value());
  EXPECT_EQ(type->subtype, expected.subtype) << type->subtype.ToString();
  if (expected.broadcast == Broadcast::kRefusedRaw) return;

  CapsPtr caps(CapsFromMediaType(*type));
  ASSERT_TRUE(caps);
  EXPECT_GT(DecodeFrom(caps.get(), stream.buffers, 0), 0) << "from the start";
  const auto late = LateStart(stream);
  ASSERT_TRUE(late.has_value());
  EXPECT_GT(DecodeFrom(caps.get(), stream.buffers, *late), 0) << "joining at buffer " << *late;
}

TEST_P(GeneratedMedia, ParsedStreamsMapAndDecodeFromTheirMediaType) {
  const TestFile& file = GetParam();
  const auto streams = ParseFile(TestMediaPath(file.name));
  ASSERT_EQ(streams.size(), file.streams.size());
  for (const ParsedStream& stream : streams) {
    GCharPtr text(gst_caps_to_string(stream.caps.get()));
    SCOPED_TRACE(text.get());
    const ExpectedStream* expected = Find(file, stream.caps.get());
    ASSERT_NE(expected, nullptr);
    CheckStream(*expected, stream);
  }
  // The Open dialog's list of playable files offers it.
  static const std::vector<std::string> playable = sender::gst::PlayableExtensions();
  const std::string name = file.name;
  EXPECT_TRUE(
      std::binary_search(playable.begin(), playable.end(), name.substr(name.rfind('.') + 1)));
}

const Guid kPcm = GuidFromFourcc(tags::kPcm);

INSTANTIATE_TEST_SUITE_P(
    Files, GeneratedMedia,
    ::testing::Values(
        TestFile{
            "mpeg1-av.mpg",
            {{"video/", guids::kSubtypeMpeg1Payload}, {"audio/", GuidFromFourcc(tags::kMpeg)}}},
        TestFile{
            "mpeg1-av-no-b.mpg",
            {{"video/", guids::kSubtypeMpeg1Payload}, {"audio/", GuidFromFourcc(tags::kMpeg)}}},
        TestFile{"mjpeg-pcm.avi",
                 {{"image/", GuidFromFourcc(MakeFourcc('M', 'J', 'P', 'G'))}, {"audio/", kPcm}}},
        TestFile{"mpeg4-pcm.avi",
                 {{"video/", GuidFromFourcc(MakeFourcc('D', 'I', 'V', 'X'))}, {"audio/", kPcm}}},
        TestFile{"raw-rgb-pcm.avi",
                 {{"video/", guids::kSubtypeRgb24, Broadcast::kRefusedRaw}, {"audio/", kPcm}}},
        TestFile{"tone.wav", {{"audio/", kPcm}}},
        TestFile{"tone.mp3", {{"audio/", GuidFromFourcc(tags::kMpegLayer3)}}},
        TestFile{"tone.au", {{"audio/", kPcm, Broadcast::kNeedsConversion}}},
        TestFile{"wmv-wma.wmv",
                 {{"video/", GuidFromFourcc(MakeFourcc('W', 'M', 'V', '2'))},
                  {"audio/", GuidFromFourcc(tags::kWma2)}}},
        TestFile{"mpeg2-video.m2v", {{"video/", guids::kSubtypeMpeg2Video}}},
        TestFile{"h264-video.h264",
                 {{"video/", GuidFromFourcc(MakeFourcc('H', '2', '6', '4')),
                   Broadcast::kAfterByteStream}}}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

}  // namespace
}  // namespace vantorel::media
