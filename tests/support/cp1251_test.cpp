// Windows-1251 <-> UTF-8 / UTF-16.
#include <gtest/gtest.h>

#include <string>

#include "support/cp1251.h"

namespace dizora {
namespace {

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

TEST(Cp1251Test, KnownCharacters) {
  EXPECT_EQ(Cp1251ToCodePoint(0x41), U'A');
  EXPECT_EQ(Cp1251ToCodePoint(0xC0), U'А');
  EXPECT_EQ(Cp1251ToCodePoint(0xFF), U'я');
  EXPECT_EQ(Cp1251ToCodePoint(0xA8), U'Ё');
  EXPECT_EQ(Cp1251ToCodePoint(0xB8), U'ё');
  EXPECT_EQ(Cp1251ToCodePoint(0xB9), U'№');
  EXPECT_EQ(Cp1251ToCodePoint(0x88), U'€');
  EXPECT_EQ(Cp1251ToCodePoint(0x98), U'\u0098');
  EXPECT_EQ(Cp1251ToUtf8("\xcf\xf0\xe8\xe2\xe5\xf2, \xb9 1"), "Привет, № 1");
  EXPECT_EQ(Utf8ToCp1251("Ключ ёЁ"), "\xca\xeb\xfe\xf7 \xb8\xa8");
}

TEST(Cp1251Test, EveryByteRoundTrips) {
  const std::string bytes = AllBytes();
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(bytes)), bytes);
  const std::u16string wide = Cp1251ToUtf16(bytes);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(Utf16ToCp1251(wide), bytes);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(CodePointToCp1251(Cp1251ToCodePoint(static_cast<unsigned char>(b))), b);
  }
}

TEST(Cp1251Test, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
  EXPECT_EQ(Utf8ToCp1251("😀"), "?");
  EXPECT_EQ(Utf16ToCp1251(u"x\U0001F600y"), "x?y");  // a surrogate pair is one character
  EXPECT_EQ(Utf16ToCp1251(std::u16string(1, char16_t(0xD800))), "?");
  EXPECT_EQ(Utf16ToCp1251(std::u16string(1, char16_t(0xDC00)) + u"z"), "?z");
  EXPECT_EQ(CodePointToCp1251(0x4E2D), '?');
}

TEST(Cp1251Test, MalformedUtf8NeverReadsPastTheEnd) {
  EXPECT_EQ(Utf8ToCp1251("\xff"), "?");
  EXPECT_EQ(Utf8ToCp1251("\xd0"), "?");             // truncated two-byte sequence
  EXPECT_EQ(Utf8ToCp1251("\xe2\x82"), "?");         // truncated three-byte sequence
  EXPECT_EQ(Utf8ToCp1251("\xc0\x80"), "??");        // overlong NUL
  EXPECT_EQ(Utf8ToCp1251("\xed\xa0\x80"), "?");     // encoded surrogate
  EXPECT_EQ(Utf8ToCp1251("\xd0\x41"), "?A");        // lead without continuation
  EXPECT_EQ(Utf8ToCp1251(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace dizora
