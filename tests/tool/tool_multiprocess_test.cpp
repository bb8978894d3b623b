// Several processes of the tool on one medium at once: includes of
// correspondents whose UIDs cannot name a file (numbered pkN.pub names),
// removals, signatures and their verification, encryption, key listing and a
// repeated regeneration start. Afterwards every operation that reported
// success has its effect, no key is lost or doubled, and no verification or
// encryption failed for a key that was there throughout.
#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "tool_runner.h"

namespace tool_test {
namespace {

constexpr int kProcesses = 6;
#ifdef _WIN32
constexpr int kRounds = 4;  // every process start under Wine costs a fraction of a second
#else
constexpr int kRounds = 24;
#endif

struct Outcome {
  std::map<std::string, std::string> stored;  // UID -> its key's medium: the include reported success and stayed
  std::set<std::string> removed;  // UIDs whose removal reported success
  std::vector<std::string> ciphertexts;
  int operations = 0;
  std::vector<std::string> failures;
};

class MultiProcess : public ToolTest {
 protected:
  static std::string Uid(int worker, int round) {
    return "OOO \"W" + std::to_string(worker) + "-" + std::to_string(round) + "\"";
  }
  static std::string KeyDir(int worker, int round) { return "k" + std::to_string(worker) + "_" + std::to_string(round); }
  // Every process has its own key of one shared correspondent and stores
  // it again and again: each include replaces another process's key.
  static std::string SharedDir(int worker) { return "shared" + std::to_string(worker); }
  static constexpr char kShared[] = "OOO \"Shared\"";

  // One process of the test: its own correspondents, the shared medium "bank".
  void Worker(int w, Outcome& out) {
    const auto expect = [&](const Result& r, const std::string& what) {
      ++out.operations;
      if (r.rc != 0) out.failures.push_back(what + ": " + r.err);
      return r.rc == 0;
    };
    const std::string order = "order" + std::to_string(w) + ".txt";
    for (int i = 0; i < kRounds; ++i) {
      const std::string uid = Uid(w, i);
      if (expect(On("bank", {"key", "include", KeyDir(w, i) + "/self.pub"}), "include " + uid))
        out.stored[uid] = KeyDir(w, i);
      expect(On("bank", {"key", "include", SharedDir(w) + "/self.pub"}), "include the shared correspondent");
      expect(On("bank", {"verify", "order.txt", "order.sig", "--signer", "Alice"}), "verify Alice's order");
      const std::string sig = order + "." + std::to_string(i) + ".sig";
      if (expect(On("bank", {"sign", order, "-o", sig}), "sign"))
        expect(On("bank", {"verify", order, sig, "--signer", "Bank"}), "verify the bank's own signature");
      const std::string enc = order + "." + std::to_string(i) + ".enc";
      if (expect(On("bank", {"encrypt", order, "--to", "Alice", "-o", enc}), "encrypt for Alice"))
        out.ciphertexts.push_back(enc);
      expect(On("bank", {"key", "list"}), "key list");
      if (i % 3 == 2 && expect(On("bank", {"key", "remove", Uid(w, i - 1)}), "remove " + Uid(w, i - 1))) {
        out.stored.erase(Uid(w, i - 1));
        out.removed.insert(Uid(w, i - 1));
      }
      if (w == 0) expect(On("bank", {"regen", "start", "--force"}), "regen start");
    }
  }
};

TEST_F(MultiProcess, MixedOperationsLoseNothing) {
  TwoParties();
  fs::create_directories(Path("bank/REGEN"));
  WriteText(Path("order.txt"), "Payment order 42\n");
  ASSERT_EQ(On("alice", {"sign", "order.txt", "-o", "order.sig"}).rc, 0);
  for (int w = 0; w < kProcesses; ++w) {
    WriteText(Path("order" + std::to_string(w) + ".txt"), "Statement " + std::to_string(w) + "\n");
    for (int i = 0; i < kRounds; ++i) ASSERT_NO_FATAL_FAILURE(MakeMedium(KeyDir(w, i), Uid(w, i)));
    ASSERT_NO_FATAL_FAILURE(MakeMedium(SharedDir(w), kShared));
  }

  std::vector<Outcome> outcomes(kProcesses);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int w = 0; w < kProcesses; ++w) workers.emplace_back([this, w, &outcomes] { Worker(w, outcomes[static_cast<size_t>(w)]); });
  for (std::thread& t : workers) t.join();
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // Every include that succeeded and was not undone is there, once, with
  // its own key; every removal holds.
  const Json list = JsonOf(On("bank", {"key", "list", "--json"}));
  std::multiset<std::string> listed;
  std::map<std::string, std::string> fingerprints;
  for (const Json& key : list["keys"].items) {
    listed.insert(key["uid"].text);
    fingerprints[key["uid"].text] = key["fingerprint"].text;
  }
  EXPECT_TRUE(list["damaged"].items.empty());
  int operations = 0, violations = 0;
  for (int w = 0; w < kProcesses; ++w) {
    const Outcome& o = outcomes[static_cast<size_t>(w)];
    operations += o.operations;
    violations += static_cast<int>(o.failures.size());
    for (const std::string& f : o.failures) ADD_FAILURE() << "process " << w << ": " << f;
    for (const auto& [uid, medium] : o.stored) {
      const bool kept = listed.count(uid) == 1 &&
                        fingerprints[uid] == JsonOf(On(medium, {"whoami", "--json"}))["fingerprint"].text;
      EXPECT_TRUE(kept) << uid << " stored " << listed.count(uid) << " times";
      violations += !kept;
    }
    for (const std::string& uid : o.removed) {
      EXPECT_EQ(listed.count(uid), 0u) << uid;
      violations += listed.count(uid) != 0;
    }
    // What was encrypted for Alice opens there.
    for (const std::string& enc : o.ciphertexts) {
      const Result r = On("alice", {"decrypt", enc, "-o", enc + ".txt"});
      EXPECT_EQ(r.rc, 0) << r;
      violations += r.rc != 0;
    }
  }
  // The shared correspondent: exactly one key, one of those stored.
  std::set<std::string> sharedKeys;
  for (int w = 0; w < kProcesses; ++w) sharedKeys.insert(JsonOf(On(SharedDir(w), {"whoami", "--json"}))["fingerprint"].text);
  const bool sharedWhole = listed.count(kShared) == 1 && sharedKeys.count(fingerprints[kShared]) == 1;
  EXPECT_TRUE(sharedWhole) << listed.count(kShared);
  violations += !sharedWhole;

  // The pending regeneration the starts left is whole: it finishes.
  const std::string pending = JsonOf(On("bank", {"key", "report", "--json"}))["uid"].text;
  fs::copy_file(Path("bank/REGEN/new.pub"), Path("pending.pub"));
  ASSERT_EQ(On("alice", {"key", "include", "pending.pub"}).rc, 0);
  WriteText(Path("answer.tr"), On("alice", {"key", "export", pending}).out);
  const Result finished = On("bank", {"regen", "finish", "answer.tr", "--from", "Alice"});
  EXPECT_EQ(finished.rc, 0) << finished;
  std::printf("multi-process: %d processes, %d operations in %.1f s, %d violations\n", kProcesses, operations,
              seconds, violations);
}

}  // namespace
}  // namespace tool_test
