// Explicit little-endian readers and writers over bounded byte spans. A read or write that
// would cross the end of the span fails (and the cursor stops), it never touches memory
// outside the span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace vantorel::protocol {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return bytes_.size() - position_; }
  bool Ok() const { return ok_; }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Read(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Read(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Read(4)); }
  std::uint64_t U64() { return Read(8); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::int64_t I64() { return static_cast<std::int64_t>(U64()); }

  // The next n bytes in place; an empty span (and a failed reader) when fewer remain.
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    if (!ok_ || n > Remaining()) {
      ok_ = false;
      return {};
    }
    auto out = bytes_.subspan(position_, n);
    position_ += n;
    return out;
  }

 private:
  std::uint64_t Read(std::size_t width) {
    if (!ok_ || width > Remaining()) {
      ok_ = false;
      return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      value |= static_cast<std::uint64_t>(bytes_[position_ + i]) << (8 * i);
    }
    position_ += width;
    return value;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Position() const { return position_; }
  bool Ok() const { return ok_; }

  void U8(std::uint8_t v) { Write(v, 1); }
  void U16(std::uint16_t v) { Write(v, 2); }
  void U32(std::uint32_t v) { Write(v, 4); }
  void U64(std::uint64_t v) { Write(v, 8); }
  void I32(std::int32_t v) { Write(static_cast<std::uint32_t>(v), 4); }
  void I64(std::int64_t v) { Write(static_cast<std::uint64_t>(v), 8); }
  void Bytes(std::span<const std::uint8_t> data) {
    if (!ok_ || data.size() > bytes_.size() - position_) {
      ok_ = false;
      return;
    }
    if (!data.empty()) std::memcpy(bytes_.data() + position_, data.data(), data.size());
    position_ += data.size();
  }

 private:
  void Write(std::uint64_t value, std::size_t width) {
    if (!ok_ || width > bytes_.size() - position_) {
      ok_ = false;
      return;
    }
    for (std::size_t i = 0; i < width; ++i) {
      bytes_[position_ + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    position_ += width;
  }

  std::span<std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void StoreU64(std::uint8_t* p, std::uint64_t v) {
  StoreU32(p, static_cast<std::uint32_t>(v));
  StoreU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace vantorel::protocol
