// Shared support of the reliability tests: engines configured for key media
// in scratch directories, a fresh binding on demand (so key files are read
// from disk, not from a cache), and checks of a medium's integrity.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "../api/engine_test_util.h"
#include "dizora.h"

namespace dz_reliability {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The engine handle, the settings' indexes and the file helpers of the
// export tests.
using dz_api_test::Engine;
using dz_api_test::kAbonentsDir;
using dz_api_test::kCADir;
using dz_api_test::kKeyGenGost;
using dz_api_test::kKeyGenPublic;
using dz_api_test::kKeyGenSecret;
using dz_api_test::kKeyGenUID;
using dz_api_test::kKeyRequestTimeOut;
using dz_api_test::kLastOpTimeOut;
using dz_api_test::kPublicKey;
using dz_api_test::kSecretKey;
using dz_api_test::ReadFileBytes;
using dz_api_test::TreeDifference;
using dz_api_test::TreeSnapshot;
using dz_api_test::WriteFileBytes;

inline constexpr int32_t kMaxTransfer = 2198;
inline constexpr int32_t kSecretKeyFileSize = 164;

inline fs::path MakeScratchDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  std::random_device random;
  const fs::path dir = fs::temp_directory_path() /
                       ("dz_rel_" + tag + "_" + std::to_string(random()) + "_" + std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

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

// ---- Scenes of the fault sweeps ------------------------------------------------
// A fault sweep runs one operation many times, each time on a fresh copy of
// the same key medium (a Scene), and checks the copy afterwards.

// Key material made once for the whole program: the user's medium "U" with
// correspondent "B" already known, and two more correspondents whose keys
// arrive during the tests: "C" as a file, "D" as a transfer signed by B.
class World {
 public:
  World() : user_("User U", "user"), b_("Corr B", "b"), c_("Corr C", "c"), d_("Corr D", "d") {
    for (const Medium* m : {&user_, &b_, &c_, &d_}) EXPECT_EQ(m->Generate(), 0);
    Engine u, b;
    user_.Configure(u);
    b_.Configure(b);
    Include(u, b_);
    Include(b, user_);
    Include(b, d_);
    std::vector<char> text(kMaxTransfer + 1, 0);
    EXPECT_EQ(GetPublicKeyTransfer(b, d_.uid().c_str(), text.data()), 0);
    transfer_d_ = text.data();
    regen_ = user_.dir() / "REGEN";
    fs::create_directories(regen_);
  }

  // The user's medium as it is after the set-up; tests copy it.
  const Medium& user() const { return user_; }
  const fs::path& regen() const { return regen_; }
  const std::string& transferD() const { return transfer_d_; }

  // Public-key records of the correspondents, by UID.
  std::map<std::string, Bytes> Records() const {
    return {{b_.uid(), ReadFileBytes(b_.PublicKey())},
            {c_.uid(), ReadFileBytes(c_.PublicKey())},
            {d_.uid(), ReadFileBytes(d_.PublicKey())}};
  }
  fs::path FileOfC() const { return c_.PublicKey(); }

 private:
  static void Include(const Engine& e, const Medium& other) {
    const fs::path copy = MakeScratchDir("drop") / (other.uid() + ".pub");
    fs::copy_file(other.PublicKey(), copy);
    ASSERT_EQ(IncludePublicKey(e, copy.string().c_str()), 0);
    fs::remove_all(copy.parent_path());
  }

  Medium user_, b_, c_, d_;
  std::string transfer_d_;
  fs::path regen_;
};

inline World& TheWorld() {
  static World world;
  return world;
}

// One copy of the user's medium, with an engine configured for it.
class Scene {
 public:
  Scene() : dir_(MakeScratchDir("scene")) {
    // MinGW's fs::copy refuses an existing target directory ("File exists"),
    // so the copy makes it.
    fs::remove(dir_);
    fs::copy(TheWorld().user().dir(), dir_, fs::copy_options::recursive);
    fs::create_directories(dir_ / "incoming");
    fs::create_directories(dir_ / "saved");
    fs::copy_file(TheWorld().FileOfC(), Incoming());
    Configure(engine_, 0);
    SetRemoteGeneratePath(engine_, (dir_ / "REGEN").string().c_str());
  }
  ~Scene() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  void Configure(const Engine& e, int generation) const {
    std::string ca = dir_.string() + "/";
    for (int i = 0; i < generation; ++i) ca += "./";
    e.Set(kPublicKey, (dir_ / "self.pub").string());
    e.Set(kSecretKey, (dir_ / "self.sec").string());
    e.Set(kAbonentsDir, Abonents().string());
    e.Set(kCADir, ca + "CA");
    e.Set(kKeyRequestTimeOut, "86400");
    e.Set(kLastOpTimeOut, "86400");
    e.Set(kKeyGenGost, "2001");
    e.Set(kKeyGenUID, TheWorld().user().uid());
    e.Set(kKeyGenPublic, (dir_ / "self.pub").string());
    e.Set(kKeyGenSecret, (dir_ / "self.sec").string());
  }

  const Engine& engine() const { return engine_; }
  const fs::path& dir() const { return dir_; }
  fs::path Abonents() const { return dir_ / "ABONENTS"; }
  fs::path Incoming() const { return dir_ / "incoming" / "corr_c.pub"; }
  fs::path Regen() const { return dir_ / "REGEN"; }

 private:
  fs::path dir_;
  Engine engine_;
};

// Checks that must hold after any run, failed or not.
inline void CheckScene(const Scene& scene, const std::string& context) {
  SCOPED_TRACE(context);
  // The working pair loads from disk (a binding of its own), signs, verifies.
  Engine fresh;
  scene.Configure(fresh, 1);
  EXPECT_EQ(CurrentUID(fresh), TheWorld().user().uid());
  EXPECT_EQ(fs::file_size(scene.dir() / "self.sec"), static_cast<uintmax_t>(kSecretKeyFileSize));
  EXPECT_EQ(SignAndVerify(fresh, Bytes(300, 0x5a)), 0);

  // Every key file of the directory is some correspondent's complete record;
  // no temporary file is left behind.
  const auto records = TheWorld().Records();
  std::set<std::string> present;
  for (const auto& entry : fs::recursive_directory_iterator(scene.Abonents())) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name.front(), '.') << "left over: " << name;
    const Bytes bytes = ReadFileBytes(entry.path());
    bool known = false;
    for (const auto& [uid, record] : records) {
      if (record == bytes) {
        known = true;
        present.insert(uid);
      }
    }
    EXPECT_TRUE(known) << "damaged key file " << name << " of " << bytes.size() << " bytes";
  }

  // After a ClearCash the engine knows exactly the keys of the directory.
  ClearCash(scene.engine());
  for (const auto& [uid, record] : records) {
    std::vector<char> text(kMaxTransfer + 1, 0);
    const int32_t code = GetPublicKeyTransfer(scene.engine(), uid.c_str(), text.data());
    EXPECT_EQ(code == 0, present.count(uid) == 1) << uid << " code " << code;
  }
}

inline bool InDirectory(const Scene& scene, const std::string& uid) {
  const Bytes record = TheWorld().Records().at(uid);
  for (const auto& entry : fs::recursive_directory_iterator(scene.Abonents()))
    if (entry.is_regular_file() && ReadFileBytes(entry.path()) == record) return true;
  return false;
}

// Tally of one sweep.
struct Outcome {
  int points = 0;     // fault points of a fault-free run
  int refused = 0;    // runs that returned a non-zero code
  int tolerated = 0;  // runs that succeeded despite the fault (checked all the same)
};

inline void NoPreparation(Scene&) {}

}  // namespace dz_reliability
