// The curve arithmetic of the GOST library, compiled into this program and
// checked against GMP (field, scalars, the affine group law, inverses),
// nettle (k * G) and libgcrypt (k * P) on random and edge values, on each
// set of field rows this processor can run (portable, and mulx/adx).
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>

#include <cstring>
#include <random>

#include "../../gostlib/ec256.cpp"
#include "bignum.hpp"

// The library's objects are not linked into the test program; ec256.cpp
// takes only the wipe of common.cpp. Weak, in case another test file
// compiles common.cpp in as well.
namespace gost {
[[gnu::weak]] void wipe(void* p, size_t n) noexcept {
  auto* volatile bytes = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) bytes[i] = 0;
}
}  // namespace gost

namespace gosttest {
namespace {

namespace ec = gost::ec256;

Z z_of(const uint64_t v[4]) {
  Z z;
  mpz_import(z.get(), 4, -1, sizeof(uint64_t), 0, 0, v);
  return z;
}
Z z_of(const ec::Fe& a) { return z_of(a.v); }
Z z_of(const ec::Sc& a) { return z_of(a.v); }

// The low 256 bits of z as limbs (z must be non-negative).
void limbs_of(const Z& z, uint64_t out[4]) {
  const Bytes le = z_to_le(z, 32);
  for (int i = 0; i < 4; ++i) out[i] = gost::load_le64(le.data() + 8 * i);
}
ec::Fe fe_of(const Z& z) {
  ec::Fe f;
  limbs_of(z, f.v);
  return f;
}
ec::Sc sc_of(const Z& z) {
  ec::Sc s;
  limbs_of(z, s.v);
  return s;
}

Z mod(const Z& a, const Z& m) {
  Z r;
  mpz_mod(r.get(), a.get(), m.get());
  return r;
}

const Z& P() {
  static const Z p(kP2001);
  return p;
}
const Z& Q() {
  static const Z q(kQ2001);
  return q;
}

// Random values below 2^256 and below m, and the edge values of m.
class Values {
 public:
  explicit Values(uint64_t seed) : gen_(seed) {}
  Z below(const Z& m) {
    uint64_t v[4];
    for (auto& w : v) w = gen_();
    return mod(z_of(v), m);
  }
  std::vector<Z> edges_and_random(const Z& m, int count) {
    std::vector<Z> out;
    for (const long d : {0L, 1L, 2L, 3L, 616L, 617L, 618L}) {
      Z z;
      mpz_set_ui(z.get(), unsigned(d));
      out.push_back(z);
    }
    for (const long d : {1L, 2L, 3L, 617L}) {
      Z z;
      mpz_sub_ui(z.get(), m.get(), unsigned(d));
      out.push_back(z);
    }
    for (const unsigned bit : {64u, 128u, 192u, 255u}) {
      Z z, zm1;
      mpz_ui_pow_ui(z.get(), 2, bit);
      mpz_sub_ui(zm1.get(), z.get(), 1);
      out.push_back(mod(z, m));
      out.push_back(mod(zm1, m));
    }
    for (int i = 0; i < count; ++i) out.push_back(below(m));
    return out;
  }
  uint64_t word() { return gen_(); }

 private:
  std::mt19937_64 gen_;
};

TEST(Ec256Limbs, PortableWideMultiplyMatchesTheCompiler) {
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

// Field operations against GMP; the lazy rows also on inputs in [p, 2^256)
// and through canon(), since their results may lie there.
TYPED_TEST(Ec256Rows, FieldArithmeticMatchesGmp) {
  using R = TypeParam;
  using C = ec::Curve<R>;
  Values gen(2);
  std::vector<Z> vals = gen.edges_and_random(P(), 30);
  if (R::kLazy) {
    Z top;
    mpz_ui_pow_ui(top.get(), 2, 256);
    for (const long d : {1L, 2L, 300L, 616L, 617L}) {
      Z z;
      mpz_sub_ui(z.get(), top.get(), unsigned(d));
      vals.push_back(z);  // p .. 2^256 - 1
    }
  }
  auto got = [](const ec::Fe& f) { return z_of(R::canon(f)); };
  for (const Z& a : vals) {
    const ec::Fe fa = fe_of(a);
    Z want;
    for (const uint32_t m : {3u, 166u, 0xFFFFFFFFu}) {
      mpz_mul_ui(want.get(), a.get(), m);
      ASSERT_EQ(got(R::mul_small(fa, m)), mod(want, P())) << a.hex() << " * " << m;
    }
    mpz_mul(want.get(), a.get(), a.get());
    ASSERT_EQ(got(R::sqr(fa)), mod(want, P())) << a.hex();
    const Z am = mod(a, P());
    if (mpz_sgn(am.get()) == 0) {
      EXPECT_EQ(mpz_sgn(got(C::inv(fa)).get()), 0) << "0 has no inverse and gives 0";
    } else {
      ASSERT_NE(mpz_invert(want.get(), am.get(), P().get()), 0);
      ASSERT_EQ(got(C::inv(fa)), want) << a.hex();
      ASSERT_EQ(got(C::inv_public(fa)), want) << a.hex();
      ASSERT_EQ(got(C::inv_fermat(fa)), want) << a.hex();
    }
    for (const Z& b : vals) {
      const ec::Fe fb = fe_of(b);
      mpz_add(want.get(), a.get(), b.get());
      ASSERT_EQ(got(R::add(fa, fb)), mod(want, P())) << a.hex() << " + " << b.hex();
      mpz_sub(want.get(), a.get(), b.get());
      ASSERT_EQ(got(R::sub(fa, fb)), mod(want, P())) << a.hex() << " - " << b.hex();
      mpz_mul(want.get(), a.get(), b.get());
      ASSERT_EQ(got(R::mul(fa, fb)), mod(want, P())) << a.hex() << " * " << b.hex();
      ASSERT_EQ(C::is_zero(R::sub(fa, fb)), mod(a, P()) == mod(b, P()));
    }
  }
}

// The public functions, on whichever rows the process runs, give fully
// reduced results.
TEST(Ec256Field, PublicFunctionsMatchGmp) {
  Values gen(3);
  const std::vector<Z> vals = gen.edges_and_random(P(), 12);
  for (const Z& a : vals) {
    const ec::Fe fa = fe_of(a);
    Z want;
    mpz_neg(want.get(), a.get());
    ASSERT_EQ(z_of(ec::fe_neg(fa)), mod(want, P())) << a.hex();
    if (mpz_sgn(a.get()) != 0) {
      ASSERT_NE(mpz_invert(want.get(), a.get(), P().get()), 0);
      ASSERT_EQ(z_of(ec::fe_inv(fa)), want) << a.hex();
    }
    for (const Z& b : vals) {
      const ec::Fe fb = fe_of(b);
      mpz_mul(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::fe_mul(fa, fb)), mod(want, P())) << a.hex() << " * " << b.hex();
      ASSERT_EQ(ec::fe_equal_mask(fa, fb) != 0, a == b);
    }
  }
}

TEST(Ec256Field, Decoding) {
  ec::Fe f = ec::kFeOne;
  Z pm1;
  mpz_sub_ui(pm1.get(), P().get(), 1);
  EXPECT_TRUE(ec::fe_from_le(z_to_le(pm1, 32).data(), f));
  EXPECT_EQ(z_of(f), pm1);
  uint8_t out[32];
  ec::fe_to_le(f, out);
  EXPECT_EQ(Bytes(out, out + 32), z_to_le(pm1, 32));
  f = ec::kFeOne;
  EXPECT_FALSE(ec::fe_from_le(z_to_le(P(), 32).data(), f)) << "p is not a field element";
  EXPECT_FALSE(ec::fe_from_le(Bytes(32, 0xFF).data(), f));
  EXPECT_EQ(z_of(f), Z("1")) << "a refused value leaves the output alone";
}

TEST(Ec256Scalar, ArithmeticMatchesGmp) {
  Values gen(4);
  const std::vector<Z> vals = gen.edges_and_random(Q(), 30);
  for (const Z& a : vals) {
    const ec::Sc sa = sc_of(a);
    Z want;
    mpz_neg(want.get(), a.get());
    ASSERT_EQ(z_of(ec::sc_neg(sa)), mod(want, Q())) << a.hex();
    EXPECT_EQ(ec::sc_is_zero(sa), mpz_sgn(a.get()) == 0);
    if (mpz_sgn(a.get()) != 0) {
      ASSERT_NE(mpz_invert(want.get(), a.get(), Q().get()), 0);
      ASSERT_EQ(z_of(ec::sc_inv(sa)), want) << a.hex();
      ASSERT_EQ(z_of(ec::sc_inv_public(sa)), want) << a.hex();
    } else {
      EXPECT_TRUE(ec::sc_is_zero(ec::sc_inv(sa)));
      EXPECT_TRUE(ec::sc_is_zero(ec::sc_inv_public(sa)));
    }
    for (const Z& b : vals) {
      const ec::Sc sb = sc_of(b);
      mpz_add(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::sc_add(sa, sb)), mod(want, Q())) << a.hex() << " + " << b.hex();
      mpz_mul(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::sc_mul(sa, sb)), mod(want, Q())) << a.hex() << " * " << b.hex();
    }
  }
}

TEST(Ec256Scalar, ReductionAndRangeChecks) {
  Values gen(5);
  // Values from q up to 2^256 - 1 reduce; those below q are kept.
  std::vector<Z> wide = gen.edges_and_random(Q(), 10);
  Z top;
  mpz_ui_pow_ui(top.get(), 2, 256);
  for (const long d : {1L, 2L, 617L, 618L}) {
    Z z;
    mpz_sub_ui(z.get(), top.get(), unsigned(d));
    wide.push_back(z);
  }
  for (const long d : {0L, 1L, 2L}) {
    Z z;
    mpz_add_ui(z.get(), Q().get(), unsigned(d));
    wide.push_back(z);
  }
  for (int i = 0; i < 10; ++i) wide.push_back(gen.below(top));
  // 512-bit values: a high half from the list over each low half.
  for (size_t i = 0; i < wide.size(); ++i) {
    const Z& hi = wide[(i * 7 + 3) % wide.size()];
    Z v;
    mpz_mul_2exp(v.get(), hi.get(), 256);
    mpz_add(v.get(), v.get(), wide[i].get());
    Bytes le = z_to_le(wide[i], 32);
    const Bytes hle = z_to_le(hi, 32);
    le.insert(le.end(), hle.begin(), hle.end());
    EXPECT_EQ(z_of(ec::sc_reduce_wide_le(le.data())), mod(v, Q())) << v.hex();
  }
  for (const Z& v : wide) {
    const Bytes le = z_to_le(v, 32);
    EXPECT_EQ(z_of(ec::sc_reduce_le(le.data())), mod(v, Q())) << v.hex();
    if (mpz_cmp(v.get(), P().get()) < 0) {
      EXPECT_EQ(z_of(ec::sc_from_fe(fe_of(v))), mod(v, Q())) << v.hex();
    }
    ec::Sc s{};
    const bool below = mpz_cmp(v.get(), Q().get()) < 0;
    EXPECT_EQ(ec::sc_from_le(le.data(), s), below) << v.hex();
    EXPECT_EQ(ec::sc_from_be(reversed(le).data(), s), below) << v.hex();
    if (below) {
      uint8_t be[32];
      ec::sc_to_be(s, be);
      EXPECT_EQ(Bytes(be, be + 32), reversed(le));
    }
  }
}

// --- points --------------------------------------------------------------

struct RefPoint {
  Z x, y;
  bool infinity = false;
};

// The textbook affine group law of y^2 = x^3 - 3x + 166 mod p, in GMP.
RefPoint ref_add(const RefPoint& a, const RefPoint& b) {
  if (a.infinity) return b;
  if (b.infinity) return a;
  Z num, den, lambda, t;
  if (a.x == b.x) {
    mpz_add(t.get(), a.y.get(), b.y.get());
    if (mpz_sgn(mod(t, P()).get()) == 0) return RefPoint{Z(), Z(), true};
    mpz_mul(num.get(), a.x.get(), a.x.get());
    mpz_mul_ui(num.get(), num.get(), 3);
    mpz_sub_ui(num.get(), num.get(), 3);
    mpz_mul_2exp(den.get(), a.y.get(), 1);
  } else {
    mpz_sub(num.get(), b.y.get(), a.y.get());
    mpz_sub(den.get(), b.x.get(), a.x.get());
  }
  den = mod(den, P());
  mpz_invert(den.get(), den.get(), P().get());
  mpz_mul(lambda.get(), num.get(), den.get());
  lambda = mod(lambda, P());
  RefPoint r;
  mpz_mul(t.get(), lambda.get(), lambda.get());
  mpz_sub(t.get(), t.get(), a.x.get());
  mpz_sub(t.get(), t.get(), b.x.get());
  r.x = mod(t, P());
  mpz_sub(t.get(), a.x.get(), r.x.get());
  mpz_mul(t.get(), t.get(), lambda.get());
  mpz_sub(t.get(), t.get(), a.y.get());
  r.y = mod(t, P());
  return r;
}

RefPoint ref_neg(const RefPoint& a) {
  RefPoint r = a;
  Z t;
  mpz_neg(t.get(), a.y.get());
  r.y = mod(t, P());
  return r;
}

RefPoint ref_of(const ec::Point& p) {
  ec::Affine a;
  if (!ec::to_affine(p, a)) return RefPoint{Z(), Z(), true};
  return RefPoint{z_of(a.x), z_of(a.y), false};
}

ec::Affine affine_of(const RefPoint& r) { return ec::Affine{fe_of(r.x), fe_of(r.y)}; }

// The same point with projective coordinates scaled by a random lambda.
ec::Point scaled(const RefPoint& r, Values& gen) {
  if (r.infinity) {
    const ec::Fe l = fe_of(gen.below(P()));
    return ec::Point{ec::kFeZero, l, ec::kFeZero};
  }
  Z lz = gen.below(P());
  if (mpz_sgn(lz.get()) == 0) lz = Z("1");
  const ec::Fe l = fe_of(lz);
  return ec::Point{ec::fe_mul(fe_of(r.x), l), ec::fe_mul(fe_of(r.y), l), l};
}

void expect_same(const RefPoint& want, const ec::Point& got, const std::string& what) {
  const RefPoint g = ref_of(got);
  ASSERT_EQ(g.infinity, want.infinity) << what;
  if (want.infinity) return;
  EXPECT_EQ(g.x, want.x) << what;
  EXPECT_EQ(g.y, want.y) << what;
  EXPECT_TRUE(ec::on_curve(affine_of(g))) << what;
}

class Ec256Points : public ::testing::Test {
 protected:
  void SetUp() override {
    ecc_point_init(&np_, nettle_get_gost_gc256b());
    ecc_scalar_init(&ns_, nettle_get_gost_gc256b());
  }
  void TearDown() override {
    ecc_point_clear(&np_);
    ecc_scalar_clear(&ns_);
  }
  // k * G by nettle, for 0 < k < q.
  RefPoint nettle_mul_g(const Z& k) {
    EXPECT_EQ(ecc_scalar_set(&ns_, k.get()), 1);
    ecc_point_mul_g(&np_, &ns_);
    RefPoint r;
    ecc_point_get(&np_, r.x.get(), r.y.get());
    return r;
  }
  // k * P by libgcrypt's curve of the same parameters.
  RefPoint gcry_mul(const Z& k, const RefPoint& p) {
    init_gcrypt();
    gcry_ctx_t ctx = nullptr;
    EXPECT_EQ(gcry_mpi_ec_new(&ctx, nullptr, "GOST2001-CryptoPro-A"), 0u);
    auto mpi = [](const Z& z) {
      gcry_mpi_t m = nullptr;
      gcry_mpi_scan(&m, GCRYMPI_FMT_HEX, z.hex().c_str(), 0, nullptr);
      return m;
    };
    gcry_mpi_t x = mpi(p.x), y = mpi(p.y), one = gcry_mpi_set_ui(nullptr, 1), km = mpi(k);
    gcry_mpi_point_t pt = gcry_mpi_point_set(nullptr, x, y, one), out = gcry_mpi_point_new(0);
    gcry_mpi_ec_mul(out, km, pt, ctx);
    gcry_mpi_t ox = gcry_mpi_new(0), oy = gcry_mpi_new(0);
    RefPoint r;
    r.infinity = gcry_mpi_ec_get_affine(ox, oy, out, ctx) != 0;
    unsigned char* hex = nullptr;
    if (!r.infinity) {
      gcry_mpi_aprint(GCRYMPI_FMT_HEX, &hex, nullptr, ox);
      r.x = Z(reinterpret_cast<char*>(hex));
      gcry_free(hex);
      gcry_mpi_aprint(GCRYMPI_FMT_HEX, &hex, nullptr, oy);
      r.y = Z(reinterpret_cast<char*>(hex));
      gcry_free(hex);
    }
    for (gcry_mpi_t m : {x, y, one, km, ox, oy}) gcry_mpi_release(m);
    gcry_mpi_point_release(pt);
    gcry_mpi_point_release(out);
    gcry_ctx_release(ctx);
    return r;
  }
  // Interesting scalars: the small ones, q - small, every 4-bit digit set
  // alike, and random values.
  std::vector<Z> scalars(Values& gen, int count) {
    std::vector<Z> out;
    for (const char* hex : {"1", "2", "3", "F", "10", "11", "FF", "100",
                            "1111111111111111111111111111111111111111111111111111111111111111",
                            "8000000000000000000000000000000000000000000000000000000000000000"}) {
      out.emplace_back(hex);
    }
    for (const unsigned d : {1u, 2u, 16u}) {
      Z z;
      mpz_sub_ui(z.get(), Q().get(), d);
      out.push_back(z);
    }
    for (int i = 0; i < count; ++i) {
      Z z = gen.below(Q());
      if (mpz_sgn(z.get()) != 0) out.push_back(z);
    }
    return out;
  }
  RefPoint g() { return RefPoint{z_of(ec::base_point().x), z_of(ec::base_point().y), false}; }

  ecc_point np_;
  ecc_scalar ns_;
};

// The point operations of one set of rows (results made canonical first).
template <class R>
class Ec256PointRows : public Ec256Points {
 protected:
  using C = ec::Curve<R>;
  void SetUp() override {
    if (!R::available()) GTEST_SKIP() << "this processor cannot run these rows";
    Ec256Points::SetUp();
  }
  void same(const RefPoint& want, const ec::Point& got, const std::string& what) {
    expect_same(want, C::canon(got), what);
  }
};
TYPED_TEST_SUITE(Ec256PointRows, RowSets);

TYPED_TEST(Ec256PointRows, GroupLawMatchesTheAffineFormulasOnEveryCase) {
  using C = typename TestFixture::C;
  Values gen(6);
  const RefPoint inf{Z(), Z(), true};
  std::vector<RefPoint> pts = {this->g(), ref_neg(this->g())};
  for (int i = 0; i < 6; ++i) pts.push_back(this->nettle_mul_g(gen.below(Q())));
  std::vector<RefPoint> with_inf = pts;
  with_inf.push_back(inf);
  for (const RefPoint& a : with_inf) {
    this->same(ref_add(a, a), C::dbl(scaled(a, gen)), "2a");
    for (const RefPoint& b : with_inf) {
      const RefPoint want = ref_add(a, b);
      this->same(want, C::add(scaled(a, gen), scaled(b, gen)), "a + b");
      if (!b.infinity) this->same(want, C::add_mixed(scaled(a, gen), affine_of(b)), "a + affine b");
    }
    // a + a and a + (-a) through the addition itself.
    if (!a.infinity) {
      this->same(ref_add(a, a), C::add(scaled(a, gen), scaled(a, gen)), "a + a");
      this->same(inf, C::add(scaled(a, gen), ec::point_neg(scaled(a, gen))), "a - a");
      this->same(inf, C::add_mixed(scaled(a, gen), affine_of(ref_neg(a))), "a - affine a");
    }
  }
}

// The Jacobian helpers of the public double multiplication on their
// special cases (equal, opposite and infinite operands).
TYPED_TEST(Ec256PointRows, JacobianHelpersOnTheirSpecialCases) {
  using C = typename TestFixture::C;
  Values gen(12);
  const RefPoint a = this->nettle_mul_g(gen.below(Q())), b = this->nettle_mul_g(gen.below(Q()));
  auto jac = [&](const RefPoint& r) {
    // (X, Y, Z) with x = X / Z^2, y = Y / Z^3 for a random Z.
    const ec::Fe z = fe_of(gen.below(P()));
    const ec::Fe z2 = ec::fe_sqr(z);
    return ec::Jacobian{ec::fe_mul(fe_of(r.x), z2), ec::fe_mul(fe_of(r.y), ec::fe_mul(z2, z)), z};
  };
  auto back = [](const ec::Jacobian& j) {
    if (C::is_zero(j.z)) return ec::kInfinity;
    return C::canon(ec::Point{C::mul(j.x, j.z), j.y, C::mul(j.z, C::sqr(j.z))});
  };
  const RefPoint inf{Z(), Z(), true};
  const ec::Jacobian o{ec::kFeOne, ec::kFeOne, ec::kFeZero};
  this->same(ref_add(a, b), back(C::jac_add(jac(a), jac(b))), "a + b");
  this->same(ref_add(a, a), back(C::jac_add(jac(a), jac(a))), "a + a");
  this->same(inf, back(C::jac_add(jac(a), jac(ref_neg(a)))), "a - a");
  this->same(a, back(C::jac_add(o, jac(a))), "O + a");
  this->same(a, back(C::jac_add(jac(a), o)), "a + O");
  this->same(ref_add(a, a), back(C::jac_double(jac(a))), "2a");
  this->same(ref_add(a, b), back(C::jac_add_affine(jac(a), affine_of(b))), "a + affine b");
  this->same(ref_add(a, a), back(C::jac_add_affine(jac(a), affine_of(a))), "a + affine a");
  this->same(inf, back(C::jac_add_affine(jac(a), affine_of(ref_neg(a)))), "a - affine a");
  this->same(b, back(C::jac_add_affine(o, affine_of(b))), "O + affine b");
}

TEST_F(Ec256Points, CurveMembership) {
  Values gen(7);
  EXPECT_TRUE(ec::on_curve(ec::base_point()));
  const RefPoint p = nettle_mul_g(gen.below(Q()));
  EXPECT_TRUE(ec::on_curve(affine_of(p)));
  EXPECT_TRUE(ec::on_curve(affine_of(ref_neg(p))));
  ec::Affine bad = affine_of(p);
  bad.y = ec::fe_add(bad.y, ec::kFeOne);
  EXPECT_FALSE(ec::on_curve(bad));
  EXPECT_FALSE(ec::on_curve(ec::Affine{ec::kFeZero, ec::kFeZero}));
  EXPECT_NE(ec::point_equal_mask(scaled(p, gen), scaled(p, gen)), 0u);
  EXPECT_EQ(ec::point_equal_mask(scaled(p, gen), scaled(ref_neg(p), gen)), 0u);
}

// Scalars whose signed 7-bit digits hit the recoding's edges: every digit
// +64 or -64, runs of ones carrying through all windows, single windows.
std::vector<Z> digit_edges() {
  std::vector<Z> out;
  Z all64, all_minus, ones;
  for (int i = 0; i < 36; ++i) {
    Z t;
    mpz_ui_pow_ui(t.get(), 2, unsigned(7 * i + 6));
    mpz_add(all64.get(), all64.get(), t.get());  // bit 6 of each window: digit -64 with a carry up
    mpz_ui_pow_ui(t.get(), 2, unsigned(7 * i));
    mpz_mul_ui(t.get(), t.get(), 63);
    mpz_add(all_minus.get(), all_minus.get(), t.get());  // 63 in each window
  }
  mpz_ui_pow_ui(ones.get(), 2, 252);
  mpz_sub_ui(ones.get(), ones.get(), 1);
  out = {all64, all_minus, ones};
  for (const unsigned bit : {6u, 7u, 13u, 251u, 252u, 255u}) {
    Z t;
    mpz_ui_pow_ui(t.get(), 2, bit);
    out.push_back(t);
  }
  return out;
}

// The digits rebuild the scalar, stay within -64..64, and the top one is
// never negative.
TEST(Ec256Comb, SignedDigitsRecodeTheScalar) {
  Values gen(13);
  std::vector<Z> ks = digit_edges();
  for (int i = 0; i < 50; ++i) ks.push_back(gen.below(Q()));
  for (const Z& k : ks) {
    Z sum;
    for (int i = 36; i >= 0; --i) {
      uint64_t magnitude, negative;
      ec::Curve<ec::PortableRows>::comb_digit(sc_of(k), i, magnitude, negative);
      ASSERT_LE(magnitude, 64u) << k.hex();
      if (i == 36) {
        ASSERT_TRUE(negative == 0 || magnitude == 0) << k.hex();
      }
      mpz_mul_2exp(sum.get(), sum.get(), 7);
      if (negative != 0) {
        mpz_sub_ui(sum.get(), sum.get(), magnitude);
      } else {
        mpz_add_ui(sum.get(), sum.get(), magnitude);
      }
    }
    EXPECT_EQ(sum, k) << k.hex();
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

TYPED_TEST(Ec256PointRows, FixedBaseMultiplicationMatchesNettle) {
  using C = typename TestFixture::C;
  Values gen(8);
  std::vector<Z> ks = this->scalars(gen, 12);
  for (const Z& k : digit_edges()) ks.push_back(mod(k, Q()));
  for (const Z& k : ks) this->same(this->nettle_mul_g(k), C::mul_base(sc_of(k)), k.hex());
  this->same(RefPoint{Z(), Z(), true}, C::mul_base(ec::Sc{}), "0 * G");
  // (q - 1) G = -G = (1, p - Gy).
  Z qm1;
  mpz_sub_ui(qm1.get(), Q().get(), 1);
  this->same(ref_neg(this->g()), C::mul_base(sc_of(qm1)), "-G");
}

TYPED_TEST(Ec256PointRows, VariableBaseMultiplicationMatchesLibgcrypt) {
  using C = typename TestFixture::C;
  Values gen(9);
  const RefPoint bases[] = {this->g(), this->nettle_mul_g(gen.below(Q()))};
  for (const RefPoint& base : bases) {
    for (const Z& k : this->scalars(gen, 4)) {
      this->same(this->gcry_mul(k, base), C::mul_point(sc_of(k), affine_of(base)), k.hex());
    }
    this->same(RefPoint{Z(), Z(), true}, C::mul_point(ec::Sc{}, affine_of(base)), "0 * P");
  }
}

TYPED_TEST(Ec256PointRows, DoubleMultiplicationMatchesTheSumOfProducts) {
  using C = typename TestFixture::C;
  Values gen(10);
  const RefPoint inf{Z(), Z(), true};
  const RefPoint qpt = this->nettle_mul_g(gen.below(Q()));
  auto ref = [&](const Z& a, const Z& b, const RefPoint& base) {
    const RefPoint ag = mpz_sgn(a.get()) == 0 ? inf : this->nettle_mul_g(a);
    const RefPoint bq = mpz_sgn(b.get()) == 0 ? inf : this->gcry_mul(b, base);
    return ref_add(ag, bq);
  };
  const std::vector<Z> ks = this->scalars(gen, 4);
  for (const Z& a : ks) {
    for (const Z& b : ks) {
      this->same(ref(a, b, qpt), C::mul_double_public(sc_of(a), sc_of(b), affine_of(qpt)), a.hex() + "," + b.hex());
    }
  }
  const Z zero("0"), one("1"), two("2");
  Z qm1;
  mpz_sub_ui(qm1.get(), Q().get(), 1);
  // Q = G: the table additions meet the running sum (doubling and
  // cancelling branches).
  const ec::Affine g = ec::base_point();
  this->same(ref(one, one, this->g()), C::mul_double_public(sc_of(one), sc_of(one), g), "G + G");
  this->same(inf, C::mul_double_public(sc_of(qm1), sc_of(one), g), "-G + G");
  this->same(this->g(), C::mul_double_public(sc_of(two), sc_of(qm1), g), "2G - G");
  this->same(inf, C::mul_double_public(sc_of(zero), sc_of(zero), affine_of(qpt)), "0");
  this->same(qpt, C::mul_double_public(sc_of(zero), sc_of(one), affine_of(qpt)), "Q");
}

TEST_F(Ec256Points, XModQComparisonCoversXAboveQ) {
  Values gen(11);
  // A curve point with q <= x < p (p = 3 mod 4: y = rhs^((p+1)/4)).
  Z x(kQ2001), y, rhs, t, e;
  mpz_add_ui(e.get(), P().get(), 1);
  mpz_fdiv_q_2exp(e.get(), e.get(), 2);
  for (;; mpz_add_ui(x.get(), x.get(), 1)) {
    mpz_pow_ui(rhs.get(), x.get(), 3);
    mpz_submul_ui(rhs.get(), x.get(), 3);
    mpz_add_ui(rhs.get(), rhs.get(), 166);
    rhs = mod(rhs, P());
    mpz_powm(y.get(), rhs.get(), e.get(), P().get());
    mpz_powm_ui(t.get(), y.get(), 2, P().get());
    if (t == rhs) break;
  }
  const RefPoint high{x, y, false};
  ASSERT_TRUE(ec::on_curve(affine_of(high)));
  Z r;
  mpz_sub(r.get(), x.get(), Q().get());
  if (mpz_sgn(r.get()) == 0) GTEST_SKIP() << "x == q: r would be 0";
  EXPECT_TRUE(ec::x_mod_q_equals(scaled(high, gen), sc_of(r)));
  Z r1;
  mpz_add_ui(r1.get(), r.get(), 1);
  EXPECT_FALSE(ec::x_mod_q_equals(scaled(high, gen), sc_of(r1)));
  const RefPoint low = nettle_mul_g(Z("5"));
  EXPECT_TRUE(ec::x_mod_q_equals(scaled(low, gen), sc_of(mod(low.x, Q()))));
  EXPECT_FALSE(ec::x_mod_q_equals(ec::kInfinity, sc_of(Z("0"))));
}

}  // namespace
}  // namespace gosttest
