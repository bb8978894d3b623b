#include "support/fileutils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs_fault.h"
#include "platform/path_style.h"
#include "support/temp_dir.h"

namespace {

using namespace dizora::support;
using dizora::platform::kHasDriveLetters;
using dz_test::ReadText;
using dz_test::SetReadOnly;
using dz_test::TempDir;
using dz_test::WriteText;

const std::string kSep = dizora::platform::kPathDelimiterText;

std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AppendPathDelimiter, FollowsThePathStyle) {
  EXPECT_EQ(AppendPathDelimiter(""), "");
  EXPECT_EQ(AppendPathDelimiter("dir" + kSep), "dir" + kSep);
  EXPECT_EQ(AppendPathDelimiter("1"), "1" + kSep);
  EXPECT_EQ(AppendPathDelimiter("C:"), "C:" + kSep);
  EXPECT_EQ(AppendPathDelimiter("ab"), "ab" + kSep);
  if (kHasDriveLetters) {
    EXPECT_EQ(AppendPathDelimiter("A"), "A:\\");
    EXPECT_EQ(AppendPathDelimiter("c"), "c:\\");
  } else {
    EXPECT_EQ(AppendPathDelimiter("A"), "A/");
    EXPECT_EQ(AppendPathDelimiter("dir\\"), "dir\\/");  // '\' is an ordinary character here
  }
  std::string result = "stale";
  AppendPathDelimiter("xy", result);
  EXPECT_EQ(result, "xy" + kSep);
  std::string same = "yz";
  AppendPathDelimiter(same, same);
  EXPECT_EQ(same, "yz" + kSep);
}

TEST(IsDirectory, OnlyExistingDirectories) {
  TempDir dir;
  WriteText(dir / "f", "x");
  EXPECT_TRUE(IsDirectory(dir.str()));
  EXPECT_TRUE(IsDirectory(dir.str() + kSep));
  EXPECT_FALSE(IsDirectory(dir / "f"));
  EXPECT_FALSE(IsDirectory(dir / "missing"));
  EXPECT_FALSE(IsDirectory(""));
}

TEST(ReadWholeFile, CapacityDecides) {
  TempDir dir;
  const std::string exact(164, 'k');
  WriteText(dir / "exact", exact);
  WriteText(dir / "long", std::string(165, 'L'));
  WriteText(dir / "empty", "");

  std::vector<char> buffer(200, '#');
  std::int32_t size = 164;
  ASSERT_TRUE(ReadWholeFile(dir / "exact", buffer.data(), size));
  EXPECT_EQ(size, 164);
  EXPECT_EQ(std::string(buffer.data(), 164), exact);
  EXPECT_EQ(buffer[164], '#');

  std::fill(buffer.begin(), buffer.end(), '#');
  size = 164;
  EXPECT_FALSE(ReadWholeFile(dir / "long", buffer.data(), size));
  EXPECT_EQ(size, 164);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '#'; }));

  size = 10;
  EXPECT_TRUE(ReadWholeFile(dir / "empty", buffer.data(), size));
  EXPECT_EQ(size, 0);
}

TEST(ReadWholeFile, FailuresLeaveSizeAlone) {
  TempDir dir;
  char buffer[16];
  std::int32_t size = 16;
  EXPECT_FALSE(ReadWholeFile(dir / "missing", buffer, size));
  EXPECT_FALSE(ReadWholeFile(dir.str(), buffer, size));
  EXPECT_FALSE(ReadWholeFile("", buffer, size));
  WriteText(dir / "f", "abc");
  size = -1;
  EXPECT_FALSE(ReadWholeFile(dir / "f", buffer, size));
  EXPECT_EQ(size, -1);
  size = 16;
  EXPECT_FALSE(ReadWholeFile(dir / "f", nullptr, size));
  EXPECT_EQ(size, 16);
}

TEST(WriteWholeFile, ReplacesWithExactLengthAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir / "key.pub";
  WriteText(path, std::string(500, 'o'));
  const std::string fresh = "new contents";
  ASSERT_TRUE(WriteWholeFile(path, fresh.data(), static_cast<std::int32_t>(fresh.size())));
  EXPECT_EQ(ReadText(path), fresh);
  EXPECT_EQ(NamesIn(dir.str()), std::vector<std::string>{"key.pub"});

  ASSERT_TRUE(WriteWholeFile(dir / "zero", nullptr, 0));
  EXPECT_TRUE(std::filesystem::exists(dir / "zero"));
  EXPECT_EQ(std::filesystem::file_size(dir / "zero"), 0u);
}

TEST(WriteWholeFile, RefusesReadOnlyFilesDirectoriesAndBadArguments) {
  TempDir dir;
  const std::string path = dir / "locked";
  WriteText(path, "old");
  SetReadOnly(path);
  EXPECT_FALSE(WriteWholeFile(path, "new", 3));
  EXPECT_EQ(ReadText(path), "old");

  std::filesystem::create_directory(dir / "sub");
  EXPECT_FALSE(WriteWholeFile(dir / "sub", "x", 1));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
  EXPECT_FALSE(WriteWholeFile(dir / "missing" + kSep + "f", "x", 1));
  EXPECT_FALSE(WriteWholeFile(dir / "neg", "x", -1));
  EXPECT_FALSE(WriteWholeFile(dir / "null", nullptr, 4));
  EXPECT_EQ(NamesIn(dir.str()), (std::vector<std::string>{"locked", "sub"}));
}

// Secret keys are private from their first byte and stay so when they
// replace a file that allowed more; other files keep the replaced file's bits.
TEST(WriteWholeFile, PermissionsOfPrivateAndSharedFiles) {
  if (kHasDriveLetters) GTEST_SKIP() << "Windows files carry no permission bits";
  namespace fsx = std::filesystem;
  using dizora::platform::FileAccess;
  const fsx::perms owner = fsx::perms::owner_read | fsx::perms::owner_write;
  const fsx::perms readable = owner | fsx::perms::group_read | fsx::perms::others_read;
  struct Case {
    const char* name;
    bool existing;
    fsx::perms before;
    FileAccess access;
    fsx::perms after;
  };
  for (const Case& c : {Case{"new secret", false, owner, FileAccess::kPrivate, owner},
                        Case{"secret over a readable file", true, readable, FileAccess::kPrivate, owner},
                        Case{"secret over a private file", true, owner, FileAccess::kPrivate, owner},
                        Case{"shared over a private file", true, owner, FileAccess::kShared, owner},
                        Case{"shared over a readable file", true, readable, FileAccess::kShared, readable}}) {
    TempDir dir;
    const std::string path = dir / "key.sec";
    if (c.existing) {
      WriteText(path, "old");
      fsx::permissions(path, c.before);
    }
    ASSERT_TRUE(WriteWholeFile(path, "newer", 5, c.access)) << c.name;
    EXPECT_EQ(fsx::status(path).permissions() & fsx::perms::all, c.after) << c.name;
    EXPECT_EQ(ReadText(path), "newer") << c.name;
  }
}

// The temporary name is short, so a name at the file system's limit works.
TEST(WriteWholeFile, NameAtTheLengthLimit) {
  TempDir dir;
  const std::string name = std::string(kHasDriveLetters ? 100 : 251, 'u') + ".pub";
  ASSERT_TRUE(WriteWholeFile(dir / name, "key", 3));
  ASSERT_TRUE(WriteWholeFile(dir / name, "new key", 7));
  EXPECT_EQ(ReadText(dir / name), "new key");
  EXPECT_EQ(NamesIn(dir.str()), std::vector<std::string>{name});
}

// Moves within a directory, between directories, and to another file system
// (simulated): the target gets the bytes, the source is gone, and a refused
// move leaves both as they were.
TEST(MoveFile, WithinAndAcrossFileSystems) {
  namespace fault = dizora::platform::fault;
  for (const bool across : {false, true}) {
    SCOPED_TRACE(across ? "other file system" : "same file system");
    TempDir dir;
    std::filesystem::create_directory(dir / "to");
    const std::string target = dir / "to" + kSep + "key.pub";
    WriteText(dir / "key.pub", "moved");
    WriteText(dir / "second", "second");
    fault::SimulateOtherFileSystem(across);
    EXPECT_TRUE(MoveFile(dir / "key.pub", target, false));
    EXPECT_FALSE(MoveFile(dir / "second", target, false)) << "an existing target is kept";
    EXPECT_FALSE(MoveFile(dir / "missing", dir / "to" + kSep + "x", true));
    const bool replaced = MoveFile(dir / "second", target, true);
    fault::SimulateOtherFileSystem(false);
    EXPECT_TRUE(replaced);
    EXPECT_EQ(ReadText(target), "second");
    EXPECT_EQ(NamesIn(dir.str()), std::vector<std::string>{"to"});
    EXPECT_EQ(NamesIn(dir / "to"), std::vector<std::string>{"key.pub"});
  }
}

// One file under two names is never "moved" onto itself: a rename reports
// success without moving anything, and the caller would take the source for
// gone.
TEST(MoveFile, SourceAndTargetThatAreOneFileAreRefused) {
  TempDir dir;
  WriteText(dir / "key.pub", "only copy");
  EXPECT_FALSE(MoveFile(dir / "key.pub", dir / "." + kSep + "key.pub", true));
  std::error_code ec;
  std::filesystem::create_hard_link(dir / "key.pub", dir / "link.pub", ec);
  if (!ec) {
    EXPECT_FALSE(MoveFile(dir / "link.pub", dir / "key.pub", true));
    EXPECT_EQ(ReadText(dir / "link.pub"), "only copy");
  }
  EXPECT_EQ(ReadText(dir / "key.pub"), "only copy");
}

TEST(CopyWholeFile, CopiesAndReplacesOrLeavesTheDestination) {
  TempDir dir;
  const std::string data("\0\1binary\xff", 10);
  WriteText(dir / "src", data);
  WriteText(dir / "dst", std::string(100, 'x'));
  ASSERT_TRUE(CopyWholeFile(dir / "src", dir / "dst"));
  EXPECT_EQ(ReadText(dir / "dst"), data);
  ASSERT_TRUE(CopyWholeFile(dir / "src", dir / "fresh"));
  EXPECT_EQ(ReadText(dir / "fresh"), data);

  // A missing, empty or refused copy leaves the destination.
  WriteText(dir / "dst", "keep");
  EXPECT_FALSE(CopyWholeFile(dir / "missing", dir / "dst"));
  EXPECT_EQ(ReadText(dir / "dst"), "keep");

  WriteText(dir / "empty", "");
  EXPECT_TRUE(CopyWholeFile(dir / "empty", dir / "dst"));
  EXPECT_EQ(ReadText(dir / "dst"), "keep");
  EXPECT_TRUE(CopyWholeFile(dir / "empty", dir / "never"));
  EXPECT_FALSE(std::filesystem::exists(dir / "never"));

  SetReadOnly(dir / "dst");
  EXPECT_FALSE(CopyWholeFile(dir / "src", dir / "dst"));
  EXPECT_EQ(ReadText(dir / "dst"), "keep");
}

TEST(ClearDirectory, EmptiesTreeIncludingReadOnlyFiles) {
  TempDir dir;
  const std::string root = dir / "regen";
  std::filesystem::create_directories(root + kSep + "a" + kSep + "b");
  WriteText(root + kSep + "new.pub", "p");
  WriteText(root + kSep + "a" + kSep + "x", "x");
  WriteText(root + kSep + "a" + kSep + "b" + kSep + "ro", "r");
  SetReadOnly(root + kSep + "a" + kSep + "b" + kSep + "ro");

  EXPECT_TRUE(ClearDirectory(root, false));
  EXPECT_TRUE(std::filesystem::is_directory(root));
  EXPECT_TRUE(NamesIn(root).empty());

  WriteText(root + kSep + "y", "y");
  EXPECT_TRUE(ClearDirectory(root + kSep, true));
  EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(ClearDirectory, DotNamesStayAndBlockRemoval) {
  TempDir dir;
  const std::string root = dir / "home";
  std::filesystem::create_directories(root + kSep + "sub");
  WriteText(root + kSep + ".profile", "keep");
  WriteText(root + kSep + "sub" + kSep + "f", "gone");
  EXPECT_FALSE(ClearDirectory(root, true));
  EXPECT_EQ(NamesIn(root), std::vector<std::string>{".profile"});
  EXPECT_FALSE(ClearDirectory(dir / "missing", false));
  WriteText(dir / "file", "f");
  EXPECT_FALSE(ClearDirectory(dir / "file", false));
  EXPECT_EQ(ReadText(dir / "file"), "f");
}

TEST(ClearDirectory, RemovesLinksWithoutFollowingThem) {
  TempDir dir;
  const std::string outside = dir / "outside";
  const std::string root = dir / "root";
  std::filesystem::create_directories(outside);
  std::filesystem::create_directories(root);
  WriteText(outside + kSep + "precious", "p");
  std::error_code ec;
  std::filesystem::create_directory_symlink(outside, root + kSep + "link", ec);
  if (ec) GTEST_SKIP() << "symbolic links unavailable: " << ec.message();
  EXPECT_TRUE(ClearDirectory(root, true));
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_EQ(ReadText(outside + kSep + "precious"), "p");
}

TEST(CreateDirectoryPath, CreatesEveryMissingLevel) {
  TempDir dir;
  const std::string deep = dir / "a" + kSep + "b" + kSep + "c" + kSep;
  EXPECT_TRUE(CreateDirectoryPath(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(CreateDirectoryPath(deep));  // already there
  EXPECT_TRUE(CreateDirectoryPath(dir.str()));
  EXPECT_FALSE(CreateDirectoryPath(""));
  EXPECT_TRUE(CreateDirectoryPath(kSep));

  WriteText(dir / "file", "f");
  EXPECT_FALSE(CreateDirectoryPath(dir / "file" + kSep + "sub"));
  EXPECT_FALSE(std::filesystem::is_directory(dir / "file"));
}

TEST(FindFilesBySuffix, MatchesLastThreeCharactersInAnyCase) {
  TempDir dir;
  const std::string root = dir.str();
  std::filesystem::create_directories(dir / "sub" + kSep + "deeper");
  for (const char* name : {"key.pub", "keypub", "A.PUB", "note.txt", ".hidden.pub", "pub", "pu"}) {
    WriteText(dir / name, "x");
  }
  WriteText(dir / "sub" + kSep + "b.pub", "x");
  WriteText(dir / "sub" + kSep + "deeper" + kSep + "c.Pub", "x");
  std::filesystem::create_directories(dir / "dir.pub");  // a directory is never listed

  std::vector<std::string> list{"kept"};
  FindFilesBySuffix(root, "pub", list, false);
  const std::string base = root + kSep;
  EXPECT_EQ(list, (std::vector<std::string>{"kept", base + "A.PUB", base + "key.pub", base + "keypub",
                                            base + "pub"}));

  list.clear();
  FindFilesBySuffix(root + kSep, "PUB", list, true);
  EXPECT_EQ(list, (std::vector<std::string>{base + "A.PUB", base + "key.pub", base + "keypub", base + "pub",
                                            base + "sub" + kSep + "b.pub",
                                            base + "sub" + kSep + "deeper" + kSep + "c.Pub"}));

  list.clear();
  FindFilesBySuffix(dir / "missing", "pub", list, true);
  FindFilesBySuffix(dir / "key.pub", "pub", list, true);
  EXPECT_TRUE(list.empty());
}

TEST(NextFileNumber, LargestNumberPlusOne) {
  TempDir dir;
  for (const char* name : {"pk1.pub", "pk7.pub", "pkx.pub", "pk.pub", "pk03.pub", "other9.pub", "pk20.txt"}) {
    WriteText(dir / name, "x");
  }
  std::filesystem::create_directories(dir / "pk99.pub");  // directories do not count
  EXPECT_EQ(NextFileNumber(dir.str(), "pk*.pub"), 8);
  EXPECT_EQ(NextFileNumber(dir.str() + kSep, "pk*.pub"), 8);
  EXPECT_EQ(NextFileNumber(dir.str(), "pk.pub"), 0);
  EXPECT_EQ(NextFileNumber(dir / "missing", "pk*.pub"), 0);

  TempDir empty;
  EXPECT_EQ(NextFileNumber(empty.str(), "pk*.pub"), 1);
  WriteText(empty / "pk-5.pub", "x");
  WriteText(empty / "pk+5.pub", "x");
  WriteText(empty / "pk99999999999.pub", "x");
  EXPECT_EQ(NextFileNumber(empty.str(), "pk*.pub"), 1);
  // No number above the largest integer.
  WriteText(empty / "pk2147483646.pub", "x");
  EXPECT_EQ(NextFileNumber(empty.str(), "pk*.pub"), 2147483647);
  WriteText(empty / "pk2147483647.pub", "x");
  EXPECT_EQ(NextFileNumber(empty.str(), "pk*.pub"), 0);
  // A name without a dot uses its whole tail.
  WriteText(dir / "n4", "x");
  WriteText(dir / "n12", "x");
  EXPECT_EQ(NextFileNumber(dir.str(), "n*"), 13);
}

TEST(SplitList, KeepsEmptyItemsUntrimmed) {
  struct Case {
    const char* text;
    std::vector<std::string> items;
  };
  for (const Case& c : {Case{nullptr, {}}, Case{"", {}}, Case{"U1;U2", {"U1", "U2"}}, Case{"a;;b", {"a", "", "b"}},
                        Case{"a;", {"a", ""}}, Case{" a ;", {" a ", ""}}, Case{";", {"", ""}}}) {
    SCOPED_TRACE(c.text ? c.text : "null");
    std::vector<std::string> list{"kept"};
    EXPECT_EQ(SplitList(c.text, list), static_cast<int>(c.items.size()));
    std::vector<std::string> expected{"kept"};  // items are appended
    expected.insert(expected.end(), c.items.begin(), c.items.end());
    EXPECT_EQ(list, expected);
  }
}

TEST(BytesToHexText, GroupsAndLines) {
  const unsigned char two[] = {0x0A, 0xFF};
  std::string text = "old";
  BytesToHexText(two, 2, 255, 255, text);
  EXPECT_EQ(text, "0AFF");

  unsigned char report[20];
  for (int i = 0; i < 20; ++i) report[i] = static_cast<unsigned char>(i * 17);
  BytesToHexText(report, 20, 2, 18, text);
  EXPECT_EQ(text,
            "0011 2233 4455 6677 8899 AABB CCDD EEFF 1021 \r\n"
            "3243 ");

  BytesToHexText(two, 2, 1, 1, text);
  EXPECT_EQ(text, "0A \r\nFF \r\n");
  BytesToHexText(two, 0, 2, 2, text);
  EXPECT_EQ(text, "");

  text = "unchanged";
  BytesToHexText(two, 2, 0, 18, text);
  EXPECT_EQ(text, "unchanged");
  BytesToHexText(two, 2, 2, -1, text);
  EXPECT_EQ(text, "unchanged");
  BytesToHexText(nullptr, 2, 2, 2, text);
  EXPECT_EQ(text, "unchanged");
}

TEST(StripDateSuffix, RemovesOnlyTheRegenerationSuffix) {
  const std::pair<std::string, std::string> cases[] = {
      {"User2 (01-02-2003 04-05-06)", "User2"},
      {"User2", "User2"},
      {"(x)", ""},
      {"", ""},
      {"A(01-02-2003 04-05-06)", ""},  // 22 characters
      {"User (01-02-2003 04-05-06", "User (01-02-2003 04-05-06"},
      {"Bank (x) 01-02-2003 04-05-06)", "Bank (x) 01-02-2003 04-05-06)"},  // "(" not at the suffix start
  };
  for (const auto& [uid, stripped] : cases) {
    std::string result = "stale";
    StripDateSuffix(uid, result);
    EXPECT_EQ(result, stripped) << uid;
  }
  std::string same = "Me (11-12-2020 10-20-30)";
  StripDateSuffix(same, same);
  EXPECT_EQ(same, "Me");
}

}  // namespace
