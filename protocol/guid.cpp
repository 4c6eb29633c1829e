#include "protocol/guid.h"

#include <cstdio>

#include "protocol/byte_io.h"

namespace vantorel::protocol {

std::array<std::uint8_t, Guid::kSize> Guid::ToBytes() const {
  std::array<std::uint8_t, kSize> out{};
  ByteWriter w(out);
  w.U32(data1);
  w.U16(data2);
  w.U16(data3);
  w.Bytes(data4);
  return out;
}

Guid Guid::FromBytes(std::span<const std::uint8_t> bytes) {
  Guid g;
  if (bytes.size() < kSize) return g;
  ByteReader r(bytes.first(kSize));
  g.data1 = r.U32();
  g.data2 = r.U16();
  g.data3 = r.U16();
  auto tail = r.Bytes(8);
  for (std::size_t i = 0; i < tail.size(); ++i) g.data4[i] = tail[i];
  return g;
}

std::string Guid::ToString() const {
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", data1, data2,
                data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return text;
}

}  // namespace vantorel::protocol
