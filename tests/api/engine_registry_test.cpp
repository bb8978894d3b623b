// The engine's settings snapshot, the process-wide registry of binding
// objects and the common frame, observed through the exported functions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/test_sync.h"
#include "engine_test_util.h"

#include <memory>

namespace dz_api_test {
namespace {

constexpr char kFaultVariable[] = "DZ_TEST_RAISE_IN";
constexpr char kChildVariable[] = "DZ_REGISTRY_CHILD";

// Hides a file for the scope (renamed next to itself) and puts it back.
class HiddenFile {
 public:
  explicit HiddenFile(std::string path) : path_(std::move(path)) { fs::rename(path_, path_ + ".away"); }
  ~HiddenFile() { fs::rename(path_ + ".away", path_); }
  HiddenFile(const HiddenFile&) = delete;
  HiddenFile& operator=(const HiddenFile&) = delete;

 private:
  std::string path_;
};

// The test seam of the common frame: the named operation raises inside its guard.
class RaiseIn {
 public:
  explicit RaiseIn(const char* operation) { setenv(kFaultVariable, operation, 1); }
  ~RaiseIn() { unsetenv(kFaultVariable); }
  RaiseIn(const RaiseIn&) = delete;
  RaiseIn& operator=(const RaiseIn&) = delete;
};

int32_t Sign(const Engine& e, const Bytes& data) {
  std::array<uint8_t, 319> sig{};
  int32_t sig_size = 0;
  return SignData(e, data.data(), static_cast<int32_t>(data.size()), sig.data(), &sig_size, 0);
}

int32_t Hash(const Engine& e, const Bytes& data) {
  std::array<uint8_t, 32> hash{};
  int32_t size = static_cast<int32_t>(hash.size());
  return HashData(e, data.data(), static_cast<int32_t>(data.size()), 0, hash.data(), &size);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(BindingRegistry, EnginesWithTheSameKeyPathsShareOneBinding) {
  Engine a;
  Medium m;
  ASSERT_NO_FATAL_FAILURE(MakeMedium(a, m, "Shared", "2001"));
  const Bytes data = PatternBytes(100);
  ASSERT_EQ(Sign(a, data), 0);  // loads the secret key into the binding

  HiddenFile hidden(m.sec);
  Engine b;
  m.Configure(b);
  // b reaches the binding a loaded the key into: no file needed.
  EXPECT_EQ(Sign(b, data), 0);
  // The same file under another name is another registry key, another binding,
  // which has to read the (now missing) file.
  b.Set(kSecretKey, m.dir / "./self.sec");
  EXPECT_EQ(Sign(b, data), -10);
#ifdef _WIN32
  // File names ignore letter case here, and so do registry keys: another
  // case is the same file and the same binding.
  b.Set(kSecretKey, m.dir / "SELF.SEC");
  EXPECT_EQ(Sign(b, data), 0);
#else
  // File names distinguish letter case here, so neither may keys: another
  // case is another file and another binding.
  b.Set(kSecretKey, m.dir / "SELF.SEC");
  EXPECT_EQ(Sign(b, data), -10);
#endif
  // Back to the shared spelling: the loaded key again.
  b.Set(kSecretKey, m.sec);
  EXPECT_EQ(Sign(b, data), 0);
}

// Engines started together on paths no binding has yet: the first lookups and
// the creation race in the registry (run under the sanitizers). Afterwards the
// loaded key serves every engine without the file.
TEST(BindingRegistry, ConcurrentFirstUseCreatesOneBinding) {
  Medium m;
  {
    Engine maker;
    ASSERT_NO_FATAL_FAILURE(MakeMedium(maker, m, "Crowd", "2001"));
  }
  // A fresh spelling of the paths, used by no earlier test: the binding is new.
  const std::string pub = m.dir / "./self.pub";
  constexpr int kThreads = 4;
  std::vector<std::unique_ptr<Engine>> engines;
  for (int i = 0; i < kThreads; ++i) {
    engines.push_back(std::make_unique<Engine>());
    m.Configure(*engines.back());
    engines.back()->Set(kPublicKey, pub);
  }
  const Bytes data = PatternBytes(2000);
  dz_test::Barrier start(kThreads);
  std::vector<int32_t> results(kThreads, 1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      EXPECT_TRUE(start.ArriveAndWait());
      results[static_cast<size_t>(i)] = Sign(*engines[static_cast<size_t>(i)], data);
    });
  }
  for (auto& t : threads) t.join();
  for (int32_t r : results) EXPECT_EQ(r, 0);

  HiddenFile hidden(m.sec);
  for (const auto& e : engines) EXPECT_EQ(Sign(*e, data), 0);
}

TEST(BindingRegistry, ClearCashOnOneEngineDropsTheKeysOfAnother) {
  Engine a, other;
  Medium m, n;
  ASSERT_NO_FATAL_FAILURE(MakeMedium(a, m, "First", "2001"));
  ASSERT_NO_FATAL_FAILURE(MakeMedium(other, n, "Second", "1994"));
  const Bytes data = PatternBytes(64);
  ASSERT_EQ(Sign(a, data), 0);
  {
    HiddenFile hidden(m.sec);
    ASSERT_EQ(Sign(a, data), 0);  // still in memory
    ClearCash(other);
    EXPECT_EQ(Sign(a, data), -10);  // dropped: a must read the file again
  }
  EXPECT_EQ(Sign(a, data), 0);  // loaded again from the restored file
}

TEST(KeySettings, NonIntegerTimeOutStopsKeyOperationsOnly) {
  Engine e;
  Medium m;
  ASSERT_NO_FATAL_FAILURE(MakeMedium(e, m, "Timer", "2001"));
  const Bytes data = PatternBytes(40);
  for (int32_t index : {kKeyRequestTimeOut, kLastOpTimeOut}) {
    SCOPED_TRACE(index);
    e.Set(index, "ten");  // accepted as text
    EXPECT_EQ(e.Get(index), "ten");
    std::array<char, 256> uid{};
    std::array<uint8_t, 319> sig{};
    int32_t sig_size = 0;
    EXPECT_EQ(SignData(e, data.data(), 40, sig.data(), &sig_size, 0), -13);
    EXPECT_EQ(VerifyData(e, data.data(), 40, sig.data(), 70, uid.data()), -13);
    Bytes buf(data);
    buf.resize(40 + 30579);
    int32_t size = 40;
    EXPECT_EQ(EncodeData(e, buf.data(), &size, "Timer"), -13);
    EXPECT_EQ(DecodeData(e, buf.data(), &size, 0), -13);
    EXPECT_EQ(size, 40);
    EXPECT_EQ(GetCurrentUserUID(e, uid.data()), -13);
    EXPECT_EQ(IncludePublicKey(e, m.pub.c_str()), -13);
    EXPECT_EQ(RemoveCertificate(e, "Timer"), -13);
    EXPECT_EQ(UpdateCertificateCash(e, "Timer"), -13);
    EXPECT_EQ(AddSign(e, buf.data(), &size, 0), -13);
    EXPECT_EQ(size, 40);
    // Operations without a key keep working.
    EXPECT_EQ(Hash(e, data), 0);
    EXPECT_EQ(GetMaxEncodeAddition(e), 30579);
    EXPECT_EQ(GetMaxAdditionEx(e, "a;b"), 885);
    EXPECT_EQ(GenerateNewSEK(e), 0);
    // An empty time-out stands for its default.
    e.Set(index, "");
    EXPECT_EQ(Sign(e, data), 0);
    e.Set(index, " 12");
    EXPECT_EQ(Sign(e, data), 0);
    e.Set(index, "12 ");
    EXPECT_EQ(Sign(e, data), -13);
    e.Set(index, "99999999999");
    EXPECT_EQ(Sign(e, data), -13);
    e.Set(index, "86400");
  }
}

TEST(CommonFrame, AnExceptionGivesMinusThreeAndTheLastErrorText) {
#ifndef DZ_TEST_SEAMS
  GTEST_SKIP() << "the fault seam is compiled into test builds only (-DDZ_TEST_SEAMS=ON)";
#endif
  Engine e;
  Medium m;
  ASSERT_NO_FATAL_FAILURE(MakeMedium(e, m, "Faulty", "2001"));
  const std::string plain_message = e.ErrorText(-3);
  const Bytes data = PatternBytes(16);
  {
    RaiseIn fault("SignData");
    EXPECT_EQ(Sign(e, data), -3);
    EXPECT_EQ(Hash(e, data), 0);  // other operations are not affected
  }
  const std::string text = e.ErrorText(-3);
  EXPECT_EQ(text, plain_message + "TCryptoCEngine.SignData: Exception: Fault raised for testing");
  EXPECT_EQ(Sign(e, data), 0);

  {
    RaiseIn fault("HashData");
    EXPECT_EQ(Hash(e, data), -3);
  }
  EXPECT_TRUE(EndsWith(e.ErrorText(-3), "TCryptoCEngine.HashData: Exception: Fault raised for testing"));

  // The size queries answer -1 and keep the text too.
  {
    RaiseIn fault("GetMaxEncodeAddition");
    EXPECT_EQ(GetMaxEncodeAddition(e), -1);
  }
  EXPECT_TRUE(EndsWith(e.ErrorText(-3), "TCryptoCEngine.GetMaxEncodeAddition: Exception: Fault raised for testing"));

  // ClearCash has no result: the text is all that tells.
  {
    RaiseIn fault("ResetAllKeys");
    ClearCash(e);
  }
  EXPECT_TRUE(EndsWith(e.ErrorText(-3), "TCryptoCEngine.ResetAllKeys: Exception: Fault raised for testing"));

  // The text belongs to the engine that failed.
  Engine fresh;
  EXPECT_EQ(fresh.ErrorText(-3), plain_message);
}

// ---- The library missing or incomplete, in a child process ---------------------
//
// The library is loaded once per process, so these cases run in a copy of this
// program placed, with a copy of the engine library, in a directory without
// libcrypt.dll; the child then supplies the library itself.

TEST(BindingRegistry, LibraryMissingOrIncompleteInAChildProcess) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "parent of the child runs";
  for (const std::string mode : {"absent", "incomplete"}) {
    SCOPED_TRACE(mode);
    TempDir d;
    fs::copy_file(fs::read_symlink("/proc/self/exe"), d / "test_api");
    // Under its SONAME, the name the program asks the loader for.
    fs::copy_file(std::string(DZ_BIN_DIR) + "/libdizora.so.0", d / "libdizora.so.0");
    const std::string out = d / "child.txt";
    const std::string command = "cd '" + d.str() + "' && " + kChildVariable + "=" + mode +
                                " LD_LIBRARY_PATH='" + d.str() + "' ./test_api --gtest_filter='RegistryChild.*' > '" +
                                out + "' 2>&1";
    const int rc = std::system(command.c_str());
    const Bytes log = ReadFileBytes(out);
    const std::string text(log.begin(), log.end());
    EXPECT_EQ(rc, 0) << text;
    EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
  }
}

TEST(RegistryChild, OperationsFailUntilAUsableLibraryAppears) {
  const char* mode_text = std::getenv(kChildVariable);
  if (mode_text == nullptr) GTEST_SKIP() << "runs only in the child process";
  const std::string mode = mode_text;
  const std::string own_dir = fs::read_symlink("/proc/self/exe").parent_path().string();
  const std::string library = own_dir + "/libcrypt.dll";
  ASSERT_FALSE(Exists(library));
  if (mode == "incomplete")
    fs::copy_file(std::string(DZ_BIN_DIR) + "/libcrypt_incomplete.dll", library);
  const int32_t expected = mode == "absent" ? -29 : -30;

  Engine e;
  TempDir d;
  e.Set(kPublicKey, d / "self.pub");
  e.Set(kSecretKey, d / "self.sec");
  const Bytes data = PatternBytes(10);
  for (int attempt = 0; attempt < 2; ++attempt) {  // the failure is not remembered
    EXPECT_EQ(Hash(e, data), expected);
    EXPECT_EQ(Sign(e, data), expected);
    std::array<char, 256> uid{};
    EXPECT_EQ(GetCurrentUserUID(e, uid.data()), expected);
    EXPECT_EQ(GetMaxEncodeAddition(e), -1);
    EXPECT_EQ(GetMaxAdditionEx(e, nullptr), -1);
  }
  if (mode == "absent") {
    fs::copy_file(std::string(DZ_BIN_DIR) + "/libcrypt.dll", library);
    EXPECT_EQ(Hash(e, data), 0);
    EXPECT_EQ(GetMaxEncodeAddition(e), 30579);
  }
}

}  // namespace
}  // namespace dz_api_test
