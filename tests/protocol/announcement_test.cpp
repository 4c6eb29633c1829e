// Senders' announcements: what every receiver reads from any host on the network.
#include "protocol/announcement.h"
#include "tests/protocol/test_keys.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace vantorel::protocol {
namespace {

using testing::KeyFrom;

Announcement Sample() {
  Announcement a;
  a.state = SenderState::kPaused;
  a.source = SenderSource::kFile;
  a.counter = 0x0102030405060708ull;
  a.session = 9;
  a.name = "Saal Nord";
  a.title = "Brücke – Probe.mkv";
  return a;
}

TEST(AnnouncementTest, ReadsBackWhatWasWrittenSignedOrNot) {
  const SigningKey key = KeyFrom(3);
  for (const SigningKey* signer : {static_cast<const SigningKey*>(nullptr), &key}) {
    const std::vector<std::uint8_t> bytes = WriteAnnouncement(Sample(), signer);
    const std::optional<AnnouncementView> view = ReadAnnouncement(bytes);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->announcement, Sample());
    EXPECT_EQ(view->key.has_value(), signer != nullptr);
    EXPECT_EQ(Verify(*view), signer != nullptr);
  }
  // The layout's fixed part: version, flags, state, source, counter, session, name length.
  const std::vector<std::uint8_t> bytes = WriteAnnouncement(Sample());
  EXPECT_EQ(bytes.size(), kAnnouncementFixed + Sample().name.size() + Sample().title.size());
  EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 14)),
            (std::vector<std::uint8_t>{1, 0, 2, 1, 8, 7, 6, 5, 4, 3, 2, 1, 9, 9}));
}

TEST(AnnouncementTest, ASignatureHoldsOnlyOverWhatWasSigned) {
  const SigningKey key = KeyFrom(3);
  const std::vector<std::uint8_t> good = WriteAnnouncement(Sample(), &key);
  // Any byte changed before the signature (state, counter, name, key) breaks it.
  for (const std::size_t at : {std::size_t{2}, std::size_t{5}, std::size_t{14},
                               good.size() - kSignatureSize - 1, good.size() - 1}) {
    std::vector<std::uint8_t> bad = good;
    bad[at] ^= 0x01;
    const std::optional<AnnouncementView> view = ReadAnnouncement(bad);
    if (view) {
      EXPECT_FALSE(Verify(*view)) << "byte " << at;
    }
  }
}

TEST(AnnouncementTest, RefusesWhatIsNotOne) {
  const std::vector<std::uint8_t> good = WriteAnnouncement(Sample());
  const auto with = [&](std::size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> b = good;
    b[at] = value;
    return b;
  };
  std::vector<std::uint8_t> trailing = good;
  trailing.push_back(0);
  std::vector<std::uint8_t> cut = good;
  cut.pop_back();
  const std::size_t nameAt = 14;
  const std::vector<std::vector<std::uint8_t>> bad = {
      {},
      with(0, 2),                    // another version
      with(1, 0x02),                 // an unknown flag
      with(2, 3),                    // an unknown state
      with(3, 5),                    // an unknown source
      with(13, 0),                   // an empty name
      with(13, 200),                 // a name longer than the datagram
      with(nameAt, 0x07),            // a control character
      with(nameAt, 0xC0),            // not UTF-8
      with(1, kAnnouncementSigned),  // says signed, carries no signature
      trailing,
      cut,
      std::vector<std::uint8_t>(kMaxAnnouncementPayload + 1, 1),
  };
  for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_FALSE(ReadAnnouncement(bad[i])) << i;
}

TEST(AnnouncementTest, CleansWhatASenderPutsInIt) {
  EXPECT_EQ(CleanAnnouncedText("a\tb\nc", 10), "a b c");
  EXPECT_EQ(CleanAnnouncedText("ok\xC0\xAFok\xFF", 10), "okok");  // overlong and stray bytes
  EXPECT_EQ(CleanAnnouncedText("\xED\xA0\x80x", 10), "x");        // a surrogate
  // Cut at a character's boundary, never inside one.
  EXPECT_EQ(CleanAnnouncedText("aé", 2), "a");
  EXPECT_EQ(CleanAnnouncedText(std::string(300, 'x'), kMaxSenderName).size(), kMaxSenderName);
  // Long names and titles go out cut; an empty name as "?".
  Announcement a = Sample();
  a.name = "";
  a.title = std::string(500, 't');
  const std::optional<AnnouncementView> view = ReadAnnouncement(WriteAnnouncement(a));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->announcement.name, "?");
  EXPECT_EQ(view->announcement.title.size(), kMaxSenderTitle);
}

}  // namespace
}  // namespace vantorel::protocol
