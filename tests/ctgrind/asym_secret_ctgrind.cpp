// Constant-time check of the GOST library's public-key arithmetic, ctgrind
// style: run under valgrind memcheck, the secret inputs (key, nonce,
// exponent) are marked undefined, so every branch, conditional move or
// memory index that depends on them is reported. The public outputs are
// marked defined again and compared with the same computation on defined
// inputs, and checked by an independent relation (the signature verifies,
// both sides of an agreement get the same value).
//
//   asym_secret_ctgrind ec-sign      GOST R 34.10-2001: d G (public key),
//                                    k G, r = x mod q, s = r d + k e
//   asym_secret_ctgrind ec-agree     GOST R 34.10-2001 agreement: d P
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
// A wrong answer ends the program with code 2; 94-fast ends with 77
// (skipped) on a processor without mulx/adx.
//
// The library's sources are compiled into this program (it hides their
// symbols) and built with the library's -O3, as the library builds them.
#include <valgrind/memcheck.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
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
constexpr ec::Sc kNonceK{{0x9e3779b97f4a7c15ULL, 0xbf58476d1ce4e5b9ULL, 0x94d049bb133111ebULL, 0xd6e8feb86659fd93ULL}};
constexpr ec::Sc kDigestE{{0x2545f4914f6cdd1dULL, 0x5851f42d4c957f2dULL, 0x14057b7ef767814fULL, 0x3c6ef372fe94f82bULL}};
constexpr ec::Sc kPeerT{{0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0x1f83d9abfb41bd6bULL}};

// to_affine's arithmetic. Its test for the point at infinity is left out:
// that is a public fact (never, for a scalar in [1, q - 1]).
ec::Affine affine_of(const ec::Point& p) {
  const ec::Fe zi = ec::fe_inv(p.z);
  return ec::Affine{ec::fe_mul(p.x, zi), ec::fe_mul(p.y, zi)};
}

struct Signature2001 {
  ec::Affine pub;  // d G
  ec::Sc r, s;
};

// Key generation and signing: the public key of d, and r = x(k G) mod q,
// s = (r d + k e) mod q.
Signature2001 sign2001(const ec::Sc& d, const ec::Sc& k, const ec::Sc& e) {
  Signature2001 out;
  out.pub = affine_of(ec::mul_base(d));
  out.r = ec::sc_from_fe(affine_of(ec::mul_base(k)).x);
  out.s = ec::sc_add(ec::sc_mul(out.r, d), ec::sc_mul(k, e));
  return out;
}

// The library's verification: R = (s / e) G - (r / e) Q, x(R) mod q = r.
bool verify2001(const ec::Affine& pub, const ec::Sc& e, const ec::Sc& r, const ec::Sc& s) {
  const ec::Sc v = ec::sc_inv(e);
  const ec::Sc z1 = ec::sc_mul(s, v);
  const ec::Sc z2 = ec::sc_neg(ec::sc_mul(r, v));
  return ec::x_mod_q_equals(ec::mul_double_public(z1, z2, pub), r);
}

int run_ec_sign() {
  Checks checks;
  const Signature2001 want = sign2001(kSecretD, kNonceK, kDigestE);
  ec::Sc d = kSecretD, k = kNonceK;
  mark_secret(d);
  mark_secret(k);
  Signature2001 got = sign2001(d, k, kDigestE);
  mark_public(got);
  checks.expect(same(got, want), "2001 signature with secret inputs differs from the defined run");
  checks.expect(verify2001(want.pub, kDigestE, want.r, want.s), "2001 signature does not verify");
  const ec::Sc other_e = ec::sc_add(kDigestE, ec::Sc{{1, 0, 0, 0}});
  checks.expect(!verify2001(want.pub, other_e, want.r, want.s), "2001 signature verifies another digest");
  return checks.result("ec-sign");
}

int run_ec_agree() {
  Checks checks;
  const ec::Affine peer = affine_of(ec::mul_base(kPeerT));  // t G
  const ec::Affine want = affine_of(ec::mul(kSecretD, peer));
  ec::Sc d = kSecretD;
  mark_secret(d);
  ec::Affine got = affine_of(ec::mul(d, peer));
  mark_public(got);
  checks.expect(same(got, want), "2001 agreement with a secret key differs from the defined run");
  // d (t G) = (d t) G, by the fixed-base table.
  const ec::Affine by_base = affine_of(ec::mul_base(ec::sc_mul(kSecretD, kPeerT)));
  checks.expect(same(want, by_base), "d (t G) differs from (d t) G");
  return checks.result("ec-agree");
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
  checks.expect(g.check_public(o.pub, powers), "94 public key outside the subgroup");
  typename gost::Group94<L>::Scalar u;
  g.verify_value(u, o.pub, powers, v.e, o.r, o.s);
  checks.expect(same(u, o.r), "94 signature does not verify");
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
  g.verify_value(u, o.pub, powers, v.e, o.r, s);
  mark_public(u);
  checks.expect(same(u, o.r), "94 signature does not verify");
  return checks.result("leaky-94");
}

#if GOST_MONT_ADX
// mulx (BMI2) and adcx/adox (ADX) on this processor. Under valgrind its
// CPUID does not show ADX, so the processor's flags are read from Linux.
bool processor_has_adx() {
  if (mont::adx::available()) return true;
  if (!RUNNING_ON_VALGRIND) return false;
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    line += ' ';
    return line.find(" adx ") != std::string::npos && line.find(" bmi2 ") != std::string::npos;
  }
  return false;
}
#endif

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
  if (mode == "ec-sign") return run_ec_sign();
  if (mode == "ec-agree") return run_ec_agree();
  if (mode == "94-fast") return run94_rows(MontPath::kFast, "94-fast");
  if (mode == "94-portable") return run94_rows(MontPath::kPortable, "94-portable");
  if (mode == "94-limb32") return run94<uint32_t>("94-limb32");
  if (mode == "leaky-ec") return run_leaky_ec();
  if (mode == "leaky-94") return run_leaky94();
  std::fprintf(stderr, "%s: unknown mode (ec-sign, ec-agree, 94-fast, 94-portable, 94-limb32, leaky-ec, leaky-94)\n",
               argv[0]);
  return 64;
}
