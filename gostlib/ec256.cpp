// Constant-time arithmetic of the CryptoPro-A curve (see ec256.hpp).
#include "ec256.hpp"

#include <vector>

#include "common.hpp"

// GCC's straight-line vectorizer packs limbs into SSE registers here and
// bounces them through memory between carry chains: three times slower.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-vectorize")
#endif

namespace gost::ec256 {

namespace {

// 2^256 mod p: the folding constant of the fast reduction.
constexpr uint64_t kFold = 617;
constexpr uint64_t kCurveB = 166;

constexpr uint64_t kOrder[4] = {0x45841b09b761b893ULL, 0x6c611070995ad100ULL, 0xffffffffffffffffULL,
                                0xffffffffffffffffULL};
// -q^-1 mod 2^64 and 2^512 mod q, for Montgomery multiplication mod q.
constexpr uint64_t kOrderInv = 0x9ee6ea0b57c7da65ULL;
constexpr uint64_t kOrderR2[4] = {0x9ac2d7858e79a469ULL, 0xfb07f8222e76dd52ULL, 0xf74885d08a3714c6ULL,
                                  0x551fe9cb451179dbULL};
constexpr Fe kBaseX{{1, 0, 0, 0}};
constexpr Fe kBaseY{{0x22acc99c9e9f1e14ULL, 0x35294f2ddf23e3b1ULL, 0x27df505a453f2b76ULL, 0x8d91e471e0989cdaULL}};

// --- limb vectors --------------------------------------------------------

// All-ones when x is zero, else zero.
inline uint64_t zero_mask(uint64_t x) { return ((x | (0 - x)) >> 63) - 1; }

// a + b + carry; carry (0 or 1) is updated.
inline uint64_t addc(uint64_t a, uint64_t b, uint64_t& carry) {
#if GOST_EC256_INT128
  const u128 t = u128(a) + b + carry;
  carry = uint64_t(t >> 64);
  return uint64_t(t);
#else
  uint64_t s = a + carry;
  uint64_t c = s < carry;
  s += b;
  c += s < b;
  carry = c;
  return s;
#endif
}

// a - b - borrow; borrow (0 or 1) is updated.
inline uint64_t subb(uint64_t a, uint64_t b, uint64_t& borrow) {
#if GOST_EC256_INT128
  const u128 t = u128(a) - b - borrow;
  borrow = uint64_t(t >> 64) & 1;
  return uint64_t(t);
#else
  const uint64_t d = a - b;
  const uint64_t b1 = a < b;
  const uint64_t r = d - borrow;
  borrow = b1 | (d < borrow);
  return r;
#endif
}

inline uint64_t add4(uint64_t r[4], const uint64_t a[4], const uint64_t b[4]) {
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) r[i] = addc(a[i], b[i], carry);
  return carry;
}

inline uint64_t sub4(uint64_t r[4], const uint64_t a[4], const uint64_t b[4]) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) r[i] = subb(a[i], b[i], borrow);
  return borrow;
}

inline void select4(uint64_t r[4], uint64_t mask, const uint64_t yes[4], const uint64_t no[4]) {
  for (int i = 0; i < 4; ++i) r[i] = (yes[i] & mask) | (no[i] & ~mask);
}

// --- field ---------------------------------------------------------------

// r (below 2^256, plus `carry` times 2^256) to r mod p, given the value is
// below 2p: it is at least p exactly when r + 617 carries out of 2^256 or
// the carry is set, and then r + 617 (mod 2^256) is the difference.
inline Fe finish(const uint64_t r[4], uint64_t carry) {
  uint64_t s[4];
  uint64_t c = 0;
  s[0] = addc(r[0], kFold, c);
  for (int i = 1; i < 4; ++i) s[i] = addc(r[i], 0, c);
  Fe out;
  select4(out.v, 0 - (c | carry), s, r);
  return out;
}

inline Fe f_add(const Fe& a, const Fe& b) {
  uint64_t r[4];
  const uint64_t carry = add4(r, a.v, b.v);
  return finish(r, carry);
}

inline Fe f_sub(const Fe& a, const Fe& b) {
  uint64_t r[4];
  uint64_t borrow = sub4(r, a.v, b.v);
  // After a borrow r = a - b + 2^256 >= 2^256 - p + 1, so adding p (that is,
  // subtracting 617) cannot borrow again.
  Fe out;
  const uint64_t fix = (0 - borrow) & kFold;
  borrow = 0;
  out.v[0] = subb(r[0], fix, borrow);
  for (int i = 1; i < 4; ++i) out.v[i] = subb(r[i], 0, borrow);
  return out;
}

// hi * 2^256 + r, hi below 2^32 * 617, to its value mod p.
inline Fe fold(uint64_t r[4], uint64_t hi) {
  uint64_t c = 0;
  r[0] = addc(r[0], hi * kFold, c);
  for (int i = 1; i < 4; ++i) r[i] = addc(r[i], 0, c);
  // A carry leaves r below 2^48: adding 617 to its low limb cannot carry.
  r[0] += c * kFold;
  return finish(r, 0);
}

// A 512-bit t to t mod p, using 2^256 = 617 (mod p).
inline Fe reduce_wide(const uint64_t t[8]) {
  uint64_t r[4];
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) r[i] = mul_add2(t[4 + i], kFold, t[i], carry, carry);
  return fold(r, carry);  // carry <= 617
}

inline Fe f_mul(const Fe& a, const Fe& b) {
  uint64_t t[8];
  uint64_t carry = 0;
  for (int j = 0; j < 4; ++j) t[j] = mul_add2(a.v[0], b.v[j], 0, carry, carry);
  t[4] = carry;
  for (int i = 1; i < 4; ++i) {
    carry = 0;
    for (int j = 0; j < 4; ++j) t[i + j] = mul_add2(a.v[i], b.v[j], t[i + j], carry, carry);
    t[i + 4] = carry;
  }
  return reduce_wide(t);
}

inline Fe f_sqr(const Fe& a) {
  const uint64_t* x = a.v;
  uint64_t t[8];
  uint64_t c = 0;
  // The products x[i] x[j], i < j, ...
  t[0] = 0;
  t[1] = mul_add2(x[0], x[1], 0, c, c);
  t[2] = mul_add2(x[0], x[2], 0, c, c);
  t[3] = mul_add2(x[0], x[3], 0, c, c);
  t[4] = c;
  c = 0;
  t[3] = mul_add2(x[1], x[2], t[3], c, c);
  t[4] = mul_add2(x[1], x[3], t[4], c, c);
  t[5] = c;
  c = 0;
  t[5] = mul_add2(x[2], x[3], t[5], c, c);
  t[6] = c;
  // ... doubled, ...
  t[7] = t[6] >> 63;
  for (int i = 6; i > 1; --i) t[i] = (t[i] << 1) | (t[i - 1] >> 63);
  t[1] <<= 1;
  // ... plus the squares x[i]^2.
  c = 0;
  for (int i = 0; i < 4; ++i) {
    uint64_t hi;
    t[2 * i] = mul_add2(x[i], x[i], t[2 * i], c, hi);
    c = 0;
    t[2 * i + 1] = addc(t[2 * i + 1], hi, c);
  }
  return reduce_wide(t);
}

inline Fe f_mul_small(const Fe& a, uint32_t m) {
  uint64_t r[4];
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) r[i] = mul_add2(a.v[i], m, 0, carry, carry);
  return fold(r, carry);  // carry < m
}

inline Fe f_sqr_n(Fe a, int n) {
  for (int i = 0; i < n; ++i) a = f_sqr(a);
  return a;
}

}  // namespace

Fe fe_add(const Fe& a, const Fe& b) { return f_add(a, b); }
Fe fe_sub(const Fe& a, const Fe& b) { return f_sub(a, b); }
Fe fe_neg(const Fe& a) { return f_sub(kFeZero, a); }
Fe fe_mul(const Fe& a, const Fe& b) { return f_mul(a, b); }
Fe fe_sqr(const Fe& a) { return f_sqr(a); }
Fe fe_mul_small(const Fe& a, uint32_t m) { return f_mul_small(a, m); }

// p - 2 = (2^246 - 1) * 2^10 + 0b0110010101: a chain of blocks of ones.
Fe fe_inv(const Fe& a) {
  const Fe x2 = f_mul(f_sqr(a), a);
  const Fe x3 = f_mul(f_sqr(x2), a);
  const Fe x6 = f_mul(f_sqr_n(x3, 3), x3);
  const Fe x12 = f_mul(f_sqr_n(x6, 6), x6);
  const Fe x24 = f_mul(f_sqr_n(x12, 12), x12);
  const Fe x48 = f_mul(f_sqr_n(x24, 24), x24);
  const Fe x96 = f_mul(f_sqr_n(x48, 48), x48);
  const Fe x192 = f_mul(f_sqr_n(x96, 96), x96);
  const Fe x240 = f_mul(f_sqr_n(x192, 48), x48);
  Fe r = f_mul(f_sqr_n(x240, 6), x6);
  constexpr unsigned kLow = 0x195;  // 0b0110010101
  for (int bit = 9; bit >= 0; --bit) {
    r = f_sqr(r);
    if ((kLow >> bit) & 1) r = f_mul(r, a);
  }
  return r;
}

uint64_t fe_equal_mask(const Fe& a, const Fe& b) {
  uint64_t diff = 0;
  for (int i = 0; i < 4; ++i) diff |= a.v[i] ^ b.v[i];
  return zero_mask(diff);
}

bool fe_from_le(const uint8_t in[32], Fe& out) {
  Fe v;
  for (int i = 0; i < 4; ++i) v.v[i] = load_le64(in + 8 * i);
  uint64_t c = 0;
  addc(v.v[0], kFold, c);
  for (int i = 1; i < 4; ++i) addc(v.v[i], 0, c);
  if (c != 0) return false;  // v + 617 >= 2^256: v >= p
  out = v;
  return true;
}

void fe_to_le(const Fe& a, uint8_t out[32]) {
  for (int i = 0; i < 4; ++i) store_le64(out + 8 * i, a.v[i]);
}

// --- scalars -------------------------------------------------------------

namespace {

// a * b / 2^256 mod q for a, b < q (Montgomery multiplication, CIOS).
Sc mont_mul(const Sc& a, const Sc& b) {
  uint64_t t[6] = {};
  for (int i = 0; i < 4; ++i) {
    uint64_t c = 0;
    for (int j = 0; j < 4; ++j) t[j] = mul_add2(b.v[j], a.v[i], t[j], c, c);
    t[4] += c;
    t[5] = t[4] < c;
    const uint64_t m = t[0] * kOrderInv;
    mul_add2(m, kOrder[0], t[0], 0, c);
    for (int j = 1; j < 4; ++j) t[j - 1] = mul_add2(m, kOrder[j], t[j], c, c);
    t[3] = t[4] + c;
    t[4] = t[5] + (t[3] < c);
  }
  // t < 2q: subtract q unless that borrows past t[4].
  Sc r, s;
  const uint64_t borrow = sub4(s.v, t, kOrder);
  const uint64_t keep = 0 - uint64_t(t[4] < borrow);
  select4(r.v, keep, t, s.v);
  return r;
}

// a < 2^256 plus a carry bit to a mod q; the sum is below 2q.
Sc reduce_q(const uint64_t a[4], uint64_t carry) {
  Sc r, s;
  const uint64_t borrow = sub4(s.v, a, kOrder);
  const uint64_t keep = 0 - uint64_t(carry < borrow);
  select4(r.v, keep, a, s.v);
  return r;
}

bool below_q(const uint64_t v[4]) {
  uint64_t scratch[4];
  return sub4(scratch, v, kOrder) != 0;
}

}  // namespace

bool sc_from_le(const uint8_t in[32], Sc& out) {
  Sc v;
  for (int i = 0; i < 4; ++i) v.v[i] = load_le64(in + 8 * i);
  if (!below_q(v.v)) return false;
  out = v;
  return true;
}

bool sc_from_be(const uint8_t in[32], Sc& out) {
  uint8_t le[32];
  for (int i = 0; i < 32; ++i) le[i] = in[31 - i];
  return sc_from_le(le, out);
}

Sc sc_reduce_le(const uint8_t in[32]) {
  uint64_t v[4];
  for (int i = 0; i < 4; ++i) v[i] = load_le64(in + 8 * i);
  return reduce_q(v, 0);
}

Sc sc_from_fe(const Fe& a) { return reduce_q(a.v, 0); }

void sc_to_le(const Sc& a, uint8_t out[32]) {
  for (int i = 0; i < 4; ++i) store_le64(out + 8 * i, a.v[i]);
}

void sc_to_be(const Sc& a, uint8_t out[32]) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 8; ++j) out[31 - 8 * i - j] = uint8_t(a.v[i] >> (8 * j));
  }
}

Sc sc_add(const Sc& a, const Sc& b) {
  uint64_t sum[4];
  const uint64_t carry = add4(sum, a.v, b.v);
  return reduce_q(sum, carry);
}

Sc sc_neg(const Sc& a) {
  Sc r;
  sub4(r.v, kOrder, a.v);
  const uint64_t nonzero = ~zero_mask(a.v[0] | a.v[1] | a.v[2] | a.v[3]);
  for (auto& w : r.v) w &= nonzero;
  return r;
}

Sc sc_mul(const Sc& a, const Sc& b) {
  const Sc r2{{kOrderR2[0], kOrderR2[1], kOrderR2[2], kOrderR2[3]}};
  return mont_mul(mont_mul(a, b), r2);
}

// Fixed 4-bit windows over the public exponent q - 2, in Montgomery form.
Sc sc_inv(const Sc& a) {
  const Sc r2{{kOrderR2[0], kOrderR2[1], kOrderR2[2], kOrderR2[3]}};
  const Sc one{{1, 0, 0, 0}};
  Sc table[16];
  table[0] = mont_mul(one, r2);
  table[1] = mont_mul(a, r2);
  for (int j = 2; j < 16; ++j) table[j] = mont_mul(table[j - 1], table[1]);
  uint64_t e[4];
  const uint64_t two[4] = {2, 0, 0, 0};
  sub4(e, kOrder, two);
  Sc acc = table[e[3] >> 60];
  for (int i = 62; i >= 0; --i) {
    for (int k = 0; k < 4; ++k) acc = mont_mul(acc, acc);
    acc = mont_mul(acc, table[(e[i / 16] >> (4 * (i % 16))) & 15]);
  }
  const Sc r = mont_mul(acc, one);
  wipe(table, sizeof table);
  wipe(&acc, sizeof acc);
  return r;
}

bool sc_is_zero(const Sc& a) { return (a.v[0] | a.v[1] | a.v[2] | a.v[3]) == 0; }

// --- points --------------------------------------------------------------

Affine base_point() { return Affine{kBaseX, kBaseY}; }

bool on_curve(const Affine& a) {
  // y^2 == x (x^2 - 3) + b
  const Fe x2m3 = f_sub(f_sqr(a.x), f_mul_small(kFeOne, 3));
  const Fe rhs = f_add(f_mul(x2m3, a.x), f_mul_small(kFeOne, kCurveB));
  return fe_equal_mask(f_sqr(a.y), rhs) != 0;
}

Point to_projective(const Affine& a) { return Point{a.x, a.y, kFeOne}; }

bool to_affine(const Point& p, Affine& out) {
  if (fe_equal_mask(p.z, kFeZero) != 0) return false;
  const Fe zi = fe_inv(p.z);
  out.x = f_mul(p.x, zi);
  out.y = f_mul(p.y, zi);
  return true;
}

uint64_t point_equal_mask(const Point& a, const Point& b) {
  return fe_equal_mask(f_mul(a.x, b.z), f_mul(b.x, a.z)) & fe_equal_mask(f_mul(a.y, b.z), f_mul(b.y, a.z));
}

// The common second half of the complete additions below: from the products
// t0 = X1 X2, t1 = Y1 Y2, t2 = Z1 Z2, t3 = X1 Y2 + X2 Y1, t4 = Y1 Z2 + Y2 Z1
// and y3 = X1 Z2 + X2 Z1 to the sum.
static Point rcb_add_tail(Fe t0, Fe t1, Fe t2, Fe t3, Fe t4, Fe y3) {
  Fe z3 = f_mul_small(t2, kCurveB);
  Fe x3 = f_sub(y3, z3);
  z3 = f_add(x3, x3);
  x3 = f_add(x3, z3);
  z3 = f_sub(t1, x3);
  x3 = f_add(t1, x3);
  y3 = f_mul_small(y3, kCurveB);
  t1 = f_add(t2, t2);
  t2 = f_add(t1, t2);
  y3 = f_sub(y3, t2);
  y3 = f_sub(y3, t0);
  t1 = f_add(y3, y3);
  y3 = f_add(t1, y3);
  t1 = f_add(t0, t0);
  t0 = f_add(t1, t0);
  t0 = f_sub(t0, t2);
  t1 = f_mul(t4, y3);
  t2 = f_mul(t0, y3);
  y3 = f_mul(x3, z3);
  y3 = f_add(y3, t2);
  x3 = f_mul(t3, x3);
  x3 = f_sub(x3, t1);
  z3 = f_mul(t4, z3);
  t1 = f_mul(t3, t0);
  z3 = f_add(z3, t1);
  return Point{x3, y3, z3};
}

// Complete addition for a = -3 (Renes, Costello and Batina 2016, algorithm 4):
// correct for every pair of points of this prime-order curve, infinity and
// equal operands included.
Point point_add(const Point& p, const Point& q) {
  const Fe t0 = f_mul(p.x, q.x);
  const Fe t1 = f_mul(p.y, q.y);
  const Fe t2 = f_mul(p.z, q.z);
  const Fe t3 = f_sub(f_mul(f_add(p.x, p.y), f_add(q.x, q.y)), f_add(t0, t1));
  const Fe t4 = f_sub(f_mul(f_add(p.y, p.z), f_add(q.y, q.z)), f_add(t1, t2));
  const Fe y3 = f_sub(f_mul(f_add(p.x, p.z), f_add(q.x, q.z)), f_add(t0, t2));
  return rcb_add_tail(t0, t1, t2, t3, t4, y3);
}

// The same law with Z2 = 1 (algorithm 5): complete as long as q is affine.
Point point_add_mixed(const Point& p, const Affine& q) {
  const Fe t0 = f_mul(p.x, q.x);
  const Fe t1 = f_mul(p.y, q.y);
  const Fe t3 = f_sub(f_mul(f_add(q.x, q.y), f_add(p.x, p.y)), f_add(t0, t1));
  const Fe t4 = f_add(f_mul(q.y, p.z), p.y);
  const Fe y3 = f_add(f_mul(q.x, p.z), p.x);
  return rcb_add_tail(t0, t1, p.z, t3, t4, y3);
}

// Exception-free doubling for a = -3 (algorithm 6).
Point point_double(const Point& p) {
  Fe t0 = f_sqr(p.x);
  Fe t1 = f_sqr(p.y);
  Fe t2 = f_sqr(p.z);
  Fe t3 = f_mul(p.x, p.y);
  t3 = f_add(t3, t3);
  Fe z3 = f_mul(p.x, p.z);
  z3 = f_add(z3, z3);
  Fe y3 = f_mul_small(t2, kCurveB);
  y3 = f_sub(y3, z3);
  Fe x3 = f_add(y3, y3);
  y3 = f_add(x3, y3);
  x3 = f_sub(t1, y3);
  y3 = f_add(t1, y3);
  y3 = f_mul(x3, y3);
  x3 = f_mul(x3, t3);
  t3 = f_add(t2, t2);
  t2 = f_add(t2, t3);
  z3 = f_mul_small(z3, kCurveB);
  z3 = f_sub(z3, t2);
  z3 = f_sub(z3, t0);
  t3 = f_add(z3, z3);
  z3 = f_add(z3, t3);
  t3 = f_add(t0, t0);
  t0 = f_add(t3, t0);
  t0 = f_sub(t0, t2);
  t0 = f_mul(t0, z3);
  y3 = f_add(y3, t0);
  t0 = f_mul(p.y, p.z);
  t0 = f_add(t0, t0);
  z3 = f_mul(t0, z3);
  x3 = f_sub(x3, z3);
  z3 = f_mul(t0, t1);
  z3 = f_add(z3, z3);
  z3 = f_add(z3, z3);
  return Point{x3, y3, z3};
}

Point point_neg(const Point& p) { return Point{p.x, fe_neg(p.y), p.z}; }

// --- scalar multiplication -----------------------------------------------

namespace {

constexpr int kWindows = 64;  // 4-bit digits of a 256-bit scalar
constexpr int kEntries = 15;  // digits 1..15; 0 adds nothing

inline unsigned digit(const Sc& k, int i) { return unsigned(k.v[i / 16] >> (4 * (i % 16))) & 15; }

// All-ones when a == b (small values).
inline uint64_t eq_mask(uint64_t a, uint64_t b) { return zero_mask(a ^ b); }

void select_point(Point& r, uint64_t mask, const Point& yes, const Point& no) {
  select4(r.x.v, mask, yes.x.v, no.x.v);
  select4(r.y.v, mask, yes.y.v, no.y.v);
  select4(r.z.v, mask, yes.z.v, no.z.v);
}

// table[i][j] = (j + 1) * 16^i * G, affine: k * G is then the sum of one
// entry per 4-bit digit of k, with no doubling.
struct BaseTable {
  Affine entry[kWindows][kEntries];

  BaseTable() {
    std::vector<Point> proj(size_t(kWindows) * kEntries);
    Point base = to_projective(base_point());
    for (int i = 0; i < kWindows; ++i) {
      Point* row = &proj[size_t(i) * kEntries];
      row[0] = base;
      for (int j = 1; j < kEntries; ++j) row[j] = point_add(row[j - 1], base);
      for (int k = 0; k < 4; ++k) base = point_double(base);
    }
    normalize(proj);
  }

  // Batch inversion of all Z (one field inversion). No entry is infinity:
  // each is m * G with m = (j + 1) * 16^i, 0 < m < 15 * 2^252 < 2q, so only
  // m = q could vanish; but q is odd and m is even unless i = 0 (m <= 15).
  void normalize(const std::vector<Point>& proj) {
    std::vector<Fe> prefix(proj.size());
    prefix[0] = proj[0].z;
    for (size_t n = 1; n < proj.size(); ++n) prefix[n] = f_mul(prefix[n - 1], proj[n].z);
    Fe inv = fe_inv(prefix.back());
    for (size_t n = proj.size(); n-- > 0;) {
      const Fe zi = n == 0 ? inv : f_mul(inv, prefix[n - 1]);
      inv = f_mul(inv, proj[n].z);
      Affine& out = entry[n / kEntries][n % kEntries];
      out.x = f_mul(proj[n].x, zi);
      out.y = f_mul(proj[n].y, zi);
    }
  }
};

const BaseTable& base_table() {
  static const BaseTable table;
  return table;
}

// The entry of digit d (1..15) of window i, read by scanning the whole row;
// zeros for d == 0.
void select_base(Affine& r, const BaseTable& t, int i, uint64_t d) {
  r = Affine{kFeZero, kFeZero};
  for (int j = 0; j < kEntries; ++j) {
    const uint64_t m = eq_mask(d, uint64_t(j + 1));
    const Affine& e = t.entry[i][j];
    for (int w = 0; w < 4; ++w) {
      r.x.v[w] |= e.x.v[w] & m;
      r.y.v[w] |= e.y.v[w] & m;
    }
  }
}

void select_table(Point& r, const Point table[16], uint64_t d) {
  r = Point{kFeZero, kFeZero, kFeZero};
  for (int j = 0; j < 16; ++j) {
    const uint64_t m = eq_mask(d, uint64_t(j));
    for (int w = 0; w < 4; ++w) {
      r.x.v[w] |= table[j].x.v[w] & m;
      r.y.v[w] |= table[j].y.v[w] & m;
      r.z.v[w] |= table[j].z.v[w] & m;
    }
  }
}

// Width-5 non-adjacent form of a public scalar: odd digits in -15..15.
int wnaf(const Sc& k, int8_t out[258]) {
  uint64_t v[5] = {k.v[0], k.v[1], k.v[2], k.v[3], 0};
  int len = 0;
  while ((v[0] | v[1] | v[2] | v[3] | v[4]) != 0) {
    int d = 0;
    if (v[0] & 1) {
      d = int(v[0] & 31);
      if (d >= 16) d -= 32;
      // v -= d (v + 15 cannot overflow the fifth limb)
      uint64_t carry = d < 0 ? uint64_t(-d) : 0;
      uint64_t borrow = d > 0 ? uint64_t(d) : 0;
      for (int w = 0; w < 5; ++w) {
        const uint64_t t = v[w];
        v[w] = t + carry - borrow;
        carry = carry != 0 && v[w] < t;
        borrow = borrow != 0 && t < borrow;
      }
    }
    out[len++] = int8_t(d);
    for (int w = 0; w < 4; ++w) v[w] = (v[w] >> 1) | (v[w + 1] << 63);
    v[4] >>= 1;
  }
  return len;
}

}  // namespace

Point mul_base(const Sc& k) {
  const BaseTable& table = base_table();
  Point acc = kInfinity;
  Point sum;
  Affine entry;
  for (int i = 0; i < kWindows; ++i) {
    const uint64_t d = digit(k, i);
    select_base(entry, table, i, d);
    sum = point_add_mixed(acc, entry);
    select_point(acc, ~eq_mask(d, 0), sum, acc);
  }
  wipe(&sum, sizeof sum);
  wipe(&entry, sizeof entry);
  return acc;
}

Point mul(const Sc& k, const Affine& p) {
  Point table[16];
  table[0] = kInfinity;
  table[1] = to_projective(p);
  for (int j = 2; j < 16; ++j) {
    table[j] = j % 2 == 0 ? point_double(table[j / 2]) : point_add(table[j - 1], table[1]);
  }
  Point acc, entry;
  select_table(acc, table, digit(k, kWindows - 1));
  for (int i = kWindows - 2; i >= 0; --i) {
    for (int n = 0; n < 4; ++n) acc = point_double(acc);
    select_table(entry, table, digit(k, i));
    acc = point_add(acc, entry);
  }
  wipe(table, sizeof table);
  wipe(&entry, sizeof entry);
  return acc;
}

namespace {

// Jacobian coordinates (x = X / Z^2, y = Y / Z^3; Z = 0 is infinity) for the
// public double-scalar multiplication: their doubling is much cheaper, and
// with public data the exceptional cases may be branched on.
struct Jacobian {
  Fe x, y, z;
};

bool is_zero(const Fe& a) { return fe_equal_mask(a, kFeZero) != 0; }

// a = -3: 3M + 5S. No point of this odd-order curve has y = 0.
Jacobian jac_double(const Jacobian& p) {
  const Fe delta = f_sqr(p.z);
  const Fe gamma = f_sqr(p.y);
  const Fe beta = f_mul(p.x, gamma);
  const Fe t = f_mul(f_sub(p.x, delta), f_add(p.x, delta));
  const Fe alpha = f_add(f_add(t, t), t);
  const Fe beta4 = f_add(f_add(beta, beta), f_add(beta, beta));
  Jacobian r;
  r.x = f_sub(f_sqr(alpha), f_add(beta4, beta4));
  r.z = f_sub(f_sub(f_sqr(f_add(p.y, p.z)), gamma), delta);
  Fe g8 = f_sqr(gamma);
  g8 = f_add(g8, g8);
  g8 = f_add(g8, g8);
  g8 = f_add(g8, g8);
  r.y = f_sub(f_mul(alpha, f_sub(beta4, r.x)), g8);
  return r;
}

// The sum from u1 = x1 z2^2, u2 = x2 z1^2, s1 = y1 z2^3, s2 = y2 z1^3 and
// z1 z2 (given as zz), when the two points differ in x.
Jacobian jac_finish_add(const Fe& u1, const Fe& u2, const Fe& s1, const Fe& s2, const Fe& zz) {
  const Fe h = f_sub(u2, u1);
  const Fe rr = f_sub(s2, s1);
  const Fe hh = f_sqr(h);
  const Fe hhh = f_mul(hh, h);
  const Fe v = f_mul(u1, hh);
  Jacobian out;
  out.x = f_sub(f_sub(f_sqr(rr), hhh), f_add(v, v));
  out.y = f_sub(f_mul(rr, f_sub(v, out.x)), f_mul(s1, hhh));
  out.z = f_mul(zz, h);
  return out;
}

Jacobian jac_add(const Jacobian& p, const Jacobian& q) {
  if (is_zero(p.z)) return q;
  if (is_zero(q.z)) return p;
  const Fe z1z1 = f_sqr(p.z), z2z2 = f_sqr(q.z);
  const Fe u1 = f_mul(p.x, z2z2), u2 = f_mul(q.x, z1z1);
  const Fe s1 = f_mul(p.y, f_mul(q.z, z2z2)), s2 = f_mul(q.y, f_mul(p.z, z1z1));
  if (fe_equal_mask(u1, u2) != 0) {
    return fe_equal_mask(s1, s2) != 0 ? jac_double(p) : Jacobian{kFeOne, kFeOne, kFeZero};
  }
  return jac_finish_add(u1, u2, s1, s2, f_mul(p.z, q.z));
}

Jacobian jac_add_affine(const Jacobian& p, const Affine& q) {
  if (is_zero(p.z)) return Jacobian{q.x, q.y, kFeOne};
  const Fe z1z1 = f_sqr(p.z);
  const Fe u2 = f_mul(q.x, z1z1);
  const Fe s2 = f_mul(q.y, f_mul(p.z, z1z1));
  if (fe_equal_mask(p.x, u2) != 0) {
    return fe_equal_mask(p.y, s2) != 0 ? jac_double(p) : Jacobian{kFeOne, kFeOne, kFeZero};
  }
  return jac_finish_add(p.x, u2, p.y, s2, p.z);
}

Jacobian jac_neg(const Jacobian& p) { return Jacobian{p.x, f_sub(kFeZero, p.y), p.z}; }

}  // namespace

// b * Q by width-5 NAF, then a * G added entry by entry from the fixed table.
Point mul_double_public(const Sc& a, const Sc& b, const Affine& q) {
  Jacobian odd[8];  // (2j + 1) * Q
  odd[0] = Jacobian{q.x, q.y, kFeOne};
  const Jacobian twice = jac_double(odd[0]);
  for (int j = 1; j < 8; ++j) odd[j] = jac_add(odd[j - 1], twice);
  int8_t naf[258];
  const int len = wnaf(b, naf);
  Jacobian acc{kFeOne, kFeOne, kFeZero};
  for (int i = len - 1; i >= 0; --i) {
    acc = jac_double(acc);
    if (naf[i] > 0) acc = jac_add(acc, odd[naf[i] / 2]);
    if (naf[i] < 0) acc = jac_add(acc, jac_neg(odd[-naf[i] / 2]));
  }
  const BaseTable& table = base_table();
  for (int i = 0; i < kWindows; ++i) {
    if (const unsigned d = digit(a, i); d != 0) acc = jac_add_affine(acc, table.entry[i][d - 1]);
  }
  if (is_zero(acc.z)) return kInfinity;
  // (X Z : Y : Z^3) is the same point in homogeneous coordinates.
  return Point{f_mul(acc.x, acc.z), acc.y, f_mul(acc.z, f_sqr(acc.z))};
}

bool x_mod_q_equals(const Point& r_point, const Sc& r) {
  if (fe_equal_mask(r_point.z, kFeZero) != 0) return false;
  // x = X / Z; x mod q == r means x == r, or x == r + q when that is below p.
  Fe candidate{{r.v[0], r.v[1], r.v[2], r.v[3]}};
  if (fe_equal_mask(f_mul(candidate, r_point.z), r_point.x) != 0) return true;
  uint64_t plus_q[4];
  if (add4(plus_q, r.v, kOrder) != 0) return false;
  uint8_t bytes[32];
  for (int i = 0; i < 4; ++i) store_le64(bytes + 8 * i, plus_q[i]);
  if (!fe_from_le(bytes, candidate)) return false;  // r + q >= p
  return fe_equal_mask(f_mul(candidate, r_point.z), r_point.x) != 0;
}

}  // namespace gost::ec256
