#include "protocol/parity.h"

#include <isa-l/erasure_code.h>

#include "protocol/byte_io.h"
#include "protocol/wire_format.h"

namespace vantorel::protocol {

std::optional<FragmentId> ReadFragmentId(std::span<const std::uint8_t> payload) {
  if (payload.size() < kFragmentHeaderSize) return std::nullopt;
  const std::uint32_t word = LoadU32(payload.data() + 4);
  return FragmentId{LoadU32(payload.data()), word & kFragmentIndexMask,
                    (word & kLastFragmentFlag) != 0};
}

std::vector<FragmentId> ParityGroup::SourceIds() const {
  std::vector<FragmentId> ids;
  ids.reserve(sources.size());
  FragmentId id{firstMessage, firstFragment, false};
  for (const std::uint16_t source : sources) {
    id.last = (source & kParitySourceLast) != 0;
    ids.push_back(id);
    id = NextFragment(id);
  }
  return ids;
}

bool WriteParityHeader(const ParityGroup& group, std::uint8_t index, std::span<std::uint8_t> out) {
  ByteWriter w(out);
  w.U8(kParityVersion);
  w.U8(static_cast<std::uint8_t>(group.sources.size()));
  w.U8(group.paritySymbols);
  w.U8(index);
  w.U16(group.symbolSize);
  w.U16(group.number);
  w.U32(group.firstMessage);
  w.U32(group.firstFragment);
  for (const std::uint16_t source : group.sources) w.U16(source);
  return w.Ok();
}

std::optional<ParityDatagram> ReadParityDatagram(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  ParityDatagram d;
  const std::uint8_t version = r.U8();
  const std::size_t sources = r.U8();
  d.group.paritySymbols = r.U8();
  d.index = r.U8();
  d.group.symbolSize = r.U16();
  d.group.number = r.U16();
  d.group.firstMessage = r.U32();
  d.group.firstFragment = r.U32();
  if (!r.Ok() || version != kParityVersion || sources == 0 || sources > kMaxGroupSources ||
      d.group.paritySymbols == 0 || 2 * sources + d.group.paritySymbols > kMaxGroupSymbols ||
      d.index >= d.group.paritySymbols || d.group.symbolSize == 0 ||
      d.group.firstFragment > kFragmentIndexMask) {
    return std::nullopt;
  }
  d.group.sources.resize(sources);
  for (std::uint16_t& source : d.group.sources) {
    source = r.U16();
    const std::size_t length = source & kParitySourceLength;
    if (length < kFragmentHeaderSize || length > 2u * d.group.symbolSize) return std::nullopt;
  }
  if (!r.Ok() || r.Remaining() != d.group.symbolSize) return std::nullopt;
  d.symbol = r.Bytes(d.group.symbolSize);
  return d;
}

ErasureCode::ErasureCode(std::size_t k, std::size_t p)
    : k_(k), p_(p), matrix_((k + p) * k), encodeTables_(32 * k * p) {
  gf_gen_cauchy1_matrix(matrix_.data(), static_cast<int>(k + p), static_cast<int>(k));
  ec_init_tables(static_cast<int>(k), static_cast<int>(p), matrix_.data() + k * k,
                 encodeTables_.data());
}

void ErasureCode::Encode(std::size_t size, const std::uint8_t* const* data,
                         std::uint8_t* const* parity) const {
  // The library takes non-const pointers but only reads the data and the tables.
  ec_encode_data(static_cast<int>(size), static_cast<int>(k_), static_cast<int>(p_),
                 const_cast<std::uint8_t*>(encodeTables_.data()), const_cast<std::uint8_t**>(data),
                 const_cast<std::uint8_t**>(parity));
}

bool ErasureCode::Decode(std::size_t size, const std::uint8_t* const* symbols,
                         std::uint8_t* const* out) const {
  std::vector<std::size_t> missing;
  for (std::size_t i = 0; i < k_; ++i) {
    if (symbols[i] == nullptr) missing.push_back(i);
  }
  if (missing.empty()) return true;
  // The first k symbols there, and the rows of the matrix that made them.
  std::vector<const std::uint8_t*> present;
  std::vector<std::uint8_t> rows;
  rows.reserve(k_ * k_);
  for (std::size_t i = 0; i < k_ + p_ && present.size() < k_; ++i) {
    if (symbols[i] == nullptr) continue;
    present.push_back(symbols[i]);
    rows.insert(rows.end(), matrix_.begin() + static_cast<std::ptrdiff_t>(i * k_),
                matrix_.begin() + static_cast<std::ptrdiff_t>((i + 1) * k_));
  }
  if (present.size() < k_) return false;
  std::vector<std::uint8_t> inverse(k_ * k_);
  if (gf_invert_matrix(rows.data(), inverse.data(), static_cast<int>(k_)) != 0) return false;
  // Each missing data symbol is its row of the inverse applied to the symbols there.
  std::vector<std::uint8_t> decodeRows;
  std::vector<std::uint8_t*> targets;
  for (const std::size_t m : missing) {
    decodeRows.insert(decodeRows.end(), inverse.begin() + static_cast<std::ptrdiff_t>(m * k_),
                      inverse.begin() + static_cast<std::ptrdiff_t>((m + 1) * k_));
    targets.push_back(out[m]);
  }
  std::vector<std::uint8_t> tables(32 * k_ * missing.size());
  ec_init_tables(static_cast<int>(k_), static_cast<int>(missing.size()), decodeRows.data(),
                 tables.data());
  ec_encode_data(static_cast<int>(size), static_cast<int>(k_), static_cast<int>(missing.size()),
                 tables.data(), const_cast<std::uint8_t**>(present.data()), targets.data());
  return true;
}

}  // namespace vantorel::protocol
