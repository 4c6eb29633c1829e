// Identity and trusted-sender files: made safe on first use, refused with the reason when they
// cannot be trusted, never half read.
#include "platform/profile/key_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vantorel::profile {
namespace {

namespace fs = std::filesystem;

class KeyFilesTest : public ::testing::Test {
 protected:
  KeyFilesTest() {
    folder_ = fs::temp_directory_path() /
              ("vantorel-keys-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  ~KeyFilesTest() override { fs::remove_all(folder_); }

  fs::path Write(const std::string& name, const std::string& text, fs::perms perms) {
    const fs::path path = folder_ / name;
    std::ofstream(path) << text;
    fs::permissions(path, perms);
    return path;
  }

  fs::path folder_;
};

TEST_F(KeyFilesTest, AMissingIdentityIsCreatedPrivateAndReadBackTheSame) {
  const fs::path path = folder_ / "new" / "identity";
  EXPECT_FALSE(LoadIdentity(path, WhenMissing::kRefuse).value);
  const auto made = LoadIdentity(path, WhenMissing::kCreate);
  ASSERT_TRUE(made.value) << made.error;
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(path.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  const auto again = LoadIdentity(path, WhenMissing::kCreate);
  ASSERT_TRUE(again.value);
  EXPECT_EQ(again.value->Public(), made.value->Public());
  // The file names its fingerprint for whoever opens it.
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find(made.value->FingerprintOf().Text()), std::string::npos);
}

TEST_F(KeyFilesTest, AnIdentityThatCannotBeTrustedIsRefusedWithTheReason) {
  const std::string seed = "ed25519-seed " + std::string(64, 'a') + "\n";
  const auto owner = fs::perms::owner_read | fs::perms::owner_write;
  const struct {
    const char* name;
    std::string text;
    fs::perms perms;
    const char* reason;
  } cases[] = {
      {"group", seed, owner | fs::perms::group_read, "can be read by others (mode 0640)"},
      {"world", seed, owner | fs::perms::others_read, "can be read by others (mode 0604)"},
      {"short", "ed25519-seed abcd\n", owner, "not 64 hexadecimal digits"},
      {"nohex", "ed25519-seed " + std::string(64, 'x') + "\n", owner, "not 64 hexadecimal"},
      {"empty", "# nothing\n", owner, "holds no key"},
      {"two", seed + seed, owner, "is not an identity file"},
      {"other", "-----BEGIN KEY-----\n", owner, "is not an identity file"},
  };
  for (const auto& c : cases) {
    const fs::path path = Write(c.name, c.text, c.perms);
    const auto loaded = LoadIdentity(path, WhenMissing::kCreate);
    EXPECT_FALSE(loaded.value) << c.name;
    EXPECT_NE(loaded.error.find(path.string()), std::string::npos) << loaded.error;
    EXPECT_NE(loaded.error.find(c.reason), std::string::npos) << loaded.error;
  }
  EXPECT_NE(LoadIdentity(folder_, WhenMissing::kCreate).error.find("is not a regular file"),
            std::string::npos);
  EXPECT_TRUE(
      LoadIdentity(Write("good", "# mine\n" + seed, fs::perms::owner_read), WhenMissing::kRefuse)
          .value);
}

TEST_F(KeyFilesTest, TrustedSendersAreReadAddedAndRefusedWhenOthersMayChangeThem) {
  const fs::path path = folder_ / "cfg" / kTrustedSendersFileName;
  const auto none = LoadTrustedSenders(path);
  ASSERT_TRUE(none.value);
  EXPECT_TRUE(none.value->empty());
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  const protocol::Fingerprint a = protocol::SigningKey::FromSeed(seed).FingerprintOf();
  seed[0] = 1;
  const protocol::Fingerprint b = protocol::SigningKey::FromSeed(seed).FingerprintOf();
  EXPECT_EQ(AddTrustedSender(path, a, "Hall\nscreen"), "");
  EXPECT_EQ(AddTrustedSender(path, b, ""), "");
  const auto loaded = LoadTrustedSenders(path);
  ASSERT_TRUE(loaded.value) << loaded.error;
  ASSERT_EQ(loaded.value->size(), 2u);
  EXPECT_EQ((*loaded.value)[0].fingerprint, a);
  EXPECT_EQ((*loaded.value)[0].name, "Hall screen");
  EXPECT_EQ((*loaded.value)[1].fingerprint, b);

  fs::permissions(path, fs::perms::others_write, fs::perm_options::add);
  EXPECT_NE(LoadTrustedSenders(path).error.find("can be changed by others"), std::string::npos);
  const fs::path bad = Write("bad", "# ok\n" + a.Text() + "\nnot-a-fingerprint name\n",
                             fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(LoadTrustedSenders(bad).error.find("line 3: \"not-a-fingerprint\""), std::string::npos);
}

TEST_F(KeyFilesTest, CountersAreKeptForTheNextRun) {
  const fs::path path = folder_ / "state" / kCountersFileName;
  ASSERT_TRUE(LoadCounters(path).value);
  EXPECT_TRUE(LoadCounters(path).value->empty());
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  const protocol::PublicKey a = protocol::SigningKey::FromSeed(seed).Public();
  seed[0] = 1;
  const protocol::PublicKey b = protocol::SigningKey::FromSeed(seed).Public();
  const Counters counters{{a, 1765360000000000}, {b, ~std::uint64_t{0}}};
  EXPECT_EQ(SaveCounters(path, counters), "");
  EXPECT_EQ(LoadCounters(path).value, counters);
  EXPECT_FALSE(fs::exists(path.string() + ".new"));
  const fs::path bad = Write("bad", "abcd 12\n", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(LoadCounters(bad).error.find("line 1 is not a key and a counter"), std::string::npos);
}

}  // namespace
}  // namespace vantorel::profile
