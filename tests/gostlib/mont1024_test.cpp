// The 1024-bit Montgomery arithmetic and the GOST R 34.10-94 group built on
// it, checked against GMP on random and edge values, for 64-bit limbs (the
// mulx/adx path and the portable one) and 32-bit limbs (the i686 build).
// The sources are compiled into this program: the library hides them.
#include "../../gostlib/mont1024.cpp"

#include <cstring>

#include "bignum.hpp"

namespace gost {
// common.cpp is not linked into this program; a library build linked in by
// another test provides the strong definition.
[[gnu::weak]] void wipe(void* p, size_t n) noexcept {
  auto* volatile b = static_cast<uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) b[i] = 0;
}
}  // namespace gost

namespace gosttest {
namespace {

using gost::Group94;
namespace mont = gost::mont;

template <class L, size_t N>
Z to_z(const mont::Num<L, N>& v) {
  uint8_t b[N * sizeof(L)];
  mont::to_le_bytes(b, v);
  return z_from_le(b, sizeof b);
}

template <class L, size_t N>
mont::Num<L, N> from_z(const Z& z) {
  const Bytes b = z_to_le(z, N * sizeof(L));
  mont::Num<L, N> v;
  mont::from_le_bytes(v, b.data());
  return v;
}

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

Z mulmod(const Z& a, const Z& b, const Z& m) {
  Z r;
  mpz_mul(r.get(), a.get(), b.get());
  return mod(r, m);
}

Z powmod(const Z& b, const Z& e, const Z& m) {
  Z r;
  mpz_powm(r.get(), b.get(), e.get(), m.get());
  return r;
}

Z invert(const Z& v, const Z& m) {
  Z r;
  EXPECT_NE(mpz_invert(r.get(), v.get(), m.get()), 0);
  return r;
}

Z add_one(const Z& a) {
  Z r;
  mpz_add_ui(r.get(), a.get(), 1);
  return r;
}

Z sub_ui(const Z& a, unsigned long v) {
  Z r;
  mpz_sub_ui(r.get(), a.get(), v);
  return r;
}

// Random values below a bound plus the edges every routine must survive.
class Values {
 public:
  Values() {
    gmp_randinit_default(state_);
    gmp_randseed_ui(state_, 94);
  }
  ~Values() { gmp_randclear(state_); }
  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;

  Z below(const Z& bound) {
    Z r;
    mpz_urandomm(r.get(), state_, bound.get());
    return r;
  }
  // 0, 1, 2, m - 1, m - 2, R mod m, R^2 mod m, 2^(bits - 1), then random.
  std::vector<Z> for_modulus(const Z& m, unsigned bits, size_t random_count) {
    std::vector<Z> v{Z("0"), Z("1"), Z("2"), sub_ui(m, 1), sub_ui(m, 2), mod(pow2(bits), m),
                     mod(pow2(2 * bits), m), mod(pow2(bits - 1), m)};
    for (size_t i = 0; i < random_count; ++i) v.push_back(below(m));
    return v;
  }

 private:
  gmp_randstate_t state_;
};

struct Fast64 {
  using L = uint64_t;
  static constexpr bool kFast = true;
};
struct Portable64 {
  using L = uint64_t;
  static constexpr bool kFast = false;
};
struct Portable32 {
  using L = uint32_t;
  static constexpr bool kFast = false;
};

template <class Config>
class MontArith : public ::testing::Test {
 protected:
  using L = typename Config::L;
  static constexpr size_t kP = 1024 / mont::kBits<L>, kQ = 256 / mont::kBits<L>;
  using Elem = mont::Num<L, kP>;
  using Scalar = mont::Num<L, kQ>;

  Z p{kP94}, q{kQ94}, a{kA94};
  mont::Mont<L, kP> fp{from_z<L, kP>(p), Config::kFast};
  mont::Mont<L, kQ> fq{from_z<L, kQ>(q), Config::kFast};
  Z r_inv = invert(pow2(1024), p);
  Values values;
};

using Configs = ::testing::Types<Fast64, Portable64, Portable32>;
TYPED_TEST_SUITE(MontArith, Configs);

TYPED_TEST(MontArith, TakesTheFastPathOnlyWhenAskedAndAvailable) {
#if GOST_MONT_ADX
  const bool expected = TypeParam::kFast && mont::adx::available();
#else
  const bool expected = false;
#endif
  EXPECT_EQ(this->fp.fast(), expected);
}

TYPED_TEST(MontArith, MultiplyAndSquareMatchGmp) {
  using Elem = typename TestFixture::Elem;
  constexpr size_t kP = TestFixture::kP;
  const std::vector<Z> xs = this->values.for_modulus(this->p, 1024, 24);
  for (size_t i = 0; i < xs.size(); ++i) {
    const Z& x = xs[i];
    const Z& y = xs[(i * 7 + 3) % xs.size()];
    const Elem ex = from_z<typename TestFixture::L, kP>(x), ey = from_z<typename TestFixture::L, kP>(y);
    Elem r;
    this->fp.mul(r, ex, ey);
    const Z want = mulmod(mulmod(x, y, this->p), this->r_inv, this->p);
    ASSERT_EQ(to_z(r).hex(), want.hex()) << "mul #" << i;
    this->fp.sqr(r, ex);
    ASSERT_EQ(to_z(r).hex(), mulmod(mulmod(x, x, this->p), this->r_inv, this->p).hex()) << "sqr #" << i;
    this->fp.to_mont(r, ex);
    this->fp.from_mont(r, r);
    ASSERT_EQ(to_z(r).hex(), x.hex()) << "round trip #" << i;
    this->fp.add_mod(r, ex, ey);
    Z sum;
    mpz_add(sum.get(), x.get(), y.get());
    ASSERT_EQ(to_z(r).hex(), mod(sum, this->p).hex()) << "add #" << i;
    this->fp.sub_mod(r, ex, ey);
    Z diff;
    mpz_sub(diff.get(), x.get(), y.get());
    ASSERT_EQ(to_z(r).hex(), mod(diff, this->p).hex()) << "sub #" << i;
  }
}

TYPED_TEST(MontArith, ConstantsOfTheModulus) {
  EXPECT_EQ(to_z(this->fp.one()).hex(), mod(pow2(1024), this->p).hex());
  EXPECT_EQ(to_z(this->fp.r2()).hex(), mod(pow2(2048), this->p).hex());
  EXPECT_EQ(to_z(this->fq.one()).hex(), mod(pow2(256), this->q).hex());
  EXPECT_EQ(to_z(this->fq.r2()).hex(), mod(pow2(512), this->q).hex());
}

TYPED_TEST(MontArith, ScalarMultiplyMatchesGmp) {
  using Scalar = typename TestFixture::Scalar;
  constexpr size_t kQ = TestFixture::kQ;
  const Z rq_inv = invert(pow2(256), this->q);
  const std::vector<Z> xs = this->values.for_modulus(this->q, 256, 40);
  for (size_t i = 0; i < xs.size(); ++i) {
    const Z& x = xs[i];
    const Z& y = xs[(i * 5 + 1) % xs.size()];
    Scalar r;
    this->fq.mul(r, from_z<typename TestFixture::L, kQ>(x), from_z<typename TestFixture::L, kQ>(y));
    ASSERT_EQ(to_z(r).hex(), mulmod(mulmod(x, y, this->q), rq_inv, this->q).hex()) << i;
    this->fq.sqr(r, from_z<typename TestFixture::L, kQ>(x));
    ASSERT_EQ(to_z(r).hex(), mulmod(mulmod(x, x, this->q), rq_inv, this->q).hex()) << i;
  }
}

TYPED_TEST(MontArith, PublicExponentiationMatchesGmp) {
  using L = typename TestFixture::L;
  using Elem = typename TestFixture::Elem;
  using Scalar = typename TestFixture::Scalar;
  constexpr size_t kP = TestFixture::kP, kQ = TestFixture::kQ;
  const Z all_ones = sub_ui(pow2(256), 1);
  std::vector<Z> exps{Z("0"), Z("1"), Z("2"), sub_ui(this->q, 1), this->q, all_ones, Z("8000000000000001")};
  for (int i = 0; i < 4; ++i) exps.push_back(this->values.below(pow2(256)));
  const Z base = this->values.below(this->p);
  Elem bm, out, table[8];
  this->fp.to_mont(bm, from_z<L, kP>(base));
  mont::odd_powers(this->fp, table, bm, 4);
  for (const Z& e : exps) {
    const Scalar es = from_z<L, kQ>(e);
    const mont::PowTerm<L, kP, kQ> term{table, 4, &es, 0};
    mont::multi_pow_vartime(this->fp, out, &term, 1, 256);
    this->fp.from_mont(out, out);
    EXPECT_EQ(to_z(out).hex(), powmod(base, e, this->p).hex()) << e.hex();
  }
  // Eight bases, windows of 2 to 6 bits, each with its own 64-bit piece of
  // one of two exponents.
  const Z e1 = exps.back(), e2 = exps[exps.size() - 2];
  const Scalar es[2] = {from_z<L, kQ>(e1), from_z<L, kQ>(e2)};
  std::vector<Elem> tables(8 * 32);
  mont::PowTerm<L, kP, kQ> terms[8];
  Z want("1");
  for (size_t j = 0; j < 8; ++j) {
    const Z b = this->values.below(this->p);
    const unsigned window = unsigned(2 + j % 5);
    this->fp.to_mont(bm, from_z<L, kP>(b));
    mont::odd_powers(this->fp, &tables[32 * j], bm, window);
    terms[j] = {&tables[32 * j], window, &es[j / 4], 64 * (j % 4)};
    Z piece;
    mpz_tdiv_q_2exp(piece.get(), (j < 4 ? e1 : e2).get(), 64 * (j % 4));
    mpz_tdiv_r_2exp(piece.get(), piece.get(), 64);
    want = mulmod(want, powmod(b, piece, this->p), this->p);
  }
  mont::multi_pow_vartime(this->fp, out, terms, 8, 64);
  this->fp.from_mont(out, out);
  EXPECT_EQ(to_z(out).hex(), want.hex());
}

TEST(MontHelpers, BitWindowsAndSelection) {
  using N4 = mont::Num<uint32_t, 4>;
  const N4 e{0x89ABCDEFu, 0x01234567u, 0xFFFFFFFFu, 0x80000000u};
  EXPECT_EQ(mont::bits_at(e, 0, 4), 0xFu);
  EXPECT_EQ(mont::bits_at(e, 28, 8), 0x78u) << "window across a limb boundary";
  EXPECT_EQ(mont::bits_at(e, 127, 4), 1u) << "bits past the top read as zero";
  EXPECT_EQ(mont::bits_at(e, 128, 4), 0u);
  N4 table[5];
  for (uint32_t k = 0; k < 5; ++k) table[k] = N4{k, k * 3, k * 5, ~k};
  N4 r;
  for (uint32_t k = 0; k < 5; ++k) {
    mont::select(r, table, 5, k);
    EXPECT_EQ(r, table[k]);
  }
  mont::select(r, table, 5, 9u);
  EXPECT_EQ(r, N4{}) << "an index past the table selects nothing";
  mont::scatter(table, 5, 2u, N4{7, 7, 7, 7});
  EXPECT_EQ(table[2], (N4{7, 7, 7, 7}));
  EXPECT_EQ(table[1], (N4{1, 3, 5, ~1u})) << "other entries keep their value";
  EXPECT_EQ(table[3], (N4{3, 9, 15, ~3u}));
}

// Sixteen entries of sixteen 64-bit limbs: the shape of the secret tables,
// which takes the vector path where the processor has one.
TEST(MontHelpers, SelectionOfSixteenWideEntries) {
  using E = mont::Num<uint64_t, 16>;
  std::vector<E> table(16);
  for (uint64_t k = 0; k < 16; ++k) {
    for (uint64_t i = 0; i < 16; ++i) table[k][i] = (k + 1) * 0x0101010101010101ull ^ (i << 56);
  }
  const std::vector<E> original = table;
  E r;
  for (uint64_t k = 0; k < 16; ++k) {
    mont::select(r, table.data(), 16, k);
    ASSERT_EQ(r, original[k]) << k;
  }
  mont::select(r, table.data(), 16, uint64_t(16));
  EXPECT_EQ(r, E{}) << "an index past the table selects nothing";
  E v;
  v.fill(0xA5A5A5A5A5A5A5A5ull);
  mont::scatter(table.data(), 16, uint64_t(15), v);
  mont::scatter(table.data(), 16, uint64_t(0), v);
  for (uint64_t k = 0; k < 16; ++k) {
    EXPECT_EQ(table[k], k == 0 || k == 15 ? v : original[k]) << k;
  }
}

// The group, on the native limbs (the fast path where the processor has it)
// and on 32-bit limbs.
template <class L>
class GroupOps : public ::testing::Test {
 protected:
  static constexpr size_t kP = Group94<L>::kPLimbs, kQ = Group94<L>::kQLimbs;
  using Elem = typename Group94<L>::Elem;
  using Scalar = typename Group94<L>::Scalar;
  const Group94<L>& g = Group94<L>::get();
  Z p{kP94}, q{kQ94}, a{kA94};
  Values values;

  Elem elem(const Z& z) { return from_z<L, kP>(z); }
  Scalar scalar(const Z& z) { return from_z<L, kQ>(z); }
  // An element outside the order-q subgroup: a member times 2.
  Z outside() { return mulmod(powmod(a, values.below(q), p), Z("2"), p); }
};

using Limbs = ::testing::Types<mont::NativeLimb, uint32_t>;
TYPED_TEST_SUITE(GroupOps, Limbs);

TYPED_TEST(GroupOps, FixedBasePowersMatchGmp) {
  const Z all_ones = sub_ui(pow2(256), 1);
  std::vector<Z> exps{Z("0"), Z("1"), Z("F"), Z("10"), sub_ui(this->q, 1), all_ones};
  for (int i = 0; i < 6; ++i) exps.push_back(this->values.below(this->q));
  typename TestFixture::Elem out;
  for (const Z& e : exps) {
    const Z want = powmod(this->a, e, this->p);
    this->g.pow_a(out, this->scalar(e));
    EXPECT_EQ(to_z(out).hex(), want.hex()) << e.hex();
  }
}

TYPED_TEST(GroupOps, SubgroupCheckAndItsPowers) {
  const Z y = powmod(this->a, this->values.below(this->q), this->p);
  typename TestFixture::Elem powers[3];
  ASSERT_TRUE(this->g.check_public(this->elem(y), powers));
  for (unsigned j = 0; j < 3; ++j) {
    EXPECT_EQ(to_z(powers[j]).hex(), powmod(y, pow2(64 * (j + 1)), this->p).hex()) << j;
  }
  EXPECT_TRUE(this->g.check_public(this->elem(this->a), nullptr));
  for (const Z& bad : {Z("0"), Z("1"), Z("2"), sub_ui(this->p, 1), this->outside()}) {
    EXPECT_FALSE(this->g.check_public(this->elem(bad), nullptr)) << bad.hex();
  }
  // p itself and values above it are refused before any arithmetic.
  EXPECT_FALSE(this->g.check_public(this->elem(this->p), nullptr));
  EXPECT_FALSE(this->g.check_public(this->elem(sub_ui(pow2(1024), 1)), nullptr));
}

TYPED_TEST(GroupOps, AgreementSharesSquaringsAndRefusesOutsiders) {
  typename TestFixture::Elem out;
  for (const Z& x : {Z("1"), sub_ui(this->q, 1), this->values.below(this->q), this->values.below(this->q)}) {
    const Z y = powmod(this->a, this->values.below(this->q), this->p);
    ASSERT_TRUE(this->g.agree(out, this->elem(y), this->scalar(x)));
    EXPECT_EQ(to_z(out).hex(), powmod(y, x, this->p).hex()) << x.hex();
  }
  const typename TestFixture::Elem marker = this->elem(Z("ABCDEF"));
  for (const Z& bad : {this->outside(), sub_ui(this->p, 1), Z("1"), this->p}) {
    out = marker;
    EXPECT_FALSE(this->g.agree(out, this->elem(bad), this->scalar(Z("12345")))) << bad.hex();
    EXPECT_EQ(out, marker) << "nothing written for a refused peer";
  }
}

TYPED_TEST(GroupOps, ReductionAndInverseModQ) {
  const Z q = this->q;
  std::vector<Z> vs{Z("0"), sub_ui(this->p, 1), q, sub_ui(q, 1), sub_ui(pow2(256), 1)};
  // Every 256-bit piece at or above q: each piece needs its subtraction.
  Z high = sub_ui(pow2(256), 1);
  Z v;
  for (int i = 0; i < 3; ++i) {
    mpz_mul_2exp(v.get(), v.get(), 256);
    mpz_add(v.get(), v.get(), high.get());
  }
  mpz_mul_2exp(v.get(), v.get(), 256);
  mpz_add(v.get(), v.get(), q.get());
  vs.push_back(v);
  for (int i = 0; i < 8; ++i) vs.push_back(this->values.below(this->p));
  typename TestFixture::Scalar r;
  for (const Z& x : vs) {
    this->g.reduce_q(r, this->elem(x));
    EXPECT_EQ(to_z(r).hex(), mod(x, q).hex()) << x.hex();
  }
  for (const Z& e : {Z("1"), Z("2"), sub_ui(q, 1), add_one(this->values.below(sub_ui(q, 2)))}) {
    this->g.inverse_q_vartime(r, this->scalar(e));
    EXPECT_EQ(to_z(r).hex(), invert(e, q).hex()) << e.hex();
  }
}

TYPED_TEST(GroupOps, SecretRangeIsOneToQMinusOne) {
  EXPECT_FALSE(this->g.valid_scalar(this->scalar(Z("0"))));
  EXPECT_TRUE(this->g.valid_scalar(this->scalar(Z("1"))));
  EXPECT_TRUE(this->g.valid_scalar(this->scalar(sub_ui(this->q, 1))));
  EXPECT_FALSE(this->g.valid_scalar(this->scalar(this->q)));
  EXPECT_FALSE(this->g.valid_scalar(this->scalar(sub_ui(pow2(256), 1))));
}

TYPED_TEST(GroupOps, SignatureMatchesTheFormulaAndVerifies) {
  const Z x = this->values.below(this->q), k = this->values.below(this->q), e = this->values.below(this->q);
  typename TestFixture::Scalar r, s, u;
  ASSERT_TRUE(this->g.sign(r, s, this->scalar(x), this->scalar(k), this->scalar(e)));
  const Z want_r = mod(powmod(this->a, k, this->p), this->q);
  Z want_s;
  mpz_mul(want_s.get(), x.get(), want_r.get());
  Z ke;
  mpz_mul(ke.get(), k.get(), e.get());
  mpz_add(want_s.get(), want_s.get(), ke.get());
  EXPECT_EQ(to_z(r).hex(), want_r.hex());
  EXPECT_EQ(to_z(s).hex(), mod(want_s, this->q).hex());

  const Z y = powmod(this->a, x, this->p);
  typename TestFixture::Elem powers[3];
  ASSERT_TRUE(this->g.check_public(this->elem(y), powers));
  this->g.verify_value(u, this->elem(y), powers, this->scalar(e), r, s);
  EXPECT_EQ(u, r);
  const Z other_e = mod(sub_ui(e, 1), this->q);
  this->g.verify_value(u, this->elem(y), powers, this->scalar(mpz_sgn(other_e.get()) ? other_e : Z("5")), r, s);
  EXPECT_NE(u, r) << "another digest value";
}

}  // namespace
}  // namespace gosttest
