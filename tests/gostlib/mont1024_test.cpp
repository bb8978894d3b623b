// The 1024-bit Montgomery arithmetic and the GOST R 34.10-94 group built on
// it, checked against the reference vectors of vectors/mont1024.txt (GMP)
// for 64-bit limbs (the mulx/adx path and the portable one) and 32-bit limbs
// (the i686 build, which has only those). The sources are compiled into
// this program: the library hides them.
#include "../../gostlib/mont1024.cpp"

#include <cstring>

#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

using gost::Group94;
namespace mont = gost::mont;

const std::vector<Row>& rows(const char* kind) { return vectors("mont1024.txt", kind); }

// Numbers as big-endian hex, and back.
template <class L, size_t N>
mont::Num<L, N> num(const std::string& hex) {
  const Bytes le = le_of(hex);
  EXPECT_EQ(le.size(), N * sizeof(L)) << hex;
  mont::Num<L, N> v{};
  if (le.size() == N * sizeof(L)) mont::from_le_bytes(v, le.data());
  return v;
}

template <class L, size_t N>
std::string hex(const mont::Num<L, N>& v) {
  uint8_t b[N * sizeof(L)];
  mont::to_le_bytes(b, v);
  return to_hex(reversed(Bytes(b, b + sizeof b)));
}

struct Portable32 {
  using L = uint32_t;
  static constexpr bool kFast = false;
};
#if defined(__SIZEOF_INT128__)
struct Fast64 {
  using L = uint64_t;
  static constexpr bool kFast = true;
};
struct Portable64 {
  using L = uint64_t;
  static constexpr bool kFast = false;
};
using Configs = ::testing::Types<Fast64, Portable64, Portable32>;
#else
using Configs = ::testing::Types<Portable32>;
#endif

template <class Config>
class MontArith : public ::testing::Test {
 protected:
  using L = typename Config::L;
  static constexpr size_t kP = 1024 / mont::kBits<L>, kQ = 256 / mont::kBits<L>;
  using Elem = mont::Num<L, kP>;
  using Scalar = mont::Num<L, kQ>;

  static Elem elem(const std::string& hex) { return num<L, kP>(hex); }
  static Scalar scalar(const std::string& hex) { return num<L, kQ>(hex); }

  mont::Mont<L, kP> fp{elem(gostvec::kP94), Config::kFast};
  mont::Mont<L, kQ> fq{scalar(gostvec::kQ94), Config::kFast};
};
TYPED_TEST_SUITE(MontArith, Configs);

TYPED_TEST(MontArith, TakesTheFastPathOnlyWhenAskedAndAvailable) {
#if GOST_MONT_ADX
  const bool expected = TypeParam::kFast && mont::adx::available();
#else
  const bool expected = false;
#endif
  EXPECT_EQ(this->fp.fast(), expected);
}

TYPED_TEST(MontArith, ProductsSumsAndConstantsMatchTheReference) {
  typename TestFixture::Elem r;
  for (const Row& v : rows("mont_p")) {  // x y xy/R x^2/R x+y x-y
    const auto x = this->elem(v[0]), y = this->elem(v[1]);
    this->fp.mul(r, x, y);
    EXPECT_EQ(hex(r), v[2]) << v[0] << " * " << v[1];
    this->fp.sqr(r, x);
    EXPECT_EQ(hex(r), v[3]) << v[0];
    this->fp.add_mod(r, x, y);
    EXPECT_EQ(hex(r), v[4]) << v[0] << " + " << v[1];
    this->fp.sub_mod(r, x, y);
    EXPECT_EQ(hex(r), v[5]) << v[0] << " - " << v[1];
    this->fp.to_mont(r, x);
    this->fp.from_mont(r, r);
    EXPECT_EQ(hex(r), v[0]) << "round trip";
  }
  typename TestFixture::Scalar s;
  for (const Row& v : rows("mont_q")) {  // x y xy/R x^2/R
    this->fq.mul(s, this->scalar(v[0]), this->scalar(v[1]));
    EXPECT_EQ(hex(s), v[2]) << v[0] << " * " << v[1];
    this->fq.sqr(s, this->scalar(v[0]));
    EXPECT_EQ(hex(s), v[3]) << v[0];
  }
  const Row& one = rows("mont_one").at(0);  // R R^2 (mod p), R R^2 (mod q)
  EXPECT_EQ(hex(this->fp.one()), one[0]);
  EXPECT_EQ(hex(this->fp.r2()), one[1]);
  EXPECT_EQ(hex(this->fq.one()), one[2]);
  EXPECT_EQ(hex(this->fq.r2()), one[3]);
}

TYPED_TEST(MontArith, PublicExponentiationMatchesTheReference) {
  using Elem = typename TestFixture::Elem;
  using Scalar = typename TestFixture::Scalar;
  using Term = mont::PowTerm<typename TestFixture::L, TestFixture::kP, TestFixture::kQ>;
  Elem bm, out, table[8];
  for (const Row& v : rows("pow")) {  // b e b^e
    this->fp.to_mont(bm, this->elem(v[0]));
    mont::odd_powers(this->fp, table, bm, 4);
    const Scalar e = this->scalar(v[1]);
    const Term term{table, 4, &e, 0};
    mont::multi_pow_vartime(this->fp, out, &term, 1, 256);
    this->fp.from_mont(out, out);
    EXPECT_EQ(hex(out), v[2]) << v[1];
  }
  // Eight bases, windows of 2 to 6 bits, each with its own 64-bit piece of
  // one of two exponents.
  const Row& v = rows("pow8").at(0);  // e1 e2 b0..b7 product
  const Scalar es[2] = {this->scalar(v[0]), this->scalar(v[1])};
  std::vector<Elem> tables(8 * 32);
  Term terms[8];
  for (size_t j = 0; j < 8; ++j) {
    const unsigned window = unsigned(2 + j % 5);
    this->fp.to_mont(bm, this->elem(v[2 + j]));
    mont::odd_powers(this->fp, &tables[32 * j], bm, window);
    terms[j] = {&tables[32 * j], window, &es[j / 4], 64 * (j % 4)};
  }
  mont::multi_pow_vartime(this->fp, out, terms, 8, 64);
  this->fp.from_mont(out, out);
  EXPECT_EQ(hex(out), v[10]);
}

// Sliding windows of public exponents, edge values included: odd digits of
// at most 4 bits stored at their lowest bit, windows that do not overlap,
// together exactly the exponent, and the highest one reported.
TYPED_TEST(MontArith, OddWindowsRebuildTheExponent) {
  using L = typename TestFixture::L;
  const std::string q = gostvec::kQ94;
  std::string q_minus_1 = q;
  q_minus_1.back() = char(q_minus_1.back() - 1);  // q is odd
  for (const std::string& h : {std::string("0"), std::string("1"), std::string("2"), std::string("f"),
                               std::string("10"), std::string("8000000000000001"), std::string("180000000"),
                               std::string("11111111111111111"), q, q_minus_1, std::string(64, 'f')}) {
    const auto e = this->scalar(std::string(64 - h.size(), '0') + h);
    uint8_t digits[256];
    const size_t top = mont::odd_windows(e, 0, 256, 4, digits);
    typename TestFixture::Scalar rebuilt{};
    size_t highest = 0;
    for (size_t i = 0; i < 256; ++i) {
      if (digits[i] == 0) continue;
      EXPECT_EQ(digits[i] % 2, 1) << h << " at bit " << i;
      EXPECT_LT(digits[i], 16) << h << " at bit " << i;
      for (unsigned b = 0; b < 4 && i + b < 256; ++b) {
        if (((digits[i] >> b) & 1u) == 0) continue;
        L& limb = rebuilt[(i + b) / mont::kBits<L>];
        const L bit = L(L(1) << ((i + b) % mont::kBits<L>));
        EXPECT_EQ(limb & bit, L(0)) << h << ": windows overlap at bit " << i + b;
        limb = L(limb | bit);
      }
      highest = i;
    }
    EXPECT_EQ(hex(rebuilt), hex(e)) << h;
    EXPECT_EQ(top, highest) << h;
  }
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

  static Elem elem(const std::string& hex) { return num<L, kP>(hex); }
  static Scalar scalar(const std::string& hex) { return num<L, kQ>(hex); }
};

#if defined(__SIZEOF_INT128__)
using Limbs = ::testing::Types<mont::NativeLimb, uint32_t>;
#else
using Limbs = ::testing::Types<uint32_t>;
#endif
TYPED_TEST_SUITE(GroupOps, Limbs);

TYPED_TEST(GroupOps, FixedBasePowersMatchTheReference) {
  typename TestFixture::Elem out;
  for (const Row& v : rows("pow_a")) {  // e a^e
    this->g.pow_a(out, this->scalar(v[0]));
    EXPECT_EQ(hex(out), v[1]) << v[0];
  }
}

// Public keys in the subgroup pass the check with its by-products; values
// outside 2..p - 2 or the subgroup fail it, p and above before any
// arithmetic.
TYPED_TEST(GroupOps, SubgroupCheckAndItsPowers) {
  typename TestFixture::Elem powers[3];
  for (const Row& v : rows("subgroup")) {  // y y^(2^64) y^(2^128) y^(2^192)
    ASSERT_TRUE(this->g.check_public(this->elem(v[0]), powers)) << v[0];
    for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(hex(powers[j]), v[1 + j]) << j;
  }
  for (const Row& v : rows("outside")) EXPECT_FALSE(this->g.check_public(this->elem(v[0]), nullptr)) << v[0];
}

TYPED_TEST(GroupOps, AgreementSharesSquaringsAndRefusesOutsiders) {
  typename TestFixture::Elem out;
  for (const Row& v : rows("agree")) {  // y x y^x
    ASSERT_TRUE(this->g.agree(out, this->elem(v[0]), this->scalar(v[1]))) << v[0];
    EXPECT_EQ(hex(out), v[2]) << v[1];
  }
  const auto marker = this->elem(std::string(255, '0') + "7");
  for (const Row& v : rows("outside")) {
    out = marker;
    EXPECT_FALSE(this->g.agree(out, this->elem(v[0]), this->scalar(std::string(63, '0') + "5"))) << v[0];
    EXPECT_EQ(out, marker) << "nothing written for a refused peer";
  }
}

TYPED_TEST(GroupOps, ReductionAndInverseModQ) {
  typename TestFixture::Scalar r;
  for (const Row& v : rows("reduce_q")) {  // v v-mod-q
    this->g.reduce_q(r, this->elem(v[0]));
    EXPECT_EQ(hex(r), v[1]) << v[0];
  }
  for (const Row& v : rows("inverse_q")) {  // e 1/e
    this->g.inverse_q_vartime(r, this->scalar(v[0]));
    EXPECT_EQ(hex(r), v[1]) << v[0];
  }
}

TYPED_TEST(GroupOps, SecretRangeIsOneToQMinusOne) {
  auto q = this->scalar(gostvec::kQ94), q_minus_1 = q, top = q, zero = q, one = q;
  q_minus_1[0] -= 1;  // q is odd
  top.fill(~typename TestFixture::Scalar::value_type(0));
  zero.fill(0);
  one.fill(0);
  one[0] = 1;
  EXPECT_FALSE(this->g.valid_scalar(zero));
  EXPECT_TRUE(this->g.valid_scalar(one));
  EXPECT_TRUE(this->g.valid_scalar(q_minus_1));
  EXPECT_FALSE(this->g.valid_scalar(q));
  EXPECT_FALSE(this->g.valid_scalar(top));
}

// The signature of the reference for the same x, k and e, and its
// verification value by both paths: the first under a key (the subgroup
// check on the same squarings, giving the key's powers) and the later ones
// (with those powers); another digest value gives another one. The first
// path refuses a key outside the subgroup and writes nothing.
TYPED_TEST(GroupOps, SignatureMatchesTheReferenceAndVerifies) {
  using Elem = typename TestFixture::Elem;
  for (const Row& v : rows("sign")) {  // x k e y r s
    typename TestFixture::Scalar r, s, u;
    const auto e = this->scalar(v[2]);
    ASSERT_TRUE(this->g.sign(r, s, this->scalar(v[0]), this->scalar(v[1]), e));
    EXPECT_EQ(hex(r), v[4]);
    EXPECT_EQ(hex(s), v[5]);
    const auto y = this->elem(v[3]);
    Elem expected[3], powers[3];
    ASSERT_TRUE(this->g.check_public(y, expected));
    auto other = e;
    other[1] ^= 1;
    ASSERT_TRUE(this->g.verify_checking(u, powers, y, e, r, s));
    EXPECT_EQ(u, r);
    for (unsigned j = 0; j < 3; ++j) EXPECT_EQ(hex(powers[j]), hex(expected[j])) << j;
    ASSERT_TRUE(this->g.verify_checking(u, powers, y, other, r, s));
    EXPECT_NE(u, r) << "another digest value, first path";
    this->g.verify_with_powers(u, y, powers, e, r, s);
    EXPECT_EQ(u, r);
    this->g.verify_with_powers(u, y, powers, other, r, s);
    EXPECT_NE(u, r) << "another digest value, later path";
    for (const Row& o : rows("outside")) {
      const auto outsider = this->elem(o[0]);
      if (!this->g.in_range(outsider)) continue;
      u = r;
      powers[0] = outsider;
      EXPECT_FALSE(this->g.verify_checking(u, powers, outsider, e, r, s)) << o[0];
      EXPECT_EQ(u, r) << "nothing written for a refused key";
      EXPECT_EQ(powers[0], outsider) << "nothing written for a refused key";
    }
  }
}

}  // namespace
}  // namespace gosttest
