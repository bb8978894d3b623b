// Crash consistency: every writing command of the tool is killed at each of
// the engine's file-changing calls in turn (the test seam DZ_TEST_KILL_AT),
// and, on POSIX, at random instants; the next commands must find the medium
// whole: the working pair matched (old or new), a finished regeneration's
// previous secret key kept, a pending regeneration finishable or absent, a
// correspondent's key old or new and never both nor none.
#include <chrono>
#include <functional>
#include <map>
#include <random>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "tool_runner.h"

namespace tool_test {
namespace {

constexpr int kKilled = 137;  // SIGKILL (POSIX) or the seam's TerminateProcess code
constexpr char kQuoted[] = "OOO \"Q1\"";  // a UID that cannot name a file: stored as pkN.pub

// Every figure of one sweep, for RELIABILITY.md.
struct Tally {
  int points = 0, trials = 0, violations = 0;
  int random_trials = 0, random_kills = 0;  // kills at random instants (POSIX)
};

#ifndef _WIN32
constexpr int kRandomTrials = 12;  // per command
#endif

class CrashTest : public ToolTest {
 protected:
  void SetUp() override {
#ifndef DZ_TEST_SEAMS
    GTEST_SKIP() << "the kill seam is compiled into test builds only (-DDZ_TEST_SEAMS=ON)";
#endif
  }

  // `dizora --medium MEDIUM ARGS` run in `dir`, killed at the n-th file change (0: never).
  Result RunIn(const fs::path& dir, const std::string& medium, std::vector<std::string> args, int n = 0) {
    args.insert(args.begin(), {"--medium", medium});
    Environment env;
    if (n > 0) env.emplace_back("DZ_TEST_KILL_AT", std::to_string(n));
    return Spawn(ToolPath(), args, dir, "", env);
  }

  // Alice and the bank knowing each other, Q1 known to Alice, an order
  // signed by the bank: the base every sweep copies.
  void MakeBase() {
    TwoParties();
    MakeMedium("q1", kQuoted);
    MakeMedium("q1new", kQuoted);
    Register("alice", "q1");
    WriteText(Path("order.txt"), "Payment order 42\n");
    ASSERT_EQ(On("bank", {"sign", "order.txt", "-o", "order.sig"}).rc, 0);
  }

  // A pending regeneration of Alice and the bank's answer to it.
  void PendRegeneration(const std::string& answer) {
    Result r = On("alice", {"regen", "start", "--force"});
    ASSERT_EQ(r.rc, 0) << r;
    WriteText(Path("regen.tr"), r.out);
    ASSERT_EQ(On("bank", {"key", "import", "regen.tr", "--from", "Alice"}).rc, 0);
    const std::string uid = Trimmed(On("alice", {"key", "uid", "regen.tr"}).out);
    r = On("bank", {"key", "export", uid});
    ASSERT_EQ(r.rc, 0) << r;
    WriteText(Path(answer), r.out);
  }

  static std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

  // Runs `args` on Alice's medium in a fresh copy of the base for n = 1, 2,
  // ... until the command is no longer killed, checking each copy.
  Tally Sweep(const std::vector<std::string>& args, const std::function<bool(const fs::path&)>& whole) {
    Tally tally;
    for (int n = 1;; ++n) {
      const fs::path trial = Fresh("trial");
      const Result r = RunIn(trial, "alice", args, n);
      ++tally.trials;
      const bool killed = r.rc == kKilled;
      if (!killed) {
        EXPECT_EQ(r.rc, 0) << "kill point " << n << "\n" << r;
      }
      if (!whole(trial)) {
        ++tally.violations;
        ADD_FAILURE() << Join(args) << ": medium not whole after a kill at file change " << n;
      }
      if (!killed) break;
      ++tally.points;
    }
#ifndef _WIN32
    RandomKills(args, whole, tally);
#endif
    return tally;
  }

#ifndef _WIN32
  // The command killed with SIGKILL at random instants of its run (from its
  // start to a little past the time an unkilled run takes), whatever call it
  // is in: the engine's own steps, the tool's, the C library's.
  void RandomKills(const std::vector<std::string>& args, const std::function<bool(const fs::path&)>& whole,
                   Tally& tally) {
    const fs::path probe = Fresh("probe");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunIn(probe, "alice", args).rc, 0) << Join(args);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::mt19937 random(static_cast<uint32_t>(tally.points * 7919 + static_cast<int>(args.size())));
    std::uniform_real_distribution<double> instant(0.0, seconds * 1.2);
    for (int i = 0; i < kRandomTrials; ++i) {
      const fs::path trial = Fresh("random");
      std::vector<std::string> killed{"-s", "KILL", std::to_string(instant(random)), ToolPath().string(),
                                      "--medium", "alice"};
      killed.insert(killed.end(), args.begin(), args.end());
      const Result r = Spawn("/usr/bin/timeout", killed, trial);
      ++tally.random_trials;
      if (r.rc == kKilled) ++tally.random_kills;
      else EXPECT_EQ(r.rc, 0) << "random kill " << i << "\n" << r;
      if (!whole(trial)) {
        ++tally.violations;
        ADD_FAILURE() << Join(args) << ": medium not whole after a kill at a random instant";
      }
    }
  }
#endif

  // A copy of the base directory named `name`.
  fs::path Fresh(const std::string& name) {
    const fs::path copy = dir_.path().parent_path() / (dir_.path().filename().string() + "_" + name);
    fs::remove_all(copy);
    fs::copy(dir_.path(), copy, fs::copy_options::recursive);
    copies_.push_back(copy);
    return copy;
  }

  static std::string Join(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) text += a + " ";
    return text;
  }

  // The working pair signs, and the bank's signature verifies (its key was
  // there throughout): the check runs the engine's pair check too.
  bool PairWhole(const fs::path& trial) {
    const Result check = RunIn(trial, "alice", {"medium", "check"});
    const Result verify = RunIn(trial, "alice", {"verify", "order.txt", "order.sig", "--signer", "Bank"});
    EXPECT_EQ(check.rc, 0) << check;
    EXPECT_EQ(verify.rc, 0) << verify;
    return check.rc == 0 && verify.rc == 0;
  }

  // The fingerprints Alice's directory holds for `uid`.
  std::vector<std::string> Fingerprints(const fs::path& trial, const std::string& uid) {
    const Json list = JsonOf(RunIn(trial, "alice", {"key", "list", "--json"}));
    std::vector<std::string> found;
    for (const Json& key : list["keys"].items)
      if (key["uid"].text == uid) found.push_back(key["fingerprint"].text);
    return found;
  }

  std::string FingerprintOf(const std::string& medium) { return JsonOf(On(medium, {"whoami", "--json"}))["fingerprint"].text; }

  ~CrashTest() override {
    std::error_code ignored;
    for (const fs::path& copy : copies_) fs::remove_all(copy, ignored);
  }

  std::vector<fs::path> copies_;
};

TEST_F(CrashTest, EveryKillPointLeavesTheMediumWhole) {
  MakeBase();
  const std::string oldKey = FingerprintOf("q1");
  const std::string newKey = FingerprintOf("q1new");
  std::map<std::string, Tally> tallies;

  // keygen over the working pair: the old pair or the new one, matched.
  tallies["keygen --self --force"] = Sweep({"keygen", "--self", "--force", "--uid", "Alice"}, [&](const fs::path& t) {
    return PairWhole(t);
  });
  // A correspondent's key replaced: the old or the new one, exactly once.
  tallies["key include (replacing, pkN.pub)"] = Sweep({"key", "include", "q1new/self.pub"}, [&](const fs::path& t) {
    const auto keys = Fingerprints(t, kQuoted);
    const bool one = keys.size() == 1 && (keys[0] == oldKey || keys[0] == newKey);
    EXPECT_TRUE(one) << keys.size();
    return PairWhole(t) && one;
  });
  tallies["key remove"] = Sweep({"key", "remove", kQuoted}, [&](const fs::path& t) {
    const auto keys = Fingerprints(t, kQuoted);
    return PairWhole(t) && (keys.empty() || keys == std::vector<std::string>{oldKey});
  });

  // Regeneration start: a pending pair that finishes, or none at all.
  const auto pendingWhole = [&](const fs::path& t) {
    RunIn(t, "alice", {"whoami"});  // the next operation: it finds the medium as recovery leaves it
    const bool newPub = fs::exists(t / "alice/REGEN/new.pub"), sealed = fs::exists(t / "alice/REGEN/sec.dat");
    if (fs::exists(t / "alice/REGEN/new.sec") || newPub != sealed) return false;
    if (!newPub) return PairWhole(t);
    const std::string pending = JsonOf(RunIn(t, "alice", {"key", "report", "--json"}))["uid"].text;
    fs::copy_file(t / "alice/REGEN/new.pub", t / "pending.pub");
    Result r = RunIn(t, "bank", {"key", "include", "pending.pub"});
    r = RunIn(t, "bank", {"key", "export", pending});
    WriteText(t / "answer.tr", r.out);
    r = RunIn(t, "alice", {"regen", "finish", "answer.tr", "--from", "Bank"});
    EXPECT_EQ(r.rc, 0) << r;
    return r.rc == 0 && PairWhole(t);
  };
  fs::create_directories(Path("alice/REGEN"));
  tallies["regen start"] = Sweep({"regen", "start"}, pendingWhole);
  ASSERT_NO_FATAL_FAILURE(PendRegeneration("answer1.tr"));
  tallies["regen start --force (over a pending pair)"] = Sweep({"regen", "start", "--force"}, pendingWhole);

  // Regeneration finish: installed with the previous secret key kept, or
  // still pending and finishable.
  const std::string previous = ReadText(Path("alice/self.sec"));
  tallies["regen finish"] = Sweep({"regen", "finish", "answer1.tr", "--from", "Bank"}, [&](const fs::path& t) {
    if (!PairWhole(t)) return false;
    const bool installed = !fs::exists(t / "alice/REGEN/new.pub");
    if (installed) return ReadText(t / "alice/old.sec") == previous && !fs::exists(t / "alice/REGEN/sec.dat");
    const Result r = RunIn(t, "alice", {"regen", "finish", "answer1.tr", "--from", "Bank"});
    EXPECT_EQ(r.rc, 0) << r;
    return r.rc == 0 && ReadText(t / "alice/old.sec") == previous && PairWhole(t);
  });

  for (const auto& [command, t] : tallies) {
    std::printf("kill sweep: %-45s %3d kill points, %3d trials, %2d random instants (%2d killed), %d violations\n",
                command.c_str(), t.points, t.trials, t.random_trials, t.random_kills, t.violations);
    EXPECT_GT(t.points, 0) << command;
  }
}

#ifndef _WIN32
// What a killed run of the tool left (an output's temporary file with
// decrypted data, the scratch directory of `key save`) goes with the next run
// that writes there; a temporary file of a run still alive, and any other
// file, stays.
TEST_F(ToolTest, LeftoversOfKilledRunsGoWithTheNextRun) {
  TwoParties();
  WriteText(Path("order.txt"), "Payment order 42\n");
  WriteText(Path(".dz-0000abcd.tmp"), "decrypted plaintext of a killed run");
  fs::create_directory(Path(".dz-0000abce.tmp"));
  WriteText(Path(".dz-0000abce.tmp/tran.pub"), "a saved key");
  WriteText(Path(".dz-0000abcf.tmp"), "a live run's output");
  WriteText(Path(".dz-notmine.tmp"), "not the tool's");
  for (const char* name : {".dz-0000abcd.tmp", ".dz-0000abce.tmp", ".dz-0000abcf.tmp", ".dz-notmine.tmp"})
    fs::last_write_time(Path(name), fs::file_time_type::clock::now() - std::chrono::hours(1));
  const int live = open(Path(".dz-0000abcf.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(live, LOCK_EX | LOCK_NB), 0);
  const Result r = On("alice", {"sign", "order.txt", "-o", "order.sig"});
  close(live);
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_FALSE(fs::exists(Path(".dz-0000abcd.tmp")));
  EXPECT_FALSE(fs::exists(Path(".dz-0000abce.tmp")));
  EXPECT_TRUE(fs::exists(Path(".dz-0000abcf.tmp")));
  EXPECT_TRUE(fs::exists(Path(".dz-notmine.tmp")));
}
#endif

}  // namespace
}  // namespace tool_test
