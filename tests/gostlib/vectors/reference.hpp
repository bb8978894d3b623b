// The reference implementations behind the GOST library's vectors: GMP,
// nettle and libgcrypt. The generator computes the committed vectors with
// them; the native suite also uses the verifiers on the library's own
// signatures, which differ at every run (a fresh k each time).
#pragma once

#include <gmp.h>

#include "common.hpp"

namespace gostvec {

// A GMP integer with value semantics.
class Z {
 public:
  Z() { mpz_init(v_); }
  Z(unsigned long v) { mpz_init_set_ui(v_, v); }
  static Z of_hex(const std::string& hex) {
    Z z;
    mpz_set_str(z.v_, hex.c_str(), 16);
    return z;
  }
  ~Z() { mpz_clear(v_); }
  Z(const Z& o) { mpz_init_set(v_, o.v_); }
  Z& operator=(const Z& o) {
    mpz_set(v_, o.v_);
    return *this;
  }
  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }
  friend Z operator+(const Z& a, const Z& b) { return a.with(mpz_add, b); }
  friend Z operator-(const Z& a, const Z& b) { return a.with(mpz_sub, b); }
  friend Z operator*(const Z& a, const Z& b) { return a.with(mpz_mul, b); }
  friend bool operator==(const Z& a, const Z& b) { return mpz_cmp(a.v_, b.v_) == 0; }
  friend bool operator<(const Z& a, const Z& b) { return mpz_cmp(a.v_, b.v_) < 0; }
  bool is_zero() const { return mpz_sgn(v_) == 0; }

 private:
  Z with(void (*op)(mpz_ptr, mpz_srcptr, mpz_srcptr), const Z& b) const {
    Z r;
    op(r.v_, v_, b.v_);
    return r;
  }
  mpz_t v_;
};

Z pow2(unsigned e);
// a mod m in [0, m).
Z mod(const Z& a, const Z& m);
Z powm(const Z& b, const Z& e, const Z& m);
// 1/a mod m, and 0 for 0.
Z invert(const Z& a, const Z& m);

Z from_le(const Bytes& b);
Z from_be(const Bytes& b);
// n bytes; the value must fit.
Bytes to_le(const Z& z, size_t n);
Bytes to_be(const Z& z, size_t n);

// GOST R 34.10-2001 signature checks: the public area is x || y (32 bytes
// each, little-endian), the digest the library's 32 bytes, the signature
// s || r (big-endian).
bool nettle_verifies_2001(const Bytes& area, const Bytes& digest, const Bytes& signature);
bool gcrypt_verifies_2001(const Bytes& area, const Bytes& digest, const Bytes& signature);
// GOST R 34.10-94 on the CryptoPro-A group, computed with GMP: public key y
// (128 bytes, little-endian), digest and signature as above.
bool gmp_verifies_94(const Bytes& y, const Bytes& digest, const Bytes& signature);

// libgcrypt initialised once.
void init_gcrypt();

}  // namespace gostvec
