// Root texts of an engine: trailing delimiter, "%ZRNRoot%" expansion, the
// regeneration directory, and the search-path text. POSIX rules: '/', letter
// case kept, no drive letters; Windows rules: '\', ASCII upper-casing of an
// expanded path, the one-letter drive rule of directories.
#include <gtest/gtest.h>

#include "support/root_path.h"

namespace dizora {
namespace {

#ifndef _WIN32

TEST(RootPathTextTest, TrailingDelimiter) {
  EXPECT_EQ(EnsureTrailingDelimiter("/root"), "/root/");
  EXPECT_EQ(EnsureTrailingDelimiter("/root/"), "/root/");
  EXPECT_EQ(EnsureTrailingDelimiter(""), "/");
  EXPECT_EQ(EnsureTrailingDelimiter("C:\\Root"), "C:\\Root/");  // '\' is an ordinary character here
}

TEST(RootPathTextTest, NormalizedRootKeepsEmptyEmpty) {
  EXPECT_EQ(NormalizeRootPath(""), "");
  EXPECT_EQ(NormalizeRootPath("/srv/Root"), "/srv/Root/");
  EXPECT_EQ(NormalizeRootPath("/srv/Root/"), "/srv/Root/");
  EXPECT_EQ(NormalizeRootPath("rel"), "rel/");
}

TEST(RootPathTextTest, ExpandsPrefixInAnyCaseAndKeepsLetterCase) {
  const std::string root = "/srv/Root/";
  EXPECT_EQ(ExpandRootPath(root, "%zrnroot%/Keys/a.pub"), "/srv/Root/Keys/a.pub");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%/Keys/a.pub"), "/srv/Root/Keys/a.pub");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNROOT%Keys"), "/srv/Root/Keys");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%"), "/srv/Root/");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%/"), "/srv/Root/");
  // Only one delimiter after the prefix is dropped.
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%//x"), "/srv/Root//x");
}

TEST(RootPathTextTest, OtherTextsStayUnchanged) {
  const std::string root = "/srv/Root/";
  EXPECT_EQ(ExpandRootPath(root, ""), "");
  EXPECT_EQ(ExpandRootPath(root, "/data/Keys"), "/data/Keys");
  EXPECT_EQ(ExpandRootPath(root, "d:\\Keys"), "d:\\Keys");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoo"), "%ZRNRoo");
  EXPECT_EQ(ExpandRootPath(root, "x%ZRNRoot%/k"), "x%ZRNRoot%/k");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRooX%/k"), "%ZRNRooX%/k");
}

TEST(RootPathTextTest, ExpansionWithEmptyRootLeavesRest) {
  EXPECT_EQ(ExpandRootPath("", "%ZRNRoot%/keys/a.pub"), "keys/a.pub");
  EXPECT_EQ(ExpandRootPath("", "%ZRNRoot%"), "");
}

TEST(RootPathTextTest, ExpandRootDirEnsuresDelimiter) {
  const std::string root = "/srv/Root/";
  EXPECT_EQ(ExpandRootDir(root, ""), "");
  EXPECT_EQ(ExpandRootDir(root, "/srv/X"), "/srv/X/");
  EXPECT_EQ(ExpandRootDir(root, "/srv/X/"), "/srv/X/");
  EXPECT_EQ(ExpandRootDir(root, "%ZRNRoot%/Dir"), "/srv/Root/Dir/");
  EXPECT_EQ(ExpandRootDir(root, "%ZRNRoot%"), "/srv/Root/");
  // No drive letters on POSIX: a one-letter name is a relative directory.
  EXPECT_EQ(ExpandRootDir(root, "a"), "a/");
  EXPECT_EQ(ExpandRootDir("", "%ZRNRoot%"), "");
}

#else  // Windows

TEST(RootPathTextTest, TrailingDelimiter) {
  EXPECT_EQ(EnsureTrailingDelimiter("C:\\Root"), "C:\\Root\\");
  EXPECT_EQ(EnsureTrailingDelimiter("C:\\Root\\"), "C:\\Root\\");
  EXPECT_EQ(EnsureTrailingDelimiter(""), "\\");
  EXPECT_EQ(EnsureTrailingDelimiter("/root"), "/root\\");  // '/' is not the delimiter of these texts
}

TEST(RootPathTextTest, NormalizedRootKeepsEmptyEmpty) {
  EXPECT_EQ(NormalizeRootPath(""), "");
  EXPECT_EQ(NormalizeRootPath("C:\\Root"), "C:\\Root\\");
  EXPECT_EQ(NormalizeRootPath("C:\\Root\\"), "C:\\Root\\");
  EXPECT_EQ(NormalizeRootPath("rel"), "rel\\");
}

TEST(RootPathTextTest, ExpandsPrefixInAnyCaseAndUpperCasesAscii) {
  const std::string root = "C:\\ROOT\\";
  EXPECT_EQ(ExpandRootPath(root, "%zrnroot%\\keys\\a.pub"), "C:\\ROOT\\KEYS\\A.PUB");
  EXPECT_EQ(ExpandRootPath("C:\\Root\\", "%ZRNRoot%\\Keys\\a.pub"), "C:\\ROOT\\KEYS\\A.PUB");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNROOT%Keys"), "C:\\ROOT\\KEYS");
  EXPECT_EQ(ExpandRootPath("c:\\root\\", "%ZRNRoot%"), "C:\\ROOT\\");
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%\\"), "C:\\ROOT\\");
  // Only one delimiter after the prefix is dropped.
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%\\\\x"), "C:\\ROOT\\\\X");
  // Only a..z change: Windows-1251 letters keep their case.
  EXPECT_EQ(ExpandRootPath(root, "%ZRNRoot%\xE0" "b\xC0"), "C:\\ROOT\\\xE0" "B\xC0");
}

TEST(RootPathTextTest, ExpansionWithEmptyRootLeavesRest) {
  EXPECT_EQ(ExpandRootPath("", "%ZRNRoot%\\keys\\a.pub"), "KEYS\\A.PUB");
  EXPECT_EQ(ExpandRootPath("", "%ZRNRoot%"), "");
}

TEST(RootPathTextTest, ExpandRootDirEnsuresDelimiter) {
  const std::string root = "C:\\ROOT\\";
  EXPECT_EQ(ExpandRootDir(root, ""), "");
  EXPECT_EQ(ExpandRootDir(root, "C:\\X"), "C:\\X\\");
  EXPECT_EQ(ExpandRootDir(root, "C:\\X\\"), "C:\\X\\");
  EXPECT_EQ(ExpandRootDir(root, "%ZRNRoot%\\Dir"), "C:\\ROOT\\DIR\\");
  EXPECT_EQ(ExpandRootDir(root, "%ZRNRoot%"), "C:\\ROOT\\");
  // One letter names a drive; anything longer is a directory.
  EXPECT_EQ(ExpandRootDir(root, "a"), "a:\\");
  EXPECT_EQ(ExpandRootDir(root, "Z"), "Z:\\");
  EXPECT_EQ(ExpandRootDir(root, "ab"), "ab\\");
  EXPECT_EQ(ExpandRootDir(root, "1"), "1\\");
  EXPECT_EQ(ExpandRootDir("", "%ZRNRoot%"), "");
}

#endif

TEST(RootPathTextTest, SearchPathPutsDirectoriesInFrontInReverse) {
  const std::vector<std::string> dirs = {"/r/EXE/", "/r/SYSTEM/", "/r/USER/"};
  EXPECT_EQ(ExtendSearchPath(dirs, "/usr/bin"), "/r/USER/;/r/SYSTEM/;/r/EXE/;/usr/bin");
  EXPECT_EQ(ExtendSearchPath(dirs, ""), "/r/USER/;/r/SYSTEM/;/r/EXE/");
  EXPECT_EQ(ExtendSearchPath({}, "/usr/bin"), "/usr/bin");
}

}  // namespace
}  // namespace dizora
