// The process root and the library search. Each test starts from a cleared
// process root (the test-only reset); the tests that load a stand-in for
// "Korvane.dll" run in a child process so the module does not stay loaded.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "support/exceptions.h"
#include "support/root_path.h"
#include "platform/env.h"
#include "platform/path_style.h"

namespace dizora {
namespace {

namespace fs = std::filesystem;
using platform::ScopedModule;

// A system library that exports cos().
#ifdef _WIN32
constexpr char kSystemLibrary[] = "msvcrt.dll";
#else
constexpr char kSystemLibrary[] = "libm.so.6";
#endif
const std::string D = platform::kPathDelimiterText;

class RootPathProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetRootPathForTesting();
    testing::ClearLibraryOverridesForTesting();
    dir_ = fs::temp_directory_path() /
           ("dz_rootpath_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    root_ = (dir_ / "Root").string();
  }
  void TearDown() override {
    testing::ResetRootPathForTesting();
    testing::ClearLibraryOverridesForTesting();
    // Windows keeps the file of a module loaded by a test locked until exit.
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Creates root/sub/name as an ordinary file with some text.
  std::string Touch(const std::string& sub, const std::string& name) {
    fs::create_directories(root_ + D + sub);
    const std::string path = root_ + D + sub + D + name;
    std::ofstream(path) << "stand-in";
    return path;
  }

  // Copies the system math library to `path`, a loadable stand-in.
  static void CopySystemLibrary(const fs::path& path) {
    ScopedModule libm(platform::LoadModule(kSystemLibrary));
    ASSERT_TRUE(libm);
    fs::create_directories(path.parent_path());
    fs::copy_file(platform::LoadedModulePath(kSystemLibrary), path, fs::copy_options::overwrite_existing);
  }

  static bool ResolvesCos(platform::ModuleHandle module) {
    using CosFunction = double (*)(double);
    auto cosine = reinterpret_cast<CosFunction>(platform::FindModuleSymbol(module, "cos"));
    return cosine != nullptr && cosine(0.0) == 1.0;
  }

  fs::path dir_;
  std::string root_;
};

// Empty until set; the first root sets the search directories; the same
// root again changes nothing, another one (letter case counts) is refused
// with its message; the module's stop clears it for a new one.
TEST_F(RootPathProcessTest, RootIsSetOnceUntilTheModuleStops) {
  EXPECT_EQ(ProcessRoot(), "");
  EXPECT_TRUE(LibrarySearchDirs().empty());
  SetProcessRoot(root_);
  EXPECT_EQ(ProcessRoot(), root_ + D);
  const std::vector<std::string> expected = {root_ + D + "EXE" + D, root_ + D + "SYSTEM" + D, root_ + D + "USER" + D};
  EXPECT_EQ(LibrarySearchDirs(), expected);
  EXPECT_NO_THROW(SetProcessRoot(root_));
  EXPECT_NO_THROW(SetProcessRoot(root_ + D));

  std::string upper = root_;
  upper.back() = 'T';  // ".../RooT": differs only in letter case
  try {
    SetProcessRoot(upper);
    FAIL() << "a second, different root was accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "Could not set ZRNRoot to '" + upper + "'. Already set to '" + root_ + D + "'.");
  }
  EXPECT_THROW(SetProcessRoot(""), Exception);
  EXPECT_THROW(SetProcessRoot("/other"), Exception);
  EXPECT_EQ(ProcessRoot(), root_ + D);
  EXPECT_EQ(LibrarySearchDirs(), expected);

  RootPathModuleStop();
  EXPECT_EQ(ProcessRoot(), "");
  EXPECT_TRUE(LibrarySearchDirs().empty());
  RootPathModuleStart();
  SetProcessRoot("/another/root");
  EXPECT_EQ(ProcessRoot(), "/another/root" + D);
}

#ifdef _WIN32
// The USER, SYSTEM and EXE directories go in front of "Path", in that order.
TEST_F(RootPathProcessTest, PathVariableGetsRootDirectoriesInFront) {
  const std::string saved = platform::GetEnvVar("Path");
  const std::string dirs = root_ + "\\USER\\;" + root_ + "\\SYSTEM\\;" + root_ + "\\EXE\\";
  ASSERT_TRUE(platform::SetEnvVar("Path", "C:\\old;D:\\value"));
  SetProcessRoot(root_);
  EXPECT_EQ(platform::GetEnvVar("Path"), dirs + ";C:\\old;D:\\value");
  // An empty "Path" gets no trailing separator.
  testing::ResetRootPathForTesting();
  ASSERT_TRUE(platform::SetEnvVar("Path", ""));
  SetProcessRoot(root_ + "\\");
  EXPECT_EQ(platform::GetEnvVar("Path"), dirs);
  platform::SetEnvVar("Path", saved);
}
#else
TEST_F(RootPathProcessTest, PathVariableIsLeftAloneOnPosix) {
  ASSERT_TRUE(platform::SetEnvVar("Path", "/old/value"));
  SetProcessRoot(root_);
  EXPECT_EQ(platform::GetEnvVar("Path"), "/old/value");
}
#endif

TEST_F(RootPathProcessTest, ResolveKeepsNamesWithDirectoryAndFindsNoUnknownNames) {
  Touch("EXE", "libthing.so");
  EXPECT_EQ(ResolveLibraryPath("libthing.so"), "") << "no root, no root directories";
  SetProcessRoot(root_);
  EXPECT_EQ(ResolveLibraryPath("/elsewhere/libthing.so"), "/elsewhere/libthing.so");
  EXPECT_EQ(ResolveLibraryPath("sub/libthing.so"), "sub/libthing.so");
  EXPECT_EQ(ResolveLibraryPath("libnowhere.so"), "");
  EXPECT_EQ(ResolveLibraryPath(""), "");
}

TEST_F(RootPathProcessTest, ResolveSearchesRootDirectoriesInOrder) {
  SetProcessRoot(root_);
  const std::string user = Touch("USER", "liba.so");
  EXPECT_EQ(ResolveLibraryPath("liba.so"), user);
  const std::string system = Touch("SYSTEM", "liba.so");
  EXPECT_EQ(ResolveLibraryPath("liba.so"), system);
  const std::string exe = Touch("EXE", "liba.so");
  EXPECT_EQ(ResolveLibraryPath("liba.so"), exe);
  // A directory of that name is not a library.
  fs::create_directories(root_ + D + "EXE" + D + "libdir.so");
  const std::string file = Touch("USER", "libdir.so");
  EXPECT_EQ(ResolveLibraryPath("libdir.so"), file);
}

TEST_F(RootPathProcessTest, ResolvePrefersExecutableDirectory) {
  SetProcessRoot(root_);
  const std::string program = fs::path(platform::ExecutablePath()).filename().string();
  Touch("EXE", program);
  const fs::path in_exe_dir = fs::path(platform::ExecutablePath()).parent_path() / program;
  EXPECT_EQ(ResolveLibraryPath(program), in_exe_dir.string());
}

// A library planted in the current directory (beside a document the user
// opened) is never found. On Windows neither through an empty or relative
// entry of "Path", whose absolute entries still count. (POSIX reads its
// library path at process start: the host tests cover its empty entries.)
TEST_F(RootPathProcessTest, ResolveNeverLooksInTheCurrentDirectory) {
  const fs::path documents = dir_ / "documents";
  fs::create_directories(documents);
  std::ofstream(documents / "libplanted.so") << "planted";
  const fs::path previous_dir = fs::current_path();
  fs::current_path(documents);
#ifdef _WIN32
  const fs::path listed = dir_ / "listed";
  fs::create_directories(listed);
  std::ofstream(listed / "liblisted.so") << "listed";
  const std::string previous_path = platform::GetEnvVar("Path");
  ASSERT_TRUE(platform::SetEnvVar("Path", ";.;..\\documents;" + listed.string() + ";" + previous_path));
  EXPECT_EQ(ResolveLibraryPath("liblisted.so"), (listed / "liblisted.so").string());
#endif
  SetProcessRoot(root_);
  EXPECT_EQ(ResolveLibraryPath("libplanted.so"), "");
  EXPECT_EQ(LoadLibraryWithFallback("libplanted.so"), nullptr);
  fs::current_path(previous_dir);
#ifdef _WIN32
  platform::SetEnvVar("Path", previous_path);
#endif
}

TEST_F(RootPathProcessTest, LoadSearchedFindsLibraryInRootDirectory) {
  SetProcessRoot(root_);
  CopySystemLibrary(root_ + D + "SYSTEM" + D + "libstandin.so");
  ScopedModule module(LoadLibrarySearched("libstandin.so"));
  ASSERT_TRUE(module);
  EXPECT_TRUE(ResolvesCos(module.get()));
  EXPECT_EQ(LoadLibrarySearched("libabsent-stand-in.so"), nullptr);
  EXPECT_EQ(LoadLibraryWithFallback("libabsent-stand-in.so"), nullptr);
  EXPECT_EQ(LoadLibraryWithFallback(root_ + D + "nothing" + D + "libstandin.so"), nullptr);
  Touch("EXE", "libbroken.so");  // a file that is no library
  EXPECT_EQ(LoadLibrarySearched("libbroken.so"), nullptr);
  EXPECT_EQ(LoadLibraryWithFallback("libbroken.so"), nullptr);
}

TEST_F(RootPathProcessTest, TestOverrideReplacesTheSearch) {
  const fs::path standin = dir_ / "variants" / "libvariant.so";
  CopySystemLibrary(standin);
  EXPECT_EQ(LoadLibraryWithFallback("libcrypt.dll.absent"), nullptr);
  testing::SetLibraryOverrideForTesting("libcrypt.dll.absent", standin.string());
  {
    ScopedModule module(LoadLibraryWithFallback("libcrypt.dll.absent"));
    ASSERT_TRUE(module);
    EXPECT_TRUE(ResolvesCos(module.get()));
  }
  // An override naming a missing file fails instead of falling back.
  testing::SetLibraryOverrideForTesting(kSystemLibrary, (dir_ / "missing.so").string());
  EXPECT_EQ(LoadLibraryWithFallback(kSystemLibrary), nullptr);
  testing::SetLibraryOverrideForTesting(kSystemLibrary, "");
  ScopedModule plain(LoadLibraryWithFallback(kSystemLibrary));
  EXPECT_TRUE(plain);
  testing::SetLibraryOverrideForTesting("libcrypt.dll.absent", "");
  EXPECT_EQ(LoadLibraryWithFallback("libcrypt.dll.absent"), nullptr);
}

// With a module named "Korvane.dll" loaded, its directory is where the
// fallback looks. Runs in a child: the module cannot be reliably unloaded.
TEST_F(RootPathProcessTest, FallbackUsesDirectoryOfKorvaneModule) {
  const fs::path host_dir = dir_ / "host";
  CopySystemLibrary(host_dir / "Korvane.dll");
  CopySystemLibrary(host_dir / "libbeside.so");
  EXPECT_EXIT(
      {
        if (LoadLibraryWithFallback("libbeside.so") != nullptr) std::_Exit(10);
        platform::ModuleHandle host = platform::LoadModule((host_dir / "Korvane.dll").string());
        if (host == nullptr) std::_Exit(11);
        platform::ModuleHandle found = LoadLibraryWithFallback("libbeside.so");
        if (found == nullptr) std::_Exit(12);
        if (!ResolvesCos(found)) std::_Exit(13);
        // The ordinary search still comes first.
        SetProcessRoot(root_);
        CopySystemLibrary(root_ + D + "USER" + D + "libbeside2.so");
        if (LoadLibraryWithFallback("libbeside2.so") == nullptr) std::_Exit(14);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace dizora
