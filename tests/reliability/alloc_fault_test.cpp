// Allocation-failure injection: the data operations and every operation that
// writes run once per working buffer they allocate, with that one refused as
// if memory were exhausted. A refused run must answer -8 (or the code the
// operation documents for it) and change nothing: every file of the key
// medium stays byte-identical and none is added, the caller's buffers keep
// their contents, and the working pair still loads, signs and verifies,
// through the same binding and through a fresh one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <new>
#include <set>
#include <stdexcept>

#include "api/frame.h"
#include "reliability_util.h"
#include "support/alloc_fault.h"
#include "support/secure.h"

namespace dz_reliability {
namespace {

namespace alloc = dizora::support::fault;

constexpr int32_t kNoMemory = -8;
constexpr int32_t kMediumStructure = -24;

// Disarms the seam on scope exit, whatever happens in between.
struct AllocGuard {
  ~AllocGuard() { alloc::DisarmAllocationFault(); }
};

// One operation under the sweep.
struct Sweep {
  std::function<void(Scene&)> prepare = NoPreparation;  // before the seam is armed
  std::function<int32_t(Scene&)> op;
  std::set<int32_t> documented;  // refusal codes besides -8 the operation documents
  // After every run: the operation's own postconditions.
  std::function<void(Scene&, int32_t code)> check = [](Scene&, int32_t) {};
};

// The scene's own engine (its binding possibly warm from the failed run)
// still signs and verifies.
void CheckSameBinding(const Scene& scene, const std::string& context) {
  EXPECT_EQ(SignAndVerify(scene.engine(), Bytes(100, 0x33)), 0) << context << ": same binding";
}

Outcome ForEachAllocationPoint(const Sweep& sweep) {
  AllocGuard guard;
  Outcome outcome;
  {
    Scene scene;
    sweep.prepare(scene);
    alloc::CountAllocations();
    const int32_t code = sweep.op(scene);
    alloc::DisarmAllocationFault();
    EXPECT_EQ(code, 0) << "fault-free run";
    outcome.points = static_cast<int>(alloc::AllocationCount());
    sweep.check(scene, code);
    CheckScene(scene, "fault-free run");
  }
  for (int n = 1; n <= outcome.points; ++n) {
    Scene scene;
    sweep.prepare(scene);
    const auto before = TreeSnapshot(scene.dir());
    alloc::ArmAllocationFault(n);
    const int32_t code = sweep.op(scene);
    const bool fired = alloc::AllocationFaultFired();
    alloc::DisarmAllocationFault();
    const std::string context = "allocation " + std::to_string(n) + ", code " + std::to_string(code);
    EXPECT_TRUE(fired) << context;
    if (code != 0) {
      ++outcome.refused;
      EXPECT_TRUE(code == kNoMemory || sweep.documented.count(code) == 1) << context;
      EXPECT_EQ(TreeDifference(before, TreeSnapshot(scene.dir())), "") << context;
    } else {
      ++outcome.tolerated;
    }
    {
      SCOPED_TRACE(context);
      sweep.check(scene, code);
    }
    if (code != 0) CheckSameBinding(scene, context);
    CheckScene(scene, context);
  }
  ::testing::Test::RecordProperty("allocation_points", outcome.points);
  return outcome;
}

void Report(const char* what, const Outcome& o) {
  std::printf("[ allocs ] %-28s %3d allocation points, %3d refused, %3d tolerated\n", what, o.points,
              o.refused, o.tolerated);
}

// Sweeps an operation that allocates at least once and reports its figures.
void SweepEveryPoint(const char* what, const Sweep& sweep) {
  const Outcome o = ForEachAllocationPoint(sweep);
  Report(what, o);
  EXPECT_GT(o.points, 0);
}

// Sweeps an operation that takes no working buffer at all (its fixed-size
// secrets live in self-wiping arrays), so the allocation seam has nothing to
// refuse in it: the fault-free run and its checks still run. One that starts
// to take working buffers belongs in SweepEveryPoint, which then exercises
// each new point.
void SweepAllocationFree(const char* what, const Sweep& sweep) {
  const Outcome o = ForEachAllocationPoint(sweep);
  Report(what, o);
  EXPECT_EQ(o.points, 0) << what << " allocates now: sweep it with SweepEveryPoint";
}

// A second engine on the scene's medium with a binding of its own, so that
// the set-up leaves the scene's binding cold (no key, no cache loaded).
class Helper {
 public:
  explicit Helper(const Scene& scene) { scene.Configure(engine_, 1); }
  const Engine& engine() const { return engine_; }

 private:
  Engine engine_;
};

// ---- Data operations ---------------------------------------------------------

TEST(AllocationFaults, SignData) {
  const Bytes data(5000, 0x41);
  std::vector<uint8_t> signature;
  int32_t size = 0;
  Sweep sweep;
  sweep.prepare = [&](Scene&) {
    signature.assign(400, 0xEE);
    size = static_cast<int32_t>(signature.size());
  };
  sweep.op = [&](Scene& s) {
    return SignData(s.engine(), data.data(), static_cast<int32_t>(data.size()), signature.data(), &size, 0);
  };
  sweep.check = [&](Scene& s, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(size, 400) << "a refused signature reported a length";
      return;
    }
    char signer[256] = {};
    EXPECT_EQ(VerifyData(s.engine(), data.data(), static_cast<int32_t>(data.size()), signature.data(), size,
                         signer),
              0);
  };
  SweepEveryPoint("SignData", sweep);
}

TEST(AllocationFaults, VerifyData) {
  const Bytes data(70000, 0x42);  // over one hash piece
  std::vector<uint8_t> signature;
  int32_t size = 0;
  char signer[256] = {};
  Sweep sweep;
  sweep.prepare = [&](Scene& s) {
    Helper helper(s);
    signature.assign(400, 0);
    size = static_cast<int32_t>(signature.size());
    ASSERT_EQ(SignData(helper.engine(), data.data(), static_cast<int32_t>(data.size()), signature.data(), &size, 0),
              0);
  };
  sweep.op = [&](Scene& s) {
    return VerifyData(s.engine(), data.data(), static_cast<int32_t>(data.size()), signature.data(), size, signer);
  };
  sweep.check = [&](Scene&, int32_t code) {
    if (code == 0) {
      EXPECT_EQ(std::string(signer), TheWorld().user().uid());
    }
  };
  SweepAllocationFree("VerifyData", sweep);
}

TEST(AllocationFaults, EncodeData) {
  const Bytes data(3000, 0x43);
  Bytes buffer;
  int32_t size = 0;
  const std::string recipients = "Corr B;" + TheWorld().user().uid();
  Sweep sweep;
  sweep.prepare = [&](Scene&) {
    buffer = data;
    buffer.resize(data.size() + 2000, 0xEE);
    size = static_cast<int32_t>(data.size());
  };
  sweep.op = [&](Scene& s) { return EncodeData(s.engine(), buffer.data(), &size, recipients.c_str()); };
  sweep.check = [&](Scene& s, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(size, static_cast<int32_t>(data.size()));
      Bytes expected = data;
      expected.resize(data.size() + 2000, 0xEE);
      EXPECT_EQ(buffer, expected) << "a refused encryption touched the caller's buffer";
      return;
    }
    ASSERT_EQ(DecodeData(s.engine(), buffer.data(), &size, 0), 0);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + size), data);
  };
  SweepEveryPoint("EncodeData", sweep);
}

TEST(AllocationFaults, DecodeData) {
  const Bytes data(3000, 0x44);
  Bytes block;
  Bytes sealed;
  int32_t size = 0;
  Sweep sweep;
  sweep.prepare = [&](Scene& s) {
    Helper helper(s);
    block = data;
    block.resize(data.size() + 2000, 0);
    size = static_cast<int32_t>(data.size());
    ASSERT_EQ(EncodeData(helper.engine(), block.data(), &size, TheWorld().user().uid().c_str()), 0);
    sealed = block;
  };
  sweep.op = [&](Scene& s) { return DecodeData(s.engine(), block.data(), &size, 0); };
  sweep.check = [&](Scene&, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(block, sealed) << "a refused decryption touched the block";
      return;
    }
    EXPECT_EQ(Bytes(block.begin(), block.begin() + size), data);
  };
  SweepEveryPoint("DecodeData", sweep);
}

TEST(AllocationFaults, HashData) {
  const Bytes data(1000, 0x45);
  char hash[256] = {};
  int32_t size = 0;
  std::string expected;
  {
    Scene scene;
    int32_t n = sizeof hash;
    ASSERT_EQ(HashData(scene.engine(), data.data(), static_cast<int32_t>(data.size()), 1, hash, &n), 0);
    expected.assign(hash, static_cast<size_t>(n));
  }
  Sweep sweep;
  sweep.prepare = [&](Scene&) {
    std::fill(std::begin(hash), std::end(hash), '\0');
    size = sizeof hash;
  };
  sweep.op = [&](Scene& s) {
    return HashData(s.engine(), data.data(), static_cast<int32_t>(data.size()), 1, hash, &size);
  };
  sweep.check = [&](Scene&, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(size, static_cast<int32_t>(sizeof hash));
      return;
    }
    EXPECT_EQ(std::string(hash, static_cast<size_t>(size)), expected);
  };
  SweepAllocationFree("HashData", sweep);
}

TEST(AllocationFaults, AddSignAndRemoveSign) {
  const Bytes data(2000, 0x46);
  Bytes buffer;
  int32_t size = 0;
  Sweep add;
  add.prepare = [&](Scene&) {
    buffer = data;
    buffer.resize(data.size() + 400, 0xEE);
    size = static_cast<int32_t>(data.size());
  };
  add.op = [&](Scene& s) { return AddSign(s.engine(), buffer.data(), &size, 0); };
  add.check = [&](Scene& s, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(size, static_cast<int32_t>(data.size())) << "a refused AddSign changed the length";
      return;
    }
    char signer[256] = {};
    EXPECT_EQ(RemoveSign(s.engine(), buffer.data(), &size, signer), 0);
    EXPECT_EQ(size, static_cast<int32_t>(data.size()));
  };
  SweepEveryPoint("AddSign", add);

  Bytes signedData;
  char signer[256] = {};
  Sweep remove;
  remove.prepare = [&](Scene& s) {
    Helper helper(s);
    buffer = data;
    buffer.resize(data.size() + 400, 0);
    size = static_cast<int32_t>(data.size());
    ASSERT_EQ(AddSign(helper.engine(), buffer.data(), &size, 0), 0);
    signedData.assign(buffer.begin(), buffer.begin() + size);
  };
  remove.op = [&](Scene& s) { return RemoveSign(s.engine(), buffer.data(), &size, signer); };
  remove.check = [&](Scene&, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(size, static_cast<int32_t>(signedData.size())) << "a refused RemoveSign cut the data";
      return;
    }
    EXPECT_EQ(size, static_cast<int32_t>(data.size()));
  };
  SweepAllocationFree("RemoveSign", remove);
}

// ---- Operations that write ---------------------------------------------------

TEST(AllocationFaults, GenerateNewSEKOverTheWorkingPair) {
  const Bytes oldPub = ReadFileBytes(TheWorld().user().PublicKey());
  Sweep sweep;
  sweep.op = [](Scene& s) { return GenerateNewSEK(s.engine()); };
  sweep.check = [&](Scene& s, int32_t code) {
    if (code == 0) {
      EXPECT_NE(ReadFileBytes(s.dir() / "self.pub"), oldPub);
    }
  };
  SweepEveryPoint("GenerateNewSEK", sweep);
}

TEST(AllocationFaults, IncludePublicKey) {
  Sweep sweep;
  sweep.op = [](Scene& s) { return IncludePublicKey(s.engine(), s.Incoming().string().c_str()); };
  sweep.check = [](Scene& s, int32_t code) {
    if (code == 0) {
      EXPECT_TRUE(InDirectory(s, "Corr C"));
      EXPECT_FALSE(fs::exists(s.Incoming()));
    }
  };
  SweepEveryPoint("IncludePublicKey", sweep);
}

TEST(AllocationFaults, IncludePublicKeyTransfer) {
  Sweep sweep;
  sweep.op = [](Scene& s) { return IncludePublicKeyTransfer(s.engine(), TheWorld().transferD().c_str()); };
  sweep.check = [](Scene& s, int32_t code) {
    if (code == 0) {
      EXPECT_TRUE(InDirectory(s, "Corr D"));
    }
  };
  SweepAllocationFree("IncludePublicKeyTransfer", sweep);
}

TEST(AllocationFaults, SavePublicKeyFromTransfer) {
  const Bytes record = TheWorld().Records().at("Corr D");
  Sweep sweep;
  sweep.op = [](Scene& s) {
    return SavePublicKeyFromTransfer(s.engine(), (s.dir() / "saved").string().c_str(),
                                     TheWorld().transferD().c_str());
  };
  sweep.check = [&](Scene& s, int32_t code) {
    if (code == 0) {
      EXPECT_EQ(ReadFileBytes(s.dir() / "saved" / "tran.pub"), record);
    }
  };
  SweepAllocationFree("SavePublicKeyFromTransfer", sweep);
}

// The removal works on the cache and the directory alone; it allocates no
// working buffer, so the sweep may have no point to fail.
TEST(AllocationFaults, RemoveCertificate) {
  Sweep sweep;
  sweep.op = [](Scene& s) { return RemoveCertificate(s.engine(), "Corr B"); };
  sweep.check = [](Scene& s, int32_t code) {
    if (code == 0) {
      EXPECT_FALSE(InDirectory(s, "Corr B"));
    }
  };
  Report("RemoveCertificate", ForEachAllocationPoint(sweep));
}

// The copy of the public-key file reads it into a working buffer; when that
// is refused the copy fails and the operation answers -24, as for any copy
// that fails.
TEST(AllocationFaults, CreateDirStructure) {
  Sweep sweep;
  sweep.prepare = [](Scene& s) {
    fs::remove_all(s.Abonents());
    fs::remove_all(s.dir() / "CA");
    fs::remove(s.dir() / "self.pub");
    fs::copy_file(TheWorld().user().PublicKey(), s.dir() / "incoming" / "own.pub");
  };
  sweep.op = [](Scene& s) {
    return CreateDirStructure(s.engine(), (s.dir() / "incoming" / "own.pub").string().c_str(), 0);
  };
  sweep.documented = {kMediumStructure};
  sweep.check = [](Scene& s, int32_t code) {
    if (code != 0) {
      // Nothing was prepared; put the medium together for the common checks.
      EXPECT_FALSE(fs::exists(s.dir() / "self.pub"));
      EXPECT_FALSE(fs::exists(s.Abonents()));
      fs::copy_file(s.dir() / "incoming" / "own.pub", s.dir() / "self.pub");
      fs::create_directories(s.Abonents());
      return;
    }
    EXPECT_EQ(ReadFileBytes(s.dir() / "self.pub"), ReadFileBytes(TheWorld().user().PublicKey()));
    EXPECT_TRUE(fs::is_directory(s.dir() / "CA"));
  };
  SweepEveryPoint("CreateDirStructure", sweep);
}

TEST(AllocationFaults, RemoteGenerateStart) {
  std::vector<char> text;
  Sweep sweep;
  sweep.prepare = [&](Scene&) { text.assign(kMaxTransfer + 1, 0); };
  sweep.op = [&](Scene& s) { return RemoteGenerateStart(s.engine(), text.data()); };
  sweep.check = [&](Scene& s, int32_t code) {
    if (code != 0) {
      EXPECT_EQ(text[0], '\0') << "a refused start wrote a transfer";
      return;
    }
    EXPECT_TRUE(fs::exists(s.Regen() / "new.pub"));
    EXPECT_TRUE(fs::exists(s.Regen() / "sec.dat"));
    EXPECT_FALSE(fs::exists(s.Regen() / "new.sec")) << "the clear new secret key was left";
  };
  SweepEveryPoint("RemoteGenerateStart", sweep);
}

TEST(AllocationFaults, RemoteGenerateFinish) {
  const Bytes oldPub = ReadFileBytes(TheWorld().user().PublicKey());
  Sweep sweep;
  sweep.prepare = [](Scene& s) {
    Helper helper(s);
    SetRemoteGeneratePath(helper.engine(), s.Regen().string().c_str());
    std::vector<char> text(kMaxTransfer + 1, 0);
    ASSERT_EQ(RemoteGenerateStart(helper.engine(), text.data()), 0);
  };
  sweep.op = [](Scene& s) { return RemoteGenerateFinish(s.engine(), 0); };
  sweep.check = [&](Scene& s, int32_t code) {
    if (code == 0) {
      EXPECT_NE(ReadFileBytes(s.dir() / "self.pub"), oldPub) << "finish reported success without installing";
    }
  };
  SweepEveryPoint("RemoteGenerateFinish", sweep);
}

// ---- The allocator and the export frame -------------------------------------

TEST(AllocationFaults, SeamFailsExactlyTheArmedWorkingBuffer) {
  AllocGuard guard;
  alloc::ArmAllocationFault(2);
  dizora::support::SecureBuffer first(16);
  EXPECT_FALSE(alloc::AllocationFaultFired());
  EXPECT_THROW(dizora::support::SecureBuffer(16), std::bad_alloc);
  EXPECT_TRUE(alloc::AllocationFaultFired());
  dizora::support::SecureBuffer third(16);  // only the n-th fails
  dizora::support::SecureBuffer none(0);    // nothing allocated, nothing counted
  EXPECT_EQ(alloc::AllocationCount(), 3);
  EXPECT_EQ(first.size(), 16u);
  EXPECT_EQ(third.size(), 16u);
  alloc::DisarmAllocationFault();
  dizora::support::SecureBuffer after(16);
  EXPECT_EQ(alloc::AllocationCount(), 3) << "a disarmed seam still counts";
}

// Memory that runs out outside any engine guard reaches the export frame:
// -8 where the export answers codes, its own value for size queries.
TEST(AllocationFaults, ExportFrameAnswersMinus8ForCodes) {
  Engine e;
  auto raise = [](dizora::TCryptoEngine&) -> int32_t { throw std::bad_alloc(); };
  EXPECT_EQ(dizora::api::Call(e, dizora::api::kCallFailure, raise), -8);
  EXPECT_EQ(dizora::api::Call(e, dizora::api::kSizeFailure, raise), -1);
  auto other = [](dizora::TCryptoEngine&) -> int32_t { throw std::runtime_error("x"); };
  EXPECT_EQ(dizora::api::Call(e, dizora::api::kCallFailure, other), -3);
}

}  // namespace
}  // namespace dz_reliability
