// Fault injection on every operation that writes: each operation runs once
// per file operation it performs, with that one failing (a failing write puts
// half of its bytes on disk first, as on a full disk). After each run the
// user's working key pair must still load, sign and verify, no half-written
// key file may sit where a later operation reads it, and the correspondents'
// directory and the cache must agree after a ClearCash.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "platform/fs_fault.h"
#include "reliability_util.h"

namespace dz_reliability {
namespace {

namespace fault = dizora::platform::fault;

// Disarms the seam on scope exit, whatever happens in between.
struct FaultGuard {
  ~FaultGuard() { fault::DisarmFileFault(); }
};

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

World& TheWorld() {
  static World world;
  return world;
}

// One copy of the user's medium, with an engine configured for it.
class Scene {
 public:
  Scene() : dir_(MakeScratchDir("scene")) {
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
void CheckScene(const Scene& scene, const std::string& context) {
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

struct Outcome {
  int points = 0;     // file operations of a fault-free run
  int refused = 0;    // runs that returned a non-zero code
  int tolerated = 0;  // runs that succeeded despite the fault (checked all the same)
};

// Runs `op` on a fresh scene once per failure point and write mode, and
// `check` plus CheckScene after each run.
Outcome ForEachFailurePoint(
    const std::function<void(Scene&)>& prepare, const std::function<int32_t(Scene&)>& op,
    const std::function<void(Scene&, int32_t code, bool fired)>& check) {
  FaultGuard guard;
  Outcome outcome;
  {
    Scene scene;
    prepare(scene);
    fault::CountFileOperations();
    const int32_t code = op(scene);
    fault::DisarmFileFault();
    EXPECT_EQ(code, 0) << "fault-free run";
    outcome.points = static_cast<int>(fault::FileOperationCount());
    check(scene, code, false);
    CheckScene(scene, "fault-free run");
  }
  for (int n = 1; n <= outcome.points; ++n) {
    for (const bool short_write : {true, false}) {
      Scene scene;
      prepare(scene);
      fault::ArmFileFault(n, short_write);
      const int32_t code = op(scene);
      const bool fired = fault::FileFaultFired();
      fault::DisarmFileFault();
      const std::string context =
          "failure point " + std::to_string(n) + (short_write ? " (short write)" : "") + ", code " +
          std::to_string(code);
      EXPECT_TRUE(fired) << context;
      (code != 0 ? outcome.refused : outcome.tolerated)++;
      {
        SCOPED_TRACE(context);
        check(scene, code, fired);
      }
      CheckScene(scene, context);
    }
  }
  ::testing::Test::RecordProperty("failure_points", outcome.points);
  return outcome;
}

void Report(const char* what, const Outcome& o) {
  std::printf("[ faults ] %-28s %3d failure points, %3d refused, %3d tolerated\n", what, o.points,
              o.refused, o.tolerated);
  EXPECT_GT(o.points, 0);
}

void NoPreparation(Scene&) {}

bool InDirectory(const Scene& scene, const std::string& uid) {
  const Bytes record = TheWorld().Records().at(uid);
  for (const auto& entry : fs::recursive_directory_iterator(scene.Abonents()))
    if (entry.is_regular_file() && ReadFileBytes(entry.path()) == record) return true;
  return false;
}

TEST(FaultInjection, GenerateNewSEKOverTheWorkingPair) {
  const Bytes oldPub = ReadFileBytes(TheWorld().user().PublicKey());
  const Outcome o = ForEachFailurePoint(
      NoPreparation, [](Scene& s) { return GenerateNewSEK(s.engine()); },
      [&](Scene& s, int32_t code, bool) {
        // A failed generation leaves the old pair; a successful one a new one.
        const Bytes pub = ReadFileBytes(s.dir() / "self.pub");
        if (code != 0) {
          EXPECT_EQ(pub, oldPub) << "public-key file replaced by a failed generation";
        }
        if (code == 0) {
          EXPECT_NE(pub, oldPub);
        }
      });
  Report("GenerateNewSEK", o);
}

TEST(FaultInjection, IncludePublicKey) {
  const Outcome o = ForEachFailurePoint(
      NoPreparation,
      [](Scene& s) { return IncludePublicKey(s.engine(), s.Incoming().string().c_str()); },
      [](Scene& s, int32_t code, bool) {
        const bool included = InDirectory(s, "Corr C");
        const bool kept = fs::exists(s.Incoming());
        EXPECT_TRUE(included || kept) << "the key is lost";
        if (code == 0) {
          EXPECT_TRUE(included);
        }
        if (code != 0) {
          EXPECT_TRUE(kept) << "a refused key must stay where the host put it";
        }
      });
  Report("IncludePublicKey", o);
}

TEST(FaultInjection, IncludePublicKeyTransfer) {
  const Outcome o = ForEachFailurePoint(
      NoPreparation,
      [](Scene& s) { return IncludePublicKeyTransfer(s.engine(), TheWorld().transferD().c_str()); },
      [](Scene& s, int32_t code, bool) {
        if (code == 0) {
          EXPECT_TRUE(InDirectory(s, "Corr D"));
        }
      });
  Report("IncludePublicKeyTransfer", o);
}

TEST(FaultInjection, SavePublicKeyFromTransfer) {
  const Bytes record = TheWorld().Records().at("Corr D");
  const Outcome o = ForEachFailurePoint(
      NoPreparation,
      [](Scene& s) {
        return SavePublicKeyFromTransfer(s.engine(), (s.dir() / "saved").string().c_str(),
                                         TheWorld().transferD().c_str());
      },
      [&](Scene& s, int32_t code, bool) {
        int files = 0;
        for (const auto& entry : fs::directory_iterator(s.dir() / "saved")) {
          ++files;
          EXPECT_NE(entry.path().filename().string().front(), '.') << "left over temporary file";
          EXPECT_EQ(ReadFileBytes(entry.path()), record) << "half-written " << entry.path();
        }
        if (code == 0) {
          EXPECT_EQ(files, 1);
        }
      });
  Report("SavePublicKeyFromTransfer", o);
}

TEST(FaultInjection, RemoveCertificate) {
  const Outcome o = ForEachFailurePoint(
      NoPreparation, [](Scene& s) { return RemoveCertificate(s.engine(), "Corr B"); },
      [](Scene& s, int32_t code, bool) {
        if (code == 0) {
          EXPECT_FALSE(InDirectory(s, "Corr B"));
        }
      });
  Report("RemoveCertificate", o);
}

TEST(FaultInjection, CreateDirStructure) {
  const Outcome o = ForEachFailurePoint(
      [](Scene& s) {
        fs::remove_all(s.Abonents());
        fs::remove_all(s.dir() / "CA");
        fs::copy_file(s.dir() / "self.pub", s.dir() / "incoming" / "own.pub");
      },
      [](Scene& s) {
        const int32_t code =
            CreateDirStructure(s.engine(), (s.dir() / "incoming" / "own.pub").string().c_str(), 0);
        // The directory the remaining checks read must exist.
        fs::create_directories(s.Abonents());
        return code;
      },
      [](Scene&, int32_t, bool) {});
  Report("CreateDirStructure", o);
}

TEST(FaultInjection, RemoteGenerateStart) {
  const Bytes oldPub = ReadFileBytes(TheWorld().user().PublicKey());
  const Outcome o = ForEachFailurePoint(
      [](Scene& s) { fs::create_directories(s.Regen()); },
      [](Scene& s) {
        std::vector<char> text(kMaxTransfer + 1, 0);
        return RemoteGenerateStart(s.engine(), text.data());
      },
      [&](Scene& s, int32_t code, bool) {
        EXPECT_EQ(ReadFileBytes(s.dir() / "self.pub"), oldPub) << "start touched the working pair";
        if (code == 0) {
          EXPECT_TRUE(fs::exists(s.Regen() / "new.pub"));
          EXPECT_TRUE(fs::exists(s.Regen() / "sec.dat"));
        }
      });
  Report("RemoteGenerateStart", o);
}

TEST(FaultInjection, RemoteGenerateFinish) {
  const Bytes oldPub = ReadFileBytes(TheWorld().user().PublicKey());
  const Outcome o = ForEachFailurePoint(
      [](Scene& s) {
        fs::create_directories(s.Regen());
        std::vector<char> text(kMaxTransfer + 1, 0);
        ASSERT_EQ(RemoteGenerateStart(s.engine(), text.data()), 0);
      },
      [](Scene& s) { return RemoteGenerateFinish(s.engine(), 0); },
      [&](Scene& s, int32_t code, bool) {
        const Bytes pub = ReadFileBytes(s.dir() / "self.pub");
        if (code == 0) {
          EXPECT_NE(pub, oldPub) << "finish reported success without installing";
        }
        // Either pair may be in place; CheckScene proves it is whole.
      });
  Report("RemoteGenerateFinish", o);
}

}  // namespace
}  // namespace dz_reliability
