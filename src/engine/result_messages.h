// Result codes of the engine and their messages (Windows-1251 text).
//
// The codes and their names are listed once, in dizora.h (DIZORA_RESULT_CODES):
// -30..-1 are the engine's and the binding's own, 0 is success, 1..15 are codes
// of libcrypt.dll passed through.
#pragma once

#include <cstdint>
#include <string>

#include "dizora.h"

namespace dizora {

inline constexpr int32_t kMinResultCode = DZ_RESULT_MIN;
inline constexpr int32_t kMaxResultCode = DZ_RESULT_MAX;
inline constexpr int32_t kCriticalFailureCode = DZ_E_EXCEPTION;
inline constexpr int32_t kErrorStringBufferLength = 255;

// Message of `code` as Windows-1251 bytes, or null for a code outside
// kMinResultCode..kMaxResultCode.
const char* CryptoErrorMessage(int32_t code) noexcept;

// What GetCryptoErrorString writes: zero-fills `buffer_length` bytes of
// `buffer`, then copies at most buffer_length - 1 bytes of the message of
// `code` (for -3 followed by `last_error_text`). A code outside the table
// leaves the buffer all zeros. A null buffer or a length below 1 writes nothing.
void WriteCryptoErrorString(int32_t code, const std::string& last_error_text, char* buffer,
                            int32_t buffer_length = kErrorStringBufferLength) noexcept;

}  // namespace dizora
