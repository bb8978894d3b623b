// Test support for the binding TCryptoC_DLL: temporary key media with
// generated key pairs, correspondents' directories, a replaceable clock, and
// redirection of the library load to the test variants of libcrypt.dll.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "binding/crypto_c_dll.h"
#include "binding/key_settings.h"
#include "binding_test_access.h"
#include "support/root_path.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/path_style.h"

namespace dizora::binding_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Access = TCryptoC_DLLTestAccess;

inline std::string BinFile(const std::string& name) { return std::string(DZ_BIN_DIR) + "/" + name; }

inline Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool FileExists(const std::string& path) { return fs::exists(fs::path(path)); }

// The names in a directory, sorted.
inline std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A directory under the system's temporary directory, removed with its content.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    for (;;) {
      path_ = fs::temp_directory_path() / ("dz_binding_" + std::to_string(rd()) + std::to_string(rd()));
      if (fs::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Path of `name` inside the directory.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // The directory with a trailing delimiter.
  std::string Dir() const { return path_.string() + "/"; }

 private:
  fs::path path_;
};

// A key medium: own key pair in `root`, correspondents' keys in root/abonents/.
struct KeyMedium {
  std::string uid;
  int32_t algorithm = rurov::kGost2001;
  TKeySettings settings;  // the correspondents' directory ends with the delimiter
};

// A clock that tests set; installed for the lifetime of the object.
class FakeClock {
 public:
  FakeClock() {
    platform::SetClockForTesting([this] {
      std::lock_guard<std::mutex> lock(mutex_);
      return now_;
    });
  }
  ~FakeClock() { platform::SetClockForTesting({}); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void Set(int32_t hour, int32_t minute, int32_t second, int32_t millisecond = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = platform::LocalTime{2024, 5, 17, hour, minute, second, millisecond};
  }

 private:
  std::mutex mutex_;
  platform::LocalTime now_{2024, 5, 17, 10, 0, 0, 0};
};

// Keeps the library's own dependencies mapped for the whole test process, as
// in a host that loads the engine once. Tests unload and reload the library;
// without this, one-time allocations of its crypto dependency would become
// unreachable at every unload and be reported as leaks.
inline void PinLibraryDependencies() {
#ifndef _WIN32
  static const platform::ModuleHandle pinned = platform::LoadModule("libgcrypt.so.20");
  (void)pinned;
#endif
}

// Unloads the process-wide library so that the next binding object loads it afresh.
inline void UnloadLibraryForTesting() {
  PinLibraryDependencies();
  RurovModuleStop();
}

// Loads `variant` (a file in the build's bin directory) in place of the real
// library while it lives; the process-wide library is unloaded before and
// after, so no other test sees the variant. No binding object may be alive
// across the switch.
class LibraryVariant {
 public:
  explicit LibraryVariant(const std::string& path) {
    UnloadLibraryForTesting();
    dizora::testing::SetLibraryOverrideForTesting(rurov::kLibraryName, path);
  }
  ~LibraryVariant() {
    UnloadLibraryForTesting();
    dizora::testing::SetLibraryOverrideForTesting(rurov::kLibraryName, "");
  }
  LibraryVariant(const LibraryVariant&) = delete;
  LibraryVariant& operator=(const LibraryVariant&) = delete;
};

// Base fixture: a complete binding on the real library and a temporary directory.
class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    binding = std::make_unique<TCryptoC_DLL>();
    ASSERT_TRUE(binding->Loaded) << "libcrypt.dll not found next to the test program";
    ASSERT_TRUE(binding->Complete);
  }
  void TearDown() override { binding.reset(); }

  // Generates a key pair for `uid` into `directory` (created when missing):
  // self.pub and self.sec, with an empty correspondents' directory abonents/.
  KeyMedium MakeMedium(const std::string& uid, int32_t algorithm, const std::string& directory) {
    fs::create_directories(directory);
    KeyMedium medium;
    medium.uid = uid;
    medium.algorithm = algorithm;
    // The key settings use the platform's delimiter, as the engine makes them.
    const std::string d = platform::kPathDelimiterText;
    medium.settings.PublicKeyPath = directory + d + "self.pub";
    medium.settings.SecretKeyPath = directory + d + "self.sec";
    medium.settings.CorrespondentsDir = directory + d + "abonents" + d;
    medium.settings.CADir = directory + d + "ca" + d;
    fs::create_directories(medium.settings.CorrespondentsDir);
    const int32_t result = binding->GenerateKeyPair(algorithm, uid, medium.settings.PublicKeyPath,
                                                    medium.settings.SecretKeyPath);
    EXPECT_EQ(result, 0) << "key generation for " << uid;
    return medium;
  }
  KeyMedium MakeMedium(const std::string& uid, int32_t algorithm = rurov::kGost2001) {
    return MakeMedium(uid, algorithm, temp / uid);
  }

  // Copies the public key of `peer` into the correspondents' directory of `medium`.
  static void AddCorrespondent(const KeyMedium& medium, const KeyMedium& peer,
                               const std::string& fileName = "") {
    const std::string name = fileName.empty() ? peer.uid + ".pub" : fileName;
    fs::copy_file(peer.settings.PublicKeyPath, medium.settings.CorrespondentsDir + name,
                  fs::copy_options::overwrite_existing);
  }

  // Acquires the signature key of `medium` with its settings.
  int32_t AcquireSignature(const KeyMedium& medium, Bytes& key, int32_t& algorithm) {
    key.assign(rurov::kSignSecretKeySize, 0);
    return Access::AcquireSignatureKey(*binding, medium.settings, key.data(), algorithm);
  }

  int32_t GetKey(const KeyMedium& medium, const std::string& uid, bool exchange, Bytes& key,
                 int32_t& algorithm) {
    key.assign(rurov::kExchangeKeySize, 0);
    return Access::GetPublicKey(*binding, medium.settings, uid, exchange, key.data(), algorithm);
  }

  std::unique_ptr<TCryptoC_DLL> binding;
  TempDir temp;
};

// A binding `dll` on the fault-injecting build of the library, whose entry
// points `force` makes fail (RuroV_TestHook_ForceResult: name, code, count),
// and a GOST R 34.10-2001 key medium of user "User5" made through it.
class FaultyLibraryTest : public ::testing::Test {
 protected:
  using ForceResultFn = int32_t (*)(const char* name, int32_t code, int32_t count);

  void SetUp() override {
    variant = std::make_unique<LibraryVariant>(BinFile("libcrypt_faulty.dll"));
    dll = std::make_unique<TCryptoC_DLL>();
    ASSERT_TRUE(dll->Complete);
    force = reinterpret_cast<ForceResultFn>(
        platform::FindModuleSymbol(RurovLibraryHandleForTesting(), "RuroV_TestHook_ForceResult"));
    ASSERT_NE(force, nullptr);
    fs::create_directories(temp / "u/ab");
    medium.uid = "User5";
    medium.settings.PublicKeyPath = temp / "u/self.pub";
    medium.settings.SecretKeyPath = temp / "u/self.sec";
    medium.settings.CorrespondentsDir = temp / "u/ab/";
    ASSERT_EQ(dll->GenerateKeyPair(rurov::kGost2001, medium.uid, medium.settings.PublicKeyPath,
                                   medium.settings.SecretKeyPath),
              0);
  }
  void TearDown() override {
    dll.reset();
    variant.reset();
  }

  TempDir temp;
  KeyMedium medium;
  std::unique_ptr<LibraryVariant> variant;
  std::unique_ptr<TCryptoC_DLL> dll;
  ForceResultFn force = nullptr;
};

}  // namespace dizora::binding_test
