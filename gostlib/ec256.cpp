// Constant-time arithmetic of the CryptoPro-A curve (see ec256.hpp).
#include "ec256.hpp"

#include <cstring>
#include <vector>

#include "common.hpp"
#if GOST_EC256_INT128
#include "divsteps.hpp"
#endif

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
constexpr uint64_t kPrime[4] = {0xfffffffffffffd97ULL, ~0ULL, ~0ULL, ~0ULL};
#if GOST_EC256_INT128
constexpr divsteps::Modulus kPrimeSteps = divsteps::make_modulus(kPrime);
constexpr divsteps::Modulus kOrderSteps = divsteps::make_modulus(kOrder);
#endif
constexpr Fe kBaseX{{1, 0, 0, 0}};
constexpr Fe kBaseY{{0x22acc99c9e9f1e14ULL, 0x35294f2ddf23e3b1ULL, 0x27df505a453f2b76ULL, 0x8d91e471e0989cdaULL}};

// --- limb vectors --------------------------------------------------------

// All-ones when x is zero, else zero.
inline uint64_t zero_mask(uint64_t x) { return ((x | (0 - x)) >> 63) - 1; }

// All-ones when a == b (small values).
inline uint64_t eq_mask(uint64_t a, uint64_t b) { return zero_mask(a ^ b); }

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

// --- field: what both sets of rows share ---------------------------------

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

inline Fe f_mul_small(const Fe& a, uint32_t m) {
  uint64_t r[4];
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) r[i] = mul_add2(a.v[i], m, 0, carry, carry);
  return fold(r, carry);  // carry < m
}

void select_point(Point& r, uint64_t mask, const Point& yes, const Point& no) {
  select4(r.x.v, mask, yes.x.v, no.x.v);
  select4(r.y.v, mask, yes.y.v, no.y.v);
  select4(r.z.v, mask, yes.z.v, no.z.v);
}

// --- field: portable rows ------------------------------------------------

// Products, squares and table scans in C: 128-bit integers where the
// compiler has them, 32-bit halves otherwise.
struct PortableRows {
  static constexpr bool kLazy = false;  // results are always fully reduced
  static bool available() { return true; }
  static Fe canon(const Fe& a) { return a; }
  static Fe add(const Fe& a, const Fe& b) { return f_add(a, b); }
  static Fe sub(const Fe& a, const Fe& b) { return f_sub(a, b); }
  static Fe mul_small(const Fe& a, uint32_t m) { return f_mul_small(a, m); }

  // A 512-bit t to t mod p, using 2^256 = 617 (mod p).
  static Fe reduce_wide(const uint64_t t[8]) {
    uint64_t r[4];
    uint64_t carry = 0;
    for (int i = 0; i < 4; ++i) r[i] = mul_add2(t[4 + i], kFold, t[i], carry, carry);
    return fold(r, carry);  // carry <= 617
  }

  static Fe mul(const Fe& a, const Fe& b) {
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

  static Fe sqr(const Fe& a) {
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

  // r = row[index - 1] for index in 1..n, zeros for index 0, reading every
  // entry of the row with masks.
  static void select(Affine& r, const Affine* row, int n, uint64_t index) {
    r = Affine{kFeZero, kFeZero};
    for (int j = 0; j < n; ++j) {
      const uint64_t m = eq_mask(index, uint64_t(j + 1));
      for (int w = 0; w < 4; ++w) {
        r.x.v[w] |= row[j].x.v[w] & m;
        r.y.v[w] |= row[j].y.v[w] & m;
      }
    }
  }
};

// --- field: x86-64 rows --------------------------------------------------

#if GOST_EC256_ADX

// t0..t3 + 2^256 (t4..t7) to a value below 2^256 of the same residue, in
// t0..t3: t4..t7 times 617 on two carry chains, then the limb above folded
// once more (a carry out of that leaves a value below 2^19, which takes the
// last 617 without carrying).
#define GOST_EC256_REDUCE             \
  "movl $617, %%edx\n\t"              \
  "xorl %k[lo], %k[lo]\n\t"           \
  "mulxq %[t4], %[lo], %[hi]\n\t"     \
  "adcxq %[lo], %[t0]\n\t"            \
  "adoxq %[hi], %[t1]\n\t"            \
  "mulxq %[t5], %[lo], %[hi]\n\t"     \
  "adcxq %[lo], %[t1]\n\t"            \
  "adoxq %[hi], %[t2]\n\t"            \
  "mulxq %[t6], %[lo], %[hi]\n\t"     \
  "adcxq %[lo], %[t2]\n\t"            \
  "adoxq %[hi], %[t3]\n\t"            \
  "mulxq %[t7], %[lo], %[t4]\n\t"     \
  "adcxq %[lo], %[t3]\n\t"            \
  "movl $0, %k[lo]\n\t"               \
  "adoxq %[lo], %[t4]\n\t"            \
  "adcxq %[lo], %[t4]\n\t"            \
  "imulq $617, %[t4], %[t4]\n\t"      \
  "addq %[t4], %[t0]\n\t"             \
  "adcq $0, %[t1]\n\t"                \
  "adcq $0, %[t2]\n\t"                \
  "adcq $0, %[t3]\n\t"                \
  "sbbq %[lo], %[lo]\n\t"             \
  "andl $617, %k[lo]\n\t"             \
  "addq %[lo], %[t0]\n\t"

// One row of a product: u0..u4 += a b[OFF / 8] (u4 fresh), the low halves
// on the adcx chain, the high halves on the adox chain.
#define GOST_EC256_ROW(OFF, U0, U1, U2, U3, U4) \
  "movq " #OFF "(%[b]), %%rdx\n\t"             \
  "xorl %k[lo], %k[lo]\n\t"                    \
  "mulxq (%[a]), %[lo], %[hi]\n\t"             \
  "adcxq %[lo], %[" U0 "]\n\t"                 \
  "adoxq %[hi], %[" U1 "]\n\t"                 \
  "mulxq 8(%[a]), %[lo], %[hi]\n\t"            \
  "adcxq %[lo], %[" U1 "]\n\t"                 \
  "adoxq %[hi], %[" U2 "]\n\t"                 \
  "mulxq 16(%[a]), %[lo], %[hi]\n\t"           \
  "adcxq %[lo], %[" U2 "]\n\t"                 \
  "adoxq %[hi], %[" U3 "]\n\t"                 \
  "mulxq 24(%[a]), %[lo], %[" U4 "]\n\t"       \
  "adcxq %[lo], %[" U3 "]\n\t"                 \
  "movl $0, %k[lo]\n\t"                        \
  "adoxq %[lo], %[" U4 "]\n\t"                 \
  "adcxq %[lo], %[" U4 "]\n\t"

// r = a OP b on four limbs (OP, OPC: the instruction without and with the
// carry), then 617 applied with the same instruction for the carry or
// borrow out of 2^256, twice.
#define GOST_EC256_FOLDED(OP, OPC)                                                                    \
  asm("movq (%[a]), %[r0]\n\t"                                                                      \
      "movq 8(%[a]), %[r1]\n\t"                                                                     \
      "movq 16(%[a]), %[r2]\n\t"                                                                    \
      "movq 24(%[a]), %[r3]\n\t" OP " (%[b]), %[r0]\n\t" OPC " 8(%[b]), %[r1]\n\t" OPC              \
      " 16(%[b]), %[r2]\n\t" OPC " 24(%[b]), %[r3]\n\t"                                                \
      "sbbq %[m], %[m]\n\t"                                                                         \
      "andl $617, %k[m]\n\t" OP " %[m], %[r0]\n\t" OPC " $0, %[r1]\n\t" OPC " $0, %[r2]\n\t" OPC      \
      " $0, %[r3]\n\t"                                                                              \
      "sbbq %[m], %[m]\n\t"                                                                         \
      "andl $617, %k[m]\n\t" OP " %[m], %[r0]\n\t"                                                  \
      : [r0] "=&r"(r.v[0]), [r1] "=&r"(r.v[1]), [r2] "=&r"(r.v[2]), [r3] "=&r"(r.v[3]), [m] "=&r"(m) \
      : [a] "r"(a.v), [b] "r"(b.v), "m"(a), "m"(b)                                                   \
      : "cc")

// Products and squares by mulx with two carry chains (adcx, adox), and
// table scans on 256-bit vectors: for processors with BMI2, ADX and AVX2.
//
// These rows reduce lazily: their results are below 2^256 but may be p or
// more (617 values), and every input below 2^256 is accepted. canon() gives
// the fully reduced value wherever one is compared or leaves the rows.
struct AdxRows {
  static constexpr bool kLazy = true;
  static bool available() { return cpu::has_mulx_adx() && cpu::has_avx2(); }
  static Fe canon(const Fe& a) { return finish(a.v, 0); }

  // a + b, with 617 added for each carry out of 2^256 (a second carry
  // leaves less than 617, so a third cannot occur).
  static Fe add(const Fe& a, const Fe& b) {
    Fe r;
    uint64_t m;
    GOST_EC256_FOLDED("addq", "adcq");
    return r;
  }

  // a - b, with 617 subtracted for each borrow (a second borrow leaves at
  // least 2^256 - 617, so a third cannot occur).
  static Fe sub(const Fe& a, const Fe& b) {
    Fe r;
    uint64_t m;
    GOST_EC256_FOLDED("subq", "sbbq");
    return r;
  }

  // a m for m below 2^32: four mulx, then the limb above folded by 617 (a
  // carry out of that leaves a value below 2^42, which takes the last 617).
  static Fe mul_small(const Fe& a, uint32_t m) {
    Fe r;
    uint64_t t4, lo;
    asm("movl %[m], %%edx\n\t"
        "mulxq (%[a]), %[r0], %[r1]\n\t"
        "mulxq 8(%[a]), %[lo], %[r2]\n\t"
        "addq %[lo], %[r1]\n\t"
        "mulxq 16(%[a]), %[lo], %[r3]\n\t"
        "adcq %[lo], %[r2]\n\t"
        "mulxq 24(%[a]), %[lo], %[t4]\n\t"
        "adcq %[lo], %[r3]\n\t"
        "adcq $0, %[t4]\n\t"
        "imulq $617, %[t4], %[t4]\n\t"
        "addq %[t4], %[r0]\n\t"
        "adcq $0, %[r1]\n\t"
        "adcq $0, %[r2]\n\t"
        "adcq $0, %[r3]\n\t"
        "sbbq %[t4], %[t4]\n\t"
        "andl $617, %k[t4]\n\t"
        "addq %[t4], %[r0]\n\t"
        : [r0] "=&r"(r.v[0]), [r1] "=&r"(r.v[1]), [r2] "=&r"(r.v[2]), [r3] "=&r"(r.v[3]), [t4] "=&r"(t4),
          [lo] "=&r"(lo)
        : [a] "r"(a.v), [m] "r"(m), "m"(a)
        : "rdx", "cc");
    return r;
  }

  static Fe mul(const Fe& a, const Fe& b) {
    Fe r;
    uint64_t t4, t5, t6, t7, lo, hi;
    asm("movq (%[b]), %%rdx\n\t"
        "mulxq (%[a]), %[t0], %[t1]\n\t"
        "mulxq 8(%[a]), %[lo], %[t2]\n\t"
        "addq %[lo], %[t1]\n\t"
        "mulxq 16(%[a]), %[lo], %[t3]\n\t"
        "adcq %[lo], %[t2]\n\t"
        "mulxq 24(%[a]), %[lo], %[t4]\n\t"
        "adcq %[lo], %[t3]\n\t"
        "adcq $0, %[t4]\n\t"
        GOST_EC256_ROW(8, "t1", "t2", "t3", "t4", "t5")
        GOST_EC256_ROW(16, "t2", "t3", "t4", "t5", "t6")
        GOST_EC256_ROW(24, "t3", "t4", "t5", "t6", "t7")
        GOST_EC256_REDUCE
        : [t0] "=&r"(r.v[0]), [t1] "=&r"(r.v[1]), [t2] "=&r"(r.v[2]), [t3] "=&r"(r.v[3]), [t4] "=&r"(t4),
          [t5] "=&r"(t5), [t6] "=&r"(t6), [t7] "=&r"(t7), [lo] "=&r"(lo), [hi] "=&r"(hi)
        : [a] "r"(a.v), [b] "r"(b.v), "m"(a), "m"(b)
        : "rdx", "cc");
    return r;
  }

  // The six cross products a_i a_j (i < j) once, doubled on the adcx chain
  // while the squares a_i^2 come in on the adox chain.
  static Fe sqr(const Fe& a) {
    Fe r;
    uint64_t t4, t5, t6, t7, lo, hi;
    asm("movq (%[a]), %%rdx\n\t"
        "mulxq 8(%[a]), %[t1], %[t2]\n\t"
        "mulxq 16(%[a]), %[lo], %[t3]\n\t"
        "addq %[lo], %[t2]\n\t"
        "mulxq 24(%[a]), %[lo], %[t4]\n\t"
        "adcq %[lo], %[t3]\n\t"
        "movq 8(%[a]), %%rdx\n\t"
        "mulxq 24(%[a]), %[lo], %[t5]\n\t"
        "adcq %[lo], %[t4]\n\t"
        "movq 16(%[a]), %%rdx\n\t"
        "mulxq 24(%[a]), %[lo], %[t6]\n\t"
        "adcq %[lo], %[t5]\n\t"
        "adcq $0, %[t6]\n\t"
        "movq 8(%[a]), %%rdx\n\t"
        "mulxq 16(%[a]), %[lo], %[hi]\n\t"
        "addq %[lo], %[t3]\n\t"
        "adcq %[hi], %[t4]\n\t"
        "adcq $0, %[t5]\n\t"
        "adcq $0, %[t6]\n\t"
        "xorl %k[t7], %k[t7]\n\t"
        "movq (%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[t0], %[hi]\n\t"
        "adcxq %[t1], %[t1]\n\t"
        "adoxq %[hi], %[t1]\n\t"
        "movq 8(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[lo], %[hi]\n\t"
        "adcxq %[t2], %[t2]\n\t"
        "adoxq %[lo], %[t2]\n\t"
        "adcxq %[t3], %[t3]\n\t"
        "adoxq %[hi], %[t3]\n\t"
        "movq 16(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[lo], %[hi]\n\t"
        "adcxq %[t4], %[t4]\n\t"
        "adoxq %[lo], %[t4]\n\t"
        "adcxq %[t5], %[t5]\n\t"
        "adoxq %[hi], %[t5]\n\t"
        "movq 24(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[lo], %[hi]\n\t"
        "adcxq %[t6], %[t6]\n\t"
        "adoxq %[lo], %[t6]\n\t"
        "adcxq %[t7], %[t7]\n\t"
        "adoxq %[hi], %[t7]\n\t"
        GOST_EC256_REDUCE
        : [t0] "=&r"(r.v[0]), [t1] "=&r"(r.v[1]), [t2] "=&r"(r.v[2]), [t3] "=&r"(r.v[3]), [t4] "=&r"(t4),
          [t5] "=&r"(t5), [t6] "=&r"(t6), [t7] "=&r"(t7), [lo] "=&r"(lo), [hi] "=&r"(hi)
        : [a] "r"(a.v), "m"(a)
        : "rdx", "cc");
    return r;
  }

  // As PortableRows::select, each entry as two 256-bit vectors under a mask
  // from a vector comparison.
  __attribute__((target("avx2"))) static void select(Affine& r, const Affine* row, int n, uint64_t index) {
    typedef uint64_t V4 __attribute__((vector_size(32)));
    const V4 want = V4{} + index;
    const V4 one = V4{} + 1;
    V4 j = one, x = {}, y = {};
    for (int k = 0; k < n; ++k) {
      const V4 m = (V4)(j == want);
      V4 ex, ey;
      std::memcpy(&ex, row[k].x.v, sizeof ex);
      std::memcpy(&ey, row[k].y.v, sizeof ey);
      x |= ex & m;
      y |= ey & m;
      j += one;
    }
    std::memcpy(r.x.v, &x, sizeof x);
    std::memcpy(r.y.v, &y, sizeof y);
  }
};

#undef GOST_EC256_FOLDED
#undef GOST_EC256_ROW
#undef GOST_EC256_REDUCE

#endif  // GOST_EC256_ADX

// Runs f with the rows of this process: f(AdxRows{}) or f(PortableRows{}).
template <class F>
decltype(auto) with_rows(F&& f) {
#if GOST_EC256_ADX
  if (fast_rows()) return f(AdxRows{});
#endif
  return f(PortableRows{});
}

// --- the tables of G -----------------------------------------------------

constexpr int kCombBits = 7;
constexpr int kCombWindows = 37;  // 37 * 7 >= 257: signed digits reach one bit past 256
constexpr int kCombEntries = 64;  // digit magnitudes 1..64
constexpr int kOddBits = 8;       // width of the NAF of the verification's a
constexpr int kOddEntries = 1 << (kOddBits - 2);

// comb[i][j] = (j + 1) 2^(7 i) G: k G is the sum of one entry (or its
// negative) per signed 7-bit digit of k, with no doubling.
struct CombTable {
  Affine entry[kCombWindows][kCombEntries];
};

// odd[j] = (2 j + 1) G: the odd multiples a width-8 NAF adds.
struct OddTable {
  Affine odd[kOddEntries];
};

}  // namespace

// --- group law and multiplications on one set of rows --------------------

namespace {

// Jacobian coordinates (x = X / Z^2, y = Y / Z^3; Z = 0 is infinity) for the
// public double-scalar multiplication: their doubling is much cheaper, and
// with public data the exceptional cases may be branched on.
struct Jacobian {
  Fe x, y, z;
};

const CombTable& comb_table();
const OddTable& odd_table();

template <class R>
struct Curve {
  static Fe mul(const Fe& a, const Fe& b) { return R::mul(a, b); }
  static Fe sqr(const Fe& a) { return R::sqr(a); }
  static Fe fadd(const Fe& a, const Fe& b) { return R::add(a, b); }
  static Fe fsub(const Fe& a, const Fe& b) { return R::sub(a, b); }
  static Fe fsmall(const Fe& a, uint32_t m) { return R::mul_small(a, m); }
  // a = 0 (mod p) for any a below 2^256: 0 or p. Variable time.
  static bool is_zero(const Fe& a) {
    const uint64_t zero = a.v[0] | a.v[1] | a.v[2] | a.v[3];
    const uint64_t prime = (a.v[0] ^ kPrime[0]) | ~(a.v[1] & a.v[2] & a.v[3]);
    return zero == 0 || prime == 0;
  }
  static Point canon(const Point& p) {
    if constexpr (R::kLazy) {
      return Point{R::canon(p.x), R::canon(p.y), R::canon(p.z)};
    } else {
      return p;
    }
  }

  static Fe sqr_n(Fe a, int n) {
    for (int i = 0; i < n; ++i) a = sqr(a);
    return a;
  }

  // a^-1 (0 for 0) by division steps where the compiler has 128-bit
  // integers, else as a^(p - 2); constant time, or with kSecret false
  // variable time for a public a (division steps only).
  template <bool kSecret>
  static Fe inverse(const Fe& a) {
#if GOST_EC256_INT128
    Fe r;
    divsteps::inverse<kSecret>(R::canon(a).v, kPrimeSteps, r.v);
    return r;
#else
    return inv_fermat(a);
#endif
  }
  static Fe inv(const Fe& a) { return inverse<true>(a); }
  static Fe inv_public(const Fe& a) { return inverse<false>(a); }

  // p - 2 = (2^246 - 1) * 2^10 + 0b0110010101: a chain of blocks of ones.
  static Fe inv_fermat(const Fe& a) {
    const Fe x2 = mul(sqr(a), a);
    const Fe x3 = mul(sqr(x2), a);
    const Fe x6 = mul(sqr_n(x3, 3), x3);
    const Fe x12 = mul(sqr_n(x6, 6), x6);
    const Fe x24 = mul(sqr_n(x12, 12), x12);
    const Fe x48 = mul(sqr_n(x24, 24), x24);
    const Fe x96 = mul(sqr_n(x48, 48), x48);
    const Fe x192 = mul(sqr_n(x96, 96), x96);
    const Fe x240 = mul(sqr_n(x192, 48), x48);
    Fe r = mul(sqr_n(x240, 6), x6);
    constexpr unsigned kLow = 0x195;  // 0b0110010101
    for (int bit = 9; bit >= 0; --bit) {
      r = sqr(r);
      if ((kLow >> bit) & 1) r = mul(r, a);
    }
    return r;
  }

  static bool on_curve(const Affine& a) {
    // y^2 == x (x^2 - 3) + b
    const Fe x2m3 = fsub(sqr(a.x), fsmall(kFeOne, 3));
    const Fe rhs = fadd(mul(x2m3, a.x), fsmall(kFeOne, kCurveB));
    return is_zero(fsub(sqr(a.y), rhs));
  }

  // The common second half of the complete additions below: from the
  // products t0 = X1 X2, t1 = Y1 Y2, t2 = Z1 Z2, t3 = X1 Y2 + X2 Y1,
  // t4 = Y1 Z2 + Y2 Z1 and y3 = X1 Z2 + X2 Z1 to the sum.
  static Point add_tail(Fe t0, Fe t1, Fe t2, Fe t3, Fe t4, Fe y3) {
    Fe x3 = fsmall(fsub(y3, fsmall(t2, kCurveB)), 3);
    Fe z3 = fsub(t1, x3);
    x3 = fadd(t1, x3);
    t2 = fsmall(t2, 3);
    y3 = fsmall(fsub(fsub(fsmall(y3, kCurveB), t2), t0), 3);
    t0 = fsub(fsmall(t0, 3), t2);
    t1 = mul(t4, y3);
    t2 = mul(t0, y3);
    y3 = mul(x3, z3);
    y3 = fadd(y3, t2);
    x3 = mul(t3, x3);
    x3 = fsub(x3, t1);
    z3 = mul(t4, z3);
    t1 = mul(t3, t0);
    z3 = fadd(z3, t1);
    return Point{x3, y3, z3};
  }

  // Complete addition for a = -3 (Renes, Costello and Batina 2016,
  // algorithm 4): correct for every pair of points of this prime-order
  // curve, infinity and equal operands included.
  static Point add(const Point& p, const Point& q) {
    const Fe t0 = mul(p.x, q.x);
    const Fe t1 = mul(p.y, q.y);
    const Fe t2 = mul(p.z, q.z);
    const Fe t3 = fsub(mul(fadd(p.x, p.y), fadd(q.x, q.y)), fadd(t0, t1));
    const Fe t4 = fsub(mul(fadd(p.y, p.z), fadd(q.y, q.z)), fadd(t1, t2));
    const Fe y3 = fsub(mul(fadd(p.x, p.z), fadd(q.x, q.z)), fadd(t0, t2));
    return add_tail(t0, t1, t2, t3, t4, y3);
  }

  // The same law with Z2 = 1 (algorithm 5): complete as long as q is affine.
  static Point add_mixed(const Point& p, const Affine& q) {
    const Fe t0 = mul(p.x, q.x);
    const Fe t1 = mul(p.y, q.y);
    const Fe t3 = fsub(mul(fadd(q.x, q.y), fadd(p.x, p.y)), fadd(t0, t1));
    const Fe t4 = fadd(mul(q.y, p.z), p.y);
    const Fe y3 = fadd(mul(q.x, p.z), p.x);
    return add_tail(t0, t1, p.z, t3, t4, y3);
  }

  // Exception-free doubling for a = -3 (algorithm 6).
  static Point dbl(const Point& p) {
    Fe t0 = sqr(p.x);
    Fe t1 = sqr(p.y);
    Fe t2 = sqr(p.z);
    Fe t3 = mul(p.x, p.y);
    t3 = fadd(t3, t3);
    Fe z3 = mul(p.x, p.z);
    z3 = fadd(z3, z3);
    Fe y3 = fsmall(fsub(fsmall(t2, kCurveB), z3), 3);
    Fe x3 = fsub(t1, y3);
    y3 = fadd(t1, y3);
    y3 = mul(x3, y3);
    x3 = mul(x3, t3);
    t2 = fsmall(t2, 3);
    z3 = fsmall(fsub(fsub(fsmall(z3, kCurveB), t2), t0), 3);
    t0 = fsub(fsmall(t0, 3), t2);
    t0 = mul(t0, z3);
    y3 = fadd(y3, t0);
    t0 = mul(p.y, p.z);
    t0 = fadd(t0, t0);
    z3 = mul(t0, z3);
    x3 = fsub(x3, z3);
    z3 = fsmall(mul(t0, t1), 4);
    return Point{x3, y3, z3};
  }

  // Projective to affine for a point other than infinity.
  static Affine affine(const Point& p) {
    const Fe zi = inv(p.z);
    return Affine{R::canon(mul(p.x, zi)), R::canon(mul(p.y, zi))};
  }

  // Affine forms of points none of which is infinity, with one inversion
  // (the running products of the Z, inverted once and peeled back).
  static void normalize(const std::vector<Point>& proj, Affine* out) {
    std::vector<Fe> prefix(proj.size());
    prefix[0] = proj[0].z;
    for (size_t n = 1; n < proj.size(); ++n) prefix[n] = mul(prefix[n - 1], proj[n].z);
    Fe zi = inv(prefix.back());
    for (size_t n = proj.size(); n-- > 0;) {
      const Fe this_zi = n == 0 ? zi : mul(zi, prefix[n - 1]);
      zi = mul(zi, proj[n].z);
      out[n] = Affine{R::canon(mul(proj[n].x, this_zi)), R::canon(mul(proj[n].y, this_zi))};
    }
  }

  // No entry is infinity: each is m G with m = (j + 1) 2^(7 i), and the
  // prime q > 64 divides no such m.
  static void build(CombTable& t) {
    std::vector<Point> proj(size_t(kCombWindows) * kCombEntries);
    Point base = to_projective(base_point());
    for (int i = 0; i < kCombWindows; ++i) {
      Point* row = &proj[size_t(i) * kCombEntries];
      row[0] = base;
      for (int j = 1; j < kCombEntries; ++j) row[j] = add(row[j - 1], base);
      base = dbl(row[kCombEntries - 1]);  // 128 * 2^(7 i) G
    }
    normalize(proj, &t.entry[0][0]);
  }

  static void build(OddTable& t) {
    std::vector<Point> proj(kOddEntries);
    const Point g = to_projective(base_point());
    const Point twice = dbl(g);
    proj[0] = g;
    for (int j = 1; j < kOddEntries; ++j) proj[j] = add(proj[j - 1], twice);
    normalize(proj, t.odd);
  }

  // Digit i of k in the signed radix 2^7 (Booth recoding): from the bits
  // 7i - 1 .. 7i + 6 (v, bit 7i - 1 lowest), d = v0 + (v1..v6) - 64 v7,
  // in -64..64, as a magnitude and an all-ones mask when negative.
  // Constant time in k; the bit positions are public.
  static void comb_digit(const Sc& k, int i, uint64_t& magnitude, uint64_t& negative) {
    const int pos = kCombBits * i - 1;
    uint64_t v;
    if (pos < 0) {
      v = k.v[0] << 1;
    } else {
      const int limb = pos / 64, shift = pos % 64;
      v = limb < 4 ? k.v[limb] >> shift : 0;
      if (shift > 56 && limb + 1 < 4) v |= k.v[limb + 1] << (64 - shift);
    }
    v &= 0xff;
    const uint64_t up = (v & 1) + ((v >> 1) & 63);
    negative = 0 - (v >> 7);
    magnitude = ((64 - up) & negative) | (up & ~negative);
  }

  // One mixed addition per window; a zero digit keeps the sum (its entry
  // is all zeros and the addition's result is discarded by a mask). The
  // first window starts the sum from its entry.
  static Point mul_base(const Sc& k) {
    const CombTable& table = comb_table();
    Point acc = kInfinity, sum;
    Affine entry;
    for (int i = 0; i < kCombWindows; ++i) {
      uint64_t magnitude, negative;
      comb_digit(k, i, magnitude, negative);
      R::select(entry, table.entry[i], kCombEntries, magnitude);
      const Fe minus_y = fsub(kFeZero, entry.y);
      select4(entry.y.v, negative, minus_y.v, entry.y.v);
      sum = i == 0 ? Point{entry.x, entry.y, kFeOne} : add_mixed(acc, entry);
      select_point(acc, eq_mask(magnitude, 0), acc, sum);
    }
    wipe(&sum, sizeof sum);
    wipe(&entry, sizeof entry);
    return acc;
  }

  static void select_table(Point& r, const Point table[16], uint64_t d) {
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

  static unsigned nibble(const Sc& k, int i) { return unsigned(k.v[i / 16] >> (4 * (i % 16))) & 15; }

  // Fixed 4-bit windows over a masked table of 0..15 P.
  static Point mul_point(const Sc& k, const Affine& p) {
    Point table[16];
    table[0] = kInfinity;
    table[1] = to_projective(p);
    for (int j = 2; j < 16; ++j) table[j] = j % 2 == 0 ? dbl(table[j / 2]) : add(table[j - 1], table[1]);
    Point acc, entry;
    select_table(acc, table, nibble(k, 63));
    for (int i = 62; i >= 0; --i) {
      for (int n = 0; n < 4; ++n) acc = dbl(acc);
      select_table(entry, table, nibble(k, i));
      acc = add(acc, entry);
    }
    wipe(table, sizeof table);
    wipe(&entry, sizeof entry);
    return acc;
  }

  // --- public data only (variable time) ---

  // a = -3: 3M + 5S. No point of this odd-order curve has y = 0.
  static Jacobian jac_double(const Jacobian& p) {
    const Fe delta = sqr(p.z);
    const Fe gamma = sqr(p.y);
    const Fe beta = mul(p.x, gamma);
    const Fe alpha = fsmall(mul(fsub(p.x, delta), fadd(p.x, delta)), 3);
    const Fe beta4 = fsmall(beta, 4);
    Jacobian r;
    r.x = fsub(sqr(alpha), fadd(beta4, beta4));
    r.z = mul(fadd(p.y, p.y), p.z);
    r.y = fsub(mul(alpha, fsub(beta4, r.x)), fsmall(sqr(gamma), 8));
    return r;
  }

  // p + q from u1 = x1 z2^2, u2 = x2 z1^2, s1 = y1 z2^3, s2 = y2 z1^3 and
  // z1 z2 (given as zz): a doubling when they are the same point, infinity
  // when they are opposite.
  static Jacobian jac_finish_add(const Jacobian& p, const Fe& u1, const Fe& u2, const Fe& s1, const Fe& s2,
                                 const Fe& zz) {
    const Fe h = fsub(u2, u1);
    const Fe rr = fsub(s2, s1);
    if (is_zero(h)) return is_zero(rr) ? jac_double(p) : Jacobian{kFeOne, kFeOne, kFeZero};
    const Fe hh = sqr(h);
    const Fe hhh = mul(hh, h);
    const Fe v = mul(u1, hh);
    Jacobian out;
    out.x = fsub(fsub(sqr(rr), hhh), fadd(v, v));
    out.y = fsub(mul(rr, fsub(v, out.x)), mul(s1, hhh));
    out.z = mul(zz, h);
    return out;
  }

  static Jacobian jac_add(const Jacobian& p, const Jacobian& q) {
    if (is_zero(p.z)) return q;
    if (is_zero(q.z)) return p;
    const Fe z1z1 = sqr(p.z), z2z2 = sqr(q.z);
    const Fe u1 = mul(p.x, z2z2), u2 = mul(q.x, z1z1);
    const Fe s1 = mul(p.y, mul(q.z, z2z2)), s2 = mul(q.y, mul(p.z, z1z1));
    return jac_finish_add(p, u1, u2, s1, s2, mul(p.z, q.z));
  }

  static Jacobian jac_add_affine(const Jacobian& p, const Affine& q) {
    if (is_zero(p.z)) return Jacobian{q.x, q.y, kFeOne};
    const Fe z1z1 = sqr(p.z);
    const Fe u2 = mul(q.x, z1z1);
    const Fe s2 = mul(q.y, mul(p.z, z1z1));
    return jac_finish_add(p, p.x, u2, p.y, s2, p.z);
  }

  // (2j + 1) Q for j = 0..7, made affine with one inversion (none is
  // infinity: Q has the prime order q).
  static void odd_multiples(const Affine& q, Affine out[8]) {
    Jacobian odd[8];
    odd[0] = Jacobian{q.x, q.y, kFeOne};
    const Jacobian twice = jac_double(odd[0]);
    for (int j = 1; j < 8; ++j) odd[j] = jac_add(odd[j - 1], twice);
    Fe prefix[8];
    prefix[0] = odd[0].z;
    for (int j = 1; j < 8; ++j) prefix[j] = mul(prefix[j - 1], odd[j].z);
    Fe zi = inv_public(prefix[7]);
    for (int j = 7; j >= 0; --j) {
      const Fe this_zi = j == 0 ? zi : mul(zi, prefix[j - 1]);
      zi = mul(zi, odd[j].z);
      const Fe zi2 = sqr(this_zi);
      out[j] = Affine{mul(odd[j].x, zi2), mul(odd[j].y, mul(zi2, this_zi))};
    }
  }

  // b Q by a width-5 NAF over (2j + 1) Q, a G by a width-8 NAF over the
  // table of odd multiples of G, sharing one chain of doublings.
  static Point mul_double_public(const Sc& a, const Sc& b, const Affine& q);
};

// v >> n for 0 < n < 64, five limbs.
void shift_right5(uint64_t v[5], int n) {
  for (int i = 0; i < 4; ++i) v[i] = (v[i] >> n) | (v[i + 1] << (64 - n));
  v[4] >>= n;
}

// Width-w non-adjacent form of a public scalar: odd digits below 2^(w-1) in
// magnitude, each followed by at least w - 1 zeros; returns the length.
int wnaf(const Sc& k, int w, int8_t out[258]) {
  const uint64_t window = uint64_t(1) << w;
  const int half = 1 << (w - 1);
  uint64_t v[5] = {k.v[0], k.v[1], k.v[2], k.v[3], 0};
  int len = 0;
  while ((v[0] | v[1] | v[2] | v[3] | v[4]) != 0) {
    if ((v[0] & 1) == 0) {  // a run of zero digits at once
      const int zeros = v[0] == 0 ? 63 : __builtin_ctzll(v[0]);
      for (int i = 0; i < zeros; ++i) out[len++] = 0;
      shift_right5(v, zeros);
      continue;
    }
    int d = int(v[0] & (window - 1));
    if (d >= half) d -= int(window);
    // v -= d (v + 2^(w-1) cannot overflow the fifth limb)
    uint64_t carry = d < 0 ? uint64_t(-d) : 0;
    uint64_t borrow = d > 0 ? uint64_t(d) : 0;
    for (int i = 0; i < 5; ++i) {
      const uint64_t t = v[i];
      v[i] = t + carry - borrow;
      carry = carry != 0 && v[i] < t;
      borrow = borrow != 0 && t < borrow;
    }
    out[len++] = int8_t(d);
    shift_right5(v, 1);
  }
  return len;
}

template <class R>
Point Curve<R>::mul_double_public(const Sc& a, const Sc& b, const Affine& q) {
  Affine odd_q[8];
  odd_multiples(q, odd_q);
  const OddTable& g = odd_table();
  int8_t naf_a[258], naf_b[258];
  const int len_a = wnaf(a, kOddBits, naf_a);
  const int len_b = wnaf(b, 5, naf_b);
  Jacobian acc{kFeOne, kFeOne, kFeZero};
  bool started = false;
  for (int i = (len_a > len_b ? len_a : len_b) - 1; i >= 0; --i) {
    if (started) acc = jac_double(acc);
    const int db = i < len_b ? naf_b[i] : 0;
    const int da = i < len_a ? naf_a[i] : 0;
    if (db > 0) acc = jac_add_affine(acc, odd_q[db / 2]);
    if (db < 0) acc = jac_add_affine(acc, Affine{odd_q[-db / 2].x, fsub(kFeZero, odd_q[-db / 2].y)});
    if (da > 0) acc = jac_add_affine(acc, g.odd[da / 2]);
    if (da < 0) acc = jac_add_affine(acc, Affine{g.odd[-da / 2].x, fsub(kFeZero, g.odd[-da / 2].y)});
    started = started || da != 0 || db != 0;
  }
  if (is_zero(acc.z)) return kInfinity;
  // (X Z : Y : Z^3) is the same point in homogeneous coordinates.
  return canon(Point{mul(acc.x, acc.z), acc.y, mul(acc.z, sqr(acc.z))});
}

// A table built in place on first use (thread-safe), never destroyed (it
// has no destructor to run).
template <class Table>
const Table& built_table() {
  struct Built : Table {
    Built() {
      with_rows([this](auto rows) { Curve<decltype(rows)>::build(static_cast<Table&>(*this)); });
    }
  };
  static const Built table;
  return table;
}

const CombTable& comb_table() { return built_table<CombTable>(); }
const OddTable& odd_table() { return built_table<OddTable>(); }

}  // namespace

bool fast_rows() {
#if GOST_EC256_ADX
  static const bool fast = AdxRows::available();
  return fast;
#else
  return false;
#endif
}

// --- field ---------------------------------------------------------------

Fe fe_add(const Fe& a, const Fe& b) { return f_add(a, b); }
Fe fe_sub(const Fe& a, const Fe& b) { return f_sub(a, b); }
Fe fe_neg(const Fe& a) { return f_sub(kFeZero, a); }
Fe fe_mul(const Fe& a, const Fe& b) {
  return with_rows([&](auto rows) { return decltype(rows)::canon(decltype(rows)::mul(a, b)); });
}
Fe fe_sqr(const Fe& a) {
  return with_rows([&](auto rows) { return decltype(rows)::canon(decltype(rows)::sqr(a)); });
}
Fe fe_mul_small(const Fe& a, uint32_t m) { return f_mul_small(a, m); }
Fe fe_inv(const Fe& a) {
  return with_rows([&](auto rows) { return decltype(rows)::canon(Curve<decltype(rows)>::inv(a)); });
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

// lo + hi 2^256 with 2^256 = 2^256 - q (mod q).
Sc sc_reduce_wide_le(const uint8_t in[64]) {
  constexpr Sc kTwo256{{0xba7be4f6489e476dULL, 0x939eef8f66a52effULL, 0, 0}};
  return sc_add(sc_reduce_le(in), sc_mul(sc_reduce_le(in + 32), kTwo256));
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

#if GOST_EC256_INT128

Sc sc_inv(const Sc& a) {
  Sc r;
  divsteps::inverse<true>(a.v, kOrderSteps, r.v);
  return r;
}

Sc sc_inv_public(const Sc& a) {
  Sc r;
  divsteps::inverse<false>(a.v, kOrderSteps, r.v);
  return r;
}

#else

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

Sc sc_inv_public(const Sc& a) { return sc_inv(a); }

#endif

bool sc_is_zero(const Sc& a) { return (a.v[0] | a.v[1] | a.v[2] | a.v[3]) == 0; }

// --- points --------------------------------------------------------------

Affine base_point() { return Affine{kBaseX, kBaseY}; }

bool on_curve(const Affine& a) {
  return with_rows([&](auto rows) { return Curve<decltype(rows)>::on_curve(a); });
}

Point to_projective(const Affine& a) { return Point{a.x, a.y, kFeOne}; }

bool to_affine(const Point& p, Affine& out) {
  if (fe_equal_mask(p.z, kFeZero) != 0) return false;
  out = with_rows([&](auto rows) { return Curve<decltype(rows)>::affine(p); });
  return true;
}

uint64_t point_equal_mask(const Point& a, const Point& b) {
  return fe_equal_mask(fe_mul(a.x, b.z), fe_mul(b.x, a.z)) & fe_equal_mask(fe_mul(a.y, b.z), fe_mul(b.y, a.z));
}

Point point_add(const Point& a, const Point& b) {
  return with_rows([&](auto rows) {
    using C = Curve<decltype(rows)>;
    return C::canon(C::add(a, b));
  });
}

Point point_add_mixed(const Point& a, const Affine& b) {
  return with_rows([&](auto rows) {
    using C = Curve<decltype(rows)>;
    return C::canon(C::add_mixed(a, b));
  });
}

Point point_double(const Point& a) {
  return with_rows([&](auto rows) {
    using C = Curve<decltype(rows)>;
    return C::canon(C::dbl(a));
  });
}

Point point_neg(const Point& p) { return Point{p.x, fe_neg(p.y), p.z}; }

Point mul_base(const Sc& k) {
  return with_rows([&](auto rows) {
    using C = Curve<decltype(rows)>;
    return C::canon(C::mul_base(k));
  });
}

Point mul(const Sc& k, const Affine& p) {
  return with_rows([&](auto rows) {
    using C = Curve<decltype(rows)>;
    return C::canon(C::mul_point(k, p));
  });
}

Point mul_double_public(const Sc& a, const Sc& b, const Affine& q) {
  return with_rows([&](auto rows) { return Curve<decltype(rows)>::mul_double_public(a, b, q); });
}

bool x_mod_q_equals(const Point& r_point, const Sc& r) {
  if (fe_equal_mask(r_point.z, kFeZero) != 0) return false;
  // x = X / Z; x mod q == r means x == r, or x == r + q when that is below p.
  Fe candidate{{r.v[0], r.v[1], r.v[2], r.v[3]}};
  if (fe_equal_mask(fe_mul(candidate, r_point.z), r_point.x) != 0) return true;
  uint64_t plus_q[4];
  if (add4(plus_q, r.v, kOrder) != 0) return false;
  uint8_t bytes[32];
  for (int i = 0; i < 4; ++i) store_le64(bytes + 8 * i, plus_q[i]);
  if (!fe_from_le(bytes, candidate)) return false;  // r + q >= p
  return fe_equal_mask(fe_mul(candidate, r_point.z), r_point.x) != 0;
}

}  // namespace gost::ec256
