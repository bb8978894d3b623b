// The file-fault seam as the primitives of fs.h obey it: every counted
// operation fails when its turn comes, touches nothing on disk, and reports
// the failure as the platform would; a short write leaves the first half.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <functional>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/fs_fault.h"
#include "support/temp_dir.h"

namespace {

using namespace dizora::platform;
using dz_test::ReadText;
using dz_test::TempDir;
using dz_test::WriteText;

struct FaultGuard {
  ~FaultGuard() { fault::DisarmFileFault(); }
};

// The last error an injected failure leaves on Windows; POSIX callers read
// only the result.
void ExpectLastError([[maybe_unused]] unsigned long expected, const std::string& what) {
#ifdef _WIN32
  EXPECT_EQ(::GetLastError(), expected) << what;
#else
  SCOPED_TRACE(what);
#endif
}

#ifdef _WIN32
constexpr unsigned long kRefused = ERROR_ACCESS_DENIED;
constexpr unsigned long kDiskFull = ERROR_DISK_FULL;
#else
constexpr unsigned long kRefused = 0;
constexpr unsigned long kDiskFull = 0;
#endif

// One counted primitive: `run` performs it in `dir` (made fresh by
// `prepare`), `untouched` says whether the disk is as before.
struct Primitive {
  std::string name;
  std::function<void(const TempDir&)> prepare;
  std::function<bool(const TempDir&)> run;
  std::function<bool(const TempDir&)> untouched;
  unsigned long error;
};

std::vector<Primitive> CountedPrimitives() {
  const auto with_file = [](const TempDir& d) { WriteText(d / "f", "data"); };
  const auto with_two_files = [](const TempDir& d) {
    WriteText(d / "f", "new");
    WriteText(d / "g", "old");
  };
  const auto with_dir = [](const TempDir& d) { ASSERT_TRUE(MakeDirectory(d / "sub")); };
  const auto nothing = [](const TempDir&) {};
  return {
      {"RemoveFile", with_file, [](const TempDir& d) { return RemoveFile(d / "f"); },
       [](const TempDir& d) { return ReadText(d / "f") == "data"; }, kRefused},
      {"RenameFile", with_file, [](const TempDir& d) { return RenameFile(d / "f", d / "g"); },
       [](const TempDir& d) { return PathExists(d / "f") && !PathExists(d / "g"); }, kRefused},
      {"RenameOver", with_two_files, [](const TempDir& d) { return RenameOver(d / "f", d / "g"); },
       [](const TempDir& d) { return ReadText(d / "f") == "new" && ReadText(d / "g") == "old"; }, kRefused},
      {"MakeDirectory", nothing, [](const TempDir& d) { return MakeDirectory(d / "sub"); },
       [](const TempDir& d) { return !PathExists(d / "sub"); }, kRefused},
      {"RemoveEmptyDirectory", with_dir, [](const TempDir& d) { return RemoveEmptyDirectory(d / "sub"); },
       [](const TempDir& d) { return PathExists(d / "sub"); }, kRefused},
      {"OpenRead", with_file, [](const TempDir& d) { return File().OpenRead(d / "f"); },
       [](const TempDir& d) { return ReadText(d / "f") == "data"; }, kRefused},
      {"Create", with_file, [](const TempDir& d) { return File().Create(d / "f"); },
       [](const TempDir& d) { return ReadText(d / "f") == "data"; }, kRefused},
      {"CreateTemporaryBeside", nothing,
       [](const TempDir& d) {
         std::string name;
         return File().CreateTemporaryBeside(d / "key", FileAccess::kPrivate, "", name);
       },
       [](const TempDir& d) {
         DirectoryEnumerator e;
         DirEntry entry{};
         return e.Open(d.str(), ".*.tmp") && e.Next(entry) == DirectoryEnumerator::Step::kNoMoreFiles;
       },
       kRefused},
  };
}

TEST(FsFault, EachPrimitiveFailsWhenItsTurnComesAndTouchesNothing) {
  FaultGuard guard;
  for (const Primitive& p : CountedPrimitives()) {
    SCOPED_TRACE(p.name);
    {
      TempDir dir;
      p.prepare(dir);
      fault::CountFileOperations();
      EXPECT_TRUE(p.run(dir)) << "fault-free run";
      fault::DisarmFileFault();
      EXPECT_EQ(fault::FileOperationCount(), 1) << "counted once";
    }
    TempDir dir;
    p.prepare(dir);
    fault::ArmFileFault(1, false);
    EXPECT_FALSE(p.run(dir));
    ExpectLastError(p.error, p.name);
    fault::DisarmFileFault();
    EXPECT_TRUE(fault::FileFaultFired());
    EXPECT_TRUE(p.untouched(dir)) << "a failed operation changed the disk";
  }
}

TEST(FsFault, ShortWriteLeavesTheFirstHalfAndAPlainOneNothing) {
  FaultGuard guard;
  const std::string data = "0123456789abcdefghij";
  for (const bool short_write : {true, false}) {
    TempDir dir;
    File out;
    ASSERT_TRUE(out.Create(dir / "f"));
    fault::ArmFileFault(1, short_write);
    EXPECT_FALSE(out.WriteAll(data.data(), data.size()));
    ExpectLastError(kDiskFull, "WriteAll");
    fault::ArmFileFault(1, short_write);
    EXPECT_FALSE(out.Sync());
    ExpectLastError(kDiskFull, "Sync");
    fault::DisarmFileFault();
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadText(dir / "f"), short_write ? data.substr(0, data.size() / 2) : "");
  }
}

TEST(FsFault, OnlyTheArmedOperationFailsAndReadsAreNotCounted) {
  FaultGuard guard;
  TempDir dir;
  const auto sequence = [&dir]() {
    std::vector<bool> results;
    File out;
    results.push_back(out.Create(dir / "f"));        // 1
    results.push_back(out.WriteAll("abcd", 4));       // 2
    results.push_back(out.Sync());                    // 3
    out.Close();
    File in;
    results.push_back(in.OpenRead(dir / "f"));       // 4
    char buffer[4] = {};
    if (in.IsOpen()) {
      in.ReadExact(buffer, sizeof buffer);  // not counted
      in.Size();                            // not counted
    }
    in.Close();  // Windows deletes no open file
    PathExists(dir / "f");                             // not counted
    GetPathAttributes(dir / "f");                      // not counted
    results.push_back(RemoveFile(dir / "f"));        // 5
    return results;
  };
  fault::CountFileOperations();
  EXPECT_EQ(sequence(), std::vector<bool>(5, true));
  EXPECT_EQ(fault::FileOperationCount(), 5);

  fault::ArmFileFault(3, false);
  const std::vector<bool> results = sequence();
  EXPECT_TRUE(fault::FileFaultFired());
  EXPECT_EQ(results, (std::vector<bool>{true, true, false, true, true}));
  EXPECT_EQ(fault::FileOperationCount(), 5);
  fault::DisarmFileFault();
  EXPECT_FALSE(PathExists(dir / "f"));

  // Disarmed, nothing is counted and nothing fails.
  EXPECT_EQ(sequence(), std::vector<bool>(5, true));
  EXPECT_EQ(fault::FileOperationCount(), 5);
}

}  // namespace
