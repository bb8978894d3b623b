#include "support/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

using dizora::support::ByteReader;
using dizora::support::BytesAt;
using dizora::support::ByteSpan;

enum class Op { kU8, kU32, kBytes, kText, kSkip };

// One read; what it gave rendered as text (numbers in decimal), nullopt when it failed.
std::optional<std::string> Read(ByteReader& in, Op op, size_t argument) {
  auto text = [](auto value) -> std::optional<std::string> {
    if (!value) return std::nullopt;
    return std::to_string(*value);
  };
  switch (op) {
    case Op::kU8:
      return text(in.ReadU8());
    case Op::kU32:
      return text(in.ReadU32LE());
    case Op::kBytes: {
      const auto bytes = in.ReadBytes(argument);
      if (!bytes) return std::nullopt;
      return std::string(bytes->begin(), bytes->end());
    }
    case Op::kText: {
      const auto read = in.ReadText(argument);
      if (!read) return std::nullopt;
      return std::string(*read);
    }
    case Op::kSkip:
      if (!in.Skip(argument)) return std::nullopt;
      return "";
  }
  return std::nullopt;
}

struct Case {
  const char* what;
  std::string input;
  Op op;
  size_t argument;
  std::optional<std::string> result;
  size_t left;  // bytes left after a read that succeeds
};

constexpr size_t kAny = ByteReader::kAnyLength;
using std::string_literals::operator""s;

const Case kCases[] = {
    {"u8 of nothing", "", Op::kU8, 0, std::nullopt, 0},
    {"u8 of the last byte", "\xfe", Op::kU8, 0, "254", 0},
    {"u8 of two bytes", "\x01\x02", Op::kU8, 0, "1", 1},
    {"u32 of nothing", "", Op::kU32, 0, std::nullopt, 0},
    {"u32 one byte short", "\x01\x02\x03", Op::kU32, 0, std::nullopt, 0},
    {"u32 exactly", "\x01\x02\x03\x04", Op::kU32, 0, "67305985", 0},
    {"u32 with one byte more", "\x01\x02\x03\x04\x05", Op::kU32, 0, "67305985", 1},
    {"u32 highest", "\xff\xff\xff\xff", Op::kU32, 0, "4294967295", 0},
    {"no bytes of nothing", "", Op::kBytes, 0, "", 0},
    {"bytes one short", "ab", Op::kBytes, 3, std::nullopt, 0},
    {"bytes exactly", "ab", Op::kBytes, 2, "ab", 0},
    {"bytes with one more", "ab", Op::kBytes, 1, "a", 1},
    {"bytes of any length", "ab", Op::kBytes, SIZE_MAX, std::nullopt, 0},
    {"text of nothing", "", Op::kText, kAny, std::nullopt, 0},
    {"empty text", "\0x"s, Op::kText, 0, "", 1},
    {"text one over its limit", "a\0"s, Op::kText, 0, std::nullopt, 0},
    {"text at its limit", "ab\0"s, Op::kText, 2, "ab", 0},
    {"text over its limit", "abc\0"s, Op::kText, 2, std::nullopt, 0},
    {"text without its zero", "ab", Op::kText, 2, std::nullopt, 0},
    {"text whose limit passes the end", "ab\0"s, Op::kText, 5, "ab", 0},
    {"text of any length", "abc\0d"s, Op::kText, kAny, "abc", 1},
    {"text of any length, no zero", "abc", Op::kText, kAny, std::nullopt, 0},
    {"text stops at the first zero", "a\0b\0"s, Op::kText, kAny, "a", 2},
    {"skip nothing of nothing", "", Op::kSkip, 0, "", 0},
    {"skip one too many", "a", Op::kSkip, 2, std::nullopt, 0},
    {"skip exactly", "ab", Op::kSkip, 2, "", 0},
    {"skip with one left", "ab", Op::kSkip, 1, "", 1},
    {"skip any length", "ab", Op::kSkip, SIZE_MAX, std::nullopt, 0},
};

TEST(ByteReader, EveryReadTakesWhatItAsksForOrFailsWithoutMoving) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const auto bytes = BytesAt(c.input.data(), static_cast<int64_t>(c.input.size()));
    ByteReader in(bytes);
    EXPECT_EQ(Read(in, c.op, c.argument), c.result);
    const size_t left = c.result ? c.left : c.input.size();
    EXPECT_EQ(in.Remaining(), left);
    EXPECT_EQ(in.Empty(), left == 0);
    EXPECT_EQ(in.Rest().data(), bytes.data() + (bytes.size() - left));
  }
}

TEST(ByteReader, ReadsFollowOneAnother) {
  const std::string input = "Ab\0\x05\0\0\0xyz"s;
  ByteReader in(BytesAt(input.data(), static_cast<int64_t>(input.size())));
  EXPECT_EQ(in.ReadText(kAny), "Ab");
  EXPECT_EQ(in.ReadU32LE(), 5u);
  EXPECT_FALSE(in.ReadBytes(4));
  EXPECT_TRUE(in.Skip(1));
  EXPECT_EQ(in.ReadU8(), uint8_t{'y'});
  EXPECT_EQ(in.Rest().size(), 1u);
}

TEST(ByteReader, BytesAtRefusesNullAndNonPositiveLengths) {
  const uint8_t bytes[3] = {1, 2, 3};
  EXPECT_TRUE(BytesAt(nullptr, 5).empty());
  EXPECT_TRUE(BytesAt(bytes, 0).empty());
  EXPECT_TRUE(BytesAt(bytes, -1).empty());
  const ByteSpan all = BytesAt(bytes, 3);
  EXPECT_EQ(all.data(), bytes);
  EXPECT_EQ(all.size(), 3u);
}

}  // namespace
