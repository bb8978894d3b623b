// Writes the reference vectors of the GOST library's suite, computed with
// GMP, nettle and libgcrypt, so that the suite needs no reference library at
// run time and runs under Wine on the 32-bit build too.
//
//   gostlib_vectors DIR           writes the four vector files into DIR
//   gostlib_vectors --check DIR   exits 1 when a file in DIR differs from
//                                 what would be written
//
// Every input comes from fixed seeds (nettle signs with a generator of fixed
// seed), so the output is the same at every run. Where two references offer
// the same computation, both are asked and the generator stops when they
// disagree.
#include <gcrypt.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#include <nettle/gosthash94.h>
#include <nettle/yarrow.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "reference.hpp"

namespace gostvec {
namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    std::cerr << "gostlib_vectors: the references disagree: " << what << "\n";
    std::exit(2);
  }
}

// One vector file: comment lines, then one line per vector.
struct File {
  std::string name, text;
  void add(const std::string& kind, const std::vector<std::string>& fields) {
    text += kind;
    for (const std::string& f : fields) text += " " + (f.empty() ? "-" : f);
    text += "\n";
  }
};

std::string hex(const Z& z, size_t bytes = 32) { return to_hex(to_be(z, bytes)); }

Z shr(const Z& a, unsigned n) {
  Z r;
  mpz_fdiv_q_2exp(r.get(), a.get(), n);
  return r;
}

class Random {
 public:
  explicit Random(uint64_t seed) : gen_(seed) {}
  Z bits(unsigned n) {
    Z z;
    for (unsigned i = 0; i < n; i += 64) z = z * pow2(64) + Z(gen_());
    return z;
  }
  Z below(const Z& m, unsigned bits_of_m = 256) { return mod(bits(bits_of_m), m); }
  Bytes bytes(size_t n) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(gen_());
    return b;
  }

 private:
  std::mt19937_64 gen_;
};

// --- the curve -----------------------------------------------------------

const Z P = Z::of_hex(kP2001), Q = Z::of_hex(kQ2001);

struct Pt {
  Z x, y;
  bool inf = false;
};

Pt neg(const Pt& a) { return a.inf ? a : Pt{a.x, mod(Z() - a.y, P)}; }
bool same(const Pt& a, const Pt& b) { return a.inf == b.inf && (a.inf || (a.x == b.x && a.y == b.y)); }
std::string hex(const Pt& a) { return a.inf ? hex(Z()) + " " + hex(Z()) : hex(a.x) + " " + hex(a.y); }

// The textbook affine group law of y^2 = x^3 - 3x + 166 mod p.
Pt add(const Pt& a, const Pt& b) {
  if (a.inf) return b;
  if (b.inf) return a;
  Z num, den;
  if (a.x == b.x) {
    if (mod(a.y + b.y, P).is_zero()) return Pt{Z(), Z(), true};
    num = Z(3) * a.x * a.x - Z(3);
    den = Z(2) * a.y;
  } else {
    num = b.y - a.y;
    den = b.x - a.x;
  }
  const Z lambda = mod(num * invert(mod(den, P), P), P);
  const Z x = mod(lambda * lambda - a.x - b.x, P);
  return Pt{x, mod((a.x - x) * lambda - a.y, P)};
}

// k G by nettle.
Pt mul_g(const Z& k) {
  if (mod(k, Q).is_zero()) return Pt{Z(), Z(), true};
  ecc_scalar s;
  ecc_point r;
  ecc_scalar_init(&s, nettle_get_gost_gc256b());
  ecc_point_init(&r, nettle_get_gost_gc256b());
  require(ecc_scalar_set(&s, mod(k, Q).get()) == 1, "nettle scalar");
  ecc_point_mul_g(&r, &s);
  Pt out;
  ecc_point_get(&r, out.x.get(), out.y.get());
  ecc_point_clear(&r);
  ecc_scalar_clear(&s);
  return out;
}

gcry_mpi_t mpi_of(const Z& z) {
  gcry_mpi_t m = nullptr;
  const Bytes be = to_be(z, 32);
  gcry_mpi_scan(&m, GCRYMPI_FMT_USG, be.data(), be.size(), nullptr);
  return m;
}

Z z_of(gcry_mpi_t m) {
  Bytes be(32);
  size_t n = 0;
  gcry_mpi_print(GCRYMPI_FMT_USG, be.data(), be.size(), &n, m);
  be.resize(n);
  return from_be(be);
}

// k P by libgcrypt's curve of the same parameters.
Pt mul(const Z& k, const Pt& p) {
  init_gcrypt();
  gcry_ctx_t ctx = nullptr;
  require(gcry_mpi_ec_new(&ctx, nullptr, "GOST2001-CryptoPro-A") == 0, "libgcrypt curve");
  gcry_mpi_t x = mpi_of(p.x), y = mpi_of(p.y), one = gcry_mpi_set_ui(nullptr, 1), km = mpi_of(k);
  gcry_mpi_t ox = gcry_mpi_new(0), oy = gcry_mpi_new(0);
  gcry_mpi_point_t pt = gcry_mpi_point_set(nullptr, x, y, one), out = gcry_mpi_point_new(0);
  gcry_mpi_ec_mul(out, km, pt, ctx);
  Pt r;
  r.inf = gcry_mpi_ec_get_affine(ox, oy, out, ctx) != 0;
  if (!r.inf) r = Pt{z_of(ox), z_of(oy)};
  for (gcry_mpi_t m : {x, y, one, km, ox, oy}) gcry_mpi_release(m);
  gcry_mpi_point_release(pt);
  gcry_mpi_point_release(out);
  gcry_ctx_release(ctx);
  return r;
}

// Values and the partners each meets in the binary operations: edges of the
// representation and of the modulus, random values; for the field also
// values from p to 2^256 - 1.
void field_lines(File& f, Random& rnd) {
  std::vector<Z> v = {0,         1,         2,    617,          618,      P - 2, P - 1, P - 617,
                      pow2(64) - 1, pow2(128), pow2(192) - 1, pow2(255), P,     P + 1, pow2(256) - 1};
  for (int i = 0; i < 3; ++i) v.push_back(rnd.below(P));
  const std::vector<Z> partners = {0, 1, 618, P - 1, P - 617, pow2(64) - 1, pow2(255), P + 1, pow2(256) - 1,
                                   v.back()};
  for (const Z& a : v) {
    f.add("fe1", {hex(a), hex(mod(a * a, P)), hex(mod(a * 3, P)), hex(mod(a * 166, P)),
                  hex(mod(a * 0xFFFFFFFFul, P)), hex(mod(Z() - a, P)), hex(invert(mod(a, P), P))});
    for (const Z& b : partners) {
      f.add("fe", {hex(a), hex(b), hex(mod(a + b, P)), hex(mod(a - b, P)), hex(mod(a * b, P))});
    }
  }
}

void scalar_lines(File& f, Random& rnd) {
  std::vector<Z> v = {0, 1, 2, Q - 1, Q - 2, pow2(64) - 1, pow2(128), pow2(255)};
  for (int i = 0; i < 3; ++i) v.push_back(rnd.below(Q));
  const std::vector<Z> partners = {0, 1, Q - 1, pow2(64) - 1, pow2(255), v.back()};
  for (const Z& a : v) {
    f.add("sc1", {hex(a), hex(mod(Z() - a, Q)), hex(invert(a, Q))});
    for (const Z& b : partners) f.add("sc", {hex(a), hex(b), hex(mod(a + b, Q)), hex(mod(a * b, Q))});
  }
  // Reduction of any 256-bit value, and of 512-bit ones made of two of them.
  std::vector<Z> wide = v;
  for (const unsigned long d : {0ul, 1ul, 2ul}) wide.push_back(Q + d);
  for (const unsigned long d : {1ul, 2ul, 617ul, 618ul}) wide.push_back(pow2(256) - d);
  for (int i = 0; i < 4; ++i) wide.push_back(rnd.bits(256));
  for (size_t i = 0; i < wide.size(); ++i) {
    f.add("sc_reduce", {hex(wide[i]), hex(mod(wide[i], Q))});
    const Z v512 = wide[(i * 7 + 3) % wide.size()] * pow2(256) + wide[i];
    f.add("sc_wide", {hex(v512, 64), hex(mod(v512, Q))});
  }
}

// Scalars whose signed 7-bit digits hit the recoding's edges: every digit
// -64 with a carry up, 63 in every window, runs of ones through all
// windows, single windows; then small ones, q - small ones and random ones.
std::vector<Z> scalars(Random& rnd, int random_count) {
  Z all64, all63;
  for (unsigned i = 0; i < 36; ++i) {
    all64 = all64 + pow2(7 * i + 6);
    all63 = all63 + Z(63) * pow2(7 * i);
  }
  std::vector<Z> out = {all64, all63, pow2(252) - 1, pow2(6), pow2(7), pow2(13), pow2(251), pow2(252), pow2(255)};
  for (const char* h : {"1", "2", "3", "f", "10", "11", "ff", "100",
                        "1111111111111111111111111111111111111111111111111111111111111111"}) {
    out.push_back(Z::of_hex(h));
  }
  for (const unsigned long d : {1ul, 2ul, 16ul}) out.push_back(Q - d);
  for (int i = 0; i < random_count; ++i) out.push_back(rnd.below(Q));
  return out;
}

void point_lines(File& f, Random& rnd) {
  const Z k1 = rnd.below(Q), k2 = rnd.below(Q);
  const Pt g = mul_g(1), p1 = mul_g(k1), p2 = mul_g(k2), inf{Z(), Z(), true};
  require(same(add(g, g), mul_g(2)) && same(add(p1, p2), mul_g(k1 + k2)), "the group law");
  for (const Pt& a : {g, neg(g), p1, neg(p1), p2, inf}) {
    for (const Pt& b : {g, neg(g), p1, neg(p1), p2, inf}) f.add("add", {hex(a), hex(b), hex(add(a, b))});
  }
  std::vector<Z> ks = scalars(rnd, 6);
  ks.push_back(0);
  for (const Z& k : ks) f.add("mul_g", {hex(k), hex(mul_g(k))});
  for (const Pt& base : {g, p1}) {
    for (const Z& k : {Z(0), Z(1), Z(2), Q - 1, Q - 2, pow2(255), rnd.below(Q), rnd.below(Q)}) {
      const Pt want = mul(k, base);
      require(!same(base, g) || same(want, mul_g(k)), "k G");
      f.add("mul", {hex(k), hex(base), hex(want)});
    }
  }
  // a G + b Q, and with Q = G, where the table additions meet the running
  // sum (doubling and cancelling).
  const Pt q3 = mul_g(rnd.below(Q));
  const std::vector<Z> ab = {0, 1, 2, Q - 1, rnd.below(Q), rnd.below(Q)};
  for (const Pt& base : {q3, g}) {
    for (const Z& a : ab) {
      for (const Z& b : ab) f.add("mul_double", {hex(a), hex(b), hex(base), hex(add(mul_g(a), mul(b, base)))});
    }
  }
  // A point with q <= x < p (p = 3 mod 4: y = rhs^((p + 1) / 4)), and 5 G.
  Z x = Q, y;
  for (;; x = x + 1) {
    const Z rhs = mod(x * x * x - Z(3) * x + Z(166), P);
    y = powm(rhs, shr(P + 1, 2), P);
    if (mod(y * y, P) == rhs) break;
  }
  require(!(mod(x, Q).is_zero()), "x = q");
  for (const Pt& p : {Pt{x, y}, mul_g(5)}) f.add("x_mod_q", {hex(p), hex(mod(p.x, Q))});
}

File ec256_file() {
  File f{"ec256.txt",
         "# GOST R 34.10-2001 curve arithmetic (CryptoPro-A: y^2 = x^3 - 3x + 166 mod p, of order q), from\n"
         "# GMP, nettle (k G) and libgcrypt (k P). Numbers are big-endian hex of 32 bytes (64 for sc_wide);\n"
         "# a point is x y, and 0 0 stands for the point at infinity. Field values from p to 2^256 - 1 are\n"
         "# for the rows that may hold them.\n"
         "# fe a b a+b a-b ab            fe1 a a^2 3a 166a (2^32-1)a -a 1/a (mod p, 1/0 written 0)\n"
         "# sc a b a+b ab                sc1 a -a 1/a (mod q)\n"
         "# sc_reduce v v-mod-q           sc_wide v v-mod-q (v below 2^256, 2^512)\n"
         "# add a b a+b   mul_g k kG   mul k P kP   mul_double a b Q aG+bQ   x_mod_q P x-mod-q\n"};
  Random rnd(2001);
  field_lines(f, rnd);
  scalar_lines(f, rnd);
  point_lines(f, rnd);
  return f;
}

// --- the 1024-bit group ----------------------------------------------------

const Z P94 = Z::of_hex(kP94), Q94 = Z::of_hex(kQ94), A94 = Z::of_hex(kA94);

std::string h128(const Z& z) { return hex(z, 128); }

// 0, 1, 2, m - 1, m - 2, R mod m, R^2 mod m, 2^(bits - 1) mod m, then random.
std::vector<Z> mont_values(Random& rnd, const Z& m, unsigned bits, int random_count) {
  std::vector<Z> v = {0, 1, 2, m - 1, m - 2, mod(pow2(bits), m), mod(pow2(2 * bits), m), mod(pow2(bits - 1), m)};
  for (int i = 0; i < random_count; ++i) v.push_back(rnd.below(m, bits));
  return v;
}

void montgomery_lines(File& f, Random& rnd) {
  const Z rp = invert(mod(pow2(1024), P94), P94), rq = invert(mod(pow2(256), Q94), Q94);
  const std::vector<Z> xs = mont_values(rnd, P94, 1024, 8);
  for (size_t i = 0; i < xs.size(); ++i) {
    const Z &x = xs[i], &y = xs[(i * 7 + 3) % xs.size()];
    f.add("mont_p", {h128(x), h128(y), h128(mod(x * y * rp, P94)), h128(mod(x * x * rp, P94)), h128(mod(x + y, P94)),
                     h128(mod(x - y, P94))});
  }
  const std::vector<Z> ss = mont_values(rnd, Q94, 256, 16);
  for (size_t i = 0; i < ss.size(); ++i) {
    const Z &x = ss[i], &y = ss[(i * 5 + 1) % ss.size()];
    f.add("mont_q", {hex(x), hex(y), hex(mod(x * y * rq, Q94)), hex(mod(x * x * rq, Q94))});
  }
  f.add("mont_one", {h128(mod(pow2(1024), P94)), h128(mod(pow2(2048), P94)), hex(mod(pow2(256), Q94)),
                     hex(mod(pow2(512), Q94))});
}

void power_lines(File& f, Random& rnd) {
  std::vector<Z> exps = {0, 1, 2, Q94 - 1, Q94, pow2(256) - 1, Z::of_hex("8000000000000001")};
  for (int i = 0; i < 4; ++i) exps.push_back(rnd.bits(256));
  const Z base = rnd.below(P94, 1024);
  for (const Z& e : exps) f.add("pow", {h128(base), hex(e), h128(powm(base, e, P94))});
  // Eight bases, each raised to its own 64-bit piece of one of two exponents.
  const Z& e1 = exps.back();
  const Z& e2 = exps[exps.size() - 2];
  std::vector<std::string> fields = {hex(e1), hex(e2)};
  Z product = 1;
  for (unsigned j = 0; j < 8; ++j) {
    const Z b = rnd.below(P94, 1024);
    const Z piece = mod(shr(j < 4 ? e1 : e2, 64 * (j % 4)), pow2(64));
    product = mod(product * powm(b, piece, P94), P94);
    fields.push_back(h128(b));
  }
  fields.push_back(h128(product));
  f.add("pow8", fields);
  std::vector<Z> fixed = {0, 1, 15, 16, Q94 - 1, pow2(256) - 1};
  for (int i = 0; i < 6; ++i) fixed.push_back(rnd.below(Q94));
  for (const Z& e : fixed) f.add("pow_a", {hex(e), h128(powm(A94, e, P94))});
}

void group_lines(File& f, Random& rnd) {
  require(mod(P94 - 1, Q94).is_zero() && powm(A94, Q94, P94) == 1, "q divides p - 1, a has order q");
  for (const Z& y : {A94, powm(A94, rnd.below(Q94), P94)}) {
    f.add("subgroup", {h128(y), h128(powm(y, pow2(64), P94)), h128(powm(y, pow2(128), P94)),
                       h128(powm(y, pow2(192), P94))});
  }
  const Z outsider = mod(powm(A94, rnd.below(Q94), P94) * 2, P94);
  require(!(powm(outsider, Q94, P94) == 1), "outside the subgroup");
  for (const Z& y : {Z(0), Z(1), Z(2), P94 - 1, outsider, P94, pow2(1024) - 1}) f.add("outside", {h128(y)});
  for (const Z& x : {Z(1), Q94 - 1, rnd.below(Q94), rnd.below(Q94)}) {
    const Z y = powm(A94, rnd.below(Q94), P94);
    f.add("agree", {h128(y), hex(x), h128(powm(y, x, P94))});
  }
  Z wide;  // every 256-bit piece at or above q
  for (int i = 0; i < 3; ++i) wide = wide * pow2(256) + pow2(256) - 1;
  std::vector<Z> vs = {0, P94 - 1, Q94, Q94 - 1, pow2(256) - 1, wide * pow2(256) + Q94};
  for (int i = 0; i < 8; ++i) vs.push_back(rnd.below(P94, 1024));
  for (const Z& v : vs) f.add("reduce_q", {h128(v), hex(mod(v, Q94))});
  for (const Z& e : {Z(1), Z(2), Q94 - 1, rnd.below(Q94 - 2) + 1}) f.add("inverse_q", {hex(e), hex(invert(e, Q94))});
  for (int i = 0; i < 2; ++i) {
    const Z x = rnd.below(Q94), k = rnd.below(Q94), e = rnd.below(Q94 - 1) + 1;
    const Z r = mod(powm(A94, k, P94), Q94);
    f.add("sign", {hex(x), hex(k), hex(e), h128(powm(A94, x, P94)), hex(r), hex(mod(x * r + k * e, Q94))});
  }
}

File mont1024_file() {
  File f{"mont1024.txt",
         "# GOST R 34.10-94 group arithmetic (CryptoPro-A: p of 1024 bits, q of 256 bits, a of order q),\n"
         "# from GMP. Numbers are big-endian hex, 128 bytes below p or 2^1024, 32 bytes otherwise.\n"
         "# Montgomery products use R = 2^1024 mod p and R = 2^256 mod q.\n"
         "# mont_p x y xy/R x^2/R x+y x-y   mont_q x y xy/R x^2/R   mont_one R R^2 (mod p) R R^2 (mod q)\n"
         "# pow b e b^e   pow8 e1 e2 b0..b7 (the product of bj to the 64-bit piece j mod 4 of e1 for\n"
         "# j < 4, of e2 otherwise)   pow_a e a^e\n"
         "# subgroup y y^(2^64) y^(2^128) y^(2^192)   outside y (no public key)   agree y x y^x\n"
         "# reduce_q v v-mod-q   inverse_q e 1/e   sign x k e y=a^x r=(a^k mod p) mod q s=(xr+ke) mod q\n"};
  Random rnd(94);
  montgomery_lines(f, rnd);
  power_lines(f, rnd);
  group_lines(f, rnd);
  return f;
}

// --- the entry points: keys, signatures, agreements -------------------------

std::string area_of(const Pt& p) { return to_hex(to_le(p.x, 32)) + to_hex(to_le(p.y, 32)); }

// nettle's signature of digest with secret d, s || r big-endian.
Bytes nettle_sign(yarrow256_ctx& yarrow, const Z& d, const Bytes& digest) {
  ecc_scalar key;
  ecc_scalar_init(&key, nettle_get_gost_gc256b());
  require(ecc_scalar_set(&key, d.get()) == 1, "nettle key");
  dsa_signature s;
  dsa_signature_init(&s);
  gostdsa_sign(&key, &yarrow, reinterpret_cast<nettle_random_func*>(yarrow256_random), digest.size(), digest.data(),
               &s);
  Z zs, zr;
  mpz_set(zs.get(), s.s);
  mpz_set(zr.get(), s.r);
  dsa_signature_clear(&s);
  ecc_scalar_clear(&key);
  Bytes sig = to_be(zs, 32);
  const Bytes r = to_be(zr, 32);
  sig.insert(sig.end(), r.begin(), r.end());
  return sig;
}

void lines_2001(File& f, Random& rnd) {
  yarrow256_ctx yarrow;
  yarrow256_init(&yarrow, 0, nullptr);
  const Bytes seed = rnd.bytes(YARROW256_SEED_FILE_SIZE);
  yarrow256_seed(&yarrow, seed.size(), seed.data());
  const std::vector<Z> ds = {1, Q - 1, rnd.below(Q), rnd.below(Q), rnd.below(Q)};
  for (const Z& d : ds) f.add("key01", {to_hex(to_le(d, 32)), area_of(mul_g(d))});
  // Random digests, the zero digest (its value counts as 1) and 2^256 - 1
  // (above q). The references do not reduce a digest mod q before that
  // replacement, so the digest q is left to the suite.
  std::vector<Bytes> digests = {Bytes(32, 0), Bytes(32, 0xFF)};
  for (size_t i = 0; i < ds.size(); ++i) digests.push_back(rnd.bytes(32));
  for (size_t i = 0; i < digests.size(); ++i) {
    const Z& d = ds[i % ds.size()];
    const Bytes sig = nettle_sign(yarrow, d, digests[i]);
    const Bytes area = from_hex(area_of(mul_g(d)));
    require(nettle_verifies_2001(area, digests[i], sig) && gcrypt_verifies_2001(area, digests[i], sig),
            "2001 signature");
    f.add("sig01", {to_hex(area), to_hex(digests[i]), to_hex(sig)});
  }
  for (size_t i = 2; i < ds.size(); ++i) {
    const Pt peer = mul_g(ds[(i + 1) % ds.size()]);
    f.add("agree01", {to_hex(to_le(ds[i], 32)), area_of(peer), area_of(mul(ds[i], peer))});
  }
}

void lines_94(File& f, Random& rnd) {
  const std::vector<Z> xs = {1, rnd.below(Q94), rnd.below(Q94)};
  for (const Z& x : xs) f.add("key94", {to_hex(to_le(x, 32)), to_hex(to_le(powm(A94, x, P94), 128))});
  for (const Z& x : xs) {
    for (const Bytes& digest : {Bytes(32, 0), rnd.bytes(32)}) {
      Z e = mod(from_le(digest), Q94);
      if (e.is_zero()) e = 1;
      const Z k = rnd.below(Q94), r = mod(powm(A94, k, P94), Q94);
      Bytes sig = to_be(mod(x * r + k * e, Q94), 32);
      const Bytes rb = to_be(r, 32), y = to_le(powm(A94, x, P94), 128);
      sig.insert(sig.end(), rb.begin(), rb.end());
      require(gmp_verifies_94(y, digest, sig), "94 signature");
      f.add("sig94", {to_hex(y), to_hex(digest), to_hex(sig)});
    }
  }
  for (int i = 0; i < 3; ++i) {
    const Z x = rnd.below(Q94), peer = powm(A94, rnd.below(Q94), P94);
    f.add("agree94", {to_hex(to_le(x, 128)), to_hex(to_le(peer, 128)), to_hex(to_le(powm(peer, x, P94), 128))});
  }
}

File public_key_file() {
  File f{"public_key.txt",
         "# The public-key entry points, in their byte order: keys and coordinates little-endian, digests as\n"
         "# given, signatures s || r big-endian. GOST R 34.10-2001 keys and signatures from\n"
         "# nettle (the signatures checked with libgcrypt too), its agreement from libgcrypt; GOST R 34.10-94\n"
         "# and the agreement in its group from GMP.\n"
         "# key01 d x||y   sig01 x||y digest s||r   agree01 d peer(x||y) d*peer(x||y)\n"
         "# key94 x y=a^x   sig94 y digest s||r   agree94 x(128 bytes) peer peer^x\n"};
  Random rnd(3410);
  lines_2001(f, rnd);
  lines_94(f, rnd);
  return f;
}

// --- cipher, MAC, hash -------------------------------------------------------

constexpr const char* kTestTableOid = "1.2.643.2.2.30.0";

// GOST 28147-89 in one of libgcrypt's modes, with the test table.
Bytes gcrypt_cipher(int mode, const Bytes& key, const Bytes& iv, const Bytes& data) {
  init_gcrypt();
  gcry_cipher_hd_t h = nullptr;
  Bytes out(data.size());
  const bool ok = gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0) == 0 &&
                  gcry_cipher_setkey(h, key.data(), key.size()) == 0 &&
                  gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kTestTableOid), 0) == 0 &&
                  (iv.empty() || gcry_cipher_setiv(h, iv.data(), iv.size()) == 0) &&
                  gcry_cipher_encrypt(h, out.data(), out.size(), data.data(), data.size()) == 0;
  gcry_cipher_close(h);
  require(ok, "libgcrypt cipher");
  return out;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The counter mode: N3 += 0x01010101, N4 += 0x01010104 mod 2^32 - 1 from
// E(IV), each block XORed with E(N3, N4); built on libgcrypt's ECB.
Bytes gamma(const Bytes& key, const Bytes& iv, const Bytes& data) {
  const Bytes s = gcrypt_cipher(GCRY_CIPHER_MODE_ECB, key, {}, iv);
  uint32_t n3 = le32(s.data()), n4 = le32(s.data() + 4);
  Bytes out(data.size());
  for (size_t off = 0; off < data.size(); off += 8) {
    n3 += 0x01010101u;
    const uint64_t sum = uint64_t(n4) + 0x01010104u;
    n4 = uint32_t(sum > 0xFFFFFFFFull ? sum - 0xFFFFFFFFull : sum);
    Bytes block(8);
    for (int i = 0; i < 4; ++i) {
      block[i] = uint8_t(n3 >> (8 * i));
      block[4 + i] = uint8_t(n4 >> (8 * i));
    }
    const Bytes g = gcrypt_cipher(GCRY_CIPHER_MODE_ECB, key, {}, block);
    for (size_t i = 0; i < 8 && off + i < data.size(); ++i) out[off + i] = data[off + i] ^ g[i];
  }
  return out;
}

Bytes imit(const Bytes& key, const Bytes& data) {
  init_gcrypt();
  gcry_mac_hd_t h = nullptr;
  Bytes out(4);
  size_t n = out.size();
  const bool ok = gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr) == 0 &&
                  gcry_mac_setkey(h, key.data(), key.size()) == 0 &&
                  gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kTestTableOid), 0) == 0 &&
                  gcry_mac_write(h, data.data(), data.size()) == 0 && gcry_mac_read(h, out.data(), &n) == 0;
  gcry_mac_close(h);
  require(ok && n == 4, "libgcrypt MAC");
  return out;
}

Bytes hash(const Bytes& data) {
  init_gcrypt();
  Bytes out(32), other(GOSTHASH94_DIGEST_SIZE);
  gcry_md_hash_buffer(GCRY_MD_GOSTR3411_94, out.data(), data.data(), data.size());
  gosthash94_ctx ctx;
  gosthash94_init(&ctx);
  gosthash94_update(&ctx, data.size(), data.data());
  gosthash94_digest(&ctx, other.size(), other.data());
  require(out == other, "GOST R 34.11-94");
  return out;
}

File symmetric_file() {
  File f{"symmetric.txt",
         "# GOST 28147-89 with the test substitution table (1.2.643.2.2.30.0) from libgcrypt, and\n"
         "# GOST R 34.11-94 with the test parameters from libgcrypt and nettle. Byte strings in hex, - when\n"
         "# empty.\n"
         "# ecb key plain cipher   gamma key iv data out (counter mode, on libgcrypt's ECB)\n"
         "# cfb key iv data out (gamma with feedback)   imit key data mac (its first 4 bytes)   hash data digest\n"};
  Random rnd(28147);
  for (int i = 0; i < 8; ++i) {
    const Bytes key = rnd.bytes(32), plain = rnd.bytes(64);
    f.add("ecb", {to_hex(key), to_hex(plain), to_hex(gcrypt_cipher(GCRY_CIPHER_MODE_ECB, key, {}, plain))});
  }
  const Bytes key = rnd.bytes(32), iv = rnd.bytes(8);
  const Bytes data = rnd.bytes(4096 + 5);  // 4 KiB: N4 wraps modulo 2^32 - 1
  f.add("gamma", {to_hex(key), to_hex(iv), to_hex(data), to_hex(gamma(key, iv, data))});
  const Bytes short_data(data.begin(), data.begin() + 1003);
  f.add("cfb", {to_hex(key), to_hex(iv), to_hex(short_data),
                to_hex(gcrypt_cipher(GCRY_CIPHER_MODE_CFB, key, iv, short_data))});
  for (size_t n = 0; n <= 41; ++n) {
    const Bytes message = rnd.bytes(n <= 40 ? n : 1000);
    f.add("imit", {to_hex(key), to_hex(message), to_hex(imit(key, message))});
  }
  for (size_t n = 0; n <= 72; ++n) {
    const Bytes message = rnd.bytes(n <= 70 ? n : n == 71 ? 200 : 1000);
    f.add("hash", {to_hex(message), to_hex(hash(message))});
  }
  return f;
}

std::string read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace
}  // namespace gostvec

int main(int argc, char** argv) {
  using namespace gostvec;
  const bool check = argc == 3 && std::string(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::cerr << "usage: gostlib_vectors DIR | --check DIR\n";
    return 64;
  }
  const std::string dir = argv[argc - 1];
  int differ = 0;
  for (const File& f : {ec256_file(), mont1024_file(), public_key_file(), symmetric_file()}) {
    const std::string path = dir + "/" + f.name;
    if (check) {
      if (read(path) != f.text) {
        std::cerr << path << " differs from what gostlib_vectors writes\n";
        differ = 1;
      }
    } else {
      std::ofstream out(path, std::ios::binary);
      if (!(out << f.text)) {
        std::cerr << "cannot write " << path << "\n";
        return 1;
      }
    }
  }
  return differ;
}
