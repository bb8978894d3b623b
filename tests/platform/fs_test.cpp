#include "platform/fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs_fault.h"
#include "platform/path_style.h"
#include "support/temp_dir.h"

namespace {

using namespace dizora::platform;
using dz_test::ReadText;
using dz_test::SetReadOnly;
using dz_test::TempDir;
using dz_test::WriteText;

std::vector<std::string> Enumerate(const std::string& dir, const std::string& mask,
                                   DirectoryEnumerator::Step* last = nullptr) {
  DirectoryEnumerator e;
  std::vector<std::string> names;
  if (!e.Open(dir, mask)) return {"<open failed>"};
  DirEntry entry{};
  DirectoryEnumerator::Step step;
  while ((step = e.Next(entry)) == DirectoryEnumerator::Step::kEntry) names.push_back(entry.name);
  if (last) *last = step;
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FsMask, WildcardsAndCase) {
  EXPECT_TRUE(MatchesMask("anything", "*.*"));
  EXPECT_TRUE(MatchesMask("no_dot", "*.*"));
  EXPECT_TRUE(MatchesMask("x", "*"));
  EXPECT_TRUE(MatchesMask("pk12.pub", "pk*.pub"));
  EXPECT_TRUE(MatchesMask("pk.pub", "pk*.pub"));
  EXPECT_TRUE(MatchesMask("pk1.pub.pub", "pk*.pub"));
  EXPECT_FALSE(MatchesMask("pk1.pubx", "pk*.pub"));
  EXPECT_FALSE(MatchesMask("xpk1.pub", "pk*.pub"));
  EXPECT_TRUE(MatchesMask("a1c", "a?c"));
  EXPECT_FALSE(MatchesMask("ac", "a?c"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_FALSE(MatchesMask("", "?"));
  EXPECT_EQ(MatchesMask("PK1.PUB", "pk*.pub"), !kCaseSensitiveNames);
}

TEST(FsAttributes, ReportAndSetReadOnly) {
  TempDir dir;
  WriteText(dir / "f", "x");
  EXPECT_EQ(GetPathAttributes(dir.str()).value_or(0) & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(GetPathAttributes(dir / "f").value_or(kAttrDirectory) & (kAttrDirectory | kAttrReadOnly), 0u);
  EXPECT_FALSE(GetPathAttributes(dir / "missing").has_value());
  ASSERT_TRUE(SetPathAttributes(dir / "f", kAttrReadOnly));
  EXPECT_NE(GetPathAttributes(dir / "f").value_or(0) & kAttrReadOnly, 0u);
  ASSERT_TRUE(SetPathAttributes(dir / "f", kAttrArchive));
  EXPECT_EQ(GetPathAttributes(dir / "f").value_or(kAttrReadOnly) & kAttrReadOnly, 0u);
  EXPECT_FALSE(SetPathAttributes(dir / "missing", kAttrArchive));
}

TEST(FsRemove, ReadOnlyFilesAndDirectoriesStay) {
  TempDir dir;
  WriteText(dir / "ro", "x");
  SetReadOnly(dir / "ro");
  std::filesystem::create_directory(dir / "d");
  EXPECT_FALSE(RemoveFile(dir / "ro"));
  EXPECT_TRUE(PathExists(dir / "ro"));
  EXPECT_FALSE(RemoveFile(dir / "d"));
  EXPECT_FALSE(RemoveFile(dir / "missing"));
  WriteText(dir / "rw", "x");
  EXPECT_TRUE(RemoveFile(dir / "rw"));
  EXPECT_FALSE(PathExists(dir / "rw"));
  EXPECT_TRUE(RemoveEmptyDirectory(dir / "d"));
  EXPECT_FALSE(RemoveEmptyDirectory(dir / "d"));
}

TEST(FsRename, NeverReplacesAnExistingTarget) {
  TempDir dir;
  WriteText(dir / "a", "A");
  WriteText(dir / "b", "B");
  EXPECT_FALSE(RenameFile(dir / "a", dir / "b"));
  EXPECT_EQ(ReadText(dir / "a"), "A");
  EXPECT_EQ(ReadText(dir / "b"), "B");
  EXPECT_TRUE(RenameFile(dir / "a", dir / "c"));
  EXPECT_FALSE(PathExists(dir / "a"));
  EXPECT_EQ(ReadText(dir / "c"), "A");
  EXPECT_FALSE(RenameFile(dir / "missing", dir / "d"));

  std::filesystem::create_directory(dir / "d1");
  std::filesystem::create_directory(dir / "d2");
  EXPECT_FALSE(RenameFile(dir / "d1", dir / "d2"));
  EXPECT_TRUE(RenameFile(dir / "d1", dir / "d3"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "d3"));

  EXPECT_TRUE(RenameOver(dir / "c", dir / "b"));
  EXPECT_EQ(ReadText(dir / "b"), "A");
}

TEST(FsDirectories, MakeOnlyOnce) {
  TempDir dir;
  EXPECT_TRUE(MakeDirectory(dir / "new"));
  EXPECT_FALSE(MakeDirectory(dir / "new"));
  EXPECT_FALSE(MakeDirectory(dir / "no" + kPathDelimiterText + "parent"));
}

TEST(FsEnumerator, ListsMatchesAndEndsNormally) {
  TempDir dir;
  for (const char* name : {"pk1.pub", "pk2.pub", "x.txt", ".dot"}) WriteText(dir / name, "x");
  std::filesystem::create_directory(dir / "sub");
  DirectoryEnumerator::Step last = DirectoryEnumerator::Step::kError;
  EXPECT_EQ(Enumerate(dir.str(), "*.*", &last),
            (std::vector<std::string>{".", "..", ".dot", "pk1.pub", "pk2.pub", "sub", "x.txt"}));
  EXPECT_EQ(last, DirectoryEnumerator::Step::kNoMoreFiles);
  EXPECT_EQ(Enumerate(dir.str() + kPathDelimiterText, "pk*.pub"),
            (std::vector<std::string>{"pk1.pub", "pk2.pub"}));
  EXPECT_EQ(Enumerate(dir / "missing", "*.*"), std::vector<std::string>{"<open failed>"});

  DirectoryEnumerator e;
  ASSERT_TRUE(e.Open(dir.str(), "sub"));
  DirEntry entry{};
  ASSERT_EQ(e.Next(entry), DirectoryEnumerator::Step::kEntry);
  EXPECT_EQ(entry.name, "sub");
  EXPECT_NE(entry.attributes & kAttrDirectory, 0u);
  EXPECT_EQ(e.Next(entry), DirectoryEnumerator::Step::kNoMoreFiles);
  DirectoryEnumerator unopened;
  EXPECT_EQ(unopened.Next(entry), DirectoryEnumerator::Step::kError);
}

TEST(FsFile, ReadWriteAndSize) {
  TempDir dir;
  File out;
  ASSERT_TRUE(out.Create(dir / "f"));
  ASSERT_TRUE(out.WriteAll("hello", 5));
  EXPECT_EQ(out.Size().value_or(-1), 5);
  EXPECT_TRUE(out.Sync());
  EXPECT_TRUE(out.Close());
  EXPECT_FALSE(out.IsOpen());

  File in;
  ASSERT_TRUE(in.OpenRead(dir / "f"));
  char buffer[8] = {};
  EXPECT_TRUE(in.ReadExact(buffer, 5));
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_FALSE(in.ReadExact(buffer, 1));  // end of file
  File moved(std::move(in));
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_FALSE(in.IsOpen());

  EXPECT_FALSE(File().OpenRead(dir / "missing"));
  EXPECT_FALSE(File().OpenRead(dir.str()));
}

TEST(FsFile, CreateTruncatesButRefusesReadOnly) {
  TempDir dir;
  WriteText(dir / "f", "long old contents");
  File out;
  ASSERT_TRUE(out.Create(dir / "f"));
  ASSERT_TRUE(out.WriteAll("new", 3));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(ReadText(dir / "f"), "new");
  SetReadOnly(dir / "f");
  EXPECT_FALSE(File().Create(dir / "f"));
  EXPECT_EQ(ReadText(dir / "f"), "new");
}

// Short names whatever the target's length, so that a name at the file
// system's limit can still be written through a temporary file.
TEST(FsFile, TemporaryFilesHaveShortUniqueNamesBesideTheTarget) {
  TempDir dir;
  const std::string longest(251, 'k');
  File a, b;
  std::string name_a, name_b;
  ASSERT_TRUE(a.CreateTemporaryBeside(dir / (longest + ".pub"), FileAccess::kShared, "", name_a));
  ASSERT_TRUE(b.CreateTemporaryBeside(dir / (longest + ".pub"), FileAccess::kShared, "", name_b));
  EXPECT_NE(name_a, name_b);
  const std::string prefix = dir / ".";
  EXPECT_EQ(name_a.compare(0, prefix.size(), prefix), 0) << name_a;
  EXPECT_EQ(name_a.size() - prefix.size(), 20u) << name_a;
  EXPECT_EQ(name_a.substr(name_a.size() - 4), ".tmp");
  EXPECT_TRUE(PathExists(name_a));
  EXPECT_FALSE(File().CreateTemporaryBeside(dir / "missing" + kPathDelimiterText + "f", FileAccess::kShared, "",
                                            name_a));
}

// A private file never has more than the owner's bits, also when it takes
// the place of a file that allowed more; a shared one keeps the replaced
// file's bits.
TEST(FsFile, PrivateTemporaryFilesAreOwnerOnlyFromTheStart) {
  if (kHasDriveLetters) GTEST_SKIP() << "Windows files get the user's default access";
  namespace fsx = std::filesystem;
  TempDir dir;
  WriteText(dir / "open.sec", "x");
  fsx::permissions(dir / "open.sec", fsx::perms::owner_read | fsx::perms::owner_write | fsx::perms::group_read |
                                         fsx::perms::others_read);
  struct Case {
    FileAccess access;
    std::string like;
    fsx::perms expected;
  };
  const fsx::perms owner = fsx::perms::owner_read | fsx::perms::owner_write;
  for (const Case& c : {Case{FileAccess::kPrivate, "", owner}, Case{FileAccess::kPrivate, dir / "open.sec", owner},
                        Case{FileAccess::kShared, dir / "open.sec",
                             owner | fsx::perms::group_read | fsx::perms::others_read}}) {
    File f;
    std::string name;
    ASSERT_TRUE(f.CreateTemporaryBeside(dir / "key.sec", c.access, c.like, name));
    EXPECT_EQ(fsx::status(name).permissions() & fsx::perms::all, c.expected) << c.like;
  }
}

TEST(FsIdentity, SameFileThroughLinksAndSpellings) {
  TempDir dir;
  WriteText(dir / "a", "A");
  WriteText(dir / "b", "A");
  EXPECT_EQ(SameFile(dir / "a", dir / "a"), true);
  EXPECT_EQ(SameFile(dir / "a", dir / "." + kPathDelimiterText + "a"), true);
  EXPECT_EQ(SameFile(dir / "a", dir / "b"), false);
  EXPECT_EQ(SameFile(dir / "a", dir / "missing"), std::nullopt);
  std::error_code ec;
  std::filesystem::create_hard_link(dir / "a", dir / "hard", ec);
  if (!ec) {
    EXPECT_EQ(SameFile(dir / "a", dir / "hard"), true);
  }
  std::filesystem::create_symlink(dir / "a", dir / "soft", ec);
  if (!ec) {
    EXPECT_EQ(SameFile(dir / "soft", dir / "a"), true);
  }
}

TEST(FsIdentity, UsableFileNamesStayWithinTheLimits) {
  TempDir dir;
  EXPECT_TRUE(IsUsableFileName(dir.str(), "Bob.pub"));
  EXPECT_FALSE(IsUsableFileName(dir.str(), std::string(252, 'u') + ".pub"));
  EXPECT_FALSE(IsUsableFileName(dir.str(), ""));
  if (!kHasDriveLetters) {
    EXPECT_TRUE(IsUsableFileName(dir.str(), std::string(251, 'u') + ".pub"));
  } else {
    for (const char* device : {"CON.pub", "nul.pub", "Com1.pub", "LPT9.pub", "aux"})
      EXPECT_FALSE(IsUsableFileName(dir.str(), device)) << device;
    EXPECT_TRUE(IsUsableFileName(dir.str(), "CONSOLE.pub"));
    EXPECT_FALSE(IsUsableFileName(dir.str() + "\\" + std::string(200, 'd'), std::string(60, 'n')));
  }
}

// A rename to another file system reports it and changes nothing; the seam
// simulates it between two directories, never within one.
TEST(FsRename, AnotherFileSystemIsReportedAndTouchesNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir / "other");
  WriteText(dir / "a", "A");
  fault::SimulateOtherFileSystem(true);
  const RenameStatus across = Rename(dir / "a", dir / "other" + kPathDelimiterText + "a", false);
  const RenameStatus within = Rename(dir / "a", dir / "b", false);
  fault::SimulateOtherFileSystem(false);
  EXPECT_EQ(across, RenameStatus::kOtherFileSystem);
  EXPECT_EQ(within, RenameStatus::kDone);
  EXPECT_EQ(ReadText(dir / "b"), "A");
}

}  // namespace
