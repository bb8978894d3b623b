// GOST 28147-89 block, gamma (counter), gamma with feedback (CFB) and MAC,
// checked against libgcrypt's GOST28147 with the same substitution table.
#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

constexpr const char* kTestTableOid = "1.2.643.2.2.30.0";

class GcryCipher {
 public:
  GcryCipher(int mode, const Bytes& key, const Bytes& iv = {}) {
    init_gcrypt();
    EXPECT_EQ(gcry_cipher_open(&h_, GCRY_CIPHER_GOST28147, mode, 0), 0u);
    EXPECT_EQ(gcry_cipher_setkey(h_, key.data(), key.size()), 0u);
    EXPECT_EQ(gcry_cipher_ctl(h_, GCRYCTL_SET_SBOX, const_cast<char*>(kTestTableOid), 0), 0u);
    if (!iv.empty()) {
      EXPECT_EQ(gcry_cipher_setiv(h_, iv.data(), iv.size()), 0u);
    }
  }
  ~GcryCipher() { gcry_cipher_close(h_); }
  Bytes encrypt(const Bytes& in) {
    Bytes out(in.size());
    EXPECT_EQ(gcry_cipher_encrypt(h_, out.data(), out.size(), in.data(), in.size()), 0u);
    return out;
  }

 private:
  gcry_cipher_hd_t h_ = nullptr;
};

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The counter mode of the standard built on libgcrypt's ECB.
Bytes reference_gamma(const Bytes& key, const Bytes& iv, const Bytes& data) {
  GcryCipher ecb(GCRY_CIPHER_MODE_ECB, key);
  const Bytes s = ecb.encrypt(iv);
  uint32_t n3 = le32(s.data()), n4 = le32(s.data() + 4);
  Bytes out(data.size());
  for (size_t off = 0; off < data.size(); off += 8) {
    n3 += 0x01010101u;
    uint64_t sum = uint64_t(n4) + 0x01010104u;
    if (sum > 0xFFFFFFFFull) sum -= 0xFFFFFFFFull;
    n4 = uint32_t(sum);
    Bytes block(8);
    put_le32(block.data(), n3);
    put_le32(block.data() + 4, n4);
    const Bytes gamma = ecb.encrypt(block);
    for (size_t i = 0; i < 8 && off + i < data.size(); ++i) out[off + i] = data[off + i] ^ gamma[i];
  }
  return out;
}

Bytes reference_cfb(const Bytes& key, const Bytes& iv, const Bytes& data) {
  GcryCipher cfb(GCRY_CIPHER_MODE_CFB, key, iv);
  return cfb.encrypt(data);
}

Bytes reference_imit(const Bytes& key, const Bytes& data) {
  init_gcrypt();
  gcry_mac_hd_t h = nullptr;
  EXPECT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0u);
  EXPECT_EQ(gcry_mac_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kTestTableOid), 0), 0u);
  EXPECT_EQ(gcry_mac_write(h, data.data(), data.size()), 0u);
  Bytes out(4);
  size_t n = out.size();
  EXPECT_EQ(gcry_mac_read(h, out.data(), &n), 0u);
  gcry_mac_close(h);
  return out;
}

class Cipher : public ::testing::Test {
 protected:
  // Runs one of the library's streaming modes over data, in pieces of `piece` bytes.
  Bytes run(const char* init_name, const char* crypt_name, const char* clear_name, const Bytes& key,
            const Bytes& iv, const Bytes& data, size_t piece) {
    auto init = lib().fn<InitFn>(init_name);
    auto crypt = lib().fn<CryptFn>(crypt_name);
    auto clear = lib().fn<ClearFn>(clear_name);
    uint8_t ctx[124] = {};
    Bytes out(data.size());
    EXPECT_EQ(init(ctx, params.data(), state, key.data(), iv.data()), 0);
    for (size_t off = 0; off < data.size(); off += piece) {
      const size_t n = std::min(piece, data.size() - off);
      EXPECT_EQ(crypt(ctx, data.data() + off, out.data() + off, int32_t(n)), 0);
    }
    EXPECT_EQ(clear(ctx), 0);
    return out;
  }
  Bytes gamma(const Bytes& key, const Bytes& iv, const Bytes& data, size_t piece) {
    return run("RuroV_G28147_1989_gamma_init", "RuroV_G28147_1989_gamma_crypt", "RuroV_G28147_1989_gamma_clear",
               key, iv, data, piece);
  }
  Bytes cfb(bool decrypt, const Bytes& key, const Bytes& iv, const Bytes& data, size_t piece) {
    return run("RuroV_G28147_1989_gamma_ofb_init",
               decrypt ? "RuroV_G28147_1989_gamma_ofb_decrypt" : "RuroV_G28147_1989_gamma_ofb_encrypt",
               "RuroV_G28147_1989_gamma_ofb_clear", key, iv, data, piece);
  }
  Bytes mac(const Bytes& key, const Bytes& data, size_t piece) {
    auto init = lib().fn<InitFn>("RuroV_G28147_1989_mac_init");
    auto update = lib().fn<UpdateFn>("RuroV_G28147_1989_mac_update");
    auto final = lib().fn<FinalFn>("RuroV_G28147_1989_mac_final");
    auto clear = lib().fn<ClearFn>("RuroV_G28147_1989_mac_clear");
    uint8_t ctx[100] = {};
    Bytes area(8, 0);
    EXPECT_EQ(init(ctx, params.data(), state, key.data(), area.data()), 0);
    for (size_t off = 0; off < data.size(); off += piece) {
      const size_t n = std::min(piece, data.size() - off);
      EXPECT_EQ(update(ctx, data.data() + off, int32_t(n)), 0);
    }
    EXPECT_EQ(final(ctx, area.data()), 0);
    EXPECT_EQ(clear(ctx), 0);
    return area;
  }

  std::array<uint8_t, kParamBlockSize> params = test_params();
  uint8_t state[kStateSize] = {};
  Bytes key = random_bytes(32, 1);
  Bytes iv = random_bytes(8, 2);
};

TEST_F(Cipher, BlocksMatchLibgcrypt) {
  auto init = lib().fn<BlockInitFn>("RuroV_G28147_1989_block_init");
  auto enc = lib().fn<CryptFn>("RuroV_G28147_1989_block_encrypt");
  auto dec = lib().fn<CryptFn>("RuroV_G28147_1989_block_decrypt");
  auto clear = lib().fn<ClearFn>("RuroV_G28147_1989_block_clear");
  for (uint32_t seed = 0; seed < 20; ++seed) {
    const Bytes k = random_bytes(32, 100 + seed);
    const Bytes plain = random_bytes(64, 200 + seed);
    uint8_t ctx[100] = {};
    ASSERT_EQ(init(ctx, params.data(), state, k.data()), 0);
    Bytes cipher(plain.size()), back(plain.size());
    ASSERT_EQ(enc(ctx, plain.data(), cipher.data(), int32_t(plain.size())), 0);
    ASSERT_EQ(dec(ctx, cipher.data(), back.data(), int32_t(cipher.size())), 0);
    EXPECT_EQ(enc(ctx, plain.data(), cipher.data(), 7), 14) << "ECB works on whole blocks";
    EXPECT_EQ(clear(ctx), 0);
    GcryCipher ref(GCRY_CIPHER_MODE_ECB, k);
    EXPECT_EQ(to_hex(cipher), to_hex(ref.encrypt(plain)));
    EXPECT_EQ(back, plain);
  }
}

TEST_F(Cipher, GammaMatchesTheCounterModeOnLibgcrypt) {
  // 4 KiB crosses the wrap of N4 modulo 2^32 - 1.
  const Bytes data = random_bytes(4096 + 5, 3);
  const std::string expected = to_hex(reference_gamma(key, iv, data));
  for (size_t piece : {1, 3, 8, 13, 4096, 5000}) {
    EXPECT_EQ(to_hex(gamma(key, iv, data, piece)), expected) << "pieces of " << piece;
  }
  EXPECT_EQ(gamma(key, iv, gamma(key, iv, data, 64), 7), data);
}

TEST_F(Cipher, GammaFirstBlockByHand) {
  // E(IV) gives N3, N4; the first gamma block is E(N3 + C2, N4 + C1).
  GcryCipher ecb(GCRY_CIPHER_MODE_ECB, key);
  const Bytes s = ecb.encrypt(iv);
  Bytes counter(8);
  put_le32(counter.data(), le32(s.data()) + 0x01010101u);
  const uint64_t n4 = uint64_t(le32(s.data() + 4)) + 0x01010104u;
  put_le32(counter.data() + 4, uint32_t(n4 > 0xFFFFFFFFull ? n4 - 0xFFFFFFFFull : n4));
  EXPECT_EQ(to_hex(gamma(key, iv, Bytes(8, 0), 8)), to_hex(ecb.encrypt(counter)));
}

TEST_F(Cipher, FeedbackModeMatchesLibgcryptCfb) {
  const Bytes data = random_bytes(1000 + 3, 4);
  const Bytes expected = reference_cfb(key, iv, data);
  for (size_t piece : {1, 5, 8, 9, 1003}) {
    EXPECT_EQ(to_hex(cfb(false, key, iv, data, piece)), to_hex(expected)) << "pieces of " << piece;
    EXPECT_EQ(cfb(true, key, iv, expected, piece), data) << "pieces of " << piece;
  }
}

TEST_F(Cipher, FeedbackFirstBlocksByHand) {
  // C1 = P1 ^ E(IV); C2 = P2 ^ E(C1).
  GcryCipher ecb(GCRY_CIPHER_MODE_ECB, key);
  const Bytes plain = random_bytes(16, 5);
  Bytes expected(16);
  const Bytes g1 = ecb.encrypt(iv);
  for (int i = 0; i < 8; ++i) expected[i] = plain[i] ^ g1[i];
  const Bytes g2 = ecb.encrypt(Bytes(expected.begin(), expected.begin() + 8));
  for (int i = 0; i < 8; ++i) expected[8 + i] = plain[8 + i] ^ g2[i];
  EXPECT_EQ(to_hex(cfb(false, key, iv, plain, 16)), to_hex(expected));
}

TEST_F(Cipher, EncryptAndDecryptOfFeedbackModeDiffer) {
  const Bytes data = random_bytes(24, 6);
  EXPECT_NE(cfb(false, key, iv, data, 24), cfb(true, key, iv, data, 24));
}

TEST_F(Cipher, MacMatchesLibgcryptImit) {
  // The empty message included: no block runs and the MAC is zero.
  for (size_t n = 0; n <= 40; ++n) {
    const Bytes data = random_bytes(n, uint32_t(1000 + n));
    const Bytes full = mac(key, data, n);
    ASSERT_EQ(to_hex(Bytes(full.begin(), full.begin() + 4)), to_hex(reference_imit(key, data))) << n;
    ASSERT_EQ(mac(key, data, 3), full) << n;
  }
  EXPECT_EQ(mac(key, {}, 1), Bytes(8, 0)) << "the whole 64-bit state of the empty message is zero";
  const Bytes big = random_bytes(100000, 9);
  const Bytes full = mac(key, big, 65535);
  EXPECT_EQ(to_hex(Bytes(full.begin(), full.begin() + 4)), to_hex(reference_imit(key, big)));
}

TEST_F(Cipher, MacOfShortMessagesAddsAZeroBlock) {
  // One block, then the zero block: equal to the MAC of the block followed by eight zeros.
  const Bytes one = random_bytes(8, 11);
  Bytes two = one;
  two.resize(16, 0);
  EXPECT_EQ(mac(key, one, 8), mac(key, two, 16));
  // Zero padding: a short tail equals the tail padded with zeros.
  EXPECT_EQ(mac(key, Bytes{1, 2, 3}, 3), mac(key, Bytes{1, 2, 3, 0, 0, 0, 0, 0}, 8));
}

TEST_F(Cipher, KeyAndTableChangeTheOutput) {
  const Bytes data = random_bytes(32, 12);
  Bytes other_key = key;
  other_key[31] ^= 1;
  EXPECT_NE(gamma(key, iv, data, 32), gamma(other_key, iv, data, 32));
  auto swapped = params;
  std::swap(swapped[0], swapped[1]);  // still a permutation
  auto init = lib().fn<InitFn>("RuroV_G28147_1989_gamma_init");
  auto crypt = lib().fn<CryptFn>("RuroV_G28147_1989_gamma_crypt");
  uint8_t ctx[100] = {};
  Bytes out(32);
  ASSERT_EQ(init(ctx, swapped.data(), state, key.data(), iv.data()), 0);
  ASSERT_EQ(crypt(ctx, data.data(), out.data(), 32), 0);
  EXPECT_NE(out, gamma(key, iv, data, 32));
}

TEST_F(Cipher, MisuseGivesCodes) {
  auto init = lib().fn<InitFn>("RuroV_G28147_1989_gamma_init");
  auto crypt = lib().fn<CryptFn>("RuroV_G28147_1989_gamma_crypt");
  auto clear = lib().fn<ClearFn>("RuroV_G28147_1989_gamma_clear");
  auto ofb_enc = lib().fn<CryptFn>("RuroV_G28147_1989_gamma_ofb_encrypt");
  auto mac_init = lib().fn<InitFn>("RuroV_G28147_1989_mac_init");
  auto mac_update = lib().fn<UpdateFn>("RuroV_G28147_1989_mac_update");
  auto mac_final = lib().fn<FinalFn>("RuroV_G28147_1989_mac_final");
  uint8_t ctx[124] = {};
  uint8_t buf[16] = {};
  EXPECT_EQ(crypt(ctx, buf, buf, 16), 1) << "zero-filled context";
  EXPECT_EQ(ofb_enc(ctx, buf, buf, 16), 1);
  EXPECT_EQ(mac_update(ctx, buf, 16), 1);
  EXPECT_EQ(init(ctx, params.data(), state, key.data(), nullptr), 15);
  EXPECT_EQ(init(ctx, params.data(), state, nullptr, iv.data()), 15);
  EXPECT_EQ(init(ctx, nullptr, state, key.data(), iv.data()), 15);
  EXPECT_EQ(init(ctx, params.data(), nullptr, key.data(), iv.data()), 15);
  EXPECT_EQ(init(nullptr, params.data(), state, key.data(), iv.data()), 15);
  ASSERT_EQ(init(ctx, params.data(), state, key.data(), iv.data()), 0);
  EXPECT_EQ(crypt(ctx, nullptr, buf, 16), 15);
  EXPECT_EQ(crypt(ctx, buf, nullptr, 16), 15);
  EXPECT_EQ(crypt(ctx, buf, buf, -1), 14);
  EXPECT_EQ(crypt(ctx, nullptr, nullptr, 0), 0);
  EXPECT_EQ(ofb_enc(ctx, buf, buf, 16), 1) << "a gamma context is not a feedback context";
  EXPECT_EQ(clear(ctx), 0);
  EXPECT_EQ(clear(ctx), 0);
  EXPECT_EQ(clear(nullptr), 15);
  EXPECT_EQ(crypt(ctx, buf, buf, 16), 1);
  ASSERT_EQ(mac_init(ctx, params.data(), state, key.data(), buf), 0);
  ASSERT_EQ(mac_final(ctx, buf), 0);
  EXPECT_EQ(mac_final(ctx, buf), 2) << "final twice";
  EXPECT_EQ(mac_update(ctx, buf, 8), 2) << "update after final";
}

TEST_F(Cipher, InitAdvancesTheStateCounter) {
  uint8_t before[kStateSize];
  gamma(key, iv, Bytes(8), 8);
  std::memcpy(before, state, kStateSize);
  gamma(key, iv, Bytes(8), 8);
  EXPECT_NE(std::memcmp(before, state, kStateSize), 0);
}

}  // namespace
}  // namespace gosttest
