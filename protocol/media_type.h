// A media type as the wire carries it: the fields of the media framework's media-type
// structure that a format record holds, with the format block byte for byte.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/guid.h"

namespace vantorel::protocol {

struct MediaType {
  Guid majorType;
  Guid subtype;
  Guid formatType;
  bool fixedSizeSamples = false;
  bool temporalCompression = false;
  std::uint32_t sampleSize = 0;
  std::vector<std::uint8_t> formatBlock;
  friend bool operator==(const MediaType&, const MediaType&) = default;
};

}  // namespace vantorel::protocol
