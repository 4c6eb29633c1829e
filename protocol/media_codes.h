// The one-byte codes that format records carry for a media type's major type and format
// type, and the GUIDs they stand for.
#pragma once

#include <cstdint>

#include "protocol/guid.h"

namespace vantorel::protocol {

inline constexpr std::uint8_t kOtherCode = 255;

namespace guids {
inline constexpr Guid kNull{};
inline constexpr Guid kMediaTypeAnalogAudio{
    0x0482DEE1, 0x7817, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
inline constexpr Guid kMediaTypeAnalogVideo{
    0x0482DDE1, 0x7817, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
inline constexpr Guid kMediaTypeAudio = GuidFromFourcc(0x73647561);  // 'auds'
inline constexpr Guid kMediaTypeAuxLine21Data{
    0x670AEA80, 0x3A82, 0x11D0, {0xB7, 0x9B, 0x00, 0xAA, 0x00, 0x37, 0x67, 0xA7}};
inline constexpr Guid kMediaTypeFile = GuidFromFourcc(0x656C6966);         // 'file'
inline constexpr Guid kMediaTypeInterleaved = GuidFromFourcc(0x73766169);  // 'iavs'
inline constexpr Guid kMediaTypeLmrt = GuidFromFourcc(0x74726C6D);         // 'lmrt'
inline constexpr Guid kMediaTypeMidi = GuidFromFourcc(0x7364696D);         // 'mids'
inline constexpr Guid kMediaTypeMpeg2Pes{
    0xE06D8020, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
inline constexpr Guid kMediaTypeScriptCommand = GuidFromFourcc(0x73636D64);  // 'scmd'
inline constexpr Guid kMediaTypeStream{
    0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kMediaTypeText = GuidFromFourcc(0x73747874);  // 'txts'
inline constexpr Guid kMediaTypeTimecode{
    0x0482DEE3, 0x7817, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
inline constexpr Guid kMediaTypeUrlStream = GuidFromFourcc(0x736C7275);  // 'urls'
inline constexpr Guid kMediaTypeVideo = GuidFromFourcc(0x73646976);      // 'vids'

inline constexpr Guid kFormatNone{
    0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr Guid kFormatMpegVideo{
    0x05589F82, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr Guid kFormatMpeg2Video{
    0xE06D80E3, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
inline constexpr Guid kFormatVideoInfo{
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr Guid kFormatVideoInfo2{
    0xF72A76A0, 0xEB0A, 0x11D0, {0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};
inline constexpr Guid kFormatWaveFormatEx{
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
}  // namespace guids

// Major type: GUID_NULL 0, AnalogAudio 1, ... Video 15; anything else 255.
std::uint8_t MajorTypeCode(const Guid& majorType);
// Code back to GUID; 255 and unknown codes give GUID_NULL.
Guid MajorTypeGuid(std::uint8_t code);

// Format type: FORMAT_None 0, MPEGVideo 1, MPEG2Video 2, VideoInfo 3, VideoInfo2 4,
// WaveFormatEx 5; anything else 255.
std::uint8_t FormatTypeCode(const Guid& formatType);
Guid FormatTypeGuid(std::uint8_t code);

}  // namespace vantorel::protocol
