// Montgomery arithmetic for fixed odd moduli (the 1024-bit p and the 256-bit
// q of the GOST R 34.10-94 group), on limbs of 64 bits where the compiler has
// a 128-bit product type and of 32 bits otherwise. Both limb widths compile
// everywhere (the tests run the 32-bit one on 64-bit hosts too).
//
// The arithmetic runs in time independent of the values (no branch and no
// memory index depends on an operand); what works on public values only
// says so (`vartime`, or the comment of the group operation).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace gost::mont {

template <class L>
struct Wide;
template <>
struct Wide<uint32_t> {
  using type = uint64_t;
};
#if defined(__SIZEOF_INT128__)
template <>
struct Wide<uint64_t> {
  using type = unsigned __int128;
};
using NativeLimb = uint64_t;
#else
using NativeLimb = uint32_t;
#endif

// The x86-64 path: rows of 16 limbs by mulx with two carry chains (adcx,
// adox), used when the processor has them (checked once, at run time).
#if defined(__x86_64__) && defined(__GNUC__)
#define GOST_MONT_ADX 1
namespace adx {
bool available();
// t = a b (32 limbs).
void product16(uint64_t t[32], const uint64_t a[16], const uint64_t b[16]);
// t = sum over i < j of a_i a_j 2^(64 (i + j)) (the cross products of a^2).
void square_cross16(uint64_t t[32], const uint64_t a[16]);
// t = 2 t + sum a_i^2 2^(128 i): completes a square from its cross products.
void square_finish16(uint64_t t[32], const uint64_t a[16]);
// Constant-time table access for 16 entries of 16 limbs on 256-bit vectors,
// when the processor and the system support them.
bool wide_scan_available();
using Row16 = std::array<uint64_t, 16>;
void select16x16(Row16& r, const Row16* table, uint64_t index);
void scatter16x16(Row16* table, uint64_t index, const Row16& v);
// d = a - b; returns the borrow.
uint64_t sub16(uint64_t d[16], const uint64_t a[16], const uint64_t b[16]);
// Montgomery reduction rows: t += u_i m 2^(64 i) making t[0..15] zero;
// returns the carry out of t[31].
uint64_t reduce16(uint64_t t[32], const uint64_t m[16], uint64_t n0);
}  // namespace adx
#else
#define GOST_MONT_ADX 0
#endif

template <class L>
inline constexpr unsigned kBits = unsigned(sizeof(L) * 8);

template <class L, size_t N>
using Num = std::array<L, N>;

// a * b + c + carry; the high half goes to carry.
template <class L>
inline L mac(L a, L b, L c, L& carry) {
  using W = typename Wide<L>::type;
  const W z = W(a) * b + c + carry;
  carry = L(z >> kBits<L>);
  return L(z);
}

// r = a + b; returns the carry (0 or 1).
template <class L, size_t N>
inline L add(Num<L, N>& r, const Num<L, N>& a, const Num<L, N>& b) {
  using W = typename Wide<L>::type;
  L carry = 0;
  for (size_t i = 0; i < N; ++i) {
    const W z = W(a[i]) + b[i] + carry;
    r[i] = L(z);
    carry = L(z >> kBits<L>);
  }
  return carry;
}

// r = a - b; returns the borrow (0 or 1).
template <class L, size_t N>
inline L sub(Num<L, N>& r, const Num<L, N>& a, const Num<L, N>& b) {
  using W = typename Wide<L>::type;
  L borrow = 0;
  for (size_t i = 0; i < N; ++i) {
    const W z = W(a[i]) - b[i] - borrow;
    r[i] = L(z);
    borrow = L(L(z >> kBits<L>) & 1u);
  }
  return borrow;
}

// r = mask ? a : r, for mask all-ones or zero.
template <class L, size_t N>
inline void cmov(Num<L, N>& r, const Num<L, N>& a, L mask) {
  for (size_t i = 0; i < N; ++i) r[i] = L(r[i] ^ ((r[i] ^ a[i]) & mask));
}

// All-ones when x == y, else zero.
template <class L>
inline L eq_mask(L x, L y) {
  const L d = L(x ^ y);
  return L(L((L(d | L(0 - d)) >> (kBits<L> - 1)) ^ 1u) * L(~L(0)));
}

template <class L, size_t N>
inline L is_zero_mask(const Num<L, N>& a) {
  L acc = 0;
  for (size_t i = 0; i < N; ++i) acc |= a[i];
  return eq_mask<L>(acc, 0);
}

// r = table[index] read by touching every entry.
template <class L, size_t N>
inline void select(Num<L, N>& r, const Num<L, N>* table, size_t count, L index);
template <class L, size_t N>
inline void scatter(Num<L, N>* table, size_t count, L index, const Num<L, N>& v);

template <class L, size_t N>
inline void select(Num<L, N>& r, const Num<L, N>* table, size_t count, L index) {
#if GOST_MONT_ADX
  if constexpr (std::is_same_v<L, uint64_t> && N == 16) {
    if (count == 16 && adx::wide_scan_available()) {
      adx::select16x16(r, table, index);
      return;
    }
  }
#endif
  Num<L, N> acc{};  // local: no aliasing with the table, so it stays in registers
  for (size_t k = 0; k < count; ++k) {
    const L mask = eq_mask<L>(L(k), index);
    for (size_t i = 0; i < N; ++i) acc[i] |= table[k][i] & mask;
  }
  r = acc;
}

// table[index] = v, every entry written (the others with their own value).
template <class L, size_t N>
inline void scatter(Num<L, N>* table, size_t count, L index, const Num<L, N>& v) {
#if GOST_MONT_ADX
  if constexpr (std::is_same_v<L, uint64_t> && N == 16) {
    if (count == 16 && adx::wide_scan_available()) {
      adx::scatter16x16(table, index, v);
      return;
    }
  }
#endif
  const Num<L, N> value = v;
  for (size_t k = 0; k < count; ++k) cmov(table[k], value, eq_mask<L>(L(k), index));
}

// Bits [pos, pos + w) of a little-endian limb string; the window may cross
// a limb boundary and run past the top (zeros there).
template <class L, size_t N>
inline L bits_at(const Num<L, N>& e, size_t pos, unsigned w) {
  const size_t limb = pos / kBits<L>, shift = pos % kBits<L>;
  if (limb >= N) return 0;
  L v = L(e[limb] >> shift);
  if (shift + w > kBits<L> && limb + 1 < N) v = L(v | L(e[limb + 1] << (kBits<L> - shift)));
  return L(v & L((L(1) << w) - 1));
}

template <class L, size_t N>
inline void from_le_bytes(Num<L, N>& r, const uint8_t* p) {
  for (size_t i = 0; i < N; ++i) {
    L v = 0;
    for (size_t b = 0; b < sizeof(L); ++b) v = L(v | L(L(p[i * sizeof(L) + b]) << (8 * b)));
    r[i] = v;
  }
}

template <class L, size_t N>
inline void to_le_bytes(uint8_t* p, const Num<L, N>& a) {
  for (size_t i = 0; i < N; ++i) {
    for (size_t b = 0; b < sizeof(L); ++b) p[i * sizeof(L) + b] = uint8_t(a[i] >> (8 * b));
  }
}

// Numbers from hexadecimal text, most significant digit first (constants).
template <class L, size_t N>
constexpr Num<L, N> from_hex(const char* hex) {
  size_t len = 0;
  while (hex[len] != '\0') ++len;
  Num<L, N> r{};
  for (size_t k = 0; k < len && k < N * sizeof(L) * 2; ++k) {
    const char c = hex[len - 1 - k];
    const unsigned d = c <= '9' ? unsigned(c - '0') : c <= 'F' ? unsigned(c - 'A' + 10) : unsigned(c - 'a' + 10);
    r[k / (sizeof(L) * 2)] |= L(L(d) << (4 * (k % (sizeof(L) * 2))));
  }
  return r;
}

// a = (a >> 1) | top << (bits - 1), top 0 or 1.
template <class L, size_t N>
inline void shift_right1(Num<L, N>& a, L top) {
  for (size_t i = 0; i < N; ++i) {
    const L next = i + 1 < N ? a[i + 1] : top;
    a[i] = L((a[i] >> 1) | L(next << (kBits<L> - 1)));
  }
}

// Sliding windows of the `bits` bits of a public exponent e from bit
// `offset` on: odd values of up to `window` bits (at most 8), each stored in
// digits[] at its lowest bit, every other digit 0, so that those bits of e
// are sum digits[i] 2^i. Returns the highest bit that holds a window (0 when
// the bits are all zero).
template <class L, size_t N>
size_t odd_windows(const Num<L, N>& e, size_t offset, size_t bits, unsigned window, uint8_t* digits) {
  size_t top = 0;
  for (size_t i = 0; i < bits; ++i) digits[i] = 0;
  for (size_t hi = bits; hi-- > 0;) {
    if (bits_at(e, offset + hi, 1) == 0) continue;
    size_t lo = hi + 1 >= window ? hi + 1 - window : 0;
    while (bits_at(e, offset + lo, 1) == 0) ++lo;
    digits[lo] = uint8_t(bits_at(e, offset + lo, unsigned(hi - lo + 1)));
    if (lo > top) top = lo;
    hi = lo;
  }
  return top;
}

// Comparisons on public values.
template <class L, size_t N>
inline int cmp_vartime(const Num<L, N>& a, const Num<L, N>& b) {
  for (size_t i = N; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// Arithmetic modulo a fixed odd modulus m of N limbs, elements kept below m
// in Montgomery form (x R mod m, R = 2^(N * limb bits)).
template <class L, size_t N>
class Mont {
 public:
  using Elem = Num<L, N>;

  // fast: take the x86-64 path where it exists (tests also run without).
  explicit Mont(const Elem& m, bool fast = true) : m_(m), n0_(neg_inverse(m[0])), fast_(fast && has_fast_path()) {
    // R mod m and R^2 mod m by doubling 1, reducing at each step.
    Elem x{};
    x[0] = 1;
    for (size_t i = 0; i < 2 * N * kBits<L>; ++i) {
      const L carry = add(x, x, x);
      Elem d;
      const L borrow = sub(d, x, m_);
      cmov(x, d, L(L(0) - L(carry | L(borrow ^ 1u))));
      if (i + 1 == N * kBits<L>) one_ = x;
    }
    r2_ = x;
  }

  const Elem& modulus() const { return m_; }
  const Elem& one() const { return one_; }  // 1 in Montgomery form
  const Elem& r2() const { return r2_; }    // R^2 mod m

  bool fast() const { return fast_; }

  // r = a b / R mod m.
  void mul(Elem& r, const Elem& a, const Elem& b) const {
    L t[2 * N];
#if GOST_MONT_ADX
    if constexpr (kFastShape) {
      if (fast_) {
        adx::product16(t, a.data(), b.data());
        reduce(r, t);
        return;
      }
    }
#endif
    for (size_t i = 0; i < N; ++i) t[i] = 0;
    for (size_t i = 0; i < N; ++i) {
      L c = 0;
      for (size_t j = 0; j < N; ++j) t[i + j] = mac(a[i], b[j], t[i + j], c);
      t[i + N] = c;
    }
    reduce(r, t);
  }

  // r = a^2 / R mod m: the cross products once, doubled, plus the squares.
  void sqr(Elem& r, const Elem& a) const {
    L t[2 * N];
#if GOST_MONT_ADX
    if constexpr (kFastShape) {
      if (fast_) {
        adx::square_cross16(t, a.data());
        adx::square_finish16(t, a.data());
        reduce(r, t);
        return;
      }
    }
#endif
    for (size_t i = 0; i < 2 * N; ++i) t[i] = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
      L c = 0;
      for (size_t j = i + 1; j < N; ++j) t[i + j] = mac(a[i], a[j], t[i + j], c);
      t[i + N] = c;
    }
    L top = 0;
    for (size_t i = 0; i < 2 * N; ++i) {
      const L next = L(t[i] >> (kBits<L> - 1));
      t[i] = L(L(t[i] << 1) | top);
      top = next;
    }
    L carry = 0;
    for (size_t i = 0; i < N; ++i) {
      L hi = 0;
      const L lo = mac(a[i], a[i], L(0), hi);
      using W = typename Wide<L>::type;
      W z = W(t[2 * i]) + lo + carry;
      t[2 * i] = L(z);
      z = W(t[2 * i + 1]) + hi + L(z >> kBits<L>);
      t[2 * i + 1] = L(z);
      carry = L(z >> kBits<L>);
    }
    reduce(r, t);
  }

  // Into and out of Montgomery form (a below m).
  void to_mont(Elem& r, const Elem& a) const { mul(r, a, r2_); }
  void from_mont(Elem& r, const Elem& a) const {
    Elem unit{};
    unit[0] = 1;
    mul(r, a, unit);
  }

  // r = a + b mod m and r = a - b mod m, for a, b below m.
  void add_mod(Elem& r, const Elem& a, const Elem& b) const {
    const L carry = add(r, a, b);
    Elem d;
    const L borrow = sub(d, r, m_);
    cmov(r, d, L(L(0) - L(carry | L(borrow ^ 1u))));
  }
  void sub_mod(Elem& r, const Elem& a, const Elem& b) const {
    const L borrow = sub(r, a, b);
    Elem d;
    add(d, r, m_);
    cmov(r, d, L(L(0) - borrow));
  }

 private:
  static constexpr bool kFastShape = std::is_same_v<L, uint64_t> && N == 16;

  static bool has_fast_path() {
#if GOST_MONT_ADX
    if constexpr (kFastShape) return adx::available();
#endif
    return false;
  }

  static L neg_inverse(L m0) {
    L x = m0;  // right to 3 bits; each Newton step doubles that
    for (int i = 0; i < 6; ++i) x = L(x * L(2 - m0 * x));
    return L(L(0) - x);
  }

  // r = t / R mod m for t below m R (word-by-word Montgomery reduction).
  void reduce(Elem& r, L* t) const {
    L extra = 0;  // carry out of the top limb, kept for the next row
    L borrow = 0;
    Elem d;
#if GOST_MONT_ADX
    if constexpr (kFastShape) {
      if (fast_) {
        extra = adx::reduce16(t, m_.data(), n0_);
        borrow = adx::sub16(d.data(), t + N, m_.data());
        for (size_t i = 0; i < N; ++i) r[i] = t[N + i];
        cmov(r, d, L(L(0) - L(extra | L(borrow ^ 1u))));
        return;
      }
    }
#endif
    for (size_t i = 0; i < N; ++i) {
      const L u = L(t[i] * n0_);
      L c = 0;
      for (size_t j = 0; j < N; ++j) t[i + j] = mac(u, m_[j], t[i + j], c);
      using W = typename Wide<L>::type;
      const W z = W(t[i + N]) + c + extra;
      t[i + N] = L(z);
      extra = L(z >> kBits<L>);
    }
    for (size_t i = 0; i < N; ++i) r[i] = t[N + i];
    borrow = sub(d, r, m_);
    cmov(r, d, L(L(0) - L(extra | L(borrow ^ 1u))));
  }

  Elem m_;
  L n0_;  // -1/m mod 2^limb bits
  bool fast_;
  Elem one_{};
  Elem r2_{};
};

// table[t] = base^(2 t + 1) for t < 2^(window - 1), Montgomery form.
template <class L, size_t N>
void odd_powers(const Mont<L, N>& f, Num<L, N>* table, const Num<L, N>& base, unsigned window) {
  Num<L, N> sq;
  f.sqr(sq, base);
  table[0] = base;
  for (size_t t = 1; t < (size_t(1) << (window - 1)); ++t) f.mul(table[t], table[t - 1], sq);
}

// One factor of a product of powers: base^(bits [offset, offset + bits) of
// exp), the base given by its odd powers up to 2^window - 1.
template <class L, size_t N, size_t K>
struct PowTerm {
  const Num<L, N>* odd_powers;
  unsigned window;
  const Num<L, K>* exp;
  size_t offset;
};

// out = the product of the terms (Montgomery form), for public exponents:
// interleaved sliding windows over one shared chain of squarings. At most
// 8 terms of at most 256 bits.
template <class L, size_t N, size_t K>
void multi_pow_vartime(const Mont<L, N>& f, Num<L, N>& out, const PowTerm<L, N, K>* terms, size_t count,
                       size_t bits) {
  constexpr size_t kMaxTerms = 8, kMaxBits = 256;
  if (count > kMaxTerms || bits > kMaxBits) return;
  uint8_t digit[kMaxTerms][kMaxBits];  // odd window value by its lowest bit
  for (size_t b = 0; b < count; ++b) odd_windows(*terms[b].exp, terms[b].offset, bits, terms[b].window, digit[b]);
  bool started = false;
  out = f.one();
  for (size_t i = bits; i-- > 0;) {
    if (started) f.sqr(out, out);
    for (size_t b = 0; b < count; ++b) {
      if (digit[b][i] == 0) continue;
      const Num<L, N>& power = terms[b].odd_powers[digit[b][i] >> 1];
      if (started) {
        f.mul(out, out, power);
      } else {
        out = power;
        started = true;
      }
    }
  }
}

}  // namespace gost::mont

namespace gost {

// The GOST R 34.10-94 CryptoPro-A group on limbs of type L: p of 1024 bits,
// q of 256 bits dividing p - 1, a of order q. Arguments and results are
// plain integers (not Montgomery form), little-endian limbs. get() builds
// the one instance on first use (thread-safe), fixed-base table included.
template <class L>
class Group94 {
 public:
  static constexpr size_t kPLimbs = 1024 / mont::kBits<L>;
  static constexpr size_t kQLimbs = 256 / mont::kBits<L>;
  using Elem = mont::Num<L, kPLimbs>;
  using Scalar = mont::Num<L, kQLimbs>;

  static const Group94& get();

  const Elem& p() const { return fp_.modulus(); }
  const Scalar& q() const { return fq_.modulus(); }
  const Elem& a() const { return a_; }

  // a^e mod p by the fixed-base table, constant time in e.
  void pow_a(Elem& out, const Scalar& e) const;

  // 2 <= y <= p - 2, for a public y.
  bool in_range(const Elem& y) const;

  // in_range(y) and y^q = 1, for a public y (variable time). powers (when
  // not null) receives y^(2^64), y^(2^128), y^(2^192), by-products of the
  // check that verify_with_powers() takes.
  bool check_public(const Elem& y, Elem* powers) const;

  // out = y^x mod p for a secret x (constant time in x), with the check of
  // y done on the same squarings; false (out untouched) when y fails it.
  bool agree(Elem& out, const Elem& y, const Scalar& x) const;

  // Signature (r, s) for secret x, one-time k and digest value e (all below
  // q, e non-zero): r = (a^k mod p) mod q, s = (x r + k e) mod q. False when
  // r or s is zero (draw another k). Constant time in x and k.
  bool sign(Scalar& r, Scalar& s, const Scalar& x, const Scalar& k, const Scalar& e) const;

  // The verification value u = (a^(s/e) y^(-r/e) mod p) mod q, for
  // 0 < r, s < q and e != 0; the signature holds when u = r.
  //
  // verify_checking: for a key in range not yet checked. The subgroup check
  // y^q = 1 runs on the verification's own squarings; false (u and powers
  // untouched) means y lies outside the subgroup. On success powers receives
  // what check_public would give, for the later verifications.
  bool verify_checking(Scalar& u, Elem powers[3], const Elem& y, const Scalar& e, const Scalar& r,
                       const Scalar& s) const;
  // verify_with_powers: for a key that passed the check, with its powers.
  void verify_with_powers(Scalar& u, const Elem& y, const Elem powers[3], const Scalar& e, const Scalar& r,
                          const Scalar& s) const;

  // Mod q helpers: v mod q (constant time), 1/e mod q (public e != 0).
  void reduce_q(Scalar& r, const Elem& v) const;
  void inverse_q_vartime(Scalar& r, const Scalar& e) const;
  // 1 <= x < q, in constant time.
  bool valid_scalar(const Scalar& x) const;

 private:
  static constexpr unsigned kWindow = 4;
  static constexpr size_t kBitsQ = 256;
  static constexpr size_t kDigits = kBitsQ / kWindow;

  Group94();
  void walk(const Elem& y, const Scalar* x, Elem* y_to_x, Elem& y_to_q, Elem* powers) const;
  void exponents(Scalar& z1, Scalar& z2, const Scalar& e, const Scalar& r, const Scalar& s) const;

  mont::Mont<L, kPLimbs> fp_;
  mont::Mont<L, kQLimbs> fq_;
  Elem a_;
  Scalar r_pow_q_[4];  // R^1 .. R^4 mod q, R = 2^256
  uint8_t q_windows_[kBitsQ] = {};  // q's sliding windows by lowest bit
  size_t q_top_ = 0;                 // the highest of them
  // fixed_[i][d] = a^(d 16^i) in Montgomery form.
  Elem fixed_[kDigits][1u << kWindow];
  // a_pow2_[i] = a^(2^i) and a_odd_[j][t] = (a^(2^(64 j)))^(2 t + 1), in
  // Montgomery form, for the public exponents of verification (the first
  // and the later ones under a key).
  Elem a_pow2_[kBitsQ];
  static constexpr unsigned kVerifyWindow = 6;
  Elem a_odd_[4][1u << (kVerifyWindow - 1)];
};

using NativeGroup94 = Group94<mont::NativeLimb>;

}  // namespace gost
