// Base64 (RFC 4648 alphabet, "=" padding) between bytes and 8-bit text.
// The text has no terminating zero and no line breaks.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dizora::support {

// Encodes `count` bytes at `data`. On return `text` holds `textLength`
// characters, or is null with `textLength` 0 (null data, count below 1, or
// out of memory).
void EncodeBase64(const void* data, std::int32_t count, std::unique_ptr<char[]>& text,
                  std::int32_t& textLength) noexcept;

// Decodes `count` characters at `text`. `count` must be a positive multiple of
// 4 (every character counts, skipped ones too). Characters outside the
// alphabet are skipped; decoding stops at the first "=". On return `data`
// holds exactly `length` bytes, or is null with `length` 0 when the input is
// unacceptable or yields no byte. Raises EAssertionFailed only if an
// allocation returned no memory without raising.
void DecodeBase64(const char* text, std::int32_t count, std::unique_ptr<std::uint8_t[]>& data,
                  std::int32_t& length);

// Convenience forms: an empty result stands for null and 0 (raise
// std::bad_alloc when the result container cannot be allocated).
std::string EncodeBase64(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> DecodeBase64(std::string_view text);

// Alphabet character of a 6-bit value (the value is taken modulo 64).
char Base64Char(std::uint8_t value) noexcept;

// 6-bit value of an alphabet character: "A".."Z" 0..25, "a".."z" 26..51,
// "0".."9" 52..61, "+" 62, anything else 63 (so "/" gives 63).
std::uint8_t Base64CharValue(char character) noexcept;

// True for the 64 alphabet characters ("=" is not one of them).
bool IsBase64Char(char character) noexcept;

}  // namespace dizora::support
