#include "support/base64.h"

#include <cstring>
#include <new>

#include "support/exceptions.h"

namespace dizora::support {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';

// Writes the base64 text of `count` bytes to `out`, which holds
// 4 * ceil(count / 3) characters.
void EncodeInto(const std::uint8_t* in, std::size_t count, char* out) noexcept {
  for (std::size_t i = 0; i < count; i += 3) {
    const std::size_t group = count - i < 3 ? count - i : 3;
    std::uint32_t bits = static_cast<std::uint32_t>(in[i]) << 16;
    if (group > 1) bits |= static_cast<std::uint32_t>(in[i + 1]) << 8;
    if (group > 2) bits |= in[i + 2];
    *out++ = kAlphabet[(bits >> 18) & 63];
    *out++ = kAlphabet[(bits >> 12) & 63];
    *out++ = group > 1 ? kAlphabet[(bits >> 6) & 63] : kPad;
    *out++ = group > 2 ? kAlphabet[bits & 63] : kPad;
  }
}

std::size_t EncodedLength(std::size_t count) noexcept { return (count + 2) / 3 * 4; }

// Decodes into `out` (room for count / 4 * 3 bytes) and returns the number of
// bytes written. Stops at the first "=", skips non-alphabet characters, and
// drops the incomplete low bits of the last group.
std::size_t DecodeInto(const char* text, std::size_t count, std::uint8_t* out) noexcept {
  std::size_t written = 0;
  std::uint32_t accumulator = 0;
  int bits = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[i];
    if (c == kPad) break;
    if (!IsBase64Char(c)) continue;
    if (bits == 24) {
      out[written++] = static_cast<std::uint8_t>(accumulator >> 16);
      out[written++] = static_cast<std::uint8_t>(accumulator >> 8);
      out[written++] = static_cast<std::uint8_t>(accumulator);
      accumulator = 0;
      bits = 0;
    }
    accumulator = (accumulator << 6) | Base64CharValue(c);
    bits += 6;
  }
  for (int shift = bits - 8; shift >= 0; shift -= 8) {
    out[written++] = static_cast<std::uint8_t>(accumulator >> shift);
  }
  return written;
}

}  // namespace

char Base64Char(std::uint8_t value) noexcept { return kAlphabet[value & 63]; }

std::uint8_t Base64CharValue(char character) noexcept {
  if (character >= 'A' && character <= 'Z') return static_cast<std::uint8_t>(character - 'A');
  if (character >= 'a' && character <= 'z') return static_cast<std::uint8_t>(character - 'a' + 26);
  if (character >= '0' && character <= '9') return static_cast<std::uint8_t>(character - '0' + 52);
  if (character == '+') return 62;
  return 63;
}

bool IsBase64Char(char character) noexcept {
  return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
         (character >= '0' && character <= '9') || character == '+' || character == '/';
}

void EncodeBase64(const void* data, std::int32_t count, std::unique_ptr<char[]>& text,
                  std::int32_t& textLength) noexcept {
  text.reset();
  textLength = 0;
  if (data == nullptr || count < 1) return;
  const std::size_t length = EncodedLength(static_cast<std::size_t>(count));
  // 4 * ceil(count / 3) exceeds int32_t for counts above 1,610,612,733.
  if (length > static_cast<std::size_t>(INT32_MAX)) return;
  text.reset(new (std::nothrow) char[length]);
  if (!text) return;
  EncodeInto(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(count), text.get());
  textLength = static_cast<std::int32_t>(length);
}

void DecodeBase64(const char* text, std::int32_t count, std::unique_ptr<std::uint8_t[]>& data,
                  std::int32_t& length) {
  data.reset();
  length = 0;
  if (text == nullptr || count < 1 || count % 4 != 0) return;
  const std::size_t capacity = static_cast<std::size_t>(count) / 4 * 3;
  std::unique_ptr<std::uint8_t[]> staging;
  try {
    staging.reset(new std::uint8_t[capacity]);
  } catch (const std::bad_alloc&) {
    return;
  }
  DZ_ASSERT(staging != nullptr, "mimecode", 211);
  const std::size_t written = DecodeInto(text, static_cast<std::size_t>(count), staging.get());
  if (written == 0) return;
  if (written != capacity) {
    std::unique_ptr<std::uint8_t[]> exact(new (std::nothrow) std::uint8_t[written]);
    if (!exact) return;
    std::memcpy(exact.get(), staging.get(), written);
    staging = std::move(exact);
  }
  data = std::move(staging);
  length = static_cast<std::int32_t>(written);
}

std::string EncodeBase64(std::span<const std::uint8_t> data) {
  std::string text(EncodedLength(data.size()), '\0');
  if (!data.empty()) EncodeInto(data.data(), data.size(), text.data());
  return text;
}

std::vector<std::uint8_t> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return {};
  std::vector<std::uint8_t> data(text.size() / 4 * 3);
  data.resize(DecodeInto(text.data(), text.size(), data.data()));
  return data;
}

}  // namespace dizora::support
