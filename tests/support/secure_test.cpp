#include "support/secure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

using dizora::support::SecureBuffer;
using dizora::support::WipeMemory;

bool AllZero(const std::uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

TEST(WipeMemory, ZeroesExactlyTheRange) {
  std::uint8_t bytes[8];
  std::memset(bytes, 0xAA, sizeof bytes);
  WipeMemory(bytes + 2, 4);
  EXPECT_EQ(bytes[1], 0xAA);
  EXPECT_TRUE(AllZero(bytes + 2, 4));
  EXPECT_EQ(bytes[6], 0xAA);
  WipeMemory(nullptr, 16);  // allowed, does nothing
}

TEST(SecureBuffer, StartsZeroedAndCopies) {
  SecureBuffer zero(164);
  ASSERT_EQ(zero.size(), 164u);
  EXPECT_TRUE(AllZero(zero.data(), zero.size()));
  const char key[] = "secret";
  SecureBuffer copy(key, 6);
  EXPECT_EQ(std::memcmp(copy.data(), key, 6), 0);
  copy.Wipe();
  EXPECT_EQ(copy.size(), 6u);
  EXPECT_TRUE(AllZero(copy.data(), copy.size()));
  EXPECT_TRUE(SecureBuffer(0).empty());
}

TEST(SecureBuffer, MoveTransfersOwnership) {
  SecureBuffer a("abc", 3);
  const std::uint8_t* memory = a.data();
  SecureBuffer b(std::move(a));
  EXPECT_EQ(b.data(), memory);
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.data(), nullptr);
  SecureBuffer c(10);
  c = std::move(b);
  EXPECT_EQ(c.data(), memory);
  EXPECT_EQ(c.size(), 3u);
  c.Reset();
  EXPECT_TRUE(c.empty());
  EXPECT_EQ(c.data(), nullptr);
}

TEST(ConstantTimeEqual, SeesADifferenceAtEveryPosition) {
  const std::uint8_t mac[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_TRUE(dizora::support::ConstantTimeEqual(mac, mac, sizeof mac));
  for (std::size_t i = 0; i < sizeof mac; ++i) {
    std::uint8_t other[8];
    std::memcpy(other, mac, sizeof mac);
    other[i] ^= 0x80;
    EXPECT_FALSE(dizora::support::ConstantTimeEqual(mac, other, sizeof mac)) << "byte " << i;
    EXPECT_TRUE(dizora::support::ConstantTimeEqual(mac, other, i)) << "only the first " << i << " bytes count";
  }
}

}  // namespace
