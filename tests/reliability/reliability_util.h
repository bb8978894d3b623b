// Shared support of the reliability tests: engines configured for key media
// in scratch directories, a fresh binding on demand (so key files are read
// from disk, not from a cache), and checks of a medium's integrity.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dizora.h"

namespace dz_reliability {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

enum : int32_t {
  kPublicKey = 1,
  kSecretKey = 2,
  kAbonentsDir = 3,
  kCADir = 4,
  kKeyRequestTimeOut = 7,
  kLastOpTimeOut = 8,
  kKeyGenGost = 9,
  kKeyGenUID = 10,
  kKeyGenPublic = 11,
  kKeyGenSecret = 12,
};

inline constexpr int32_t kMaxTransfer = 2198;
inline constexpr int32_t kSecretKeyFileSize = 164;

inline Bytes ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline fs::path MakeScratchDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  std::random_device random;
  const fs::path dir = fs::temp_directory_path() /
                       ("dz_rel_" + tag + "_" + std::to_string(random()) + "_" + std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

// An engine handle released on scope exit.
class Engine {
 public:
  Engine() : h_(GetCryptObj(0)) {}
  ~Engine() { DoneEngine(h_); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  operator DizoraEngine() const { return h_; }

  void Set(int32_t index, const std::string& value) const {
    ASSERT_EQ(SetCryptoParamValue(h_, index, value.c_str()), 0);
  }

 private:
  DizoraEngine h_;
};

// A key medium in a scratch directory: self.pub, self.sec, ABONENTS/, CA/.
// Every call of Configure with a new `generation` gives a CA path of its own
// spelling, hence a binding of its own that reads the key files from disk.
class Medium {
 public:
  explicit Medium(const std::string& uid, const std::string& tag = "medium")
      : dir_(MakeScratchDir(tag)), uid_(uid) {
    fs::create_directories(Abonents());
    fs::create_directories(dir_ / "CA");
  }
  ~Medium() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  const fs::path& dir() const { return dir_; }
  const std::string& uid() const { return uid_; }
  fs::path PublicKey() const { return dir_ / "self.pub"; }
  fs::path SecretKey() const { return dir_ / "self.sec"; }
  fs::path Abonents() const { return dir_ / "ABONENTS"; }

  void Configure(const Engine& e, int generation = 0) const {
    std::string ca = dir_.string() + "/";
    for (int i = 0; i < generation; ++i) ca += "./";
    e.Set(kPublicKey, PublicKey().string());
    e.Set(kSecretKey, SecretKey().string());
    e.Set(kAbonentsDir, Abonents().string());
    e.Set(kCADir, ca + "CA");
    e.Set(kKeyRequestTimeOut, "86400");
    e.Set(kLastOpTimeOut, "86400");
    e.Set(kKeyGenGost, "2001");
    e.Set(kKeyGenUID, uid_);
    e.Set(kKeyGenPublic, PublicKey().string());
    e.Set(kKeyGenSecret, SecretKey().string());
  }

  // Generates the medium's working key pair.
  int32_t Generate() const {
    Engine e;
    Configure(e);
    return GenerateNewSEK(e);
  }

 private:
  fs::path dir_;
  std::string uid_;
};

// Signs `data` with the engine's working key and verifies the signature.
// 0 when both succeed, otherwise the first failing code.
inline int32_t SignAndVerify(DizoraEngine e, const Bytes& data) {
  std::vector<uint8_t> signature(static_cast<size_t>(GetMaxSignatureLength(e)) + 1);
  int32_t size = static_cast<int32_t>(signature.size());
  const int32_t signed_code =
      SignData(e, data.data(), static_cast<int32_t>(data.size()), signature.data(), &size, 0);
  if (signed_code != 0) return signed_code;
  char signer[256] = {};
  return VerifyData(e, data.data(), static_cast<int32_t>(data.size()), signature.data(), size, signer);
}

// Encrypts `data` for `recipient` and decrypts it with `reader`; 0 when the
// round trip gives the data back.
inline int32_t EncryptRoundTrip(DizoraEngine writer, DizoraEngine reader, const std::string& recipient,
                                const Bytes& data) {
  Bytes buffer(data);
  buffer.resize(data.size() + static_cast<size_t>(GetMaxAdditionEx(writer, recipient.c_str())) + 16);
  int32_t size = static_cast<int32_t>(data.size());
  int32_t code = EncodeData(writer, buffer.data(), &size, recipient.c_str());
  if (code != 0) return code;
  code = DecodeData(reader, buffer.data(), &size, 0);
  if (code != 0) return code;
  return Bytes(buffer.begin(), buffer.begin() + size) == data ? 0 : 1000;
}

// The UID the engine reads from its public-key file; "" on failure.
inline std::string CurrentUID(DizoraEngine e) {
  char uid[256] = {};
  return GetCurrentUserUID(e, uid) == 0 ? std::string(uid) : std::string();
}

}  // namespace dz_reliability
