// The parity datagram's header and the erasure code under it.
#include "protocol/parity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace vantorel::protocol {
namespace {

// Random symbols: k data and p parity, `size` bytes each; the data encoded.
struct Block {
  Block(std::size_t k, std::size_t p, std::size_t size, std::uint32_t seed)
      : code(k, p), size(size), bytes((k + p) * size) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < k * size; ++i) bytes[i] = static_cast<std::uint8_t>(rng());
    std::vector<const std::uint8_t*> data;
    std::vector<std::uint8_t*> parity;
    for (std::size_t i = 0; i < k; ++i) data.push_back(Symbol(i));
    for (std::size_t j = 0; j < p; ++j) parity.push_back(Symbol(k + j));
    code.Encode(size, data.data(), parity.data());
  }
  std::uint8_t* Symbol(std::size_t i) { return bytes.data() + i * size; }

  // Decodes with the symbols in `lost` taken away; true when every data symbol came back.
  bool RecoversWithout(const std::vector<std::size_t>& lost) {
    const std::size_t n = code.K() + code.P();
    std::vector<const std::uint8_t*> there(n);
    for (std::size_t i = 0; i < n; ++i) there[i] = Symbol(i);
    std::vector<std::uint8_t> rebuilt(code.K() * size, 0xEE);
    std::vector<std::uint8_t*> out(code.K());
    for (std::size_t i = 0; i < code.K(); ++i) out[i] = rebuilt.data() + i * size;
    for (const std::size_t i : lost) there[i] = nullptr;
    if (!code.Decode(size, there.data(), out.data())) return false;
    for (const std::size_t i : lost) {
      if (i < code.K() && !std::equal(out[i], out[i] + size, Symbol(i))) return false;
    }
    return true;
  }

  ErasureCode code;
  std::size_t size;
  std::vector<std::uint8_t> bytes;
};

// The shapes the sender makes: one audio datagram (2 data symbols, the 2-symbol minimum), a
// full group of 48, the largest group with the most parity, and odd symbol sizes.
TEST(ErasureCodeTest, AnyPSymbolsLostAreRebuilt) {
  const struct {
    std::size_t k, p, size;
  } shapes[] = {{2, 2, 9}, {2, 2, 734}, {96, 20, 734}, {128, 127, 5}, {20, 4, 1}};
  std::mt19937 rng(7);
  for (const auto& s : shapes) {
    Block block(s.k, s.p, s.size, static_cast<std::uint32_t>(s.k * 1000 + s.p));
    std::vector<std::size_t> order(s.k + s.p);
    std::iota(order.begin(), order.end(), 0);
    for (int round = 0; round < 5; ++round) {
      std::shuffle(order.begin(), order.end(), rng);
      const std::vector<std::size_t> lost(order.begin(), order.begin() + s.p);
      EXPECT_TRUE(block.RecoversWithout(lost)) << s.k << "+" << s.p << " round " << round;
      // One symbol more is beyond the code.
      const std::vector<std::size_t> tooMany(order.begin(), order.begin() + s.p + 1);
      EXPECT_FALSE(block.RecoversWithout(tooMany)) << s.k << "+" << s.p;
    }
    // Lost parity alone costs nothing.
    std::vector<std::size_t> parityOnly;
    for (std::size_t j = 0; j < s.p; ++j) parityOnly.push_back(s.k + j);
    EXPECT_TRUE(block.RecoversWithout(parityOnly));
  }
}

ParityGroup SampleGroup() {
  ParityGroup g;
  g.number = 0xFFFF;
  g.paritySymbols = 3;
  g.symbolSize = 734;
  g.firstMessage = 0xFFFFFFFFu;
  g.firstFragment = 11;
  g.sources = {1468, 1468 | kParitySourceLast, 40 | kParitySourceLast, 300};
  return g;
}

std::vector<std::uint8_t> Datagram(const ParityGroup& g, std::uint8_t index) {
  std::vector<std::uint8_t> bytes(ParityHeaderSize(g.sources.size()) + g.symbolSize, 0x5A);
  EXPECT_TRUE(WriteParityHeader(g, index, bytes));
  return bytes;
}

TEST(ParityHeaderTest, RoundTripsAndPlacesEverySource) {
  const ParityGroup g = SampleGroup();
  const auto bytes = Datagram(g, 2);
  EXPECT_EQ(bytes.size(), 16u + 8u + 734u);
  EXPECT_EQ(bytes[0], kParityVersion);
  const auto d = ReadParityDatagram(bytes);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->group, g);
  EXPECT_EQ(d->index, 2);
  EXPECT_EQ(d->symbol.size(), 734u);
  // The sources follow each other across message ends and the wrap of the message number.
  const std::vector<FragmentId> ids = g.SourceIds();
  const std::vector<FragmentId> expected = {
      {0xFFFFFFFFu, 11, false}, {0xFFFFFFFFu, 12, true}, {0, 0, true}, {1, 0, false}};
  EXPECT_EQ(ids, expected);
}

TEST(ParityHeaderTest, AnythingOutOfRangeIsRefused) {
  const auto valid = Datagram(SampleGroup(), 0);
  const struct {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  } corruptions[] = {
      {"version", 0, 2},
      {"no sources", 1, 0},
      {"more sources than the bytes", 1, 5},
      {"no parity", 2, 0},
      {"index past the parity", 3, 3},
      {"symbol size 0", 4, 0},
      {"a source shorter than its fragment header", 20, 4},
      {"a source longer than two symbols", 17, 0x7F},
  };
  for (const auto& c : corruptions) {
    auto bytes = valid;
    bytes[c.offset] = c.value;
    if (c.offset == 4) bytes[5] = 0;
    EXPECT_FALSE(ReadParityDatagram(bytes)) << c.what;
  }
  auto shortOne = valid;
  shortOne.pop_back();
  EXPECT_FALSE(ReadParityDatagram(shortOne)) << "one byte short";
  EXPECT_FALSE(ReadParityDatagram(std::span(valid).first(10))) << "header cut";
  // Sources and parity beyond what GF(2^8) can number.
  ParityGroup big = SampleGroup();
  big.sources.assign(64, 1468);
  big.paritySymbols = 128;
  EXPECT_FALSE(ReadParityDatagram(Datagram(big, 0)));
  big.paritySymbols = 127;
  EXPECT_TRUE(ReadParityDatagram(Datagram(big, 0)));
}

}  // namespace
}  // namespace vantorel::protocol
