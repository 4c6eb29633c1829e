// The list of senders on the air, made from what the senders' announcers send: who is listed,
// who is kept out, and who may take the lock for a choice.
#include "receiver/sender_directory.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "protocol/wire_format.h"
#include "sender/announcer.h"
#include "tests/protocol/recording_sink.h"
#include "tests/protocol/test_keys.h"

namespace vantorel::receiver {
namespace {

using namespace std::chrono_literals;
using Clock = SenderDirectory::Clock;
using protocol::SenderSource;
using protocol::SenderState;

constexpr DatagramSource kNorth{0x0A4D0001, 40000};
constexpr DatagramSource kSouth{0x0A4D0002, 41000};

using testing::KeyFrom;

// A sender's announcer on a recording sink, with a clock of the test's.
struct TestSender {
  explicit TestSender(std::string name, std::optional<protocol::SigningKey> key = std::nullopt)
      : announcer(sink, std::move(name), std::move(key), [this] { return now; }) {}

  // What the announcer sent since the last call.
  std::vector<testing::Bytes> Sent() {
    std::vector<testing::Bytes> out;
    for (auto& e : sink.entries) {
      EXPECT_EQ(e.key, protocol::kRouteKeyAnnouncement);
      out.push_back(std::move(e.bytes));
    }
    sink.entries.clear();
    return out;
  }
  testing::Bytes Last() { return Sent().back(); }

  Clock::time_point now{Clock::time_point{} + 1h};
  testing::RecordingSink sink;
  sender::Announcer announcer;
};

TEST(AnnouncerTest, SendsAtOnceOnAChangeAndOnceASecondOtherwise) {
  TestSender s("North");
  s.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "clip.mp4", 3);
  EXPECT_EQ(s.Sent().size(), 1u);
  s.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "clip.mp4", 3);
  s.now += 999ms;
  s.announcer.Tick();
  EXPECT_TRUE(s.Sent().empty());
  s.now += 1ms;
  s.announcer.Tick();
  EXPECT_EQ(s.Sent().size(), 1u);
  s.announcer.Set(SenderState::kPaused, SenderSource::kFile, "clip.mp4", 3);
  const std::vector<testing::Bytes> sent = s.Sent();
  ASSERT_EQ(sent.size(), 1u);
  const auto view = protocol::ReadAnnouncement(sent[0]);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->announcement.state, SenderState::kPaused);
  EXPECT_EQ(view->announcement.name, "North");
  // The counter rises with every announcement and starts from the wall clock.
  EXPECT_GT(view->announcement.counter, 1'600'000'000'000'000ull);
  EXPECT_EQ(view->announcement.counter + 1, s.announcer.Current().counter);
}

TEST(SenderDirectoryTest, ListsTheSendersOnTheAirInTheOrderHeard) {
  SenderDirectory directory;
  TestSender north("North"), south("South");
  const Clock::time_point t0 = north.now;
  north.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "a.mkv", 1);
  south.announcer.Set(SenderState::kPaused, SenderSource::kScreen, "Screen", 4);
  directory.Hear(south.Last(), kSouth, t0);
  directory.Hear(north.Last(), kNorth, t0 + 10ms);
  const std::uint64_t generation = directory.Generation();

  std::vector<HeardSender> onAir = directory.OnAir(t0 + 1s);
  ASSERT_EQ(onAir.size(), 2u);
  EXPECT_EQ(onAir[0].address, kSouth);
  EXPECT_EQ(onAir[0].announcement.state, SenderState::kPaused);
  EXPECT_EQ(onAir[0].announcement.title, "Screen");
  EXPECT_EQ(onAir[1].announcement.name, "North");
  EXPECT_FALSE(onAir[1].fingerprint);

  // The same announcement again changes nothing a person sees; silence takes a sender off.
  north.now += 1s;
  north.announcer.Tick();
  directory.Hear(north.Last(), kNorth, t0 + 2s);
  EXPECT_EQ(directory.Generation(), generation);
  onAir = directory.OnAir(t0 + 4s);
  ASSERT_EQ(onAir.size(), 1u);
  EXPECT_EQ(onAir[0].address, kNorth);
  EXPECT_EQ(directory.Remembered().size(), 2u);
  EXPECT_EQ(directory.Stats().taken, 3u);
}

TEST(SenderDirectoryTest, WithTrustedSendersListsOnlyTheirFreshSignedAnnouncements) {
  const protocol::SigningKey trustedKey = KeyFrom(1);
  SenderDirectory directory({trustedKey.FingerprintOf()});
  TestSender trusted("Trusted", trustedKey), stranger("Stranger", KeyFrom(2)), plain("Plain");
  const Clock::time_point t0 = trusted.now;
  trusted.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "a", 1);
  stranger.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "b", 1);
  plain.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "c", 1);
  const testing::Bytes first = trusted.Last();
  testing::Bytes forged = first;
  forged[protocol::kAnnouncementFixed] ^= 0x20;  // the name's first letter

  directory.Hear(first, kNorth, t0);
  directory.Hear(first, kNorth, t0 + 1ms);  // a replay
  directory.Hear(forged, kNorth, t0 + 2ms);
  directory.Hear(stranger.Last(), kSouth, t0);
  directory.Hear(plain.Last(), kSouth, t0);
  directory.Hear({}, kSouth, t0);

  const std::vector<HeardSender> onAir = directory.OnAir(t0 + 10ms);
  ASSERT_EQ(onAir.size(), 1u);
  EXPECT_EQ(onAir[0].announcement.name, "Trusted");
  EXPECT_EQ(onAir[0].fingerprint, trustedKey.FingerprintOf());
  const DirectoryStats& stats = directory.Stats();
  EXPECT_EQ(stats.replayed, 2u);  // the copy, and the forgery of an old counter
  EXPECT_EQ(stats.untrusted, 1u);
  EXPECT_EQ(stats.unsignedRefused, 1u);
  EXPECT_EQ(stats.malformed, 1u);

  // A forgery with a fresh counter is checked, and fails.
  trusted.announcer.Set(SenderState::kPaused, SenderSource::kFile, "a", 1);
  testing::Bytes fresh = trusted.Last();
  fresh[protocol::kAnnouncementFixed] ^= 0x20;
  directory.Hear(fresh, kNorth, t0 + 20ms);
  EXPECT_EQ(directory.Stats().badSignature, 1u);
  EXPECT_EQ(directory.OnAir(t0 + 30ms)[0].announcement.state, SenderState::kPlaying);
}

TEST(SenderDirectoryTest, AFloodCostsABoundedListAndBoundedChecks) {
  SenderDirectory directory;
  TestSender signer("Flood", KeyFrom(5));
  const Clock::time_point t0 = signer.now;
  signer.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "x", 1);
  const testing::Bytes bytes = signer.Last();
  for (std::uint16_t port = 1; port <= 200; ++port) {
    directory.Hear(bytes, {kNorth.address, port}, t0);
  }
  EXPECT_EQ(directory.Remembered().size(), SenderDirectory::kMaxSenders);
  EXPECT_EQ(directory.Stats().full, 200 - SenderDirectory::kMaxSenders);
  EXPECT_EQ(directory.Stats().overBudget,
            SenderDirectory::kMaxSenders - static_cast<std::size_t>(SenderDirectory::kCheckBurst));
  // Left unchecked, a signature keeps the fingerprint shown only when it names the same key.
  TestSender other("Other", KeyFrom(6));
  other.announcer.Set(SenderState::kPlaying, SenderSource::kFile, "y", 1);
  directory.Hear(bytes, {kNorth.address, 1}, t0);
  directory.Hear(other.Last(), {kNorth.address, 2}, t0);
  EXPECT_EQ(directory.Find({kNorth.address, 1})->fingerprint, KeyFrom(5).FingerprintOf());
  EXPECT_FALSE(directory.Find({kNorth.address, 2})->fingerprint);
  // Off the air for long enough, the old ones make room for a new sender.
  directory.Hear(bytes, kSouth, t0 + SenderDirectory::kOnAir);
  EXPECT_EQ(directory.Remembered().back().address, kSouth);
}

TEST(SenderDirectoryTest, TheChoiceDecidesWhoMayTakeTheLock) {
  SenderDirectory directory;
  TestSender north("North"), twin("North"), south("South");
  const Clock::time_point t0 = north.now;
  for (TestSender* s : {&north, &twin, &south}) {
    s->announcer.Set(SenderState::kPlaying, SenderSource::kFile, "x", 1);
  }
  directory.Hear(north.Last(), kNorth, t0);
  directory.Hear(south.Last(), kSouth, t0);
  constexpr DatagramSource kTwin{0x0A4D0003, 40000};
  directory.Hear(twin.Last(), kTwin, t0 + 1ms);

  const auto only = [](DatagramSource s) { return SenderPreference::Only(s); };
  const SenderChoice none, byName{"North", std::nullopt, false},
      byNameOnly{"North", std::nullopt, true}, unknown{"West", std::nullopt, false},
      unknownOnly{"West", std::nullopt, true},
      byAddress{"", DatagramSource{kSouth.address, 0}, false};
  struct Case {
    const char* what;
    SenderChoice choice;
    std::optional<DatagramSource> locked;
    Clock::time_point at;
    SenderPreference expected;
  };
  const std::vector<Case> cases = {
      {"nothing chosen", none, kSouth, t0, {}},
      {"the first heard of the name", byName, kSouth, t0, only(kNorth)},
      {"the locked one of the name", byName, kTwin, t0, only(kTwin)},
      {"a name not on the air", unknown, kSouth, t0, {}},
      {"a name never heard, only", unknownOnly, std::nullopt, t0, SenderPreference::Nobody()},
      {"a name gone off the air", byName, std::nullopt, t0 + 5s, {}},
      {"a name gone off the air, only", byNameOnly, std::nullopt, t0 + 5s, only(kTwin)},
      {"an address on the air", byAddress, kNorth, t0, only({kSouth.address, 0})},
      {"an address off the air", byAddress, kNorth, t0 + 5s, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(directory.Preference(c.choice, c.locked, c.at), c.expected) << c.what;
  }
  EXPECT_TRUE(only({kSouth.address, 0}).Allows(kSouth));
  EXPECT_FALSE(only(kSouth).Allows(kNorth));
  EXPECT_FALSE(SenderPreference::Nobody().Allows(kNorth));
}

}  // namespace
}  // namespace vantorel::receiver
