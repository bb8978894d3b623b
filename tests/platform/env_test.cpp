// Environment variables.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>

#include "platform/env.h"

namespace dizora::platform {
namespace {

std::string UniqueName(const char* stem) { return std::string("DZ_ENV_TEST_") + stem + std::to_string(::getpid()); }

TEST(EnvTest, SetThenGetRoundTrips) {
  const std::string name = UniqueName("A");
  EXPECT_EQ(GetEnvVar(name), "");
  ASSERT_TRUE(SetEnvVar(name, "first;value"));
  EXPECT_EQ(GetEnvVar(name), "first;value");
  ASSERT_TRUE(SetEnvVar(name, "second"));
  EXPECT_EQ(GetEnvVar(name), "second");
  ASSERT_TRUE(SetEnvVar(name, ""));
  EXPECT_EQ(GetEnvVar(name), "");
}

#ifdef _WIN32
TEST(EnvTest, NamesIgnoreLetterCaseOnWindows) {
  const std::string name = UniqueName("Mixed");
  ASSERT_TRUE(SetEnvVar(name, "v"));
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(GetEnvVar(upper), "v");
  ASSERT_TRUE(SetEnvVar(name, ""));
}
#else
TEST(EnvTest, NamesAreCaseSensitiveOnPosix) {
  const std::string name = UniqueName("Mixed");
  ASSERT_TRUE(SetEnvVar(name, "v"));
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(GetEnvVar(upper), "");
}
#endif

TEST(EnvTest, RefusesInvalidNames) {
  EXPECT_FALSE(SetEnvVar("", "x"));
  EXPECT_FALSE(SetEnvVar("A=B", "x"));
  EXPECT_EQ(GetEnvVar(""), "");
}

}  // namespace
}  // namespace dizora::platform
