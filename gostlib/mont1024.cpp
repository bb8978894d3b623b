#include "mont1024.hpp"

#include <algorithm>
#include <cstring>

#include "common.hpp"

#include "cpu_features.hpp"

namespace gost {

namespace {

constexpr const char* kHexP =
    "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
    "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
    "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF";
constexpr const char* kHexQ = "972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF";
constexpr const char* kHexA =
    "8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C7111F3FC79568DAFA028042FE1A52A04"
    "89805C0DE9A1A469C844C7CABBEE625C3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
    "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A";

template <class T>
void wipe_value(T& v) {
  wipe(&v, sizeof v);
}

// Products of powers of one base collected by digit value (Yao's method):
// bucket d gathers every power y^(2^i) whose digit is d, and the result is
// prod_d bucket_d^d. This one serves secret digits of 4 bits: every update
// touches all 16 buckets.
template <class L, size_t N>
class SecretBuckets {
 public:
  using Elem = mont::Num<L, N>;
  static constexpr size_t kCount = 16;

  explicit SecretBuckets(const mont::Mont<L, N>& f) : f_(f) {
    for (auto& b : b_) b = f.one();
  }
  ~SecretBuckets() {
    wipe_value(b_);
    wipe_value(t_);
  }
  SecretBuckets(const SecretBuckets&) = delete;
  SecretBuckets& operator=(const SecretBuckets&) = delete;

  void add(L digit, const Elem& y) {
    mont::select(t_, b_, kCount, digit);
    f_.mul(t_, t_, y);
    mont::scatter(b_, kCount, digit, t_);
  }

  // prod_d b_d^d by running products: 2 (kCount - 2) multiplications.
  void finish(Elem& out) const {
    Elem run = b_[kCount - 1];
    out = run;
    for (size_t d = kCount - 2; d >= 1; --d) {
      f_.mul(run, run, b_[d]);
      f_.mul(out, out, run);
    }
    wipe_value(run);
  }

 private:
  const mont::Mont<L, N>& f_;
  Elem b_[kCount];
  Elem t_{};  // the bucket being updated
};

// The same for public odd digits 1, 3, ..., 15 (sliding windows): bucket k
// holds digit 2k + 1; empty buckets cost nothing.
template <class L, size_t N>
class OddBuckets {
 public:
  using Elem = mont::Num<L, N>;
  static constexpr size_t kCount = 8;

  explicit OddBuckets(const mont::Mont<L, N>& f) : f_(f) {}

  void add(unsigned odd_digit, const Elem& y) {
    const size_t k = odd_digit >> 1;
    if (used_[k]) {
      f_.mul(b_[k], b_[k], y);
    } else {
      b_[k] = y;
      used_[k] = true;
    }
  }

  // prod_k b_k^(2k+1) = (prod_k b_k^k)^2 prod_k b_k, the first by running
  // products from the top bucket down.
  void finish(Elem& out) const {
    Elem run = f_.one(), acc = f_.one();
    bool any = false;
    for (size_t k = kCount; k-- > 1;) {
      if (used_[k]) mul_into(run, b_[k], any);
      if (any) f_.mul(acc, acc, run);
    }
    if (any) f_.sqr(acc, acc);
    if (used_[0]) mul_into(run, b_[0], any);
    if (any) f_.mul(acc, acc, run);
    out = acc;
  }

 private:
  void mul_into(Elem& run, const Elem& b, bool& any) const {
    if (any) {
      f_.mul(run, run, b);
    } else {
      run = b;
      any = true;
    }
  }

  const mont::Mont<L, N>& f_;
  Elem b_[kCount];
  bool used_[kCount] = {};
};

}  // namespace

#if GOST_MONT_ADX
namespace mont::adx {

// One limb of a row: lo:hi = a[J] b; t[J] = lo + t[J] + CF (adcx chain) +
// previous hi + OF (adox chain). The two chains run side by side; even
// limbs leave their high half in h0, odd ones in h1.
#define GOST_ROW_STEP(J, CUR, PREV)              \
  "mulxq " #J "*8(%[a]), %[lo], %[" CUR "]\n\t" \
  "adcxq " #J "*8(%[t]), %[lo]\n\t"             \
  "adoxq %[" PREV "], %[lo]\n\t"                \
  "movq %[lo], " #J "*8(%[t])\n\t"
#define GOST_STEPS_FROM_15 GOST_ROW_STEP(15, "h1", "h0")
#define GOST_STEPS_FROM_14 GOST_ROW_STEP(14, "h0", "h1") GOST_STEPS_FROM_15
#define GOST_STEPS_FROM_13 GOST_ROW_STEP(13, "h1", "h0") GOST_STEPS_FROM_14
#define GOST_STEPS_FROM_12 GOST_ROW_STEP(12, "h0", "h1") GOST_STEPS_FROM_13
#define GOST_STEPS_FROM_11 GOST_ROW_STEP(11, "h1", "h0") GOST_STEPS_FROM_12
#define GOST_STEPS_FROM_10 GOST_ROW_STEP(10, "h0", "h1") GOST_STEPS_FROM_11
#define GOST_STEPS_FROM_9 GOST_ROW_STEP(9, "h1", "h0") GOST_STEPS_FROM_10
#define GOST_STEPS_FROM_8 GOST_ROW_STEP(8, "h0", "h1") GOST_STEPS_FROM_9
#define GOST_STEPS_FROM_7 GOST_ROW_STEP(7, "h1", "h0") GOST_STEPS_FROM_8
#define GOST_STEPS_FROM_6 GOST_ROW_STEP(6, "h0", "h1") GOST_STEPS_FROM_7
#define GOST_STEPS_FROM_5 GOST_ROW_STEP(5, "h1", "h0") GOST_STEPS_FROM_6
#define GOST_STEPS_FROM_4 GOST_ROW_STEP(4, "h0", "h1") GOST_STEPS_FROM_5
#define GOST_STEPS_FROM_3 GOST_ROW_STEP(3, "h1", "h0") GOST_STEPS_FROM_4
#define GOST_STEPS_FROM_2 GOST_ROW_STEP(2, "h0", "h1") GOST_STEPS_FROM_3
#define GOST_STEPS_FROM_1 GOST_ROW_STEP(1, "h1", "h0") GOST_STEPS_FROM_2
#define GOST_STEPS_FROM_0 GOST_ROW_STEP(0, "h0", "h1") GOST_STEPS_FROM_1

// One row over limbs J..15 of a, multiplier in rdx, flags and both high
// registers cleared first; the row's top limb lands in h1 with OF pending.
#define GOST_ROW(J)                    \
  "xorl %k[h0], %k[h0]\n\t"            \
  "xorl %k[h1], %k[h1]\n\t" GOST_STEPS_FROM_##J

// Row i of the cross products of a square: t (advanced by i) gets a[i] a[j]
// for j > i; t[16] is still zero, so nothing carries out of it.
#define GOST_CROSS_ROW(I, J)              \
  "movq " #I "*8(%[a]), %%rdx\n\t" GOST_ROW(J) \
  "movl $0, %k[lo]\n\t"                   \
  "adoxq %[lo], %[h1]\n\t"                \
  "adcxq %[lo], %[h1]\n\t"                \
  "movq %[h1], 128(%[t])\n\t"             \
  "leaq 8(%[t]), %[t]\n\t"

// A full row: t[0..15] += a b (b in rdx); t[16] += top + carries + extra,
// whose carry out becomes the next row's extra.
#define GOST_FULL_ROW_END                  \
  "movl $0, %k[lo]\n\t"                    \
  "adoxq %[lo], %[h1]\n\t"                 \
  "adcxq 128(%[t]), %[h1]\n\t"             \
  "setc %b[lo]\n\t"                        \
  "addq %[extra], %[h1]\n\t"               \
  "adcq $0, %[lo]\n\t"                     \
  "movq %[h1], 128(%[t])\n\t"              \
  "movq %[lo], %[extra]\n\t"               \
  "leaq 8(%[t]), %[t]\n\t"

bool available() { return cpu::has_mulx_adx(); }

namespace {

using V4 = uint64_t __attribute__((vector_size(32)));

// All-ones when x == y; the masks are what keep the accesses uniform.
inline uint64_t same(uint64_t x, uint64_t y) { return mont::eq_mask<uint64_t>(x, y); }

}  // namespace

bool wide_scan_available() { return cpu::has_avx2(); }

__attribute__((target("avx2"))) inline V4 load4(const uint64_t* p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

__attribute__((target("avx2"))) inline void store4(uint64_t* p, V4 v) { std::memcpy(p, &v, sizeof v); }

// The four quarters of a row are named variables, not an array, so that
// they stay in vector registers for the whole scan.
__attribute__((target("avx2"))) void select16x16(Row16& r, const Row16* table, uint64_t index) {
  V4 a0{}, a1{}, a2{}, a3{};
  for (uint64_t k = 0; k < 16; ++k) {
    const V4 mask = V4{} + same(k, index);
    const uint64_t* row = table[k].data();
    a0 |= load4(row) & mask;
    a1 |= load4(row + 4) & mask;
    a2 |= load4(row + 8) & mask;
    a3 |= load4(row + 12) & mask;
  }
  store4(r.data(), a0);
  store4(r.data() + 4, a1);
  store4(r.data() + 8, a2);
  store4(r.data() + 12, a3);
}

__attribute__((target("avx2"))) void scatter16x16(Row16* table, uint64_t index, const Row16& v) {
  const V4 v0 = load4(v.data()), v1 = load4(v.data() + 4), v2 = load4(v.data() + 8), v3 = load4(v.data() + 12);
  for (uint64_t k = 0; k < 16; ++k) {
    const V4 mask = V4{} + same(k, index);
    uint64_t* row = table[k].data();
    const V4 t0 = load4(row), t1 = load4(row + 4), t2 = load4(row + 8), t3 = load4(row + 12);
    store4(row, t0 ^ ((t0 ^ v0) & mask));
    store4(row + 4, t1 ^ ((t1 ^ v1) & mask));
    store4(row + 8, t2 ^ ((t2 ^ v2) & mask));
    store4(row + 12, t3 ^ ((t3 ^ v3) & mask));
  }
}

void product16(uint64_t t[32], const uint64_t a[16], const uint64_t b[16]) {
  for (size_t i = 0; i < 32; ++i) t[i] = 0;
  uint64_t lo, h0, h1, extra = 0, rows = 16;
  asm volatile("1:\n\t"
               "movq (%[b]), %%rdx\n\t"
               "leaq 8(%[b]), %[b]\n\t" GOST_ROW(0) GOST_FULL_ROW_END
               "decq %[rows]\n\t"
               "jnz 1b\n\t"
               : [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1), [t] "+r"(t), [b] "+r"(b),
                 [extra] "+r"(extra), [rows] "+r"(rows)
               : [a] "r"(a)
               : "rdx", "cc", "memory");
}

void square_cross16(uint64_t t[32], const uint64_t a[16]) {
  for (size_t i = 0; i < 32; ++i) t[i] = 0;
  uint64_t lo, h0, h1;
  asm volatile(GOST_CROSS_ROW(0, 1) GOST_CROSS_ROW(1, 2) GOST_CROSS_ROW(2, 3) GOST_CROSS_ROW(3, 4)
               GOST_CROSS_ROW(4, 5) GOST_CROSS_ROW(5, 6) GOST_CROSS_ROW(6, 7) GOST_CROSS_ROW(7, 8)
               GOST_CROSS_ROW(8, 9) GOST_CROSS_ROW(9, 10) GOST_CROSS_ROW(10, 11) GOST_CROSS_ROW(11, 12)
               GOST_CROSS_ROW(12, 13) GOST_CROSS_ROW(13, 14) GOST_CROSS_ROW(14, 15)
               : [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1), [t] "+r"(t)
               : [a] "r"(a)
               : "rdx", "cc", "memory");
}

uint64_t reduce16(uint64_t t[32], const uint64_t m[16], uint64_t n0) {
  uint64_t lo, h0, h1, extra = 0, rows = 16;
  const uint64_t* a = m;
  asm volatile("1:\n\t"
               "movq (%[t]), %%rdx\n\t"
               "imulq %[n0], %%rdx\n\t" GOST_ROW(0) GOST_FULL_ROW_END
               "decq %[rows]\n\t"
               "jnz 1b\n\t"
               : [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1), [t] "+r"(t), [extra] "+r"(extra),
                 [rows] "+r"(rows)
               : [a] "r"(a), [n0] "r"(n0)
               : "rdx", "cc", "memory");
  return extra;
}

// t = 2 t + the squares a_i^2 at limb 2 i: the doubling runs on the adcx
// chain, the squares on the adox chain (t + t + squares fits 32 limbs).
#define GOST_DIAG_STEP(I)                                 \
  "movq " #I "*8(%[a]), %%rdx\n\t"                       \
  "mulxq %%rdx, %[lo], %[hi]\n\t"                        \
  "movq 2*" #I "*8(%[t]), %[x]\n\t"                      \
  "adcxq %[x], %[x]\n\t"                                 \
  "adoxq %[lo], %[x]\n\t"                                \
  "movq %[x], 2*" #I "*8(%[t])\n\t"                      \
  "movq 2*" #I "*8+8(%[t]), %[x]\n\t"                    \
  "adcxq %[x], %[x]\n\t"                                 \
  "adoxq %[hi], %[x]\n\t"                                \
  "movq %[x], 2*" #I "*8+8(%[t])\n\t"

void square_finish16(uint64_t t[32], const uint64_t a[16]) {
  uint64_t lo, hi, x;
  asm volatile("xorl %k[x], %k[x]\n\t"
               GOST_DIAG_STEP(0) GOST_DIAG_STEP(1) GOST_DIAG_STEP(2) GOST_DIAG_STEP(3)
               GOST_DIAG_STEP(4) GOST_DIAG_STEP(5) GOST_DIAG_STEP(6) GOST_DIAG_STEP(7)
               GOST_DIAG_STEP(8) GOST_DIAG_STEP(9) GOST_DIAG_STEP(10) GOST_DIAG_STEP(11)
               GOST_DIAG_STEP(12) GOST_DIAG_STEP(13) GOST_DIAG_STEP(14) GOST_DIAG_STEP(15)
               : [lo] "=&r"(lo), [hi] "=&r"(hi), [x] "=&r"(x)
               : [t] "r"(t), [a] "r"(a)
               : "rdx", "cc", "memory");
}

#undef GOST_DIAG_STEP

#define GOST_SUB_STEP(I)                 \
  "movq " #I "*8(%[a]), %[x]\n\t"      \
  "sbbq " #I "*8(%[b]), %[x]\n\t"      \
  "movq %[x], " #I "*8(%[d])\n\t"

uint64_t sub16(uint64_t d[16], const uint64_t a[16], const uint64_t b[16]) {
  uint64_t x, borrow;
  asm volatile("clc\n\t"
               GOST_SUB_STEP(0) GOST_SUB_STEP(1) GOST_SUB_STEP(2) GOST_SUB_STEP(3)
               GOST_SUB_STEP(4) GOST_SUB_STEP(5) GOST_SUB_STEP(6) GOST_SUB_STEP(7)
               GOST_SUB_STEP(8) GOST_SUB_STEP(9) GOST_SUB_STEP(10) GOST_SUB_STEP(11)
               GOST_SUB_STEP(12) GOST_SUB_STEP(13) GOST_SUB_STEP(14) GOST_SUB_STEP(15)
               "sbbq %[borrow], %[borrow]\n\t"
               : [x] "=&r"(x), [borrow] "=&r"(borrow)
               : [d] "r"(d), [a] "r"(a), [b] "r"(b)
               : "cc", "memory");
  return borrow & 1u;
}

#undef GOST_SUB_STEP
#undef GOST_ROW_STEP
#undef GOST_ROW
#undef GOST_CROSS_ROW
#undef GOST_FULL_ROW_END
#undef GOST_STEPS_FROM_0
#undef GOST_STEPS_FROM_1
#undef GOST_STEPS_FROM_2
#undef GOST_STEPS_FROM_3
#undef GOST_STEPS_FROM_4
#undef GOST_STEPS_FROM_5
#undef GOST_STEPS_FROM_6
#undef GOST_STEPS_FROM_7
#undef GOST_STEPS_FROM_8
#undef GOST_STEPS_FROM_9
#undef GOST_STEPS_FROM_10
#undef GOST_STEPS_FROM_11
#undef GOST_STEPS_FROM_12
#undef GOST_STEPS_FROM_13
#undef GOST_STEPS_FROM_14
#undef GOST_STEPS_FROM_15

}  // namespace mont::adx
#endif

template <class L>
const Group94<L>& Group94<L>::get() {
  static const Group94 group;
  return group;
}

template <class L>
Group94<L>::Group94()
    : fp_(mont::from_hex<L, kPLimbs>(kHexP)),
      fq_(mont::from_hex<L, kQLimbs>(kHexQ)),
      a_(mont::from_hex<L, kPLimbs>(kHexA)) {
  r_pow_q_[0] = fq_.one();
  r_pow_q_[1] = fq_.r2();
  fq_.mul(r_pow_q_[2], fq_.r2(), fq_.r2());
  fq_.mul(r_pow_q_[3], r_pow_q_[2], fq_.r2());
  q_top_ = mont::odd_windows(q(), 0, kBitsQ, kWindow, q_windows_);
  Elem base;  // a^(16^i)
  fp_.to_mont(base, a_);
  for (size_t i = 0; i < kDigits; ++i) {
    fixed_[i][0] = fp_.one();
    fixed_[i][1] = base;
    for (size_t d = 2; d < (1u << kWindow); ++d) fp_.mul(fixed_[i][d], fixed_[i][d - 1], base);
    fp_.mul(base, fixed_[i][(1u << kWindow) - 1], base);
  }
  fp_.to_mont(a_pow2_[0], a_);
  for (size_t i = 1; i < kBitsQ; ++i) fp_.sqr(a_pow2_[i], a_pow2_[i - 1]);
  for (size_t j = 0; j < 4; ++j) mont::odd_powers(fp_, a_odd_[j], a_pow2_[64 * j], kVerifyWindow);
}

template <class L>
void Group94<L>::pow_a(Elem& out, const Scalar& e) const {
  Elem acc, t;
  mont::select(acc, fixed_[0], 1u << kWindow, mont::bits_at(e, 0, kWindow));
  for (size_t i = 1; i < kDigits; ++i) {
    mont::select(t, fixed_[i], 1u << kWindow, mont::bits_at(e, i * kWindow, kWindow));
    fp_.mul(acc, acc, t);
  }
  fp_.from_mont(out, acc);
  wipe_value(acc);
  wipe_value(t);
}

// Y_i = y^(2^i) by one squaring each, shared by every exponent of base y:
// q's sliding windows (public) go to odd buckets, x's fixed 4-bit windows
// (secret) to constant-time ones; y^(2^64), y^(2^128), y^(2^192) are kept
// on the way when asked for.
template <class L>
void Group94<L>::walk(const Elem& y, const Scalar* x, Elem* y_to_x, Elem& y_to_q, Elem* powers) const {
  OddBuckets<L, kPLimbs> bq(fp_);
  SecretBuckets<L, kPLimbs> bx(fp_);
  size_t top = q_top_;
  if (x != nullptr) top = std::max<size_t>(top, kBitsQ - kWindow);
  if (powers != nullptr) top = std::max<size_t>(top, 192);
  Elem yi;
  fp_.to_mont(yi, y);
  for (size_t i = 0; i <= top; ++i) {
    if (i > 0) fp_.sqr(yi, yi);
    if (powers != nullptr && i > 0 && i % 64 == 0) fp_.from_mont(powers[i / 64 - 1], yi);
    if (q_windows_[i] != 0) bq.add(q_windows_[i], yi);
    if (x != nullptr && i % kWindow == 0) bx.add(mont::bits_at(*x, i, kWindow), yi);
  }
  bq.finish(y_to_q);
  if (x != nullptr) bx.finish(*y_to_x);
  wipe_value(yi);
}

template <class L>
bool Group94<L>::in_range(const Elem& y) const {
  Elem two{}, limit;
  two[0] = 2;
  mont::sub(limit, p(), two);  // p - 2
  return mont::cmp_vartime(y, two) >= 0 && mont::cmp_vartime(y, limit) <= 0;
}

template <class L>
bool Group94<L>::check_public(const Elem& y, Elem* powers) const {
  if (!in_range(y)) return false;
  Elem y_to_q;
  walk(y, nullptr, nullptr, y_to_q, powers);
  return mont::cmp_vartime(y_to_q, fp_.one()) == 0;
}

template <class L>
bool Group94<L>::agree(Elem& out, const Elem& y, const Scalar& x) const {
  if (!in_range(y)) return false;
  Elem y_to_q, y_to_x;
  walk(y, &x, &y_to_x, y_to_q, nullptr);
  const bool ok = mont::cmp_vartime(y_to_q, fp_.one()) == 0;
  if (ok) fp_.from_mont(out, y_to_x);
  wipe_value(y_to_x);
  return ok;
}

template <class L>
bool Group94<L>::sign(Scalar& r, Scalar& s, const Scalar& x, const Scalar& k, const Scalar& e) const {
  Elem ak;
  pow_a(ak, k);
  reduce_q(r, ak);
  wipe_value(ak);
  Scalar xr, ke;
  fq_.mul(xr, x, r);   // x r / R
  fq_.mul(ke, k, e);   // k e / R
  fq_.add_mod(s, xr, ke);
  fq_.mul(s, s, fq_.r2());  // x r + k e
  wipe_value(xr);
  wipe_value(ke);
  // Both masks combined without a branch: no test runs on r or s before
  // they leave as the signature.
  return L(~mont::is_zero_mask(r) & ~mont::is_zero_mask(s)) != 0;
}

// z1 = s / e and z2 = -r / e mod q.
template <class L>
void Group94<L>::exponents(Scalar& z1, Scalar& z2, const Scalar& e, const Scalar& r, const Scalar& s) const {
  Scalar v, minus_r;
  inverse_q_vartime(v, e);
  fq_.to_mont(v, v);
  fq_.mul(z1, s, v);
  mont::sub(minus_r, q(), r);
  fq_.mul(z2, minus_r, v);
}

// One walk over Y_i = y^(2^i), all public: q's windows (the subgroup check)
// go to buckets of their own; the windows of z2 with Y_i and those of z1
// with the stored a^(2^i) share one set of buckets, whose product is then
// a^z1 y^z2 (Yao's method, both bases at once). The squarings serve the
// check and the verification alike, which adds only multiplications.
template <class L>
bool Group94<L>::verify_checking(Scalar& u, Elem powers[3], const Elem& y, const Scalar& e, const Scalar& r,
                                 const Scalar& s) const {
  Scalar z1, z2;
  exponents(z1, z2, e, r, s);
  uint8_t d1[kBitsQ], d2[kBitsQ];
  mont::odd_windows(z1, 0, kBitsQ, kWindow, d1);
  const size_t top = std::max({mont::odd_windows(z2, 0, kBitsQ, kWindow, d2), q_top_, size_t{192}});
  OddBuckets<L, kPLimbs> bq(fp_), both(fp_);
  Elem yi, pw[3];
  fp_.to_mont(yi, y);
  for (size_t i = 0; i < kBitsQ; ++i) {
    if (d1[i] != 0) both.add(d1[i], a_pow2_[i]);
    if (i > top) continue;
    if (i > 0) fp_.sqr(yi, yi);
    if (i > 0 && i % 64 == 0) fp_.from_mont(pw[i / 64 - 1], yi);
    if (q_windows_[i] != 0) bq.add(q_windows_[i], yi);
    if (d2[i] != 0) both.add(d2[i], yi);
  }
  Elem y_to_q;
  bq.finish(y_to_q);
  if (mont::cmp_vartime(y_to_q, fp_.one()) != 0) return false;
  Elem product;
  both.finish(product);
  fp_.from_mont(product, product);
  reduce_q(u, product);
  for (size_t j = 0; j < 3; ++j) powers[j] = pw[j];
  return true;
}

// a^z1 y^z2 as prod_j (a^(2^64 j))^(piece j of z1) (y^(2^64 j))^(piece j of
// z2), 64-bit pieces: 63 squarings shared by all eight factors.
template <class L>
void Group94<L>::verify_with_powers(Scalar& u, const Elem& y, const Elem powers[3], const Scalar& e,
                                    const Scalar& r, const Scalar& s) const {
  Scalar z1, z2;
  exponents(z1, z2, e, r, s);
  Elem y_odd[4][1u << (kWindow - 1)], base;
  mont::PowTerm<L, kPLimbs, kQLimbs> terms[8];
  for (size_t j = 0; j < 4; ++j) {
    fp_.to_mont(base, j == 0 ? y : powers[j - 1]);
    mont::odd_powers(fp_, y_odd[j], base, kWindow);
    terms[j] = {y_odd[j], kWindow, &z2, 64 * j};
    terms[4 + j] = {a_odd_[j], kVerifyWindow, &z1, 64 * j};
  }
  Elem product;
  mont::multi_pow_vartime(fp_, product, terms, 8, 64);
  fp_.from_mont(product, product);
  reduce_q(u, product);
}

// v = sum_i c_i 2^(256 i) with 256-bit pieces c_i; each piece is brought
// below q (one subtraction: q > 2^255) and multiplied by R^i mod q.
template <class L>
void Group94<L>::reduce_q(Scalar& r, const Elem& v) const {
  r = Scalar{};
  Scalar c, d;
  for (size_t i = 0; i < 4; ++i) {
    for (size_t k = 0; k < kQLimbs; ++k) c[k] = v[i * kQLimbs + k];
    const L borrow = mont::sub(d, c, q());
    mont::cmov(c, d, L(L(0) - L(borrow ^ 1u)));
    fq_.mul(c, c, r_pow_q_[i]);  // c R^(i+1) / R
    fq_.add_mod(r, r, c);
  }
  wipe_value(c);
  wipe_value(d);
}

// Binary extended Euclid on (e, q), keeping x1 e = u and x2 e = v mod q.
template <class L>
void Group94<L>::inverse_q_vartime(Scalar& r, const Scalar& e) const {
  Scalar u = e, v = q(), x1{}, x2{}, one{};
  x1[0] = 1;
  one[0] = 1;
  // x = x / 2 mod q (q odd: add q first when x is odd).
  const auto halve = [this](Scalar& x) {
    L top = 0;
    if (x[0] & 1u) top = mont::add(x, x, q());
    mont::shift_right1(x, top);
  };
  while (mont::cmp_vartime(u, one) != 0 && mont::cmp_vartime(v, one) != 0) {
    if (mont::is_zero_mask(u) != 0) break;  // e = 0 has no inverse
    while ((u[0] & 1u) == 0) {
      mont::shift_right1(u, L(0));
      halve(x1);
    }
    while ((v[0] & 1u) == 0) {
      mont::shift_right1(v, L(0));
      halve(x2);
    }
    if (mont::cmp_vartime(u, v) >= 0) {
      mont::sub(u, u, v);
      fq_.sub_mod(x1, x1, x2);
    } else {
      mont::sub(v, v, u);
      fq_.sub_mod(x2, x2, x1);
    }
  }
  r = mont::cmp_vartime(u, one) == 0 ? x1 : x2;
}

template <class L>
bool Group94<L>::valid_scalar(const Scalar& x) const {
  Scalar d;
  const L below = mont::sub(d, x, q());  // borrow: x < q
  const L zero = mont::is_zero_mask(x);
  wipe_value(d);
  return (below & L(~zero) & 1u) != 0;
}

template class Group94<mont::NativeLimb>;

}  // namespace gost
