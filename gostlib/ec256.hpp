// Arithmetic of the CryptoPro-A curve y^2 = x^3 - 3x + 166 over the prime
// field p = 2^256 - 617, whose group has prime order q.
//
// Field elements and scalars are four 64-bit limbs, least significant first,
// always fully reduced. Everything that may touch a secret (field and scalar
// arithmetic, mul_base, mul) runs in time independent of the values: no
// branch and no memory index depends on them. Points are homogeneous
// projective (X:Y:Z), the point at infinity is (0:1:0), and the group law
// uses complete formulas for a = -3, so no input pair is exceptional.
//
// Field products and squares come in two sets of rows: portable C (128-bit
// integers, or 32-bit halves without them) and, on x86-64 processors with
// mulx/adcx/adox and AVX2, assembly rows with the reduction folded in and
// table scans on 256-bit vectors. The choice is made once per process; each
// point operation runs wholly on one set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_features.hpp"

namespace gost::ec256 {

// --- 64-bit limb helpers ---------------------------------------------------

// The full 128-bit product of a and b by 32-bit halves: lo returned, hi out.
inline uint64_t mul_wide_portable(uint64_t a, uint64_t b, uint64_t& hi) {
  const uint64_t a0 = uint32_t(a), a1 = a >> 32, b0 = uint32_t(b), b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t mid = (p00 >> 32) + uint32_t(p01) + uint32_t(p10);
  hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
  return (mid << 32) | uint32_t(p00);
}

#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 u128;
#endif

// 128-bit sums and products where the compiler has them; the 32-bit halves
// otherwise (the i686 build). GOST_EC256_NO_INT128 selects the halves on any
// host, so that path can be tested on a 64-bit one.
#if defined(__SIZEOF_INT128__) && !defined(GOST_EC256_NO_INT128)
#define GOST_EC256_INT128 1
#else
#define GOST_EC256_INT128 0
#endif

// The assembly rows exist on x86-64 builds with 128-bit integers.
#if GOST_X86_64_ROWS && GOST_EC256_INT128
#define GOST_EC256_ADX 1
#else
#define GOST_EC256_ADX 0
#endif

// True when this process runs the assembly rows.
bool fast_rows();

// a * b + c + d as (hi, lo); it cannot overflow 128 bits.
inline uint64_t mul_add2(uint64_t a, uint64_t b, uint64_t c, uint64_t d, uint64_t& hi) {
#if GOST_EC256_INT128
  const u128 t = u128(a) * b + c + d;
  hi = uint64_t(t >> 64);
  return uint64_t(t);
#else
  uint64_t h;
  uint64_t lo = mul_wide_portable(a, b, h);
  lo += c;
  h += lo < c;
  lo += d;
  h += lo < d;
  hi = h;
  return lo;
#endif
}

// --- field elements mod p ----------------------------------------------------

struct Fe {
  uint64_t v[4];
};

inline constexpr Fe kFeZero{{0, 0, 0, 0}};
inline constexpr Fe kFeOne{{1, 0, 0, 0}};

Fe fe_add(const Fe& a, const Fe& b);
Fe fe_sub(const Fe& a, const Fe& b);
Fe fe_neg(const Fe& a);
Fe fe_mul(const Fe& a, const Fe& b);
Fe fe_sqr(const Fe& a);
Fe fe_mul_small(const Fe& a, uint32_t m);
// a^-1, and 0 for 0; constant time.
Fe fe_inv(const Fe& a);
// All-ones when a == b, else zero; constant time.
uint64_t fe_equal_mask(const Fe& a, const Fe& b);
// Little-endian bytes; false (out untouched) when the value is not below p.
bool fe_from_le(const uint8_t in[32], Fe& out);
void fe_to_le(const Fe& a, uint8_t out[32]);

// --- scalars mod q -----------------------------------------------------------

struct Sc {
  uint64_t v[4];
};

// Little-endian bytes; false when the value is not below q (out untouched).
bool sc_from_le(const uint8_t in[32], Sc& out);
// Big-endian bytes; false when the value is not below q (out untouched).
bool sc_from_be(const uint8_t in[32], Sc& out);
// Any 256-bit little-endian value reduced mod q.
Sc sc_reduce_le(const uint8_t in[32]);
// Any 512-bit little-endian value reduced mod q; constant time.
Sc sc_reduce_wide_le(const uint8_t in[64]);
// A field element's value reduced mod q (x of a point, for r).
Sc sc_from_fe(const Fe& a);
void sc_to_be(const Sc& a, uint8_t out[32]);
void sc_to_le(const Sc& a, uint8_t out[32]);
Sc sc_add(const Sc& a, const Sc& b);
Sc sc_neg(const Sc& a);
Sc sc_mul(const Sc& a, const Sc& b);
// a^-1 mod q, and 0 for 0; constant time.
Sc sc_inv(const Sc& a);
// The same for a public a: variable time, several times faster.
Sc sc_inv_public(const Sc& a);
bool sc_is_zero(const Sc& a);

// --- points ------------------------------------------------------------------

struct Affine {
  Fe x, y;
};

struct Point {
  Fe x, y, z;
};

inline constexpr Point kInfinity{kFeZero, kFeOne, kFeZero};

// The base point G.
Affine base_point();
bool on_curve(const Affine& a);
Point to_projective(const Affine& a);
// False for the point at infinity.
bool to_affine(const Point& p, Affine& out);
// All-ones when the two points are the same group element; constant time.
uint64_t point_equal_mask(const Point& a, const Point& b);

Point point_add(const Point& a, const Point& b);
// a + b for an affine b (never the point at infinity).
Point point_add_mixed(const Point& a, const Affine& b);
Point point_double(const Point& a);
Point point_neg(const Point& a);

// k * G from a table of G built once (37 windows of 7 bits, signed digits,
// 64 affine entries each, every row scanned whole); constant time in k.
Point mul_base(const Sc& k);
// k * P; constant time in k and P.
Point mul(const Sc& k, const Affine& p);
// a * G + b * Q for public a, b and Q, one chain of doublings for both
// (width-5 NAF of b over multiples of Q, width-8 NAF of a over a table of
// G); variable time.
Point mul_double_public(const Sc& a, const Sc& b, const Affine& q);
// True when x(R) mod q == r for a point R other than infinity, without
// leaving projective coordinates; variable time.
bool x_mod_q_equals(const Point& r_point, const Sc& r);

}  // namespace gost::ec256
