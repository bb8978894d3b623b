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

// Key bytes 7i + 1, IV A0..A7, plaintext 30..43 (20 bytes): the expected
// outputs were produced by an independent GOST 28147-89 implementation.
struct CipherVector {
  uint8_t key[32];
  uint8_t iv[8];
  uint8_t plain[20];
  CipherVector() {
    for (int i = 0; i < 32; ++i) key[i] = uint8_t(7 * i + 1);
    for (int i = 0; i < 8; ++i) iv[i] = uint8_t(0xA0 + i);
    for (int i = 0; i < 20; ++i) plain[i] = uint8_t(0x30 + i);
  }
};

bool block_vector(const ParamBlock& params, const CipherVector& v) {
  uint8_t ctx[kBlockContextSize] = {}, state[kStateSize] = {}, out[8], back[8], expected[8];
  const bool ok = from_hex("bc257b032f090e5c", expected, 8) && block_init(ctx, params.bytes, state, v.key) == kOk &&
                  block_crypt(ctx, v.plain, out, 8, false) == kOk && block_crypt(ctx, out, back, 8, true) == kOk &&
                  std::memcmp(out, expected, 8) == 0 && std::memcmp(back, v.plain, 8) == 0;
  block_clear(ctx);
  return ok;
}

bool gamma_vector(const ParamBlock& params, const CipherVector& v) {
  uint8_t ctx[kGammaContextSize] = {}, state[kStateSize] = {}, out[20], expected[20];
  const bool ok = from_hex("47905f34384227bfcf8255f3a60a00f1fb4eeacd", expected, 20) &&
                  gamma_init(ctx, params.bytes, state, v.key, v.iv) == kOk &&
                  gamma_crypt(ctx, v.plain, out, 3) == kOk && gamma_crypt(ctx, v.plain + 3, out + 3, 17) == kOk &&
                  std::memcmp(out, expected, 20) == 0;
  gamma_clear(ctx);
  return ok;
}

bool cfb_vector(const ParamBlock& params, const CipherVector& v) {
  uint8_t ctx[kGammaOfbContextSize] = {}, state[kStateSize] = {}, out[20], back[20], expected[20];
  bool ok = from_hex("0dc41bdedd48faa8b86e91460d60b12a5779f14d", expected, 20) &&
            cfb_init(ctx, params.bytes, state, v.key, v.iv) == kOk && cfb_crypt(ctx, v.plain, out, 20, false) == kOk &&
            std::memcmp(out, expected, 20) == 0;
  ok = ok && cfb_init(ctx, params.bytes, state, v.key, v.iv) == kOk && cfb_crypt(ctx, out, back, 20, true) == kOk &&
       std::memcmp(back, v.plain, 20) == 0;
  cfb_clear(ctx);
  return ok;
}

bool mac_vector(const ParamBlock& params, const CipherVector& v) {
  uint8_t ctx[kMacContextSize] = {}, state[kStateSize] = {}, mac[8] = {}, expected[8];
  const bool ok = from_hex("68eb60228acffa03", expected, 8) && mac_init(ctx, params.bytes, state, v.key) == kOk &&
                  mac_update(ctx, v.plain, 20) == kOk && mac_final(ctx, mac) == kOk &&
                  std::memcmp(mac, expected, 8) == 0;
  mac_clear(ctx);
  return ok;
}

// GOST R 34.10-2001: a key pair and a signature made by an independent
// implementation, over the digest 01 02 .. 20.
constexpr const char* kD01 = "ee7e39491f96601bc1729ad39d35ed10beb99b78de9a927a283bec9198ce191d";
constexpr const char* kQx01 = "3fbd6a7ccba17f2f367b7ad54273d0bfc06e3166fdc28f58ded4c25ce4e00dd9";
constexpr const char* kQy01 = "2366441a6e39d6e4507e6453fab0bc5630602dcb00d0e159b765b5a15f4da3d9";
constexpr const char* kSig01 =
    "9c3583a3df80f8ec1fbeb2a717f4a040bf38b7aaf84a74b9c9cfad80683cb17f"
    "5eb4efda5ceef59fb6b2d1c742c8ea50a60656b6a30b95ea16bbfbfebedd5a03";

// GOST R 34.10-94: the same for the CryptoPro-A group.
constexpr const char* kX94 = "6a59445a4a5a6e7a6f5a6a354a6c5731354f6d72353030754a6b744531363000";
constexpr const char* kY94 =
    "8ce544b3d29d36cb66729f111f843b638b151543c2fcdbc158eed4e18fd67db816fc86f26e3b05c86a5d0a998cd99e0a"
    "23993b00793101e129680e6d4d32df2729a9744d30bda7e00183345d6f9550917e8a78f2508e1e7444c45792fa139e71"
    "cacf9c1e3a5373f34dfc9d2ac212cd25fb5bcb443201d69157a9c1f605706828";
constexpr const char* kSig94 =
    "4314c29d5dd75b364f776ece78499ce727d9be8da8dbc92e0caedb11db19f8ca"
    "72e552cc4ea27b9ae2545f6b35eb3e8603a7c7f267b519be4f2cbb58f48c2128";

struct SignVector {
  uint8_t digest[32];
  SignVector() {
    for (int i = 0; i < 32; ++i) digest[i] = uint8_t(i + 1);
  }
};

// The entry points of one signature algorithm, so both run the same checks.
struct SignOps {
  int32_t (*set_parms)(void* ctx, void* state);
  int32_t (*set_secret)(void*, const void*);
  int32_t (*gen_public)(void*);
  int32_t (*get_public)(void*, void*, int32_t*);
  int32_t (*set_public)(void*, const void*);
  int32_t (*sign)(void*, const void*, void*);
  int32_t (*verify)(void*, const void*, const void*);
  int32_t (*clear)(void*);
  size_t secret;
  size_t public_key;
};

bool sign_checks(const SignOps& ops, const char* secret_hex, const char* public_hex, const char* sig_hex) {
  const SignVector v;
  uint8_t ctx[kSign1994ContextSize] = {}, state[kStateSize] = {};
  uint8_t secret[32], expected_pub[128] = {}, pub[128] = {}, known_sig[64], sig[64];
  int32_t len = int32_t(sizeof pub);
  bool ok = from_hex(secret_hex, secret, ops.secret) && from_hex(public_hex, expected_pub, std::strlen(public_hex) / 2) &&
            from_hex(sig_hex, known_sig, 64);
  // Public key from the secret, then a fresh signature, both checked.
  ok = ok && ops.set_parms(ctx, state) == kOk && ops.set_secret(ctx, secret) == kOk && ops.gen_public(ctx) == kOk &&
       ops.get_public(ctx, pub, &len) == kOk && std::memcmp(pub, expected_pub, ops.public_key) == 0 &&
       ops.sign(ctx, v.digest, sig) == kOk;
  ops.clear(ctx);
  ok = ok && ops.set_parms(ctx, state) == kOk && ops.set_public(ctx, expected_pub) == kOk &&
       ops.verify(ctx, v.digest, sig) == kOk && ops.verify(ctx, v.digest, known_sig) == kOk;
  known_sig[10] ^= 0x01;
  ok = ok && ops.verify(ctx, v.digest, known_sig) == kErrSignature;
  ops.clear(ctx);
  wipe(secret, sizeof secret);
  return ok;
}

int32_t set_parms94(void* ctx, void* state) { return s94_set_parms(ctx, state, nullptr, 128, nullptr, 32, nullptr); }
int32_t set_parms01(void* ctx, void* state) {
  return s01_set_parms(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr);
}

bool agreement_checks() {
  uint8_t a[kPkaContextSize] = {}, b[kPkaContextSize] = {}, state[kStateSize] = {};
  uint8_t pa[128], pb[128], ka[128], kb[128];
  int32_t len = 0;
  bool ok = pka_set_parms(a, state, nullptr, 128, nullptr) == kOk && pka_set_parms(b, state, nullptr, 128, nullptr) == kOk &&
            pka_gen_secret_key(a) == kOk && pka_gen_public_key(a) == kOk && pka_get_public_key(a, pa, &len) == kOk &&
            pka_gen_secret_key(b) == kOk && pka_gen_public_key(b) == kOk && pka_get_public_key(b, pb, &len) == kOk &&
            pka_gen_mutual_key(a, pb, ka) == kOk && pka_gen_mutual_key(b, pa, kb) == kOk && std::memcmp(ka, kb, 128) == 0;
  uint8_t one[128] = {1};
  ok = ok && pka_gen_mutual_key(a, one, ka) == kErrBadKey;
  pka_clear(a);
  pka_clear(b);
  wipe(ka, sizeof ka);
  wipe(kb, sizeof kb);
  return ok;
}

}  // namespace

int32_t self_test_crypto() {
  const ParamBlock params;
  const CipherVector v;
  const bool ok = hash_vectors(params) && block_vector(params, v) && gamma_vector(params, v) &&
                  cfb_vector(params, v) && mac_vector(params, v);
  return ok ? kOk : kErrSelfTest;
}

int32_t self_test_sign() {
  static const SignOps k94{set_parms94, s94_set_secret_key, s94_gen_public_key, s94_get_public_key, s94_set_public_key,
                           s94_sign, s94_verify, s94_clear, 32, 128};
  static const SignOps k01{set_parms01, s01_set_secret_key, s01_gen_public_key, s01_get_public_key, s01_set_public_key,
                           s01_sign, s01_verify, s01_clear, 32, 64};
  char q01[129];
  std::memcpy(q01, kQx01, 64);
  std::memcpy(q01 + 64, kQy01, 64);
  q01[128] = 0;
  const bool ok = sign_checks(k94, kX94, kY94, kSig94) && sign_checks(k01, kD01, q01, kSig01) && agreement_checks();
  return ok ? kOk : kErrSelfTest;
}

}  // namespace gost
