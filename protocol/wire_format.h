// Constants of the datagram format shared by sender and receiver.
#pragma once

#include <cstdint>

namespace vantorel::protocol {

inline constexpr std::uint16_t kBroadcastPort = 5937;
inline constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFFu;  // 255.255.255.255, host order

// Route keys: the first 4 bytes of every datagram but the wake-up datagram.
inline constexpr std::uint32_t kRouteKeyMedia = 6666;
inline constexpr std::uint32_t kRouteKeyEndOfBroadcast = 5555;
// Parity over media datagrams; receivers that do not know the key drop these.
inline constexpr std::uint32_t kRouteKeyParity = 7777;
// Signatures over the other datagrams; receivers that do not know the key drop these too.
inline constexpr std::uint32_t kRouteKeySignature = 8888;
// A sender's name, what it plays and its state, once a second; dropped by receivers that do
// not know the key.
inline constexpr std::uint32_t kRouteKeyAnnouncement = 9999;
// Channel word of every message; whole messages travel on the receiver under it.
inline constexpr std::uint32_t kChannelMessage = 1;

inline constexpr std::uint32_t kRouteKeySize = 4;
inline constexpr std::uint32_t kMaxDatagramPayload = 1472;  // route key included
inline constexpr std::uint32_t kMaxPacketizerDatagram =
    kMaxDatagramPayload - kRouteKeySize;                       // 1468
inline constexpr std::uint32_t kFragmentHeaderSize = 8;        // message number, fragment word
inline constexpr std::uint32_t kFirstFragmentHeaderSize = 16;  // + channel word, message length
inline constexpr std::uint32_t kFirstFragmentBody =
    kMaxPacketizerDatagram - kFirstFragmentHeaderSize;
inline constexpr std::uint32_t kLaterFragmentBody = kMaxPacketizerDatagram - kFragmentHeaderSize;
inline constexpr std::uint32_t kLastFragmentFlag = 0x80000000u;
inline constexpr std::uint32_t kFragmentIndexMask = 0x7FFFFFFFu;

// The receiver reads a datagram into the route key and a payload buffer of this size: a
// datagram longer than the two is cut short, and dropped.
inline constexpr std::uint32_t kReceivePayloadBuffer = 1472;
// Socket buffer of both ends, in bytes.
inline constexpr int kSocketBufferBytes = 0x80000;

inline constexpr std::uint32_t kEndOfBroadcastSize = 8;
inline constexpr std::uint32_t kWakeUpSize = 1;

// Block kinds: the top byte of a block's header word.
enum class BlockKind : std::uint8_t {
  kStreamDescription = 10,
  kFormatRecordVideo = 11,
  kFormatRecordAudio = 21,
  kSamplePropertiesVideo = 14,
  kSamplePropertiesAudio = 24,
  kSampleDataVideo = 15,
  kSampleDataAudio = 25,
  kSegmentStartVideo = 16,
  kSegmentStartAudio = 26,
  // A third stream kind that peers may describe; our sender sends none.
  kFormatRecordThird = 31,
  kSamplePropertiesThird = 34,
  kSampleDataThird = 35,
  kSegmentStartThird = 36,
};

// Stream flags of a stream description.
inline constexpr std::uint8_t kStreamFlagVideo = 1;
inline constexpr std::uint8_t kStreamFlagAudio = 2;

inline constexpr std::uint32_t kHeaderWordSize = 4;
inline constexpr std::uint32_t kMaxBlockLength = 0x00FFFFFFu;   // low 24 bits of a header word
inline constexpr std::uint32_t kMaxDescriptionTotal = 0xFFFFu;  // low 16 bits of kind 10

inline constexpr std::uint32_t kFormatRecordFixedSize = 60;  // header word + 56 bytes
inline constexpr std::uint32_t kFormatRecordClockOffset = 36;
inline constexpr std::uint32_t kSamplePropertiesSize = 40;
inline constexpr std::uint32_t kSampleMessageOverhead = 4 + kSamplePropertiesSize + 4;  // 48
inline constexpr std::uint32_t kSegmentStartSize = 12;

// A sample's data length must fit the 24-bit length of its header word, so no message of this
// system is longer than this; the receiver refuses larger announcements.
inline constexpr std::uint32_t kMaxSampleData = kMaxBlockLength;
inline constexpr std::uint32_t kMaxMessageLength = (1u << 24) + 64;

// Sample property flags as the media framework defines them.
inline constexpr std::uint32_t kSampleSplicePoint = 0x01;
inline constexpr std::uint32_t kSamplePreroll = 0x02;
inline constexpr std::uint32_t kSampleDataDiscontinuity = 0x04;
inline constexpr std::uint32_t kSampleTypeChanged = 0x08;
inline constexpr std::uint32_t kSampleTimeValid = 0x10;
inline constexpr std::uint32_t kSampleTimeDiscontinuity = 0x40;
inline constexpr std::uint32_t kSampleFlushOnPause = 0x80;
inline constexpr std::uint32_t kSampleStopValid = 0x100;
inline constexpr std::uint32_t kSampleEndOfStream = 0x200;

constexpr std::uint32_t MakeHeaderWord(BlockKind kind, std::uint32_t length) {
  return (static_cast<std::uint32_t>(kind) << 24) | (length & kMaxBlockLength);
}
constexpr std::uint8_t HeaderKind(std::uint32_t word) {
  return static_cast<std::uint8_t>(word >> 24);
}
constexpr std::uint32_t HeaderLength(std::uint32_t word) {
  return word & kMaxBlockLength;
}

constexpr std::uint32_t MakeDescriptionHeaderWord(std::uint8_t streamFlags, std::uint32_t total) {
  return (static_cast<std::uint32_t>(BlockKind::kStreamDescription) << 24) |
         (static_cast<std::uint32_t>(streamFlags) << 16) | (total & kMaxDescriptionTotal);
}

}  // namespace vantorel::protocol
