// GOST 28147-89 block, gamma (counter), gamma with feedback (CFB) and MAC,
// checked against the reference vectors of vectors/symmetric.txt
// (libgcrypt's GOST28147 with the same substitution table).
#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

const std::vector<Row>& rows(const char* kind) { return vectors("symmetric.txt", kind); }

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

TEST_F(Cipher, BlocksMatchTheReference) {
  auto init = lib().fn<BlockInitFn>("RuroV_G28147_1989_block_init");
  auto enc = lib().fn<CryptFn>("RuroV_G28147_1989_block_encrypt");
  auto dec = lib().fn<CryptFn>("RuroV_G28147_1989_block_decrypt");
  auto clear = lib().fn<ClearFn>("RuroV_G28147_1989_block_clear");
  for (const Row& r : rows("ecb")) {  // key plain cipher
    const Bytes k = from_hex(r[0]), plain = from_hex(r[1]);
    uint8_t ctx[100] = {};
    ASSERT_EQ(init(ctx, params.data(), state, k.data()), 0);
    Bytes cipher(plain.size()), back(plain.size());
    ASSERT_EQ(enc(ctx, plain.data(), cipher.data(), int32_t(plain.size())), 0);
    ASSERT_EQ(dec(ctx, cipher.data(), back.data(), int32_t(cipher.size())), 0);
    EXPECT_EQ(enc(ctx, plain.data(), cipher.data(), 7), 14) << "ECB works on whole blocks";
    EXPECT_EQ(clear(ctx), 0);
    EXPECT_EQ(to_hex(cipher), r[2]);
    EXPECT_EQ(back, plain);
  }
}

TEST_F(Cipher, GammaMatchesTheReferenceInAnyPieces) {
  const Row& r = rows("gamma").at(0);  // key iv data out: 4 KiB, N4 wraps modulo 2^32 - 1
  const Bytes k = from_hex(r[0]), v = from_hex(r[1]), data = from_hex(r[2]);
  for (size_t piece : {1, 3, 8, 13, 4096, 5000}) {
    EXPECT_EQ(to_hex(gamma(k, v, data, piece)), r[3]) << "pieces of " << piece;
  }
  EXPECT_EQ(gamma(k, v, gamma(k, v, data, 64), 7), data);
}

TEST_F(Cipher, FeedbackModeMatchesTheReferenceInAnyPieces) {
  const Row& r = rows("cfb").at(0);  // key iv data out
  const Bytes k = from_hex(r[0]), v = from_hex(r[1]), data = from_hex(r[2]), expected = from_hex(r[3]);
  for (size_t piece : {1, 5, 8, 9, 1003}) {
    EXPECT_EQ(to_hex(cfb(false, k, v, data, piece)), r[3]) << "pieces of " << piece;
    EXPECT_EQ(cfb(true, k, v, expected, piece), data) << "pieces of " << piece;
  }
}

// Messages of 0 to 40 bytes and of 1000. The empty message runs no block:
// its MAC is zero.
TEST_F(Cipher, MacMatchesTheReferenceImit) {
  for (const Row& r : rows("imit")) {  // key data mac
    const Bytes k = from_hex(r[0]), data = from_hex(r[1]);
    const Bytes full = mac(k, data, std::max<size_t>(data.size(), 1));
    EXPECT_EQ(to_hex(full.data(), 4), r[2]) << data.size() << " bytes";
    EXPECT_EQ(mac(k, data, 3), full) << data.size() << " bytes";
    if (data.empty()) {
      EXPECT_EQ(full, Bytes(8, 0)) << "the whole 64-bit state of the empty message is zero";
    }
  }
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

// Every vector uses the test table: another table given must be used.
TEST_F(Cipher, TheGivenTableIsUsed) {
  const Bytes data = random_bytes(32, 12);
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
