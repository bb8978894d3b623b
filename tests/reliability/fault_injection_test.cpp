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

// The stored file itself included again: whatever fails, B's key is never
// without a file (the new one is in place before an old one goes).
TEST(FaultInjection, IncludePublicKeyOfTheStoredFile) {
  const Outcome o = ForEachFailurePoint(
      NoPreparation,
      [](Scene& s) { return IncludePublicKey(s.engine(), (s.Abonents() / "Corr B.pub").string().c_str()); },
      [](Scene& s, int32_t, bool) { EXPECT_TRUE(InDirectory(s, "Corr B")) << "the stored key is lost"; });
  Report("IncludePublicKey (stored)", o);
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

// The finish over a pending pair, with the regeneration directory on the
// working pair's file system or (simulated) on another one, where the new
// public key is copied, flushed, renamed beside the working one and only
// then deleted.
Outcome SweepRemoteGenerateFinish(bool acrossFileSystems) {
  const Bytes oldPub = ReadFileBytes(TheWorld().user().PublicKey());
  return ForEachFailurePoint(
      [](Scene& s) {
        fs::create_directories(s.Regen());
        std::vector<char> text(kMaxTransfer + 1, 0);
        ASSERT_EQ(RemoteGenerateStart(s.engine(), text.data()), 0);
      },
      [acrossFileSystems](Scene& s) {
        fault::SimulateOtherFileSystem(acrossFileSystems);
        const int32_t code = RemoteGenerateFinish(s.engine(), 0);
        fault::SimulateOtherFileSystem(false);
        return code;
      },
      [&](Scene& s, int32_t code, bool) {
        if (code == 0) {
          EXPECT_NE(ReadFileBytes(s.dir() / "self.pub"), oldPub) << "finish reported success without installing";
          EXPECT_FALSE(fs::exists(s.Regen() / "new.pub"));
        }
        // Either pair may be in place; CheckScene proves it is whole.
      });
}

TEST(FaultInjection, RemoteGenerateFinish) {
  Report("RemoteGenerateFinish", SweepRemoteGenerateFinish(false));
}

TEST(FaultInjection, RemoteGenerateFinishAcrossFileSystems) {
  Report("RemoteGenerateFinish (moved)", SweepRemoteGenerateFinish(true));
}

}  // namespace
}  // namespace dz_reliability
