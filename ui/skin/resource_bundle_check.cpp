#include "ui/skin/resource_bundle_check.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

namespace vantorel::skin {
namespace {

// Header: "qres", version, tree offset, data offset, names offset, then (version 3) flags.
constexpr std::uint8_t kMagic[] = {'q', 'r', 'e', 's'};
constexpr std::uint32_t kFirstVersion = 1;
constexpr std::uint32_t kTimestampVersion = 2;  // adds a last-modified time to every node
constexpr std::uint32_t kFlagsVersion = 3;      // adds the flags word to the header
constexpr std::uint32_t kLastVersion = 3;
constexpr std::uint64_t kHeaderBytes = 20;
constexpr std::uint64_t kFlagsAt = 20;
constexpr std::uint64_t kTreeOffsetAt = 8;
constexpr std::uint64_t kDataOffsetAt = 12;
constexpr std::uint64_t kNamesOffsetAt = 16;

// Tree node: name offset, flags, then either child count and first child index (a directory)
// or territory, language and data offset (an entry); version 2 on adds 8 bytes of time.
constexpr std::uint64_t kNodeBytes = 14;
constexpr std::uint64_t kNodeTimestampBytes = 8;
constexpr std::uint64_t kNodeFlagsAt = 4;
constexpr std::uint64_t kNodeChildCountAt = 6;
constexpr std::uint64_t kNodeFirstChildAt = 10;
constexpr std::uint64_t kNodeDataOffsetAt = 10;

constexpr std::uint16_t kFlagZlib = 0x01;
constexpr std::uint16_t kFlagDirectory = 0x02;
constexpr std::uint16_t kFlagZstd = 0x04;
constexpr std::uint16_t kKnownNodeFlags = kFlagZlib | kFlagDirectory | kFlagZstd;

// Name: UTF-16 length, hash, then the big-endian UTF-16 units. Entry: length, then the bytes.
constexpr std::uint64_t kNameHeaderBytes = 6;
constexpr std::uint64_t kNameHashAt = 2;
constexpr std::uint64_t kDataLengthBytes = 4;

// Qt holds every offset of a bundle in a signed 32-bit int.
constexpr std::uint64_t kMaxBundleBytes = std::numeric_limits<std::int32_t>::max();

// Big-endian reads bounded by the bundle: nothing past its end is ever read.
class BigEndianBytes {
 public:
  explicit BigEndianBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::optional<std::uint16_t> U16(std::uint64_t offset) const {
    if (!Holds(offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>((bytes_[offset] << 8) | bytes_[offset + 1]);
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) const {
    if (!Holds(offset, 4)) return std::nullopt;
    return (static_cast<std::uint32_t>(bytes_[offset]) << 24) |
           (static_cast<std::uint32_t>(bytes_[offset + 1]) << 16) |
           (static_cast<std::uint32_t>(bytes_[offset + 2]) << 8) | bytes_[offset + 3];
  }
  std::uint64_t Size() const { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

// The hash Qt keeps beside each name and binary-searches siblings by.
std::uint32_t NameHash(const BigEndianBytes& bytes, std::uint64_t units, std::uint16_t length) {
  std::uint32_t h = 0;
  for (std::uint16_t i = 0; i < length; ++i) {
    h = (h << 4) + *bytes.U16(units + 2u * i);
    h ^= (h & 0xf0000000u) >> 23;
    h &= 0x0fffffffu;
  }
  return h;
}

class BundleWalk {
 public:
  BundleWalk(const BigEndianBytes& bytes, std::uint32_t version, std::uint64_t tree,
             std::uint64_t data, std::uint64_t names)
      : bytes_(bytes),
        nodeBytes_(kNodeBytes + (version >= kTimestampVersion ? kNodeTimestampBytes : 0)),
        tree_(tree),
        data_(data),
        names_(names),
        seen_((bytes.Size() - tree) / nodeBytes_, false) {}

  // Depth first from the root; every directory's children are checked as one range, as Qt
  // binary-searches them.
  BundleFault Run() {
    if (seen_.empty()) return BundleFault::kTree;
    seen_[0] = true;
    const std::uint16_t rootFlags = *bytes_.U16(Node(0) + kNodeFlagsAt);
    if ((rootFlags & ~kKnownNodeFlags) != 0 || (rootFlags & kFlagDirectory) == 0) {
      return BundleFault::kTree;
    }
    std::vector<std::uint64_t> directories{0};
    while (!directories.empty()) {
      const std::uint64_t directory = directories.back();
      directories.pop_back();
      if (const BundleFault fault = Children(directory, directories); fault != BundleFault::kNone) {
        return fault;
      }
    }
    return BundleFault::kNone;
  }

 private:
  std::uint64_t Node(std::uint64_t index) const { return tree_ + index * nodeBytes_; }

  BundleFault Children(std::uint64_t directory, std::vector<std::uint64_t>& directories) {
    const std::uint64_t count = *bytes_.U32(Node(directory) + kNodeChildCountAt);
    const std::uint64_t first = *bytes_.U32(Node(directory) + kNodeFirstChildAt);
    if (count == 0) return BundleFault::kNone;
    if (first > seen_.size() || count > seen_.size() - first) return BundleFault::kTree;
    std::uint32_t previousHash = 0;
    for (std::uint64_t child = first; child < first + count; ++child) {
      if (seen_[child]) return BundleFault::kTree;
      seen_[child] = true;
      const std::optional<std::uint32_t> hash = CheckedNameHash(child);
      if (!hash || *hash < previousHash) return BundleFault::kName;
      previousHash = *hash;
      const std::uint16_t flags = *bytes_.U16(Node(child) + kNodeFlagsAt);
      if ((flags & ~kKnownNodeFlags) != 0) return BundleFault::kTree;
      if ((flags & kFlagDirectory) != 0) {
        directories.push_back(child);
        continue;
      }
      if ((flags & (kFlagZlib | kFlagZstd)) != 0) return BundleFault::kCompressed;
      if (!EntryFits(child)) return BundleFault::kData;
    }
    return BundleFault::kNone;
  }

  // The stored hash of a node's name when the name lies within the bundle and matches it.
  std::optional<std::uint32_t> CheckedNameHash(std::uint64_t node) const {
    const std::uint64_t name = names_ + *bytes_.U32(Node(node));
    const std::optional<std::uint16_t> length = bytes_.U16(name);
    if (!length || !bytes_.Holds(name, kNameHeaderBytes + 2u * *length)) return std::nullopt;
    const std::uint32_t stored = *bytes_.U32(name + kNameHashAt);
    if (stored != NameHash(bytes_, name + kNameHeaderBytes, *length)) return std::nullopt;
    return stored;
  }

  bool EntryFits(std::uint64_t node) const {
    const std::uint64_t entry = data_ + *bytes_.U32(Node(node) + kNodeDataOffsetAt);
    const std::optional<std::uint32_t> length = bytes_.U32(entry);
    return length && bytes_.Holds(entry + kDataLengthBytes, *length);
  }

  const BigEndianBytes& bytes_;
  const std::uint64_t nodeBytes_;
  const std::uint64_t tree_;
  const std::uint64_t data_;
  const std::uint64_t names_;
  // One flag per node slot between the tree's start and the end of the bundle.
  std::vector<bool> seen_;
};

}  // namespace

BundleFault CheckResourceBundle(std::span<const std::uint8_t> bundle) {
  const BigEndianBytes bytes(bundle);
  if (bytes.Size() < kHeaderBytes || bytes.Size() > kMaxBundleBytes) return BundleFault::kHeader;
  for (std::size_t i = 0; i < sizeof kMagic; ++i) {
    if (bundle[i] != kMagic[i]) return BundleFault::kHeader;
  }
  const std::uint32_t version = *bytes.U32(sizeof kMagic);
  if (version < kFirstVersion || version > kLastVersion) return BundleFault::kHeader;
  if (version >= kFlagsVersion) {
    // Compressed entries are refused one by one below; other flags are unknown.
    const std::optional<std::uint32_t> flags = bytes.U32(kFlagsAt);
    if (!flags || (*flags & ~std::uint32_t{kFlagZlib | kFlagZstd}) != 0) {
      return BundleFault::kHeader;
    }
  }
  const std::uint64_t tree = *bytes.U32(kTreeOffsetAt);
  const std::uint64_t data = *bytes.U32(kDataOffsetAt);
  const std::uint64_t names = *bytes.U32(kNamesOffsetAt);
  if (tree >= bytes.Size() || data >= bytes.Size() || names >= bytes.Size()) {
    return BundleFault::kSections;
  }
  return BundleWalk(bytes, version, tree, data, names).Run();
}

std::string_view BundleFaultText(BundleFault fault) {
  switch (fault) {
    case BundleFault::kNone:
      return "sound";
    case BundleFault::kHeader:
      return "not a resource bundle of a known version";
    case BundleFault::kSections:
      return "a section starts beyond the end";
    case BundleFault::kTree:
      return "the tree is broken";
    case BundleFault::kName:
      return "a name is broken";
    case BundleFault::kData:
      return "an entry runs beyond the end";
    case BundleFault::kCompressed:
      return "an entry is compressed";
  }
  return "unknown fault";
}

}  // namespace vantorel::skin
