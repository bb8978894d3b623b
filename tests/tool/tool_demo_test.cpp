// The demo, and the installed package used by a C host.
#include "tool_runner.h"

namespace tool_test {
namespace {

size_t CountLines(const std::string& text, const std::string& start) {
  size_t n = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (text.compare(at, start.size(), start) == 0) ++n;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return n;
}

TEST_F(ToolTest, DemoRunsEveryStep) {
  for (const char* alg : {"2001", "1994"}) {
    const std::string dir = std::string("demo") + alg;
    const Result r = Run({"demo", "--dir", dir, "--alg", alg});
    ASSERT_EQ(r.rc, 0) << r;
    EXPECT_EQ(CountLines(r.out, "["), 21u) << r;
    EXPECT_EQ(r.out.find("FAIL"), std::string::npos) << r;
    EXPECT_TRUE(Contains(r.out, "demo passed: 21 of 21 steps")) << r;
    EXPECT_TRUE(Contains(r.out, "5 Подпись проверена, результат проверки отрицательный.")) << r;
    EXPECT_TRUE(fs::exists(Path(dir) / "client" / "old.sec"));
  }
  // A directory with something in it is not a fresh one.
  const Result r = Run({"demo", "--dir", "demo2001"});
  EXPECT_EQ(r.rc, 2) << r;
}

// Installs into a temporary prefix, builds a C host against the installed
// header with pkg-config and runs it; the engine finds libcrypt.dll beside it.
TEST(Install, CHostBuildsWithPkgConfigAndRuns) {
  TempDir prefix;
  const fs::path build = fs::path(DZ_BIN_DIR).parent_path();
  const std::string log = (prefix.path() / "log").string();
  std::string cmd = Quote(DZ_CMAKE_COMMAND) + " --install " + Quote(build.string()) + " --prefix " +
                    Quote((prefix.path() / "p").string()) + " >" + Quote(log) + " 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << ReadText(log);
  const fs::path p = prefix.path() / "p";
  for (const char* f : {"lib/libdizora.so", "lib/libcrypt.dll", "include/dizora.h", "bin/dizora",
                        "lib/pkgconfig/dizora.pc", "lib/cmake/Dizora/DizoraConfig.cmake"})
    EXPECT_TRUE(fs::exists(p / f)) << f;

  WriteText(prefix.path() / "host.c",
            "#include <dizora.h>\n#include <stdio.h>\n#include <string.h>\n"
            "int main(void) {\n"
            "  DizoraEngine e = GetCryptObj(0);\n"
            "  char hex[80] = {0}; int32_t size = sizeof hex;\n"
            "  int32_t r = HashData(e, \"abc\", 3, 2, hex, &size);\n"
            "  printf(\"%d %d %s\\n\", (int)GetCryptoParamNumber(e), (int)r, hex);\n"
            "  DoneEngine(e);\n"
            "  return r == 0 && strlen(hex) == 64 ? 0 : 1;\n"
            "}\n");
  const std::string host = (prefix.path() / "host").string();
  cmd = "PKG_CONFIG_PATH=" + Quote((p / "lib/pkgconfig").string()) + " sh -c " +
        Quote(Quote(DZ_C_COMPILER) + " " + DZ_HOST_FLAGS + " " + Quote((prefix.path() / "host.c").string()) +
              " -o " + Quote(host) + " $(pkg-config --cflags --libs dizora) -Wl,-rpath," +
              Quote((p / "lib").string())) +
        " >" + Quote(log) + " 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd << "\n" << ReadText(log);
  ASSERT_EQ(std::system((Quote(host) + " >" + Quote(log) + " 2>&1").c_str()), 0) << ReadText(log);
  const std::string out = ReadText(log);
  EXPECT_EQ(out.substr(0, 5), "13 0 ") << out;

  // The installed tool runs too (its rpath points at the installed library).
  const std::string tool_log = (prefix.path() / "tool").string();
  ASSERT_EQ(std::system((Quote((p / "bin/dizora").string()) + " hash " + Quote((prefix.path() / "host.c").string()) +
                         " >" + Quote(tool_log) + " 2>&1").c_str()),
            0)
      << ReadText(tool_log);
  EXPECT_EQ(ReadText(tool_log).size(), 65u);
}

}  // namespace
}  // namespace tool_test
