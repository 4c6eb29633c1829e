// The window-message layer: numbered messages with two parameters that a thread posts to a
// window (queued) or that code sends to it (handled at once). A message may carry an owned
// buffer; whoever holds the message owns the buffer, and dropping the message frees it.
// This header is free of Qt so that portable code can post without knowing the toolkit.
#pragma once

#include <cstdint>
#include <memory>

namespace vantorel::gui {

inline constexpr std::uint32_t WM_SIZE = 0x0005;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_HSCROLL = 0x0114;
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t SB_THUMBTRACK = 5;

// Receiver: a media datagram (wParam = payload length, buffer = payload).
inline constexpr std::uint32_t kMsgDatagram = WM_USER + 14;
// Receiver: the sender ended its broadcast (lParam = the datagram's 32-bit value).
inline constexpr std::uint32_t kMsgEndOfBroadcast = WM_USER + 15;
// Receiver: the locked sender fell silent and another one took the lock (wParam = its
// IPv4 address, host order; lParam = its port).
inline constexpr std::uint32_t kMsgSenderChanged = WM_USER + 16;
// Sender: the media graph has events to collect.
inline constexpr std::uint32_t kMsgGraphEvent = WM_USER + 13;

struct WindowMessage {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::unique_ptr<std::uint8_t[]> buffer;
};

constexpr std::uint32_t MakeLong(std::uint16_t low, std::uint16_t high) {
  return static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16);
}
constexpr std::uint16_t LowWord(std::uintptr_t v) {
  return static_cast<std::uint16_t>(v & 0xFFFF);
}
constexpr std::uint16_t HighWord(std::uintptr_t v) {
  return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}

// Where messages go: a window, or anything else that takes them (a test, a headless tool).
class WindowHandle {
 public:
  virtual ~WindowHandle() = default;
  // Queues the message for the window's thread; callable from any thread. False when the
  // message could not be queued (it is then freed with its buffer).
  virtual bool Post(WindowMessage message) = 0;
};

}  // namespace vantorel::gui
