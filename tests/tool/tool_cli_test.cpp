// The command line itself: usage errors, exit codes, settings, messages in UTF-8.
#include "tool_runner.h"

namespace tool_test {
namespace {

TEST_F(ToolTest, HelpVersionAndUsageErrors) {
  Result r = Run({"--help"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(Contains(r.out, "regen start")) << r;
  r = Run({"--version"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out.rfind("dizora ", 0), 0u) << r;

  const std::vector<std::vector<std::string>> usage_errors = {
      {},
      {"frobnicate"},
      {"sign"},
      {"sign", "a", "b"},
      {"sign", "--bogus", "a"},
      {"verify", "a"},
      {"hash", "a", "--form", "octal"},
      {"--set", "no equals sign", "settings"},
      {"--set", "No Such Setting=1", "settings"},
      {"--medium"},
      {"--medium", "no-such-dir", "whoami"},
      {"key"},
      {"key", "frob"},
      {"key", "report", "X", "--file", "y"},
      {"regen", "later"},
      {"medium", "make", "x.pub"},
      {"error", "twelve"},
      {"keygen", "--alg", "2012"},
      {"demo", "--alg", "2012"},
      {"--medium", ".", "demo"},
  };
  for (const auto& args : usage_errors) {
    r = Run(args);
    EXPECT_EQ(r.rc, 2) << ::testing::PrintToString(args) << "\n" << r;
    EXPECT_TRUE(r.out.empty()) << r;
    EXPECT_TRUE(Contains(r.err, "dizora: ")) << r;
  }
}

// Engine messages are Windows-1251; the tool shows them in UTF-8.
TEST_F(ToolTest, ErrorCodesInUtf8) {
  Result r = Run({"error", "-13"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out,
            "-13: Неверно заданы числовые параметры. Параметры \"Encrypt Method\",\"Key request time out\" и "
            "\"Last operation key time out\" должны быть целыми положительными числами.\n");
  r = Run({"error", "0"});
  EXPECT_EQ(r.out, "0: Завершение без ошибок.\n");
  r = Run({"error", "99"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "no such result code")) << r;
}

TEST_F(ToolTest, SettingsShowValuesKindsAndTheToolsHashDefault) {
  Result r = Run({"settings"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 13) << r;
  EXPECT_TRUE(Contains(r.out, "Hash method                  = \"GOST\"")) << r;
  EXPECT_TRUE(Contains(r.out, "1994 | 2001")) << r;
  EXPECT_TRUE(Contains(r.out, "(kind 10 file: *.pub)")) << r;

  // A user's own choice wins; texts go in as UTF-8 and come back unchanged.
  r = Run({"--set", "Hash method=OLD_FORMAT", "--set", "Key gen - UID=Пользователь", "settings"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Contains(r.out, "Hash method                  = \"OLD_FORMAT\"")) << r;
  EXPECT_TRUE(Contains(r.out, "= \"Пользователь\"")) << r;
}

// A setting the engine refuses when it reads it ends with its code and message.
TEST_F(ToolTest, EngineFailureIsExitOneWithCodeAndMessage) {
  MakeMedium("alice", "Alice");
  WriteText(Path("data"), "x");
  // Global options come before the command only.
  const Result r = On("alice", {"sign", "data", "--set", "Key request time out=soon"});
  EXPECT_EQ(r.rc, 2) << r;
  const Result s = On("alice", {"--set", "Key request time out=soon", "sign", "data"});
  EXPECT_EQ(s.rc, 1) << s;
  EXPECT_TRUE(Contains(s.err, "SignData failed: -13: Неверно заданы числовые параметры")) << s;
  EXPECT_FALSE(fs::exists(Path("data.sig")));
}

}  // namespace
}  // namespace tool_test
