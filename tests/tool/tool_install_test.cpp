// The demo, and the installed package: a C host built with pkg-config and run
// from a private prefix, the versioned library, the tool, its man page and
// its completion.
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
  EXPECT_EQ(Run({"demo", "--dir", "demo2001"}).rc, 2);  // not a fresh directory
}

#ifndef _WIN32
const char kHost[] =
    "#include <dizora.h>\n#include <stdio.h>\n#include <string.h>\n"
    "int main(void) {\n"
    "  DizoraEngine e = GetCryptObj(0);\n"
    "  char hex[80] = {0}; int32_t size = sizeof hex;\n"
    "  int32_t r = HashData(e, \"abc\", 3, 2, hex, &size);\n"
    "  printf(\"%d %d %s\\n\", (int)GetCryptoParamNumber(e), (int)r, hex);\n"
    "  DoneEngine(e);\n"
    "  return r == 0 && strlen(hex) == 64 ? 0 : 1;\n"
    "}\n";

// Installs into a temporary prefix outside the loader's path and runs a C
// host built with pkg-config from there; the engine finds libcrypt.dll beside it.
TEST(Install, PkgConfigHostRunsFromAPrivatePrefix) {
  TempDir t;
  const fs::path p = t.path() / "p";
  const fs::path build = SelfDirectory().parent_path();
  Result r = Spawn(DZ_CMAKE_COMMAND, {"--install", build.string(), "--prefix", p.string()}, t.path());
  ASSERT_EQ(r.rc, 0) << r;
  for (const char* f : {"lib/libcrypt.dll", "include/dizora.h", "bin/dizora", "lib/pkgconfig/dizora.pc",
                        "lib/cmake/Dizora/DizoraConfig.cmake", "share/man/man1/dizora.1",
                        "share/bash-completion/completions/dizora"})
    EXPECT_TRUE(fs::exists(p / f)) << f;
  EXPECT_EQ(fs::read_symlink(p / "lib/libdizora.so"), "libdizora.so.0");
  EXPECT_EQ(fs::read_symlink(p / "lib/libdizora.so.0"), "libdizora.so.0.1.0");
  EXPECT_EQ(ReadText(p / "share/man/man1/dizora.1"), ReadText(build / "share/man/man1/dizora.1"));

  WriteText(t.path() / "host.c", kHost);
  const Environment pkg_config = {{"PKG_CONFIG_PATH", (p / "lib/pkgconfig").string()}};
  const std::string compile = std::string(DZ_C_COMPILER) + " " + DZ_HOST_FLAGS + " host.c $(pkg-config --cflags --libs dizora)";
  r = Spawn("/bin/sh", {"-c", compile + " -o host"}, t.path(), "", pkg_config);
  ASSERT_EQ(r.rc, 0) << r;
  r = Spawn("/bin/sh", {"-c", compile + " -Wl,-rpath," + (p / "lib").string() + " -o host-rpath"}, t.path(), "",
            pkg_config);
  ASSERT_EQ(r.rc, 0) << r;
  // The hosts need the versioned name only: without the development link
  // they still start, one through LD_LIBRARY_PATH, one through its rpath.
  fs::remove(p / "lib/libdizora.so");
  r = Spawn(t.path() / "host", {}, t.path(), "", {{"LD_LIBRARY_PATH", (p / "lib").string()}});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out.substr(0, 5), "13 0 ") << r;
  r = Spawn(t.path() / "host-rpath", {}, t.path());
  EXPECT_EQ(r.rc, 0) << r;

  // The installed tool runs too (its rpath points at the installed library).
  r = Spawn(p / "bin/dizora", {"hash", "host.c"}, t.path());
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out.size(), 65u) << r;
}
#endif

}  // namespace
}  // namespace tool_test
