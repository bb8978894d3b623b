// Constant-time check of the GOST library's public-key arithmetic, ctgrind
// style: run under valgrind memcheck, the secret inputs (key, nonce,
// exponent) are marked undefined, so every branch, conditional move or
// memory index that depends on them is reported. The public outputs are
// marked defined again and compared with the same computation on defined
// inputs, and checked by an independent relation (the signature verifies,
// both sides of an agreement get the same value).
//
//   asym_secret_ctgrind ec-sign-fast GOST R 34.10-2001 on the mulx/adx rows:
//                                    k from a 512-bit hash mod q, d G
//                                    (public key), k G (table scans on
//                                    256-bit vectors), the inversion of Z
//                                    (division steps), r = x mod q,
//                                    s = r d + k e
//   asym_secret_ctgrind ec-sign-portable  the same on the portable rows
//                                    (128-bit integers; in the build with
//                                    GOST_EC256_NO_INT128, 32-bit halves
//                                    and Fermat inversions, as on i686)
//   asym_secret_ctgrind ec-agree-fast     GOST R 34.10-2001 agreement d P,
//                                    mulx/adx rows
//   asym_secret_ctgrind ec-agree-portable the same on the portable rows
//   asym_secret_ctgrind 94-fast      GOST R 34.10-94 and its agreement on
//                                    64-bit limbs, mulx/adx rows: x and k
//                                    read from key bytes, the range check
//                                    of x, a^x, a^k, (a^k mod p) mod q,
//                                    s = x r + k e, y^x
//   asym_secret_ctgrind 94-portable  the same on 64-bit limbs, portable rows
//   asym_secret_ctgrind 94-limb32    the same on 32-bit limbs (i686 build)
//   asym_secret_ctgrind leaky-ec     the verification's a G + b Q on a
//                                    secret a: reports expected
//   asym_secret_ctgrind leaky-94     the verification's exponentiation on a
//                                    secret s: reports expected
//
// A wrong answer ends the program with code 2; 94-fast and the ec-*-fast
// modes end with 77 (skipped) on a processor without mulx/adx (and AVX2).
//
// The library's sources are compiled into this program (it hides their
// symbols) and built with the library's -O3, as the library builds them.
#include <valgrind/memcheck.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <type_traits>

#include "../../gostlib/mont1024.hpp"

namespace {
enum class MontPath { kHardware, kFast, kPortable };
}  // namespace

#if GOST_MONT_ADX
namespace {
// Which rows Mont<uint64_t, 16> takes, set by the mode before the first
// group operation.
MontPath g_mont_path = MontPath::kHardware;
}  // namespace

// Valgrind 3.19 executes mulx, adcx and adox, but the processor it presents
// does not announce ADX, so the library's own check would always pick the
// portable rows under valgrind. The mode decides instead.
template <>
bool gost::mont::Mont<uint64_t, 16>::has_fast_path() {
  switch (g_mont_path) {
    case MontPath::kFast:
      return true;
    case MontPath::kPortable:
      return false;
    case MontPath::kHardware:
      break;
  }
  return adx::available();
}
#endif

#include "../../gostlib/mont1024.cpp"
// After mont1024.cpp: ec256.cpp's optimisation pragma applies from here on.
#include "../../gostlib/ec256.cpp"

namespace gost {
// The library's wipe (common.cpp is not compiled in).
void wipe(void* p, size_t n) noexcept {
  auto* volatile bytes = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) bytes[i] = 0;
}
}  // namespace gost

namespace {

namespace ec = gost::ec256;
namespace mont = gost::mont;

constexpr int kWrongAnswer = 2;
constexpr int kSkipped = 77;

template <class T>
void mark_secret(T& v) {
  static_assert(std::is_trivially_copyable_v<T>);
  VALGRIND_MAKE_MEM_UNDEFINED(&v, sizeof v);
}

template <class T>
void mark_public(T& v) {
  static_assert(std::is_trivially_copyable_v<T>);
  VALGRIND_MAKE_MEM_DEFINED(&v, sizeof v);
}

// Values without padding only (limb arrays and structs of them).
template <class T>
bool same(const T& a, const T& b) {
  static_assert(std::has_unique_object_representations_v<T>);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class Checks {
 public:
  void expect(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "wrong answer: %s\n", what);
    ++wrong_;
  }
  int result(const char* mode) const {
    if (wrong_ == 0) std::printf("%s: answers right\n", mode);
    return wrong_ == 0 ? 0 : kWrongAnswer;
  }

 private:
  int wrong_ = 0;
};

// --- GOST R 34.10-2001 -------------------------------------------------------

// Below q (its two top limbs are all ones).
constexpr ec::Sc kSecretD{{0x0123456789abcdefULL, 0xfedcba9876543210ULL, 0x0f1e2d3c4b5a6978ULL, 0x7a5b3c1d2e4f6a8bULL}};
constexpr ec::Sc kDigestE{{0x2545f4914f6cdd1dULL, 0x5851f42d4c957f2dULL, 0x14057b7ef767814fULL, 0x3c6ef372fe94f82bULL}};
constexpr ec::Sc kPeerT{{0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0x1f83d9abfb41bd6bULL}};

// A 512-bit hash output from which the nonce is reduced (its value is k's
// source; any bytes do).
constexpr uint8_t kNonceHash[64] = {0x3c, 0x91, 0x5e, 0x07, 0xa2, 0x4f, 0xd8, 0x16, 0x6b, 0xe0, 0x29, 0x84, 0x1f, 0xc7,
                                    0x52, 0xb9, 0x0d, 0x73, 0xae, 0x38, 0xf5, 0x61, 0x9c, 0x2a, 0xd4, 0x47, 0x8e, 0x13,
                                    0x6f, 0xb2, 0x05, 0xc8, 0x99, 0x24, 0xe7, 0x5a, 0x10, 0xcd, 0x83, 0x3e, 0xf1, 0x68,
                                    0xab, 0x17, 0x56, 0xd9, 0x2c, 0x95, 0x40, 0xfe, 0x7b, 0x06, 0xb8, 0x63, 0x1a, 0xe5,
                                    0x31, 0x9f, 0x4c, 0xd0, 0x87, 0x2e, 0x75, 0xc1};

struct Signature2001 {
  ec::Affine pub;  // d G
  ec::Sc r, s;
};

// Key generation and signing on the rows R: the public key of d, the nonce
// k from the hash bytes, r = x(k G) mod q, s = (r d + k e) mod q. The test
// for the point at infinity before the inversion is left out: that is a
// public fact (never, for a scalar in [1, q - 1]).
template <class R>
Signature2001 sign2001(const ec::Sc& d, const uint8_t (&hash)[64], const ec::Sc& e) {
  using C = ec::Curve<R>;
  Signature2001 out;
  const ec::Sc k = ec::sc_reduce_wide_le(hash);
  out.pub = C::affine(C::mul_base(d));
  out.r = ec::sc_from_fe(C::affine(C::mul_base(k)).x);
  out.s = ec::sc_add(ec::sc_mul(out.r, d), ec::sc_mul(k, e));
  return out;
}

// The library's verification: R = (s / e) G - (r / e) Q, x(R) mod q = r.
bool verify2001(const ec::Affine& pub, const ec::Sc& e, const ec::Sc& r, const ec::Sc& s) {
  const ec::Sc v = ec::sc_inv_public(e);
  const ec::Sc z1 = ec::sc_mul(s, v);
  const ec::Sc z2 = ec::sc_neg(ec::sc_mul(r, v));
  return ec::x_mod_q_equals(ec::mul_double_public(z1, z2, pub), r);
}

template <class R>
int run_ec_sign(const char* mode) {
  Checks checks;
  const Signature2001 want = sign2001<R>(kSecretD, kNonceHash, kDigestE);
  ec::Sc d = kSecretD;
  uint8_t hash[64];
  std::memcpy(hash, kNonceHash, sizeof hash);
  mark_secret(d);
  mark_secret(hash);
  Signature2001 got = sign2001<R>(d, hash, kDigestE);
  mark_public(got);
  checks.expect(same(got, want), "2001 signature with secret inputs differs from the defined run");
  checks.expect(verify2001(want.pub, kDigestE, want.r, want.s), "2001 signature does not verify");
  const ec::Sc other_e = ec::sc_add(kDigestE, ec::Sc{{1, 0, 0, 0}});
  checks.expect(!verify2001(want.pub, other_e, want.r, want.s), "2001 signature verifies another digest");
  return checks.result(mode);
}

template <class R>
int run_ec_agree(const char* mode) {
  using C = ec::Curve<R>;
  Checks checks;
  const ec::Affine peer = C::affine(C::mul_base(kPeerT));  // t G
  const ec::Affine want = C::affine(C::mul_point(kSecretD, peer));
  ec::Sc d = kSecretD;
  mark_secret(d);
  ec::Affine got = C::affine(C::mul_point(d, peer));
  mark_public(got);
  checks.expect(same(got, want), "2001 agreement with a secret key differs from the defined run");
  // d (t G) = (d t) G, by the fixed-base table.
  const ec::Affine by_base = C::affine(C::mul_base(ec::sc_mul(kSecretD, kPeerT)));
  checks.expect(same(want, by_base), "d (t G) differs from (d t) G");
  return checks.result(mode);
}

// The verification's double multiplication on a secret scalar.
int run_leaky_ec() {
  Checks checks;
  const ec::Point want = ec::mul_base(kSecretD);
  ec::Sc d = kSecretD;
  mark_secret(d);
  ec::Point got = ec::mul_double_public(d, ec::Sc{}, ec::base_point());
  mark_public(got);
  checks.expect(ec::point_equal_mask(got, want) != 0, "d G + 0 G differs from d G");
  return checks.result("leaky-ec");
}

// --- GOST R 34.10-94 and its agreement -----------------------------------------

template <class L>
struct Values94 {
  using Group = gost::Group94<L>;
  using Elem = typename Group::Elem;
  using Scalar = typename Group::Scalar;

  // Below q (whose top hex digit is 9).
  Scalar x = mont::from_hex<L, Group::kQLimbs>("5d3c7a1f0e9b8c2d4f6a1b3c5e7d9f0a2b4c6d8e0f1a3b5c7d9e1f2a3b4c5d6e");
  Scalar k = mont::from_hex<L, Group::kQLimbs>("83a1c5e7092b4d6f8a0c2e4f6b8d0a1c3e5f7a9b1d3f5a7c9e0b2d4f6a8c0e1f");
  Scalar e = mont::from_hex<L, Group::kQLimbs>("0badc0ffee0ddf00dcafebabedeadbeef123456789abcdef0fedcba987654321");
  Scalar peer_x = mont::from_hex<L, Group::kQLimbs>("41c64e6d3039a5a5f00dfeed1234abcd5678ef0112233445566778899aabbccd");
};

template <class L>
struct Outputs94 {
  typename gost::Group94<L>::Elem pub, shared;
  typename gost::Group94<L>::Scalar r, s;
  bool valid = false, signed_ok = false, agreed = false;
};

// Everything done with the secret x and nonce k: its range check, the
// public key a^x, the signature (a^k, its reduction mod q, x r + k e) and
// the agreement peer^x.
template <class L>
Outputs94<L> secret_ops94(const gost::Group94<L>& g, const typename gost::Group94<L>::Scalar& x,
                          const typename gost::Group94<L>::Scalar& k, const typename gost::Group94<L>::Scalar& e,
                          const typename gost::Group94<L>::Elem& peer) {
  Outputs94<L> out;
  out.valid = g.valid_scalar(x);
  g.pow_a(out.pub, x);
  out.signed_ok = g.sign(out.r, out.s, x, k, e);
  out.agreed = g.agree(out.shared, peer, x);
  return out;
}

template <class L>
void mark_outputs_public(Outputs94<L>& o) {
  mark_public(o.pub);
  mark_public(o.shared);
  mark_public(o.r);
  mark_public(o.s);
  mark_public(o.valid);
  mark_public(o.signed_ok);
  mark_public(o.agreed);
}

template <class L>
void compare_outputs(Checks& checks, const Outputs94<L>& got, const Outputs94<L>& want) {
  checks.expect(got.valid == want.valid && got.signed_ok == want.signed_ok && got.agreed == want.agreed,
                "94 flags with secret inputs differ from the defined run");
  checks.expect(same(got.pub, want.pub), "94 public key with a secret x differs from the defined run");
  checks.expect(same(got.r, want.r) && same(got.s, want.s), "94 signature with secret inputs differs");
  checks.expect(same(got.shared, want.shared), "94 agreement with a secret x differs from the defined run");
}

// The defined results checked by the group's public operations.
template <class L>
void check_relations(Checks& checks, const gost::Group94<L>& g, const Values94<L>& v, const Outputs94<L>& o) {
  using Elem = typename gost::Group94<L>::Elem;
  checks.expect(o.valid && o.signed_ok && o.agreed, "94 range check, signature or agreement refused");
  Elem powers[3];
  typename gost::Group94<L>::Scalar u;
  checks.expect(g.verify_checking(u, powers, o.pub, v.e, o.r, o.s) && same(u, o.r), "94 signature does not verify");
  g.verify_with_powers(u, o.pub, powers, v.e, o.r, o.s);
  checks.expect(same(u, o.r), "94 signature does not verify with the key's powers");
  Elem shared;
  checks.expect(g.agree(shared, o.pub, v.peer_x) && same(shared, o.shared), "94 agreement not symmetric");
}

// A secret as the library receives it: little-endian key bytes, marked
// undefined before they are read into limbs.
template <class Scalar>
Scalar secret_from_bytes(const Scalar& value) {
  std::array<uint8_t, sizeof(Scalar)> bytes;
  mont::to_le_bytes(bytes.data(), value);
  mark_secret(bytes);
  Scalar out;
  mont::from_le_bytes(out, bytes.data());
  return out;
}

template <class L>
int run94(const char* mode) {
  Checks checks;
  const gost::Group94<L>& g = gost::Group94<L>::get();
  const Values94<L> v;
  typename gost::Group94<L>::Elem peer;
  g.pow_a(peer, v.peer_x);
  const Outputs94<L> want = secret_ops94(g, v.x, v.k, v.e, peer);
  const auto x = secret_from_bytes(v.x), k = secret_from_bytes(v.k);
  Outputs94<L> got = secret_ops94(g, x, k, v.e, peer);
  mark_outputs_public(got);
  compare_outputs(checks, got, want);
  check_relations(checks, g, v, want);
  return checks.result(mode);
}

// The verification's exponentiation a^(s/e) y^(-r/e) on a secret s.
int run_leaky94() {
  using L = mont::NativeLimb;
  Checks checks;
  const gost::Group94<L>& g = gost::Group94<L>::get();
  const Values94<L> v;
  typename gost::Group94<L>::Elem peer, powers[3];
  g.pow_a(peer, v.peer_x);
  const Outputs94<L> o = secret_ops94(g, v.x, v.k, v.e, peer);
  checks.expect(g.check_public(o.pub, powers), "94 public key outside the subgroup");
  typename gost::Group94<L>::Scalar s = o.s, u;
  mark_secret(s);
  g.verify_with_powers(u, o.pub, powers, v.e, o.r, s);
  mark_public(u);
  checks.expect(same(u, o.r), "94 signature does not verify");
  return checks.result("leaky-94");
}

// The processor's flags as Linux reports them: under valgrind CPUID does
// not show ADX, although valgrind executes mulx, adcx and adox.
bool processor_has(std::initializer_list<const char*> flags) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    line += ' ';
    for (const char* flag : flags) {
      if (line.find(std::string(" ") + flag + " ") == std::string::npos) return false;
    }
    return true;
  }
  return false;
}

#if GOST_MONT_ADX
// mulx (BMI2) and adcx/adox (ADX) on this processor.
bool processor_has_adx() { return mont::adx::available() || processor_has({"adx", "bmi2"}); }
#endif

// The 2001 modes on the mulx/adx rows, or 77 where they cannot run.
template <int (*Run)(const char*)>
int run_fast_rows(const char* mode) {
  if (!processor_has({"adx", "bmi2", "avx2"})) {
    std::printf("%s: these rows are not available here; skipped\n", mode);
    return kSkipped;
  }
  return Run(mode);
}

// The 64-bit group on the rows asked for; false when the processor lacks them.
bool select_rows(MontPath path) {
#if GOST_MONT_ADX
  if (path == MontPath::kFast && !processor_has_adx()) return false;
  g_mont_path = path;
  const mont::Mont<uint64_t, 16> probe(gost::Group94<uint64_t>::get().p());
  return probe.fast() == (path == MontPath::kFast);
#else
  return path == MontPath::kPortable;
#endif
}

int run94_rows(MontPath path, const char* mode) {
  if (!select_rows(path)) {
    std::printf("%s: these rows are not available here; skipped\n", mode);
    return kSkipped;
  }
  return run94<uint64_t>(mode);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 2 ? argv[1] : "";
#if GOST_EC256_ADX
  if (mode == "ec-sign-fast") return run_fast_rows<run_ec_sign<ec::AdxRows>>("ec-sign-fast");
  if (mode == "ec-agree-fast") return run_fast_rows<run_ec_agree<ec::AdxRows>>("ec-agree-fast");
#else
  if (mode == "ec-sign-fast" || mode == "ec-agree-fast") {
    std::printf("%s: this build has no mulx/adx rows; skipped\n", mode.c_str());
    return kSkipped;
  }
#endif
  if (mode == "ec-sign-portable") return run_ec_sign<ec::PortableRows>("ec-sign-portable");
  if (mode == "ec-agree-portable") return run_ec_agree<ec::PortableRows>("ec-agree-portable");
  if (mode == "94-fast") return run94_rows(MontPath::kFast, "94-fast");
  if (mode == "94-portable") return run94_rows(MontPath::kPortable, "94-portable");
  if (mode == "94-limb32") return run94<uint32_t>("94-limb32");
  if (mode == "leaky-ec") return run_leaky_ec();
  if (mode == "leaky-94") return run_leaky94();
  std::fprintf(stderr,
               "%s: unknown mode (ec-sign-fast, ec-sign-portable, ec-agree-fast, ec-agree-portable, 94-fast, "
               "94-portable, 94-limb32, leaky-ec, leaky-94)\n",
               argv[0]);
  return 64;
}
