#include "platform/profile/profile.h"
#include "platform/profile/program_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace vantorel::profile {
namespace {

const std::filesystem::path kFixtures = VANTOREL_PROFILE_FIXTURES;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct LookupCase {
  const char* name;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
  *os << c.name;
}

class MixedFileLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(MixedFileLookup, FindsWhatTheFileSays) {
  const auto text = ReadIniFile(kFixtures / "mixed.ini");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->Lookup(GetParam().section, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, MixedFileLookup,
    testing::Values(
        LookupCase{"AfterByteOrderMarkAndCrLf", "Info", "Language", "Deutsch"},
        LookupCase{"NamesIgnoreCase", "INFO", "lAnGuAgE", "Deutsch"},
        LookupCase{"BlanksAroundNamesAsked", " Info\t", " Language ", "Deutsch"},
        LookupCase{"SemicolonInsideValueIsText", "String", "Open", "Öffnen ; not a comment"},
        LookupCase{"CommentLineIsNoEntry", "String", "Pause", std::nullopt},
        LookupCase{"CommentMarkerIsNoKey", "String", ";Pause", std::nullopt},
        LookupCase{"EmptyValueIsPresent", "String", "Stop", ""},
        LookupCase{"KeyCaseFolded", "string", "key with case", "found"},
        LookupCase{"FirstOfTwoKeysWins", "String", "Seek", "Suchen"},
        LookupCase{"SecondSectionOfOneNameIgnored", "String", "Later", std::nullopt},
        LookupCase{"LineWithoutEqualsIsNoEntry", "String", "no equals sign here", std::nullopt},
        LookupCase{"MissingSection", "Nowhere", "Open", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileRead, ValuesAreCutToTheBufferSize) {
  const auto path = kFixtures / "long_value.ini";
  EXPECT_EQ(ReadProfileString("S", "long", "", path), std::string(kProfileTextSize - 1, 'x'));
  // 8-bit text: the cut counts bytes, whatever the encoding.
  EXPECT_EQ(ReadProfileString("S", "chinese", "", path).size(), kProfileTextSize - 1);
}

TEST(ProfileRead, DefaultOnlyWhenTheEntryIsMissing) {
  const auto path = kFixtures / "mixed.ini";
  EXPECT_EQ(ReadProfileString("String", "Stop", "default", path), "");
  EXPECT_EQ(ReadProfileString("String", "Absent", "default", path), "default");
  EXPECT_EQ(ReadProfileString("Info", "Language", "x", kFixtures / "missing.ini"), "x");
  EXPECT_EQ(ReadProfileString("Info", "Language", "x", kFixtures), "x");  // a directory
}

TEST(ProfileRead, ZeroBytesEndTheValueAndLastLineNeedsNoBreak) {
  const IniText text(std::string_view("[A]\nk=before\0after\n[B]\nlast=end", 31));
  EXPECT_EQ(text.Lookup("A", "k"), "before");
  EXPECT_EQ(text.Lookup("B", "last"), "end");
}

class ProfileWrite : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "profile_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(ProfileWrite, CreatesTheFile) {
  const auto path = dir_ / "language.set";
  ASSERT_TRUE(WriteProfileString("Set", "Language", "English", path));
  EXPECT_EQ(ReadAll(path), "[Set]\nLanguage=English\n");
}

TEST_F(ProfileWrite, ChangesOnlyTheEntry) {
  const auto path = dir_ / "a.ini";
  WriteAll(path, "; keep me\n[set]\nlanguage=English\nother = 1\n\n[Next]\nx=y\n");
  ASSERT_TRUE(WriteProfileString("SET", "Language", "中文", path));
  EXPECT_EQ(ReadAll(path), "; keep me\n[set]\nLanguage=中文\nother = 1\n\n[Next]\nx=y\n");
  ASSERT_TRUE(WriteProfileString("set", "added", "v", path));
  EXPECT_EQ(ReadAll(path), "; keep me\n[set]\nLanguage=中文\nother = 1\nadded=v\n\n[Next]\nx=y\n");
  ASSERT_TRUE(WriteProfileString("New", "k", "", path));
  EXPECT_EQ(ReadProfileString("New", "k", "default", path), "");
  EXPECT_EQ(ReadProfileString("Next", "x", "", path), "y");

  // Two byte-order marks: the second is part of the first line, which is no section header, and
  // stays so once the file is written back.
  WriteAll(path, "\xEF\xBB\xBF\xEF\xBB\xBF[set]\nk=first\n");
  ASSERT_TRUE(WriteProfileString("set", "k", "second", path));
  EXPECT_EQ(ReadProfileString("set", "k", "", path), "second");
}

TEST_F(ProfileWrite, RefusesWhatCannotBeReadBack) {
  const auto path = dir_ / "a.ini";
  EXPECT_FALSE(WriteProfileString("S", "k", "two\nlines", path));
  EXPECT_FALSE(WriteProfileString("S", "a=b", "v", path));
  EXPECT_FALSE(WriteProfileString("S]", "k", "v", path));
  EXPECT_FALSE(WriteProfileString("S", " ", "v", path));
  EXPECT_FALSE(WriteProfileString("S", ";k", "v", path));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(WriteProfileString("S", "k", "v", dir_ / "no" / "such" / "folder.ini"));
  EXPECT_FALSE(WriteProfileString("S", "k", "v", dir_));
}

// Where a program finds its data, by what stands beside its executable (bin/) and in
// ../share/vantorel.
struct LayoutCase {
  const char* name;
  bool libraryBeside;
  bool sharedFolder;
  bool libraryShared;
  bool expectShared;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << c.name;
}

class ProgramFolderLayout : public ProfileWrite, public testing::WithParamInterface<LayoutCase> {};

TEST_P(ProgramFolderLayout, FindsTheDataBesideFirstThenInShare) {
  const LayoutCase& c = GetParam();
  const auto bin = dir_ / "prefix" / "bin";
  const auto shared = dir_ / "prefix" / "share" / "vantorel";
  std::filesystem::create_directories(bin);
  if (c.sharedFolder) std::filesystem::create_directories(shared);
  if (c.libraryBeside) WriteAll(bin / kResourceLibraryName, "rcc");
  if (c.libraryShared) WriteAll(shared / kResourceLibraryName, "rcc");
  EXPECT_EQ(ProgramFolderFor(bin), c.expectShared ? shared : bin);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ProgramFolderLayout,
    testing::Values(LayoutCase{"BuildOutputFolder", true, false, false, false},
                    LayoutCase{"BesideWinsOverAnInstalledCopy", true, true, true, false},
                    LayoutCase{"InstalledTree", false, true, true, true},
                    LayoutCase{"SharedFolderWithoutTheLibrary", false, true, false, false},
                    LayoutCase{"NothingAnywhere", false, false, false, false}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST_F(ProfileWrite, AFolderNamedLikeTheLibraryIsNoLibrary) {
  const auto bin = dir_ / "bin";
  std::filesystem::create_directories(bin / kResourceLibraryName);
  std::filesystem::create_directories(dir_ / "share" / "vantorel" / kResourceLibraryName);
  EXPECT_EQ(ProgramFolderFor(bin), bin);
}

}  // namespace
}  // namespace vantorel::profile
