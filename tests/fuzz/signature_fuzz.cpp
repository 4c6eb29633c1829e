// Signature datagrams and the signature gate. The whole input is first read as a signature
// payload: what reads must hold together, and the same hashes signed by the fixed key must
// read back and verify. Then it drives a gate trusting that key. Its first byte, when not
// zero, is the key's counter that the gate knows from a run before: 872 more than its value
// (signatures here count from 1001 on). The bytes after it are cut into steps:
//
//   byte 0: the action (bits 0-2), the source (bits 3-4, one of four), a reception held up
//           since the step before (bit 5; otherwise the gate ticks at the step's time first,
//           as the reception thread does after each batch), the action's option (bit 6 or 7);
//   byte 1: the time since the step before: below 200 in milliseconds, above in tenths of a
//           second past 0.1 s;
//   then the action's own bytes:
//     0, 1  a media or parity datagram: a length byte, then that many payload bytes;
//     2     an end of broadcast: four zero bytes (with the option: four input bytes);
//     3     a signature by the trusted key, one of its bytes flipped: as 4, then the byte's
//           place;
//     4     a signature over the last N datagrams taken (byte: N - 1 in bits 0-5; bit 6: by
//           another key; bit 7: the counter goes back), a counter step byte; the option
//           adds three ends of broadcast signed ahead;
//     5     a signature made before, sent again (byte: which; with the option, a byte whose
//           place is then flipped);
//     6     input bytes as a signature datagram: a length byte, then the bytes;
//     7     a copy of a datagram taken before (byte: which).
//
// The gate must hold at most kMaxHeld datagrams and nothing after a second of silence, and
// must let a datagram through only from the sender it is locked onto, only from a source
// that carried a signature by the trusted key, and only as many times as signatures by that
// key list its hash.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "protocol/signing.h"
#include "protocol/wire_format.h"
#include "receiver/signature_gate.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/protocol/test_keys.h"

namespace {

using vantorel::receiver::Datagram;
using vantorel::receiver::DatagramKind;
using vantorel::receiver::DatagramSource;
using vantorel::receiver::SignatureGate;
namespace protocol = vantorel::protocol;
using namespace std::chrono_literals;

// The trusted sender may sign from any of them (started again, it has another port).
constexpr std::array<DatagramSource, 4> kSources{{
    {0x0A4D0001, 40000},
    {0x0A4D0001, 40001},
    {0x0A4D0002, 40000},
    {0x0A4D0003, 5937},
}};
constexpr std::size_t kRemembered = 64;
// Signing and checking cost; a few dozen signatures reach every path.
constexpr int kMaxSignatures = 24;

using vantorel::testing::Check;

using vantorel::testing::KeyFrom;

const protocol::SigningKey& Trusted() {
  static const protocol::SigningKey key = KeyFrom(0x5A);
  return key;
}

const protocol::SigningKey& Stranger() {
  static const protocol::SigningKey key = KeyFrom(0xA5);
  return key;
}

protocol::DatagramHash HashOf(DatagramKind kind, std::span<const std::uint8_t> payload) {
  return protocol::HashDatagram(RouteKeyOf(kind), payload);
}

using Input = vantorel::testing::FuzzInput;

// The signature datagram read on its own.
void ReadWhole(std::span<const std::uint8_t> payload) {
  const auto view = protocol::ReadSignatureDatagram(payload);
  if (!view) return;
  Check(view->Count() >= 1 && view->Count() <= protocol::kMaxSignedDatagrams);
  Check(view->hashes.size() == view->Count() * protocol::kDatagramHashSize);
  Check(view->signedPart.size() + protocol::kSignatureSize == payload.size());
  protocol::Verify(*view);
  std::vector<protocol::DatagramHash> hashes;
  for (std::size_t i = 0; i < view->Count(); ++i) hashes.push_back(view->Hash(i));
  const std::vector<std::uint8_t> again =
      protocol::WriteSignatureDatagram(Trusted(), view->counter, hashes);
  const auto reread = protocol::ReadSignatureDatagram(again);
  Check(reread && reread->counter == view->counter && reread->key == Trusted().Public());
  Check(std::equal(reread->hashes.begin(), reread->hashes.end(), view->hashes.begin(),
                   view->hashes.end()));
  Check(protocol::Verify(*reread));
}

Datagram Make(DatagramKind kind, std::span<const std::uint8_t> payload,
              SignatureGate::Clock::time_point at, const DatagramSource& source) {
  Datagram d{std::make_unique<std::uint8_t[]>(payload.size()), payload.size(), kind, at, source};
  if (!payload.empty()) std::memcpy(d.payload.get(), payload.data(), payload.size());
  return d;
}

struct Kept {
  DatagramKind kind;
  std::vector<std::uint8_t> payload;
};

// Checks every datagram the gate lets through; an end of broadcast resets the gate, as the
// reception does.
class Checker : public SignatureGate::Output {
 public:
  void Release(Datagram& d) override {
    Check(gate->Sender().has_value() && *gate->Sender() == d.source);
    Check(Signer(d.source));
    const protocol::DatagramHash hash = HashOf(d.kind, {d.payload.get(), d.length});
    Check(released[hash]++ < listed[hash]);
    ++releasedTotal;
    if (d.kind == DatagramKind::kEndOfBroadcast) gate->Reset();
  }
  void SenderChanged(const DatagramSource& s) override { Check(Signer(s)); }

  void AddSigner(const DatagramSource& s) { signers.insert({s.address, s.port}); }
  bool Signer(const DatagramSource& s) const { return signers.contains({s.address, s.port}); }

  SignatureGate* gate = nullptr;
  // Sources that carried a signature by the trusted key.
  std::set<std::pair<std::uint32_t, std::uint16_t>> signers;
  // Per hash: how many times signatures by the trusted key listed it, and let through.
  std::map<protocol::DatagramHash, std::uint64_t> listed;
  std::map<protocol::DatagramHash, std::uint64_t> released;
  std::uint64_t releasedTotal = 0;
};

SignatureGate::Counters Known(std::uint8_t byte) {
  if (byte == 0) return {};
  return {{Trusted().Public(), 872 + std::uint64_t{byte}}};
}

class Driver {
 public:
  explicit Driver(const SignatureGate::Counters& known)
      : gate_({Trusted().FingerprintOf()}, checker_, 2000ms, known) {
    checker_.gate = &gate_;
  }

  void Run(Input& in) {
    while (!in.Empty()) {
      const std::uint8_t op = in.Byte();
      const DatagramSource& source = kSources[(op >> 3) & 3];
      const std::uint8_t step = in.Byte();
      now_ += step < 200 ? std::chrono::milliseconds(step) : (step - 199) * 100ms;
      if ((op & 0x20) == 0) gate_.Tick(now_);
      Step(op, source, in);
      Check(gate_.Held() <= SignatureGate::kMaxHeld);
    }
    // What no signature covered is gone a second later.
    gate_.Tick(now_ + 1s);
    Check(gate_.Held() == 0);
    Check(checker_.releasedTotal == gate_.Stats().signedDatagrams);
  }

  std::uint64_t Highest() const {
    const SignatureGate::Counters counters = gate_.HighestCounters();
    const auto it = counters.find(Trusted().Public());
    return it == counters.end() ? 0 : it->second;
  }

 private:
  struct Made {
    std::vector<std::uint8_t> bytes;
    bool trusted;
  };

  void Step(std::uint8_t op, const DatagramSource& source, Input& in) {
    const bool option = (op & 0xC0) != 0;
    switch (op & 7) {
      case 0:
      case 1: {
        const DatagramKind kind = (op & 7) == 0 ? DatagramKind::kMedia : DatagramKind::kParity;
        Take(kind, in.Bytes(in.Byte()), source);
        break;
      }
      case 2: {
        std::array<std::uint8_t, 4> value{};
        if (option) std::ranges::copy(in.Bytes(4), value.begin());
        Take(DatagramKind::kEndOfBroadcast, value, source);
        break;
      }
      case 3:
      case 4:
        Sign(op, source, in);
        break;
      case 5:
        if (!made_.empty()) Resend(made_[in.Byte() % made_.size()], option, source, in);
        break;
      case 6:
        gate_.Take(Make(DatagramKind::kSignature, in.Bytes(in.Byte()), now_, source));
        break;
      case 7:
        if (!taken_.empty()) {
          const Kept k = taken_[in.Byte() % taken_.size()];
          Take(k.kind, k.payload, source);
        }
        break;
    }
  }

  void Take(DatagramKind kind, std::span<const std::uint8_t> payload,
            const DatagramSource& source) {
    taken_.push_back({kind, {payload.begin(), payload.end()}});
    if (taken_.size() > kRemembered) taken_.pop_front();
    gate_.Take(Make(kind, payload, now_, source));
  }

  // Action 3 (flipped) and 4: a signature over the last datagrams taken.
  void Sign(std::uint8_t op, const DatagramSource& source, Input& in) {
    const std::uint8_t shape = in.Byte();
    const std::uint8_t counterStep = in.Byte();
    const std::uint8_t flip = (op & 7) == 3 ? in.Byte() : 0;
    if (signatures_ == kMaxSignatures) return;
    ++signatures_;
    const bool stranger = (shape & 0x40) != 0;
    std::vector<protocol::DatagramHash> hashes;
    const std::size_t n = std::min<std::size_t>((shape & 0x3F) + 1, taken_.size());
    for (std::size_t i = taken_.size() - n; i < taken_.size(); ++i) {
      hashes.push_back(HashOf(taken_[i].kind, taken_[i].payload));
    }
    if ((op & 0xC0) != 0) {
      const std::array<std::uint8_t, 4> end{};
      for (int i = 0; i < 3; ++i) hashes.push_back(HashOf(DatagramKind::kEndOfBroadcast, end));
    }
    if (hashes.empty()) return;
    if (hashes.size() > protocol::kMaxSignedDatagrams) hashes.resize(protocol::kMaxSignedDatagrams);
    const std::uint64_t counter =
        (shape & 0x80) != 0 ? counter_ - counterStep : (counter_ += 1 + counterStep);
    std::vector<std::uint8_t> bytes =
        protocol::WriteSignatureDatagram(stranger ? Stranger() : Trusted(), counter, hashes);
    if ((op & 7) == 3) {
      bytes[flip % bytes.size()] ^= 0x01;
      gate_.Take(Make(DatagramKind::kSignature, bytes, now_, source));
      return;
    }
    if (!stranger) {
      checker_.AddSigner(source);
      for (const protocol::DatagramHash& h : hashes) ++checker_.listed[h];
    }
    made_.push_back({bytes, !stranger});
    if (made_.size() > kRemembered) made_.pop_front();
    gate_.Take(Make(DatagramKind::kSignature, bytes, now_, source));
  }

  // Action 5: a signature made before, as it was (a replay) or with a byte flipped (a forgery
  // that costs the gate a check when its counter is new).
  void Resend(const Made& made, bool flipped, const DatagramSource& source, Input& in) {
    std::vector<std::uint8_t> bytes = made.bytes;
    if (flipped) {
      bytes[in.Byte() % bytes.size()] ^= 0x01;
    } else if (made.trusted) {
      checker_.AddSigner(source);
    }
    gate_.Take(Make(DatagramKind::kSignature, bytes, now_, source));
  }

  Checker checker_;
  SignatureGate gate_;
  SignatureGate::Clock::time_point now_ = SignatureGate::Clock::time_point{} + 1h;
  std::deque<Kept> taken_;
  std::deque<Made> made_;
  std::uint64_t counter_ = 1000;
  int signatures_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadWhole({data, size});
  Input in(data, size);
  const SignatureGate::Counters known = Known(in.Byte());
  Driver driver(known);
  driver.Run(in);
  // A counter known before is never forgotten.
  if (!known.empty()) Check(driver.Highest() >= known.begin()->second);
  return 0;
}
