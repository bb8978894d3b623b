// Inverses modulo an odd 256-bit modulus M by Bernstein and Yang's division
// steps ("Fast constant-time gcd computation and modular inversion", 2019,
// section 11), on five signed 62-bit limbs and 128-bit products; for builds
// with 128-bit integers. Included by ec256.cpp only.
//
// A divstep maps (delta, f, g), f odd, to
//   (1 - delta, g, (g - f) / 2)  when delta > 0 and g is odd,
//   (1 + delta, f, (g + f) / 2)  when g is odd otherwise,
//   (1 + delta, f, g / 2)        when g is even.
// From (1, M, x) g reaches 0 within 741 steps for any 256-bit M and x in
// [0, M) (the paper's theorem 11.2), and then f = +-gcd(M, x). The steps
// run in batches of 62 on the low 64 bits of f and g alone, each batch
// giving a matrix T (entries scaled by 2^62) that is then applied to the
// whole f and g, and to d and e, which keep f = d x and g = e x (mod M).
// At the end x^-1 = +-d.
//
// inverse<true> runs a fixed 12 x 62 = 744 steps with masks instead of
// branches: constant time. inverse<false> branches, skips runs of zero bits
// at once and stops when g is 0: for public values only.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace gost::divsteps {

__extension__ typedef __int128 i128;

constexpr uint64_t kMask62 = (uint64_t(1) << 62) - 1;

// sum v[i] 2^(62 i); limbs 0..3 in [0, 2^62), the top limb signed.
struct Signed62 {
  int64_t v[5];
};

// 2^62 (f_62, g_62) = (u f + v g, q f + r g) after a batch of 62 steps.
struct Matrix {
  int64_t u, v, q, r;
};

struct Modulus {
  Signed62 m;
  uint64_t m_inv62;  // M^-1 mod 2^62
};

constexpr Signed62 from_limbs(const uint64_t x[4]) {
  return Signed62{{int64_t(x[0] & kMask62), int64_t(((x[0] >> 62) | (x[1] << 2)) & kMask62),
                   int64_t(((x[1] >> 60) | (x[2] << 4)) & kMask62), int64_t(((x[2] >> 58) | (x[3] << 6)) & kMask62),
                   int64_t(x[3] >> 56)}};
}

// For a value in [0, 2^256).
inline void to_limbs(const Signed62& a, uint64_t x[4]) {
  const uint64_t* v = reinterpret_cast<const uint64_t*>(a.v);
  x[0] = v[0] | (v[1] << 62);
  x[1] = (v[1] >> 2) | (v[2] << 60);
  x[2] = (v[2] >> 4) | (v[3] << 58);
  x[3] = (v[3] >> 6) | (v[4] << 56);
}

// M from its 64-bit limbs, with M^-1 mod 2^62 by Newton's iteration (each
// step doubles the correct low bits; an odd M is its own inverse mod 8).
constexpr Modulus make_modulus(const uint64_t m[4]) {
  uint64_t inv = m[0];
  for (int i = 0; i < 5; ++i) inv *= 2 - m[0] * inv;
  return Modulus{from_limbs(m), inv & kMask62};
}

// Limbs 0..3 back into [0, 2^62), their carries moved up; constant time.
inline void carry(Signed62& a) {
  for (int i = 0; i < 4; ++i) {
    a.v[i + 1] += a.v[i] >> 62;  // arithmetic shift: the signed carry
    a.v[i] &= int64_t(kMask62);
  }
}

// a + m where mask is all-ones; constant time.
inline void add_masked(Signed62& a, const Signed62& m, int64_t mask) {
  for (int i = 0; i < 5; ++i) a.v[i] += m.v[i] & mask;
  carry(a);
}

// 62 steps with masks: delta, f and g (low bits) in, the matrix out.
inline int64_t batch_secret(int64_t delta, uint64_t f, uint64_t g, Matrix& t) {
  uint64_t u = 1, v = 0, q = 0, r = 1, d = uint64_t(delta);
  for (int i = 0; i < 62; ++i) {
    // delta > 0 and g odd: (f, g, u, v, q, r, delta) <- (g, -f, q, r, -u, -v, -delta)
    const uint64_t swap = (0 - ((0 - d) >> 63)) & (0 - (g & 1));
    uint64_t x = (f ^ g) & swap;
    f ^= x;
    g ^= x;
    g = (g ^ swap) - swap;
    x = (u ^ q) & swap;
    u ^= x;
    q ^= x;
    q = (q ^ swap) - swap;
    x = (v ^ r) & swap;
    v ^= x;
    r ^= x;
    r = (r ^ swap) - swap;
    d = (d ^ swap) - swap;
    // g odd (always after a swap): g += f
    const uint64_t odd = 0 - (g & 1);
    g += f & odd;
    q += u & odd;
    r += v & odd;
    // g even now: halve it, double f's coefficients
    g >>= 1;
    u <<= 1;
    v <<= 1;
    ++d;
  }
  t = Matrix{int64_t(u), int64_t(v), int64_t(q), int64_t(r)};
  return int64_t(d);
}

// The same 62 steps with branches, zero runs of g skipped at once.
inline int64_t batch_public(int64_t delta, uint64_t f, uint64_t g, Matrix& t) {
  uint64_t u = 1, v = 0, q = 0, r = 1;
  int left = 62;
  for (;;) {
    // g's trailing zeros (at most `left` of them) are halvings only.
    const int zeros = __builtin_ctzll(g | (uint64_t(1) << left));
    g >>= zeros;
    u <<= zeros;
    v <<= zeros;
    delta += zeros;
    left -= zeros;
    if (left == 0) break;
    if (delta > 0) {
      delta = -delta;
      const uint64_t f0 = f, u0 = u, v0 = v;
      f = g;
      g = 0 - f0;
      u = q;
      q = 0 - u0;
      v = r;
      r = 0 - v0;
    }
    // g odd: g += f leaves it even, halved by the next skip.
    g += f;
    q += u;
    r += v;
  }
  t = Matrix{int64_t(u), int64_t(v), int64_t(q), int64_t(r)};
  return delta;
}

// (u a + v b + ma M, q a + r b + mb M) / 2^62, exact: the low 62 bits of
// both sums are zero.
inline void combine(Signed62& a, Signed62& b, const Matrix& t, const Signed62& m, int64_t ma, int64_t mb) {
  i128 ca = i128(t.u) * a.v[0] + i128(t.v) * b.v[0] + i128(ma) * m.v[0];
  i128 cb = i128(t.q) * a.v[0] + i128(t.r) * b.v[0] + i128(mb) * m.v[0];
  ca >>= 62;
  cb >>= 62;
  for (int i = 1; i < 5; ++i) {
    ca += i128(t.u) * a.v[i] + i128(t.v) * b.v[i] + i128(ma) * m.v[i];
    cb += i128(t.q) * a.v[i] + i128(t.r) * b.v[i] + i128(mb) * m.v[i];
    a.v[i - 1] = int64_t(uint64_t(ca) & kMask62);
    b.v[i - 1] = int64_t(uint64_t(cb) & kMask62);
    ca >>= 62;
    cb >>= 62;
  }
  a.v[4] = int64_t(ca);
  b.v[4] = int64_t(cb);
}

// (f, g) <- T (f, g) / 2^62; |f|, |g| stay at most M.
inline void update_fg(Signed62& f, Signed62& g, const Matrix& t, const Modulus& mod) { combine(f, g, t, mod.m, 0, 0); }

// (d, e) <- (T (d, e) + (md, me) M) / 2^62 for d, e in [0, M): md and me in
// [0, 2^62) make the low 62 bits vanish, and as |u| + |v| <= 2^62 the
// results lie in (-M, 2M); they are brought back to [0, M) with masks.
inline void update_de(Signed62& d, Signed62& e, const Matrix& t, const Modulus& mod) {
  const uint64_t low_d = uint64_t(t.u) * uint64_t(d.v[0]) + uint64_t(t.v) * uint64_t(e.v[0]);
  const uint64_t low_e = uint64_t(t.q) * uint64_t(d.v[0]) + uint64_t(t.r) * uint64_t(e.v[0]);
  combine(d, e, t, mod.m, int64_t((0 - low_d * mod.m_inv62) & kMask62), int64_t((0 - low_e * mod.m_inv62) & kMask62));
  const int64_t* m = mod.m.v;
  for (Signed62* x : {&d, &e}) {
    add_masked(*x, mod.m, x->v[4] >> 63);  // (-M, 0) -> (0, M)
    Signed62 less = *x;
    add_masked(less, Signed62{{-m[0], -m[1], -m[2], -m[3], -m[4]}}, -1);
    const int64_t keep = less.v[4] >> 63;  // x < M: keep x
    for (int i = 0; i < 5; ++i) x->v[i] = (x->v[i] & keep) | (less.v[i] & ~keep);
  }
}

// d when f = 1, M - d when f = -1 (d = 0 stays 0, the answer for x = 0).
inline void finish(const Signed62& f, Signed62& d, const Modulus& mod, uint64_t out[4]) {
  const int64_t negative = f.v[4] >> 63;
  Signed62 minus = mod.m;
  add_masked(minus, Signed62{{-d.v[0], -d.v[1], -d.v[2], -d.v[3], -d.v[4]}}, -1);
  const uint64_t any = uint64_t(d.v[0] | d.v[1] | d.v[2] | d.v[3] | d.v[4]);
  const int64_t nonzero = int64_t(0 - ((any | (0 - any)) >> 63));
  const int64_t take = negative & nonzero;
  for (int i = 0; i < 5; ++i) d.v[i] = (d.v[i] & ~take) | (minus.v[i] & take);
  to_limbs(d, out);
}

// x^-1 mod M for x in [0, M) (0 for 0). kSecret: a fixed 12 batches with
// masks, constant time in x; otherwise batches with branches until g is 0.
template <bool kSecret>
inline void inverse(const uint64_t x[4], const Modulus& mod, uint64_t out[4]) {
  Signed62 f = mod.m, g = from_limbs(x), d{}, e{{1, 0, 0, 0, 0}};
  int64_t delta = 1;
  for (int i = 0; kSecret ? i < 12 : (g.v[0] | g.v[1] | g.v[2] | g.v[3] | g.v[4]) != 0; ++i) {
    const uint64_t f0 = uint64_t(f.v[0]) | (uint64_t(f.v[1]) << 62);
    const uint64_t g0 = uint64_t(g.v[0]) | (uint64_t(g.v[1]) << 62);
    Matrix t;
    delta = kSecret ? batch_secret(delta, f0, g0, t) : batch_public(delta, f0, g0, t);
    update_fg(f, g, t, mod);
    update_de(d, e, t, mod);
  }
  finish(f, d, mod, out);
}

}  // namespace gost::divsteps
