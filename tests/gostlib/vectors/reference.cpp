#include "reference.hpp"

#include <gcrypt.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>

namespace gostvec {

Z pow2(unsigned e) {
  Z r;
  mpz_ui_pow_ui(r.get(), 2, e);
  return r;
}

Z mod(const Z& a, const Z& m) {
  Z r;
  mpz_mod(r.get(), a.get(), m.get());
  return r;
}

Z powm(const Z& b, const Z& e, const Z& m) {
  Z r;
  mpz_powm(r.get(), b.get(), e.get(), m.get());
  return r;
}

Z invert(const Z& a, const Z& m) {
  Z r;
  if (mpz_invert(r.get(), a.get(), m.get()) == 0) return Z();
  return r;
}

Z from_le(const Bytes& b) {
  Z z;
  mpz_import(z.get(), b.size(), -1, 1, 0, 0, b.data());
  return z;
}

Z from_be(const Bytes& b) { return from_le(Bytes(b.rbegin(), b.rend())); }

Bytes to_le(const Z& z, size_t n) {
  Bytes out(n + (mpz_sizeinbase(z.get(), 256) + 1), 0);
  size_t count = 0;
  mpz_export(out.data(), &count, -1, 1, 0, 0, z.get());
  out.resize(n);
  return out;
}

Bytes to_be(const Z& z, size_t n) {
  const Bytes le = to_le(z, n);
  return Bytes(le.rbegin(), le.rend());
}

bool nettle_verifies_2001(const Bytes& area, const Bytes& digest, const Bytes& signature) {
  ecc_point pub;
  ecc_point_init(&pub, nettle_get_gost_gc256b());
  const Z x = from_le(Bytes(area.begin(), area.begin() + 32)), y = from_le(Bytes(area.begin() + 32, area.begin() + 64));
  dsa_signature sig;
  dsa_signature_init(&sig);
  mpz_set(sig.s, from_be(Bytes(signature.begin(), signature.begin() + 32)).get());
  mpz_set(sig.r, from_be(Bytes(signature.begin() + 32, signature.end())).get());
  const bool ok = ecc_point_set(&pub, x.get(), y.get()) == 1 &&
                  gostdsa_verify(&pub, digest.size(), digest.data(), &sig) == 1;
  dsa_signature_clear(&sig);
  ecc_point_clear(&pub);
  return ok;
}

// libgcrypt reads the value of (flags gost) big-endian: the digest reversed.
bool gcrypt_verifies_2001(const Bytes& area, const Bytes& digest, const Bytes& signature) {
  init_gcrypt();
  Bytes q{0x04};
  for (const size_t off : {size_t(0), size_t(32)}) {
    const Bytes coordinate(area.rend() - off - 32, area.rend() - off);
    q.insert(q.end(), coordinate.begin(), coordinate.end());
  }
  const Bytes value(digest.rbegin(), digest.rend());
  gcry_sexp_t key = nullptr, data = nullptr, sig = nullptr;
  const bool built =
      gcry_sexp_build(&key, nullptr, "(public-key(ecc(curve GOST2001-CryptoPro-A)(q %b)))", int(q.size()),
                      q.data()) == 0 &&
      gcry_sexp_build(&data, nullptr, "(data(flags gost)(value %b))", int(value.size()), value.data()) == 0 &&
      gcry_sexp_build(&sig, nullptr, "(sig-val(gost(r %b)(s %b)))", 32, signature.data() + 32, 32,
                      signature.data()) == 0;
  const bool ok = built && gcry_pk_verify(sig, data, key) == 0;
  for (gcry_sexp_t s : {key, data, sig}) gcry_sexp_release(s);
  return ok;
}

bool gmp_verifies_94(const Bytes& y, const Bytes& digest, const Bytes& signature) {
  const Z p = Z::of_hex(kP94), q = Z::of_hex(kQ94), a = Z::of_hex(kA94);
  const Z s = from_be(Bytes(signature.begin(), signature.begin() + 32));
  const Z r = from_be(Bytes(signature.begin() + 32, signature.end()));
  Z e = mod(from_le(digest), q);
  if (e.is_zero()) e = 1;
  if (r.is_zero() || s.is_zero() || !(r < q) || !(s < q)) return false;
  const Z v = invert(e, q);
  const Z u = powm(a, mod(s * v, q), p) * powm(from_le(y), mod((q - r) * v, q), p);
  return mod(mod(u, p), q) == r;
}

void init_gcrypt() {
  static const bool done = [] {
    gcry_check_version(nullptr);
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) == 0) {
      gcry_control(GCRYCTL_DISABLE_SECMEM_WARN);
      gcry_control(GCRYCTL_INIT_SECMEM, 65536, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
    return true;
  }();
  (void)done;
}

}  // namespace gostvec
