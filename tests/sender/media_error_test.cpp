// The media layer's error type against the result codes that the player's callers compare.
#include "sender/media_error.h"

#include <gtest/gtest.h>

namespace vantorel::sender {
namespace {

struct MappingCase {
  MediaErrc code;
  HRESULT hr;
};

class MediaErrorMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(MediaErrorMappingTest, EachValueKeepsItsResultCodeBothWays) {
  EXPECT_EQ(ToHresult(GetParam().code), GetParam().hr);
  const Status back = FromHresult(GetParam().hr, "words");
  EXPECT_EQ(back.code(), GetParam().code);
  EXPECT_EQ(back.ok(), GetParam().code == MediaErrc::kOk);
  // A success carries no words; a failure keeps GStreamer's.
  EXPECT_EQ(back.message(), back.ok() ? "" : "words");
}

INSTANTIATE_TEST_SUITE_P(
    Table, MediaErrorMappingTest,
    ::testing::Values(MappingCase{MediaErrc::kOk, S_OK}, MappingCase{MediaErrc::kFailed, E_FAIL},
                      MappingCase{MediaErrc::kInvalidArgument, E_INVALIDARG},
                      MappingCase{MediaErrc::kWrongState, VFW_E_WRONG_STATE},
                      MappingCase{MediaErrc::kFileNotFound, E_FILE_NOT_FOUND},
                      MappingCase{MediaErrc::kAccessDenied, E_ACCESSDENIED},
                      MappingCase{MediaErrc::kBadFileType, E_BAD_FILE_TYPE},
                      MappingCase{MediaErrc::kUnsupportedStream, VFW_E_UNSUPPORTED_STREAM},
                      MappingCase{MediaErrc::kTimeout, VFW_E_TIMEOUT}));

TEST(MediaError, CodesWithoutAValueOfTheirOwnReadAsSuccessOrFailure) {
  EXPECT_TRUE(FromHresult(S_FALSE).ok());
  EXPECT_EQ(FromHresult(E_UNEXPECTED).code(), MediaErrc::kFailed);
}

}  // namespace
}  // namespace vantorel::sender
