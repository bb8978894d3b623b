// Independent GOST primitives for the oracle tests, written on libgcrypt,
// nettle (hogweed) and GMP from the published parameters. Nothing here calls
// or copies the engine or libcrypt.dll.
//
// Byte orders, as libcrypt.dll documents them: the hash digest is the byte
// string libgcrypt outputs, read as a little-endian integer where a signature
// needs a number; signature values are s then r, 32 big-endian bytes each;
// keys and the Diffie-Hellman secret are little-endian; a GOST R 34.10-2001
// public key is x then y (little-endian) followed by 36 zero bytes.
#pragma once

#include <gmp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

using Bytes = std::vector<uint8_t>;

// ---- big integers (GMP) --------------------------------------------------------------

class Mpz {
 public:
  Mpz() { mpz_init(v_); }
  explicit Mpz(const char* hex) { mpz_init_set_str(v_, hex, 16); }
  ~Mpz() { mpz_clear(v_); }
  Mpz(const Mpz& o) { mpz_init_set(v_, o.v_); }
  Mpz& operator=(const Mpz& o) {
    mpz_set(v_, o.v_);
    return *this;
  }
  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }
  bool operator==(const Mpz& o) const { return mpz_cmp(v_, o.v_) == 0; }

 private:
  mpz_t v_;
};

Mpz FromLittleEndian(const uint8_t* bytes, size_t size);
Mpz FromBigEndian(const uint8_t* bytes, size_t size);
Bytes ToLittleEndian(const Mpz& value, size_t size);
Bytes ToBigEndian(const Mpz& value, size_t size);

// ---- GOST R 34.11-94 (libgcrypt, test parameter set, zero start vector) ---------------

Bytes Hash(const uint8_t* data, size_t size);
inline Bytes Hash(const Bytes& data) { return Hash(data.data(), data.size()); }
// The engine's legacy digest: every piece of at most 65535 bytes starts at
// the beginning of the data.
Bytes LegacyDigest(const Bytes& data);

// ---- GOST 28147-89 (libgcrypt, S-box of the hash's test parameter set) ----------------

// Counter mode ("gamma"), built on libgcrypt's block encryption: the counter
// starts as E(IV); per block N3 += 0x01010101 mod 2^32, N4 += 0x01010104
// mod 2^32 - 1, and the gamma is E(N3, N4).
Bytes GammaCrypt(const uint8_t* key, const uint8_t* iv, const Bytes& data);
// 64-bit cipher feedback ("gamma with feedback"), libgcrypt's CFB mode.
Bytes FeedbackEncrypt(const uint8_t* key, const uint8_t* iv, const Bytes& data);
Bytes FeedbackDecrypt(const uint8_t* key, const uint8_t* iv, const Bytes& data);
// libgcrypt's GOST28147_IMIT, all eight bytes of its state (zero for the
// empty message).
Bytes Imit(const uint8_t* key, const Bytes& data);

// ---- GOST R 34.10-94 and the Diffie-Hellman group (GMP, CryptoPro-A) ------------------

struct Group94 {
  Mpz p, q, a;
};
const Group94& CryptoProA94();
// a^x mod p as 128 little-endian bytes: the signature public key of a 32-byte
// secret, the exchange public key of a 128-byte one.
Bytes PublicKey94(const uint8_t* secret32);
Bytes ExchangePublicKey(const uint8_t* secret128);
// y^q = 1 and 1 < y < p: y lies in the subgroup of order q.
bool InSubgroup94(const uint8_t* public128);
bool Verify94(const uint8_t* public128, const Bytes& digest, const uint8_t* signature64);
Bytes Sign94(const uint8_t* secret32, const Bytes& digest);
// The agreement: peer^own mod p, 128 little-endian bytes.
Bytes SharedSecret(const uint8_t* ownSecret128, const uint8_t* peerPublic128);

// ---- GOST R 34.10-2001 (nettle's gostdsa on gost_gc256b, the CryptoPro-A curve) -------

// d G as the 100-byte public-key area.
Bytes PublicKey2001(const uint8_t* secret32);
// The point lies on the curve (and the 36 trailing bytes are zero).
bool OnCurve2001(const uint8_t* public100);
bool Verify2001(const uint8_t* public100, const Bytes& digest, const uint8_t* signature64);
Bytes Sign2001(const uint8_t* secret32, const Bytes& digest);

// Random bytes from libgcrypt's strong generator.
Bytes RandomBytes(size_t size);

}  // namespace oracle
