// Dynamic loading: load, look up, free, module and executable file names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "platform/dynlib.h"

namespace dizora::platform {
namespace {

namespace fs = std::filesystem;

// A system library that exports cos(), a prefix of its file name, and the
// file name of this program.
#ifdef _WIN32
constexpr char kSystemLibrary[] = "msvcrt.dll";
constexpr char kSystemLibraryPrefix[] = "msvcr";
constexpr char kProgramFile[] = "test_platform.exe";
#else
constexpr char kSystemLibrary[] = "libm.so.6";
constexpr char kSystemLibraryPrefix[] = "libm.so";
constexpr char kProgramFile[] = "test_platform";
#endif

TEST(DynlibTest, LoadsLibraryAndResolvesSymbols) {
  ScopedModule module(LoadModule(kSystemLibrary));
  ASSERT_TRUE(module);
  using CosFunction = double (*)(double);
  auto cosine = reinterpret_cast<CosFunction>(FindModuleSymbol(module.get(), "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(FindModuleSymbol(module.get(), "no_such_symbol_in_libm"), nullptr);
  EXPECT_EQ(FindModuleSymbol(module.get(), nullptr), nullptr);
}

TEST(DynlibTest, FailedLoadsAnswerNull) {
  EXPECT_EQ(LoadModule(""), nullptr);  // dlopen("") would hand out the main program
  EXPECT_EQ(LoadModule("/nonexistent/dir/libnothing.so"), nullptr);
  EXPECT_EQ(LoadModule("libdoes-not-exist-anywhere.so.7"), nullptr);
  EXPECT_EQ(FindModuleSymbol(nullptr, "cos"), nullptr);
  FreeModule(nullptr);  // ignored
}

TEST(DynlibTest, ScopedModuleTransfersOwnership) {
  ScopedModule first(LoadModule(kSystemLibrary));
  ASSERT_TRUE(first);
  ModuleHandle raw = first.get();
  ScopedModule second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.get(), raw);
  ScopedModule third;
  third = std::move(second);
  EXPECT_EQ(third.get(), raw);
  ModuleHandle released = third.release();
  EXPECT_EQ(released, raw);
  EXPECT_FALSE(third);
  FreeModule(released);
}

TEST(DynlibTest, ExecutableAndEngineBinaryPaths) {
  const std::string exe = ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(fs::path(exe).is_absolute());
  EXPECT_EQ(fs::path(exe).filename(), kProgramFile);
  EXPECT_TRUE(fs::equivalent(fs::path(exe), fs::path(DZ_BIN_DIR) / kProgramFile));
  // This program links the platform layer statically, so the binary holding
  // the engine code is the program itself.
  const std::string engine = EngineLibraryPath();
  ASSERT_FALSE(engine.empty());
  EXPECT_TRUE(fs::equivalent(fs::path(engine), fs::path(exe)));
}

TEST(DynlibTest, FindsLoadedModuleByFileNameOnly) {
  ScopedModule module(LoadModule(kSystemLibrary));
  ASSERT_TRUE(module);
  const std::string path = LoadedModulePath(kSystemLibrary);
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(fs::path(path).is_absolute());
  EXPECT_EQ(fs::path(path).filename(), kSystemLibrary);
  EXPECT_TRUE(fs::exists(path));

  EXPECT_EQ(LoadedModulePath(kSystemLibraryPrefix), "");  // a prefix of the name is not the name
  EXPECT_EQ(LoadedModulePath("Korvane.dll"), "");
  EXPECT_EQ(LoadedModulePath(""), "");
  EXPECT_EQ(LoadedModulePath(path), "");  // a file name, not a path
}

TEST(DynlibTest, FindsModuleLoadedUnderAnotherFileName) {
  const fs::path dir = fs::temp_directory_path() / ("dz_dynlib_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path copy = dir / "Korvane.dll";
  ScopedModule original(LoadModule(kSystemLibrary));
  ASSERT_TRUE(original);
  fs::copy_file(LoadedModulePath(kSystemLibrary), copy, fs::copy_options::overwrite_existing);
  {
    ScopedModule module(LoadModule(copy.string()));
    ASSERT_TRUE(module);
    EXPECT_TRUE(fs::equivalent(fs::path(LoadedModulePath("Korvane.dll")), copy));
  }
  std::error_code ignored;  // Windows may keep the file of the copy locked until exit
  fs::remove_all(dir, ignored);
}

TEST(DynlibTest, LibraryFileExistsOnlyForFiles) {
  const fs::path dir = fs::temp_directory_path() / ("dz_dynlib_f_" + std::to_string(::getpid()));
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "file.so") << "x";
  EXPECT_TRUE(LibraryFileExists((dir / "file.so").string()));
  EXPECT_FALSE(LibraryFileExists((dir / "sub").string()));
  EXPECT_FALSE(LibraryFileExists((dir / "missing.so").string()));
  EXPECT_FALSE(LibraryFileExists(""));
  fs::remove_all(dir);
}

// The system's search list for bare names: absolute directories only (never
// the current one), among them the one that holds the system library.
TEST(DynlibTest, SystemLibraryDirsAreAbsoluteAndHoldTheSystemLibrary) {
  const std::vector<std::string> dirs = SystemLibraryDirs();
  ASSERT_FALSE(dirs.empty());
  bool found = false;
  for (const std::string& dir : dirs) {
    EXPECT_TRUE(fs::path(dir).is_absolute()) << dir;
    found = found || LibraryFileExists(dir + kSystemLibrary);
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace dizora::platform
