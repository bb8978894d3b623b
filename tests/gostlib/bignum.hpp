// GMP helpers for the independent checks of the public-key algorithms.
#pragma once

#include <gmp.h>

#include <string>

#include "gostlib_fixture.hpp"

namespace gosttest {

class Z {
 public:
  Z() { mpz_init(v_); }
  explicit Z(const char* hex) { mpz_init_set_str(v_, hex, 16); }
  ~Z() { mpz_clear(v_); }
  Z(const Z& o) { mpz_init_set(v_, o.v_); }
  Z& operator=(const Z& o) {
    mpz_set(v_, o.v_);
    return *this;
  }
  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }
  bool operator==(const Z& o) const { return mpz_cmp(v_, o.v_) == 0; }
  std::string hex() const {
    char* s = mpz_get_str(nullptr, 16, v_);
    std::string out(s);
    void (*free_fn)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &free_fn);
    free_fn(s, out.size() + 1);
    return out;
  }

 private:
  mpz_t v_;
};

inline Z z_from_le(const uint8_t* p, size_t n) {
  Z z;
  mpz_import(z.get(), n, -1, 1, 0, 0, p);
  return z;
}

inline Z z_from_be(const uint8_t* p, size_t n) {
  Z z;
  mpz_import(z.get(), n, 1, 1, 0, 0, p);
  return z;
}

// n bytes, zero-padded; the value must fit.
inline Bytes z_to_le(const Z& z, size_t n) {
  Bytes out(n, 0);
  size_t count = 0;
  Bytes tmp((mpz_sizeinbase(z.get(), 2) + 7) / 8 + 1);
  mpz_export(tmp.data(), &count, -1, 1, 0, 0, z.get());
  EXPECT_LE(count, n);
  std::copy(tmp.begin(), tmp.begin() + std::min(count, n), out.begin());
  return out;
}

inline Bytes z_to_be(const Z& z, size_t n) { return reversed(z_to_le(z, n)); }

// The GOST R 34.10-94 CryptoPro-A group.
inline const char* kP94 =
    "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
    "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
    "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF";
inline const char* kQ94 = "972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF";
inline const char* kA94 =
    "8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C7111F3FC79568DAFA028042FE1A52A04"
    "89805C0DE9A1A469C844C7CABBEE625C3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
    "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A";
inline const char* kQ2001 = "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF6C611070995AD10045841B09B761B893";
inline const char* kP2001 = "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD97";

}  // namespace gosttest
