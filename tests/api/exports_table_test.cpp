// The engine library exports exactly the functions of the public header.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <cctype>
#include <set>
#include <sstream>
#include <string>

extern "C" int dz_header_c_check(void);

namespace {

std::set<std::string> HeaderNames() {
  std::ifstream in(std::string(DZ_SOURCE_DIR) + "/include/dizora.h");
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  std::set<std::string> names;
  // "DIZORA_API", blanks, a name, "(". (No std::regex: GCC 12 with the
  // sanitizers warns inside <regex>, which -Werror turns into a failure.)
  const std::string marker = "DIZORA_API";
  const auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t at = s.find(marker); at != std::string::npos; at = s.find(marker, at + 1)) {
    size_t i = at + marker.size();
    const size_t blanks = i;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    const size_t first = i;
    while (i < s.size() && isName(s[i])) ++i;
    if (i > blanks && first > blanks && i > first && i < s.size() && s[i] == '(')
      names.insert(s.substr(first, i - first));
  }
  return names;
}

// Names of the defined dynamic symbols of a shared object, read with nm.
std::set<std::string> DynamicSymbols(const std::string& path) {
  std::set<std::string> names;
  const std::string cmd = "nm -D --defined-only '" + path + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    std::istringstream fields(line);
    std::string a, b, c;
    fields >> a >> b >> c;
    const std::string& name = c.empty() ? b : c;  // "addr type name" or "type name"
    if (!name.empty()) names.insert(name);
  }
  pclose(p);
  return names;
}

TEST(ExportTable, LibraryExportsExactlyTheHeaderNames) {
  const auto exported = DynamicSymbols(std::string(DZ_BIN_DIR) + "/libdizora.so");
  ASSERT_FALSE(exported.empty()) << "nm found no symbols";
  const auto expected = HeaderNames();
  for (const auto& name : expected) EXPECT_TRUE(exported.count(name)) << "not exported: " << name;
  for (const auto& name : exported) EXPECT_TRUE(expected.count(name)) << "exported but not in header: " << name;
}

TEST(ExportTable, HeaderCompilesAsC) { EXPECT_EQ(dz_header_c_check(), 8); }

}  // namespace
