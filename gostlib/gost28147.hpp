// The GOST 28147-89 block cipher core: 32-round encryption and decryption of
// one 64-bit block and the 16-round MAC transformation. A block is N1 (bytes
// 0..3, little-endian) and N2 (bytes 4..7); the key is eight little-endian
// 32-bit words.
#pragma once

#include <cstdint>

#include "common.hpp"
#include "sbox.hpp"

namespace gost {

struct Block {
  uint32_t n1;
  uint32_t n2;
};

inline Block load_block(const uint8_t* p) { return {load_le32(p), load_le32(p + 4)}; }

inline void store_block(uint8_t* p, Block b) {
  store_le32(p, b.n1);
  store_le32(p + 4, b.n2);
}

inline void load_key(const uint8_t* key, uint32_t k[8]) {
  for (int i = 0; i < 8; ++i) k[i] = load_le32(key + 4 * i);
}

// Paired XORs keep the dependency chain of a round short.
inline uint32_t round_f(const ExpandedSbox& s, uint32_t x) {
  return (s.t[0][x & 0xFF] ^ s.t[1][(x >> 8) & 0xFF]) ^ (s.t[2][(x >> 16) & 0xFF] ^ s.t[3][x >> 24]);
}

// Eight rounds with the key words in ascending order; a and b swap roles
// every round, so after an even number of rounds they are back in place.
#define GOST_ROUNDS_UP(s, k, a, b)   \
  b ^= round_f(s, a + k[0]);         \
  a ^= round_f(s, b + k[1]);         \
  b ^= round_f(s, a + k[2]);         \
  a ^= round_f(s, b + k[3]);         \
  b ^= round_f(s, a + k[4]);         \
  a ^= round_f(s, b + k[5]);         \
  b ^= round_f(s, a + k[6]);         \
  a ^= round_f(s, b + k[7])

#define GOST_ROUNDS_DOWN(s, k, a, b) \
  b ^= round_f(s, a + k[7]);         \
  a ^= round_f(s, b + k[6]);         \
  b ^= round_f(s, a + k[5]);         \
  a ^= round_f(s, b + k[4]);         \
  b ^= round_f(s, a + k[3]);         \
  a ^= round_f(s, b + k[2]);         \
  b ^= round_f(s, a + k[1]);         \
  a ^= round_f(s, b + k[0])

// The 32-round encryption cycle; the last round does not swap halves.
inline Block encrypt_block(const ExpandedSbox& s, const uint32_t k[8], Block in) {
  uint32_t a = in.n1;
  uint32_t b = in.n2;
  GOST_ROUNDS_UP(s, k, a, b);
  GOST_ROUNDS_UP(s, k, a, b);
  GOST_ROUNDS_UP(s, k, a, b);
  GOST_ROUNDS_DOWN(s, k, a, b);
  return {b, a};
}

inline Block decrypt_block(const ExpandedSbox& s, const uint32_t k[8], Block in) {
  uint32_t a = in.n1;
  uint32_t b = in.n2;
  GOST_ROUNDS_UP(s, k, a, b);
  GOST_ROUNDS_DOWN(s, k, a, b);
  GOST_ROUNDS_DOWN(s, k, a, b);
  GOST_ROUNDS_DOWN(s, k, a, b);
  return {b, a};
}

// Two independent encryptions interleaved round by round, so the processor
// overlaps their dependency chains (counter mode, the hash's four halves).
inline void encrypt_pair(const ExpandedSbox& s, const uint32_t ka[8], Block& a, const uint32_t kb[8], Block& b) {
  uint32_t a1 = a.n1, a2 = a.n2, b1 = b.n1, b2 = b.n2;
#pragma GCC unroll 16
  for (int r = 0; r < 32; r += 2) {
    const int i = r < 24 ? r % 8 : 7 - r % 8;
    const int j = r < 24 ? i + 1 : i - 1;
    a2 ^= round_f(s, a1 + ka[i]);
    b2 ^= round_f(s, b1 + kb[i]);
    a1 ^= round_f(s, a2 + ka[j]);
    b1 ^= round_f(s, b2 + kb[j]);
  }
  a = {a2, a1};
  b = {b2, b1};
}

// The 16-round cycle of the MAC: no final swap is undone, the state keeps
// its halves as the rounds leave them.
inline Block mac_rounds(const ExpandedSbox& s, const uint32_t k[8], Block in) {
  uint32_t a = in.n1;
  uint32_t b = in.n2;
  GOST_ROUNDS_UP(s, k, a, b);
  GOST_ROUNDS_UP(s, k, a, b);
  return {a, b};
}

#undef GOST_ROUNDS_UP
#undef GOST_ROUNDS_DOWN

}  // namespace gost
