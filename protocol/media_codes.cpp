#include "protocol/media_codes.h"

#include <array>

namespace vantorel::protocol {
namespace {

// Index = code.
constexpr std::array kMajorTypes{
    guids::kNull,
    guids::kMediaTypeAnalogAudio,
    guids::kMediaTypeAnalogVideo,
    guids::kMediaTypeAudio,
    guids::kMediaTypeAuxLine21Data,
    guids::kMediaTypeFile,
    guids::kMediaTypeInterleaved,
    guids::kMediaTypeLmrt,
    guids::kMediaTypeMidi,
    guids::kMediaTypeMpeg2Pes,
    guids::kMediaTypeScriptCommand,
    guids::kMediaTypeStream,
    guids::kMediaTypeText,
    guids::kMediaTypeTimecode,
    guids::kMediaTypeUrlStream,
    guids::kMediaTypeVideo,
};

constexpr std::array kFormatTypes{
    guids::kFormatNone,      guids::kFormatMpegVideo,  guids::kFormatMpeg2Video,
    guids::kFormatVideoInfo, guids::kFormatVideoInfo2, guids::kFormatWaveFormatEx,
};

template <std::size_t N>
std::uint8_t CodeOf(const std::array<Guid, N>& table, const Guid& guid) {
  for (std::size_t i = 0; i < N; ++i) {
    if (table[i] == guid) return static_cast<std::uint8_t>(i);
  }
  return kOtherCode;
}

template <std::size_t N>
Guid GuidOf(const std::array<Guid, N>& table, std::uint8_t code) {
  return code < N ? table[code] : guids::kNull;
}

}  // namespace

std::uint8_t MajorTypeCode(const Guid& majorType) {
  return CodeOf(kMajorTypes, majorType);
}
Guid MajorTypeGuid(std::uint8_t code) {
  return GuidOf(kMajorTypes, code);
}
std::uint8_t FormatTypeCode(const Guid& formatType) {
  return CodeOf(kFormatTypes, formatType);
}
Guid FormatTypeGuid(std::uint8_t code) {
  return GuidOf(kFormatTypes, code);
}

}  // namespace vantorel::protocol
