// Environment variables.
#include <gtest/gtest.h>

#include <unistd.h>

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

TEST(EnvTest, RefusesInvalidNames) {
  EXPECT_FALSE(SetEnvVar("", "x"));
  EXPECT_FALSE(SetEnvVar("A=B", "x"));
  EXPECT_EQ(GetEnvVar(""), "");
}

}  // namespace
}  // namespace dizora::platform
