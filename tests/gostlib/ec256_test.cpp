// The curve arithmetic of the GOST library, compiled into this program and
// checked against the reference vectors of vectors/ec256.txt (GMP, nettle,
// libgcrypt) on each set of field rows the build can run: the portable rows
// (on 128-bit integers, or on 32-bit halves in the i686 build and in
// ec256_halves_test.cpp) and the mulx/adx rows where the processor has them.
#include <cstring>
#include <random>

#include "../../gostlib/ec256.cpp"
#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

namespace ec = gost::ec256;

const std::vector<Row>& rows(const char* kind) { return vectors("ec256.txt", kind); }

const std::string kZero(64, '0');

// Field elements and scalars as 64 hex digits, big-endian, and back.
template <class T>
T num(const std::string& hex) {
  const Bytes be = from_hex(hex);
  T out{};
  for (size_t i = 0; i < 32; ++i) out.v[i / 8] |= uint64_t(be[31 - i]) << (8 * (i % 8));
  return out;
}
template <class T>
std::string hex(const T& t) {
  uint8_t be[32];
  for (size_t i = 0; i < 32; ++i) be[31 - i] = uint8_t(t.v[i / 8] >> (8 * (i % 8)));
  return to_hex(be, 32);
}

// Fixed-width hex compares as the numbers do.
bool below_p(const std::string& hex) { return hex < gostvec::kP2001; }

// A point of a vector line: x y at column i, 0 0 for infinity.
struct Pt {
  ec::Affine a;
  bool inf;
};
Pt point_at(const Row& r, size_t i) {
  return Pt{ec::Affine{num<ec::Fe>(r[i]), num<ec::Fe>(r[i + 1])}, r[i] == kZero && r[i + 1] == kZero};
}

// A point as the vectors write it.
std::string text(const ec::Point& p) {
  ec::Affine a;
  if (!ec::to_affine(p, a)) return kZero + " " + kZero;
  return hex(a.x) + " " + hex(a.y);
}

// The same points in other coordinates: projective ones scaled by a random
// lambda, Jacobian ones (x = X / Z^2, y = Y / Z^3) for a random Z.
class Coordinates {
 public:
  ec::Point scaled(const Pt& p) {
    const ec::Fe l = random();
    if (p.inf) return ec::Point{ec::kFeZero, l, ec::kFeZero};
    return ec::Point{ec::fe_mul(p.a.x, l), ec::fe_mul(p.a.y, l), l};
  }
  ec::Jacobian jacobian(const Pt& p) {
    if (p.inf) return ec::Jacobian{ec::kFeOne, ec::kFeOne, ec::kFeZero};
    const ec::Fe z = random(), z2 = ec::fe_sqr(z);
    return ec::Jacobian{ec::fe_mul(p.a.x, z2), ec::fe_mul(p.a.y, ec::fe_mul(z2, z)), z};
  }
  template <class C>
  static ec::Point back(const ec::Jacobian& j) {
    if (C::is_zero(j.z)) return ec::kInfinity;
    return C::canon(ec::Point{C::mul(j.x, j.z), j.y, C::mul(j.z, C::sqr(j.z))});
  }

 private:
  // Non-zero and below 2^255 < p.
  ec::Fe random() { return ec::Fe{{gen_() | 1, gen_(), gen_(), gen_() >> 1}}; }
  std::mt19937_64 gen_{6};
};

#if GOST_EC256_INT128
TEST(Ec256, PortableWideMultiplyMatchesTheCompiler) {
  std::mt19937_64 gen(1);
  std::vector<uint64_t> vals = {0, 1, 2, 0xFFFFFFFFULL, 0x100000000ULL, ~0ULL, ~0ULL - 1, 1ULL << 63};
  for (int i = 0; i < 200; ++i) vals.push_back(gen());
  for (const uint64_t a : vals) {
    for (const uint64_t b : vals) {
      uint64_t hi = 0;
      const uint64_t lo = ec::mul_wide_portable(a, b, hi);
      const ec::u128 want = ec::u128(a) * b;
      ASSERT_EQ(lo, uint64_t(want)) << a << " * " << b;
      ASSERT_EQ(hi, uint64_t(want >> 64)) << a << " * " << b;
    }
  }
  uint64_t hi = 0;
  EXPECT_EQ(ec::mul_add2(~0ULL, ~0ULL, ~0ULL, ~0ULL, hi), ~0ULL) << "the largest sum fits 128 bits";
  EXPECT_EQ(hi, ~0ULL);
}
#endif

// The sets of field rows, each tested directly; the assembly rows only
// where the processor has mulx, adcx/adox and AVX2.
template <class R>
class Ec256Rows : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!R::available()) GTEST_SKIP() << "this processor cannot run these rows";
  }
};
#if GOST_EC256_ADX
using RowSets = ::testing::Types<ec::PortableRows, ec::AdxRows>;
#else
using RowSets = ::testing::Types<ec::PortableRows>;
#endif
TYPED_TEST_SUITE(Ec256Rows, RowSets);

// The lazy rows also take inputs in [p, 2^256), and their results may lie
// there: they are made canonical before the comparison.
TYPED_TEST(Ec256Rows, FieldArithmeticMatchesTheReference) {
  using R = TypeParam;
  using C = ec::Curve<R>;
  auto got = [](const ec::Fe& f) { return hex(R::canon(f)); };
  auto held = [](const std::string& v) { return R::kLazy || below_p(v); };
  for (const Row& r : rows("fe1")) {  // a a^2 3a 166a (2^32-1)a -a 1/a
    if (!held(r[0])) continue;
    const ec::Fe a = num<ec::Fe>(r[0]);
    EXPECT_EQ(got(R::sqr(a)), r[1]) << r[0];
    EXPECT_EQ(got(R::mul_small(a, 3)), r[2]) << r[0];
    EXPECT_EQ(got(R::mul_small(a, 166)), r[3]) << r[0];
    EXPECT_EQ(got(R::mul_small(a, 0xFFFFFFFFu)), r[4]) << r[0];
    for (const ec::Fe& inverse : {C::inv(a), C::inv_public(a), C::inv_fermat(a)}) {
      EXPECT_EQ(got(inverse), r[6]) << "1 / " << r[0];
    }
  }
  for (const Row& r : rows("fe")) {  // a b a+b a-b ab
    if (!held(r[0]) || !held(r[1])) continue;
    const ec::Fe a = num<ec::Fe>(r[0]), b = num<ec::Fe>(r[1]);
    EXPECT_EQ(got(R::add(a, b)), r[2]) << r[0] << " + " << r[1];
    EXPECT_EQ(got(R::sub(a, b)), r[3]) << r[0] << " - " << r[1];
    EXPECT_EQ(got(R::mul(a, b)), r[4]) << r[0] << " * " << r[1];
    EXPECT_EQ(C::is_zero(R::sub(a, b)), r[3] == kZero) << r[0] << " - " << r[1];
  }
}

// The public functions, on whichever rows the process runs, take and give
// fully reduced values; decoding refuses values from p on.
TEST(Ec256, FieldFunctionsAndDecoding) {
  for (const Row& r : rows("fe1")) {
    ec::Fe a = ec::kFeOne;
    const Bytes le = le_of(r[0]);
    ASSERT_EQ(ec::fe_from_le(le.data(), a), below_p(r[0])) << r[0];
    if (!below_p(r[0])) {
      EXPECT_EQ(hex(a), hex(ec::kFeOne)) << "a refused value leaves the output alone";
      continue;
    }
    uint8_t out[32];
    ec::fe_to_le(a, out);
    EXPECT_EQ(to_hex(out, 32), to_hex(le));
    EXPECT_EQ(hex(ec::fe_sqr(a)), r[1]) << r[0];
    EXPECT_EQ(hex(ec::fe_mul_small(a, 166)), r[3]) << r[0];
    EXPECT_EQ(hex(ec::fe_neg(a)), r[5]) << r[0];
    EXPECT_EQ(hex(ec::fe_inv(a)), r[6]) << r[0];
  }
  for (const Row& r : rows("fe")) {
    if (!below_p(r[0]) || !below_p(r[1])) continue;
    const ec::Fe a = num<ec::Fe>(r[0]), b = num<ec::Fe>(r[1]);
    EXPECT_EQ(hex(ec::fe_add(a, b)), r[2]) << r[0] << " + " << r[1];
    EXPECT_EQ(hex(ec::fe_sub(a, b)), r[3]) << r[0] << " - " << r[1];
    EXPECT_EQ(hex(ec::fe_mul(a, b)), r[4]) << r[0] << " * " << r[1];
    EXPECT_EQ(ec::fe_equal_mask(a, b) != 0, r[0] == r[1]) << r[0] << " == " << r[1];
  }
}

TEST(Ec256, ScalarArithmeticMatchesTheReference) {
  for (const Row& r : rows("sc1")) {  // a -a 1/a
    const ec::Sc a = num<ec::Sc>(r[0]);
    EXPECT_EQ(hex(ec::sc_neg(a)), r[1]) << r[0];
    EXPECT_EQ(ec::sc_is_zero(a), r[0] == kZero) << r[0];
    EXPECT_EQ(hex(ec::sc_inv(a)), r[2]) << r[0];
    EXPECT_EQ(hex(ec::sc_inv_public(a)), r[2]) << r[0];
  }
  for (const Row& r : rows("sc")) {  // a b a+b ab
    const ec::Sc a = num<ec::Sc>(r[0]), b = num<ec::Sc>(r[1]);
    EXPECT_EQ(hex(ec::sc_add(a, b)), r[2]) << r[0] << " + " << r[1];
    EXPECT_EQ(hex(ec::sc_mul(a, b)), r[3]) << r[0] << " * " << r[1];
  }
}

// Values from q up to 2^256 - 1 reduce; those below q are kept, and only
// they are taken as scalars.
TEST(Ec256, ScalarReductionAndRangeChecks) {
  for (const Row& r : rows("sc_reduce")) {  // v v-mod-q
    const Bytes le = le_of(r[0]), be = from_hex(r[0]);
    const bool below = r[0] == r[1];
    EXPECT_EQ(hex(ec::sc_reduce_le(le.data())), r[1]) << r[0];
    if (below_p(r[0])) {
      EXPECT_EQ(hex(ec::sc_from_fe(num<ec::Fe>(r[0]))), r[1]) << r[0];
    }
    ec::Sc s{};
    EXPECT_EQ(ec::sc_from_le(le.data(), s), below) << r[0];
    EXPECT_EQ(ec::sc_from_be(be.data(), s), below) << r[0];
    if (below) {
      uint8_t out[32];
      ec::sc_to_be(s, out);
      EXPECT_EQ(to_hex(out, 32), r[0]);
    }
  }
  for (const Row& r : rows("sc_wide")) {
    EXPECT_EQ(hex(ec::sc_reduce_wide_le(le_of(r[0]).data())), r[1]) << r[0];
  }
}

// --- points --------------------------------------------------------------

// Every case of the group law (equal, opposite and infinite operands), on
// the complete projective formulas and on the Jacobian helpers of the
// public double multiplication.
TYPED_TEST(Ec256Rows, GroupLawMatchesTheReferenceOnEveryCase) {
  using C = ec::Curve<TypeParam>;
  Coordinates c;
  for (const Row& r : rows("add")) {  // a b a+b
    const Pt a = point_at(r, 0), b = point_at(r, 2);
    const std::string want = r[4] + " " + r[5], what = r[0] + " " + r[1] + " + " + r[2] + " " + r[3];
    EXPECT_EQ(text(C::canon(C::add(c.scaled(a), c.scaled(b)))), want) << what;
    EXPECT_EQ(text(c.back<C>(C::jac_add(c.jacobian(a), c.jacobian(b)))), want) << what;
    if (!b.inf) {
      EXPECT_EQ(text(C::canon(C::add_mixed(c.scaled(a), b.a))), want) << what;
      EXPECT_EQ(text(c.back<C>(C::jac_add_affine(c.jacobian(a), b.a))), want) << what;
    }
    if (r[0] == r[2] && r[1] == r[3]) {
      EXPECT_EQ(text(C::canon(C::dbl(c.scaled(a)))), want) << what;
      EXPECT_EQ(text(c.back<C>(C::jac_double(c.jacobian(a)))), want) << what;
    }
  }
}

TYPED_TEST(Ec256Rows, MultiplicationsMatchTheReference) {
  using C = ec::Curve<TypeParam>;
  for (const Row& r : rows("mul_g")) {  // k kG
    EXPECT_EQ(text(C::canon(C::mul_base(num<ec::Sc>(r[0])))), r[1] + " " + r[2]) << r[0];
  }
  for (const Row& r : rows("mul")) {  // k P kP
    const ec::Point got = C::mul_point(num<ec::Sc>(r[0]), point_at(r, 1).a);
    EXPECT_EQ(text(C::canon(got)), r[3] + " " + r[4]) << r[0] << " * " << r[1] << " " << r[2];
  }
  for (const Row& r : rows("mul_double")) {  // a b Q aG+bQ
    const ec::Point got = C::mul_double_public(num<ec::Sc>(r[0]), num<ec::Sc>(r[1]), point_at(r, 2).a);
    EXPECT_EQ(text(C::canon(got)), r[4] + " " + r[5]) << r[0] << " G + " << r[1] << " Q";
  }
}

TEST(Ec256, CurveMembershipAndPointEquality) {
  Coordinates c;
  EXPECT_FALSE(ec::on_curve(ec::Affine{ec::kFeZero, ec::kFeZero}));
  for (const Row& r : rows("mul_g")) {
    const Pt p = point_at(r, 1);
    if (p.inf) continue;
    EXPECT_TRUE(ec::on_curve(p.a)) << r[0];
    EXPECT_FALSE(ec::on_curve(ec::Affine{p.a.x, ec::fe_add(p.a.y, ec::kFeOne)})) << r[0];
    EXPECT_NE(ec::point_equal_mask(c.scaled(p), c.scaled(p)), 0u) << r[0];
    EXPECT_EQ(ec::point_equal_mask(c.scaled(p), ec::point_neg(c.scaled(p))), 0u) << r[0];
  }
}

// x mod q of a point with q <= x < p, and of one with x < q.
TEST(Ec256, XModQComparisonCoversXAboveQ) {
  Coordinates c;
  for (const Row& r : rows("x_mod_q")) {  // P x-mod-q
    const Pt p = point_at(r, 0);
    ASSERT_TRUE(ec::on_curve(p.a));
    const ec::Sc x = num<ec::Sc>(r[2]);
    EXPECT_TRUE(ec::x_mod_q_equals(c.scaled(p), x)) << r[0];
    EXPECT_FALSE(ec::x_mod_q_equals(c.scaled(p), ec::sc_add(x, ec::Sc{{1, 0, 0, 0}}))) << r[0];
  }
  EXPECT_FALSE(ec::x_mod_q_equals(ec::kInfinity, ec::Sc{}));
}

// The signed 7-bit digits of the scalars of the vectors (among them those
// at the recoding's edges) stay within -64..64, the top one is never
// negative, and they rebuild the scalar.
TEST(Ec256, SignedDigitsRecodeTheScalar) {
  const ec::Sc radix{{128, 0, 0, 0}};
  for (const Row& r : rows("mul_g")) {
    const ec::Sc k = num<ec::Sc>(r[0]);
    ec::Sc sum{};
    for (int i = 36; i >= 0; --i) {
      uint64_t magnitude, negative;
      ec::Curve<ec::PortableRows>::comb_digit(k, i, magnitude, negative);
      ASSERT_LE(magnitude, 64u) << r[0];
      if (i == 36) {
        ASSERT_TRUE(negative == 0 || magnitude == 0) << r[0];
      }
      const ec::Sc digit{{magnitude, 0, 0, 0}};
      sum = ec::sc_add(ec::sc_mul(sum, radix), negative != 0 ? ec::sc_neg(digit) : digit);
    }
    EXPECT_EQ(hex(sum), r[0]);
  }
}

// The row scans give entry index - 1 of a table row, zeros for index 0.
TYPED_TEST(Ec256Rows, TableScanReturnsTheIndexedEntry) {
  const ec::CombTable& table = ec::comb_table();
  for (const int row : {0, 17, 36}) {
    for (uint64_t index = 0; index <= 64; ++index) {
      ec::Affine got{ec::kFeOne, ec::kFeOne};
      TypeParam::select(got, table.entry[row], 64, index);
      const ec::Affine want = index == 0 ? ec::Affine{ec::kFeZero, ec::kFeZero} : table.entry[row][index - 1];
      ASSERT_TRUE(std::memcmp(&got, &want, sizeof got) == 0) << row << " " << index;
    }
  }
}

}  // namespace
}  // namespace gosttest
