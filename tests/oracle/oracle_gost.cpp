#include "oracle_gost.h"

#include <gcrypt.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace oracle {

namespace {

// The S-box of the GOST R 34.11-94 test parameter set, as libgcrypt names it.
constexpr char kTestSbox[] = "1.2.643.2.2.30.0";

void InitGcrypt() {
  static const bool ready = [] {
    gcry_check_version(nullptr);
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) == 0) {
      gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
    return true;
  }();
  (void)ready;
}

void Check(gcry_error_t err, const char* what) {
  if (err != 0) throw std::runtime_error(std::string(what) + ": " + gcry_strerror(err));
}

// A libgcrypt GOST 28147-89 cipher handle in one mode, keyed, with the test S-box.
class Cipher {
 public:
  Cipher(int mode, const uint8_t* key) {
    InitGcrypt();
    Check(gcry_cipher_open(&h_, GCRY_CIPHER_GOST28147, mode, 0), "gcry_cipher_open");
    Check(gcry_cipher_ctl(h_, GCRYCTL_SET_SBOX, const_cast<char*>(kTestSbox), 0), "set_sbox");
    Check(gcry_cipher_setkey(h_, key, 32), "setkey");
  }
  ~Cipher() { gcry_cipher_close(h_); }
  Cipher(const Cipher&) = delete;
  Cipher& operator=(const Cipher&) = delete;
  gcry_cipher_hd_t get() const { return h_; }

 private:
  gcry_cipher_hd_t h_ = nullptr;
};

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

Bytes Feedback(const uint8_t* key, const uint8_t* iv, const Bytes& data, bool decrypt) {
  Cipher c(GCRY_CIPHER_MODE_CFB, key);
  Check(gcry_cipher_setiv(c.get(), iv, 8), "setiv");
  Bytes out(data.size());
  if (data.empty()) return out;
  Check(decrypt ? gcry_cipher_decrypt(c.get(), out.data(), out.size(), data.data(), data.size())
                : gcry_cipher_encrypt(c.get(), out.data(), out.size(), data.data(), data.size()),
        "cfb");
  return out;
}

// The digest as the number a GOST signature signs: little-endian, mod q, 0 -> 1.
Mpz DigestNumber(const Bytes& digest, const Mpz& q) {
  Mpz e = FromLittleEndian(digest.data(), digest.size());
  mpz_mod(e.get(), e.get(), q.get());
  if (mpz_sgn(e.get()) == 0) mpz_set_ui(e.get(), 1);
  return e;
}

// A uniform number in [1, q - 1] from libgcrypt's generator.
Mpz RandomBelow(const Mpz& q) {
  Mpz k;
  do {
    const Bytes r = RandomBytes(48);
    k = FromLittleEndian(r.data(), r.size());
    mpz_mod(k.get(), k.get(), q.get());
  } while (mpz_sgn(k.get()) == 0);
  return k;
}

void NettleRandom(void*, size_t size, uint8_t* out) {
  InitGcrypt();
  gcry_randomize(out, size, GCRY_STRONG_RANDOM);
}

}  // namespace

Mpz FromLittleEndian(const uint8_t* bytes, size_t size) {
  Mpz v;
  mpz_import(v.get(), size, -1, 1, 0, 0, bytes);
  return v;
}

Mpz FromBigEndian(const uint8_t* bytes, size_t size) {
  Mpz v;
  mpz_import(v.get(), size, 1, 1, 0, 0, bytes);
  return v;
}

Bytes ToLittleEndian(const Mpz& value, size_t size) {
  Bytes out(size, 0);
  if (mpz_sizeinbase(value.get(), 256) > size) throw std::length_error("number too long");
  size_t written = 0;
  mpz_export(out.data(), &written, -1, 1, 0, 0, value.get());
  return out;
}

Bytes ToBigEndian(const Mpz& value, size_t size) {
  Bytes out = ToLittleEndian(value, size);
  std::reverse(out.begin(), out.end());
  return out;
}

Bytes RandomBytes(size_t size) {
  InitGcrypt();
  Bytes out(size);
  gcry_randomize(out.data(), size, GCRY_STRONG_RANDOM);
  return out;
}

// ---- hash -------------------------------------------------------------------------

Bytes Hash(const uint8_t* data, size_t size) {
  InitGcrypt();
  Bytes digest(32);
  gcry_md_hash_buffer(GCRY_MD_GOSTR3411_94, digest.data(), data, size);
  return digest;
}

Bytes LegacyDigest(const Bytes& data) {
  constexpr size_t kPiece = 65535;
  InitGcrypt();
  gcry_md_hd_t h = nullptr;
  Check(gcry_md_open(&h, GCRY_MD_GOSTR3411_94, 0), "gcry_md_open");
  for (size_t left = data.size(); left > 0; left -= std::min(left, kPiece))
    gcry_md_write(h, data.data(), std::min(left, kPiece));
  Bytes digest(gcry_md_read(h, GCRY_MD_GOSTR3411_94), gcry_md_read(h, GCRY_MD_GOSTR3411_94) + 32);
  gcry_md_close(h);
  return digest;
}

// ---- GOST 28147-89 ----------------------------------------------------------------

Bytes GammaCrypt(const uint8_t* key, const uint8_t* iv, const Bytes& data) {
  Cipher ecb(GCRY_CIPHER_MODE_ECB, key);
  uint8_t block[8];
  Check(gcry_cipher_encrypt(ecb.get(), block, 8, iv, 8), "ecb");
  uint32_t n3 = Le32(block), n4 = Le32(block + 4);
  Bytes out(data.size());
  for (size_t at = 0; at < data.size(); at += 8) {
    n3 += 0x01010101u;
    const uint64_t sum = uint64_t(n4) + 0x01010104u;  // mod 2^32 - 1: end-around carry
    n4 = uint32_t(sum) + uint32_t(sum >> 32);
    uint8_t counter[8], gamma[8];
    PutLe32(counter, n3);
    PutLe32(counter + 4, n4);
    Check(gcry_cipher_encrypt(ecb.get(), gamma, 8, counter, 8), "ecb");
    for (size_t i = 0; i < 8 && at + i < data.size(); ++i) out[at + i] = data[at + i] ^ gamma[i];
  }
  return out;
}

Bytes FeedbackEncrypt(const uint8_t* key, const uint8_t* iv, const Bytes& data) {
  return Feedback(key, iv, data, false);
}

Bytes FeedbackDecrypt(const uint8_t* key, const uint8_t* iv, const Bytes& data) {
  return Feedback(key, iv, data, true);
}

Bytes Imit(const uint8_t* key, const Bytes& data) {
  InitGcrypt();
  gcry_mac_hd_t h = nullptr;
  Check(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), "gcry_mac_open");
  Bytes mac(8);
  size_t size = mac.size();
  const gcry_error_t err = [&] {
    if (gcry_error_t e = gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kTestSbox), 0)) return e;
    if (gcry_error_t e = gcry_mac_setkey(h, key, 32)) return e;
    if (gcry_error_t e = gcry_mac_write(h, data.data(), data.size())) return e;
    return gcry_mac_read(h, mac.data(), &size);
  }();
  gcry_mac_close(h);
  Check(err, "imit");
  if (size != 8) throw std::runtime_error("libgcrypt gave a MAC of another size");
  return mac;
}

// ---- GOST R 34.10-94 and the agreement --------------------------------------------

const Group94& CryptoProA94() {
  static const Group94 group{
      Mpz("B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
          "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
          "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF"),
      Mpz("972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF"),
      Mpz("8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C7111F3FC79568DAFA028042FE1A52A04"
          "89805C0DE9A1A469C844C7CABBEE625C3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
          "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A")};
  return group;
}

namespace {

Bytes PowerOfA(const uint8_t* exponent, size_t size) {
  const Group94& g = CryptoProA94();
  Mpz y;
  mpz_powm_sec(y.get(), g.a.get(), FromLittleEndian(exponent, size).get(), g.p.get());
  return ToLittleEndian(y, 128);
}

}  // namespace

Bytes PublicKey94(const uint8_t* secret32) { return PowerOfA(secret32, 32); }

Bytes ExchangePublicKey(const uint8_t* secret128) { return PowerOfA(secret128, 128); }

bool InSubgroup94(const uint8_t* public128) {
  const Group94& g = CryptoProA94();
  const Mpz y = FromLittleEndian(public128, 128);
  if (mpz_cmp_ui(y.get(), 1) <= 0 || mpz_cmp(y.get(), g.p.get()) >= 0) return false;
  Mpz t;
  mpz_powm(t.get(), y.get(), g.q.get(), g.p.get());
  return mpz_cmp_ui(t.get(), 1) == 0;
}

bool Verify94(const uint8_t* public128, const Bytes& digest, const uint8_t* signature64) {
  const Group94& g = CryptoProA94();
  const Mpz s = FromBigEndian(signature64, 32), r = FromBigEndian(signature64 + 32, 32);
  if (mpz_sgn(r.get()) <= 0 || mpz_cmp(r.get(), g.q.get()) >= 0) return false;
  if (mpz_sgn(s.get()) <= 0 || mpz_cmp(s.get(), g.q.get()) >= 0) return false;
  const Mpz m = DigestNumber(digest, g.q);
  Mpz v, z1, z2, u, t, qm2;
  mpz_sub_ui(qm2.get(), g.q.get(), 2);
  mpz_powm(v.get(), m.get(), qm2.get(), g.q.get());  // v = m^(q-2) mod q
  mpz_mul(z1.get(), s.get(), v.get());
  mpz_mod(z1.get(), z1.get(), g.q.get());
  mpz_sub(z2.get(), g.q.get(), r.get());
  mpz_mul(z2.get(), z2.get(), v.get());
  mpz_mod(z2.get(), z2.get(), g.q.get());
  mpz_powm(u.get(), g.a.get(), z1.get(), g.p.get());
  mpz_powm(t.get(), FromLittleEndian(public128, 128).get(), z2.get(), g.p.get());
  mpz_mul(u.get(), u.get(), t.get());
  mpz_mod(u.get(), u.get(), g.p.get());
  mpz_mod(u.get(), u.get(), g.q.get());
  return u == r;
}

Bytes Sign94(const uint8_t* secret32, const Bytes& digest) {
  const Group94& g = CryptoProA94();
  const Mpz x = FromLittleEndian(secret32, 32);
  const Mpz m = DigestNumber(digest, g.q);
  Mpz r, s;
  do {
    const Mpz k = RandomBelow(g.q);
    mpz_powm_sec(r.get(), g.a.get(), k.get(), g.p.get());
    mpz_mod(r.get(), r.get(), g.q.get());
    Mpz km;
    mpz_mul(s.get(), x.get(), r.get());
    mpz_mul(km.get(), k.get(), m.get());
    mpz_add(s.get(), s.get(), km.get());
    mpz_mod(s.get(), s.get(), g.q.get());
  } while (mpz_sgn(r.get()) == 0 || mpz_sgn(s.get()) == 0);
  Bytes signature = ToBigEndian(s, 32);
  const Bytes rb = ToBigEndian(r, 32);
  signature.insert(signature.end(), rb.begin(), rb.end());
  return signature;
}

Bytes SharedSecret(const uint8_t* ownSecret128, const uint8_t* peerPublic128) {
  const Group94& g = CryptoProA94();
  Mpz k;
  mpz_powm_sec(k.get(), FromLittleEndian(peerPublic128, 128).get(), FromLittleEndian(ownSecret128, 128).get(),
               g.p.get());
  return ToLittleEndian(k, 128);
}

// ---- GOST R 34.10-2001 ------------------------------------------------------------

namespace {

// nettle's point and scalar on the CryptoPro-A curve (gost_gc256b).
struct Point {
  Point() { ecc_point_init(&p, nettle_get_gost_gc256b()); }
  ~Point() { ecc_point_clear(&p); }
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;
  ecc_point p;
};

struct Scalar {
  explicit Scalar(const uint8_t* secret32) {
    ecc_scalar_init(&s, nettle_get_gost_gc256b());
    valid = ecc_scalar_set(&s, FromLittleEndian(secret32, 32).get()) == 1;
  }
  ~Scalar() { ecc_scalar_clear(&s); }
  Scalar(const Scalar&) = delete;
  Scalar& operator=(const Scalar&) = delete;
  ecc_scalar s;
  bool valid = false;
};

bool SetPoint(Point& point, const uint8_t* public100) {
  if (std::any_of(public100 + 64, public100 + 100, [](uint8_t b) { return b != 0; })) return false;
  return ecc_point_set(&point.p, FromLittleEndian(public100, 32).get(), FromLittleEndian(public100 + 32, 32).get()) ==
         1;
}

}  // namespace

Bytes PublicKey2001(const uint8_t* secret32) {
  const Scalar d(secret32);
  if (!d.valid) return {};
  Point q;
  ecc_point_mul_g(&q.p, &d.s);
  Mpz x, y;
  ecc_point_get(&q.p, x.get(), y.get());
  Bytes out = ToLittleEndian(x, 32);
  const Bytes yb = ToLittleEndian(y, 32);
  out.insert(out.end(), yb.begin(), yb.end());
  out.resize(100, 0);
  return out;
}

bool OnCurve2001(const uint8_t* public100) {
  Point q;
  return SetPoint(q, public100);
}

bool Verify2001(const uint8_t* public100, const Bytes& digest, const uint8_t* signature64) {
  Point q;
  if (!SetPoint(q, public100)) return false;
  dsa_signature sig;
  dsa_signature_init(&sig);
  mpz_import(sig.s, 32, 1, 1, 0, 0, signature64);
  mpz_import(sig.r, 32, 1, 1, 0, 0, signature64 + 32);
  const bool ok = gostdsa_verify(&q.p, digest.size(), digest.data(), &sig) == 1;
  dsa_signature_clear(&sig);
  return ok;
}

Bytes Sign2001(const uint8_t* secret32, const Bytes& digest) {
  const Scalar d(secret32);
  if (!d.valid) return {};
  dsa_signature sig;
  dsa_signature_init(&sig);
  gostdsa_sign(&d.s, nullptr, NettleRandom, digest.size(), digest.data(), &sig);
  Mpz s, r;
  mpz_set(s.get(), sig.s);
  mpz_set(r.get(), sig.r);
  dsa_signature_clear(&sig);
  Bytes signature = ToBigEndian(s, 32);
  const Bytes rb = ToBigEndian(r, 32);
  signature.insert(signature.end(), rb.begin(), rb.end());
  return signature;
}

}  // namespace oracle
