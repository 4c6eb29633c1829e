// The structural check of a binary resource bundle (made by rcc --binary, format versions 1 to
// 3) before it is handed to Qt. Qt checks only the header of a bundle it registers; every later
// lookup, by any part of the program, follows the bundle's tree, name and data offsets without
// bounds. A bundle that passes this check keeps every such read inside its bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantorel::skin {

enum class BundleFault {
  kNone,
  kHeader,      // too short, not a bundle, an unknown version or unknown flags
  kSections,    // the tree, names or data offset lies beyond the end
  kTree,        // a node or a directory's children beyond the tree, a node reached twice,
                // unknown node flags, or a root that is not a directory
  kName,        // a name beyond the end, a name whose hash does not match it, or siblings
                // out of hash order (lookups would miss them)
  kData,        // an entry's length field or its bytes beyond the end
  kCompressed,  // a compressed entry: the skin reads its pictures in place
};

// Every node reachable from the root, each name and each entry's bytes lie within the bundle;
// the first fault found otherwise. Linear in the size of the bundle.
BundleFault CheckResourceBundle(std::span<const std::uint8_t> bundle);

std::string_view BundleFaultText(BundleFault fault);

}  // namespace vantorel::skin
