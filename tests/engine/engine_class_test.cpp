// The Dizora-V engine class and the helpers it takes from the engine base
// class. (The base class's own bodies of the operations are overridden by
// the engine class; no export reaches them.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

}  // namespace
}  // namespace dizora
