#include "support/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace dizora::support;

std::string Encode(const std::string& bytes) {
  std::unique_ptr<char[]> text;
  std::int32_t length = -1;
  EncodeBase64(bytes.data(), static_cast<std::int32_t>(bytes.size()), text, length);
  if (!text) {
    EXPECT_EQ(length, 0);
    return "<null>";
  }
  return std::string(text.get(), static_cast<std::size_t>(length));
}

std::string Decode(const std::string& text) {
  std::unique_ptr<std::uint8_t[]> data;
  std::int32_t length = -1;
  DecodeBase64(text.data(), static_cast<std::int32_t>(text.size()), data, length);
  if (!data) {
    EXPECT_EQ(length, 0);
    return "<null>";
  }
  return std::string(reinterpret_cast<const char*>(data.get()), static_cast<std::size_t>(length));
}

TEST(Base64, EncodesRfc4648Vectors) {
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode("fo"), "Zm8=");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  EXPECT_EQ(Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
  EXPECT_EQ(Encode(std::string("\0\0\0", 3)), "AAAA");
}

TEST(Base64, EncodeOfNothingIsNull) {
  std::unique_ptr<char[]> text(new char[4]);
  std::int32_t length = 7;
  EncodeBase64(nullptr, 5, text, length);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(length, 0);
  const char byte = 'x';
  length = 7;
  EncodeBase64(&byte, 0, text, length);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(length, 0);
  EncodeBase64(&byte, -3, text, length);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(length, 0);
}

TEST(Base64, DecodeRejectsLengthsThatAreNotMultiplesOfFour) {
  EXPECT_EQ(Decode("Zm9v\r\n"), "<null>");
  EXPECT_EQ(Decode("Zm9"), "<null>");
  EXPECT_EQ(Decode(""), "<null>");
  std::unique_ptr<std::uint8_t[]> data;
  std::int32_t length = 9;
  DecodeBase64(nullptr, 4, data, length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0);
  DecodeBase64("Zm9v", -4, data, length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0);
}

TEST(Base64, DecodeSkipsForeignCharactersAndStopsAtPadding) {
  EXPECT_EQ(Decode("Zm9v\r\nYmFy\r\n"), "foobar");  // 12 characters, four skipped
  EXPECT_EQ(Decode("Zm 9v YmFy  "), "foobar");
  EXPECT_EQ(Decode("Zg==Zm9v"), "f");
  EXPECT_EQ(Decode("Zm8=!!!!"), "fo");
  EXPECT_EQ(Decode("Zh=="), "f");  // low bits of the last group are dropped unchecked
  EXPECT_EQ(Decode("===="), "<null>");
  EXPECT_EQ(Decode("A==="), "<null>");
  EXPECT_EQ(Decode("Zm9vA==="), "foo");
  EXPECT_EQ(Decode(" \r\n*"), "<null>");
  EXPECT_EQ(Decode(std::string("Zg\0=", 4)), "f");
}

TEST(Base64, RoundTripReturnsExactLengthBuffers) {
  std::mt19937 rng(12345);
  for (int size = 1; size <= 200; ++size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    const std::string text = Encode(bytes);
    ASSERT_EQ(text.size(), static_cast<std::size_t>((size + 2) / 3 * 4));
    ASSERT_EQ(Decode(text), bytes) << "size " << size;
  }
}

TEST(Base64, ConvenienceFormsAgree) {
  const std::vector<std::uint8_t> bytes{1, 2, 3, 250, 251};
  const std::string text = EncodeBase64(bytes);
  EXPECT_EQ(text, "AQID+vs=");
  EXPECT_EQ(DecodeBase64(std::string_view(text)), bytes);
  EXPECT_TRUE(EncodeBase64(std::span<const std::uint8_t>()).empty());
  EXPECT_TRUE(DecodeBase64(std::string_view("AQID+vs=\n")).empty());
  EXPECT_TRUE(DecodeBase64(std::string_view("====")).empty());
}

}  // namespace
