// The Dizora-V engine class and the engine base class's own rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

#include "engine/crypto_c_engine.h"
#include "platform/path_style.h"

namespace dizora {
namespace {

const std::string D(1, platform::kPathDelimiter);

TEST(CryptoCEngine, EngineTypeIsNameAndThreeZeros) {
  TCryptoCEngine e;
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  e.GetCryptoEngineType(buf);
  EXPECT_EQ(std::memcmp(buf, "Dizora-V\0\0\0", 11), 0);
  EXPECT_EQ(buf[11], 'x');
}

TEST(CryptoEngineBase, ErrorStringOfTheBaseNamesTheCode) {
  // The base body, reached through a qualified call on a concrete engine.
  TCryptoCEngine e;
  char buf[300];
  std::memset(buf, 'x', sizeof buf);
  e.TCryptoEngine::GetCryptoErrorString(-5, buf);
  EXPECT_STREQ(buf, "CRYPTO ENGINE ERROR : -5");
  EXPECT_EQ(buf[254], '\0');
  EXPECT_EQ(buf[255], 'x');
}

TEST(CryptoEngineBase, AdditionExCountsSemicolonSeparatedItems) {
  TCryptoCEngine e;
  const int32_t one = e.TCryptoEngine::GetMaxAdditionEx("");
  EXPECT_EQ(one, e.GetMaxEncodeAddition());
  EXPECT_EQ(e.TCryptoEngine::GetMaxAdditionEx("A;B"), 2 * one);
  EXPECT_EQ(e.TCryptoEngine::GetMaxAdditionEx("A;"), 2 * one);
  EXPECT_EQ(e.TCryptoEngine::GetMaxAdditionEx(";;"), 3 * one);
}

TEST(CryptoEngineBase, CopyTextToBufferIsBounded) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_FALSE(TCryptoEngine::CopyTextToBuffer(nullptr, buf, 8));
  EXPECT_FALSE(TCryptoEngine::CopyTextToBuffer("a", nullptr, 8));
  EXPECT_FALSE(TCryptoEngine::CopyTextToBuffer("a", buf, 0));
  EXPECT_TRUE(TCryptoEngine::CopyTextToBuffer("abc", buf, 8));
  EXPECT_STREQ(buf, "abc");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_TRUE(TCryptoEngine::CopyTextToBuffer("abcdef", buf, 3));
  EXPECT_EQ(std::string(buf, 4), "abcx");  // no terminator when the text fills the capacity
}

TEST(CryptoEngineBase, RootPathAndRegenerationDirectoryGetADelimiter) {
  TCryptoCEngine e;
  e.AssignRootPath("");
  EXPECT_EQ(e.RootPath, "");
  e.AssignRootPath("root");
  EXPECT_EQ(e.RootPath, "root" + D);
  e.AssignRootPath("root" + D);
  EXPECT_EQ(e.RootPath, "root" + D);
#ifdef _WIN32
  EXPECT_EQ(e.ExpandRootPath("%ZRNRoot%self.pub"), "ROOT\\SELF.PUB");  // upper-cased where names ignore case
#else
  EXPECT_EQ(e.ExpandRootPath("%ZRNRoot%self.pub"), "root/self.pub");
#endif
  EXPECT_EQ(e.ExpandRootPath(nullptr), "");
  e.SetRemoteGeneratePath("");
  EXPECT_EQ(e.RemoteGeneratePath, "");
  e.SetRemoteGeneratePath("%ZRNRoot%regen");
#ifdef _WIN32
  EXPECT_EQ(e.RemoteGeneratePath, "ROOT\\REGEN\\");
#else
  EXPECT_EQ(e.RemoteGeneratePath, "root/regen/");
#endif
}

TEST(CryptoEngineBase, SaveSignedDataWritesDataThenSignature) {
  TCryptoCEngine e;
  const std::string path = ::testing::TempDir() + "dz_signed_" + std::to_string(::getpid());
  EXPECT_EQ(e.TCryptoEngine::SaveSignedDataToFile("data", 4, "sig", 3, nullptr), 0);
  EXPECT_EQ(e.TCryptoEngine::SaveSignedDataToFile("data", 0, "sig", 3, path.c_str()), 0);
  ASSERT_EQ(e.TCryptoEngine::SaveSignedDataToFile("data", 4, "sig", 3, path.c_str()), 0);
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  const size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(std::string(buf, n), "datasig");
  const std::string missing_dir = path + "_no_such_dir/x";
  EXPECT_EQ(e.TCryptoEngine::SaveSignedDataToFile("data", 4, "sig", 3, missing_dir.c_str()), -106);
}

TEST(CryptoEngineBase, UnimplementedOperationsRaise) {
  struct Bare : TCryptoEngine {};
  Bare b;
  char buf[16];
  EXPECT_THROW(b.GetCryptoEngineType(buf), std::exception);
  EXPECT_THROW(b.SignData("a", 1, buf, nullptr, 0), std::exception);
  EXPECT_THROW(b.VerifySignWOCheckValidity("a", 1, buf, 1, buf), std::exception);
}

}  // namespace
}  // namespace dizora
