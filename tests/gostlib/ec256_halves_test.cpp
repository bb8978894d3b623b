// The curve arithmetic built with 32-bit halves instead of 128-bit integers
// (the path of the i686 build), compiled into its own namespace here and
// checked against GMP and nettle.
#define GOST_EC256_NO_INT128
#define ec256 ec256_halves
#include "../../gostlib/ec256.cpp"
#undef ec256

#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>

#include <random>

#include "bignum.hpp"

namespace gosttest {
namespace {

namespace ec = gost::ec256_halves;

static_assert(GOST_EC256_INT128 == 0, "this file tests the 32-bit halves");

Z z_of(const uint64_t v[4]) {
  Z z;
  mpz_import(z.get(), 4, -1, sizeof(uint64_t), 0, 0, v);
  return z;
}

template <class T>
T from_z(const Z& z) {
  const Bytes le = z_to_le(z, 32);
  T out;
  for (int i = 0; i < 4; ++i) out.v[i] = gost::load_le64(le.data() + 8 * i);
  return out;
}

Z mod(const Z& a, const char* m_hex) {
  Z r;
  const Z m(m_hex);
  mpz_mod(r.get(), a.get(), m.get());
  return r;
}

// 0, 1, m - 1, m - 2, 2^255 and random values below m.
std::vector<Z> values(const char* m_hex, uint64_t seed) {
  std::mt19937_64 gen(seed);
  const Z m(m_hex);
  std::vector<Z> out{Z("0"), Z("1")};
  for (const unsigned d : {1u, 2u}) {
    Z z;
    mpz_sub_ui(z.get(), m.get(), d);
    out.push_back(z);
  }
  Z half;
  mpz_ui_pow_ui(half.get(), 2, 255);
  out.push_back(half);
  for (int i = 0; i < 12; ++i) {
    uint64_t v[4];
    for (auto& w : v) w = gen();
    out.push_back(mod(z_of(v), m_hex));
  }
  return out;
}

TEST(Ec256Halves, FieldAndScalarArithmeticMatchGmp) {
  const std::vector<Z> fv = values(kP2001, 21);
  for (const Z& a : fv) {
    const auto fa = from_z<ec::Fe>(a);
    Z want;
    mpz_mul(want.get(), a.get(), a.get());
    ASSERT_EQ(z_of(ec::fe_sqr(fa).v), mod(want, kP2001)) << a.hex();
    mpz_mul_ui(want.get(), a.get(), 166);
    ASSERT_EQ(z_of(ec::fe_mul_small(fa, 166).v), mod(want, kP2001)) << a.hex();
    if (mpz_sgn(a.get()) != 0) {
      ASSERT_EQ(z_of(ec::fe_mul(ec::fe_inv(fa), fa).v), Z("1")) << a.hex();
    }
    for (const Z& b : fv) {
      const auto fb = from_z<ec::Fe>(b);
      mpz_mul(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::fe_mul(fa, fb).v), mod(want, kP2001)) << a.hex() << " * " << b.hex();
      mpz_add(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::fe_add(fa, fb).v), mod(want, kP2001)) << a.hex() << " + " << b.hex();
      mpz_sub(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::fe_sub(fa, fb).v), mod(want, kP2001)) << a.hex() << " - " << b.hex();
    }
  }
  const std::vector<Z> sv = values(kQ2001, 22);
  for (const Z& a : sv) {
    const auto sa = from_z<ec::Sc>(a);
    if (mpz_sgn(a.get()) != 0) {
      ASSERT_EQ(z_of(ec::sc_mul(ec::sc_inv(sa), sa).v), Z("1")) << a.hex();
    }
    for (const Z& b : sv) {
      const auto sb = from_z<ec::Sc>(b);
      Z want;
      mpz_mul(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::sc_mul(sa, sb).v), mod(want, kQ2001)) << a.hex() << " * " << b.hex();
      mpz_add(want.get(), a.get(), b.get());
      ASSERT_EQ(z_of(ec::sc_add(sa, sb).v), mod(want, kQ2001)) << a.hex() << " + " << b.hex();
    }
  }
}

TEST(Ec256Halves, MultiplicationsMatchNettle) {
  ecc_point r, base;
  ecc_scalar n;
  ecc_point_init(&r, nettle_get_gost_gc256b());
  ecc_point_init(&base, nettle_get_gost_gc256b());
  ecc_scalar_init(&n, nettle_get_gost_gc256b());
  auto same = [](const ecc_point& want, const ec::Point& got) {
    ec::Affine a;
    if (!ec::to_affine(got, a)) return false;
    Z x, y;
    ecc_point_get(&want, x.get(), y.get());
    return z_of(a.x.v) == x && z_of(a.y.v) == y;
  };
  const std::vector<Z> ks = values(kQ2001, 23);
  const Z k0 = ks.back();
  ASSERT_EQ(ecc_scalar_set(&n, k0.get()), 1);
  ecc_point_mul_g(&base, &n);
  ec::Affine q;
  {
    Z x, y;
    ecc_point_get(&base, x.get(), y.get());
    q = ec::Affine{from_z<ec::Fe>(x), from_z<ec::Fe>(y)};
  }
  for (const Z& k : ks) {
    if (mpz_sgn(k.get()) == 0) continue;
    const auto sk = from_z<ec::Sc>(k);
    ASSERT_EQ(ecc_scalar_set(&n, k.get()), 1);
    ecc_point_mul_g(&r, &n);
    EXPECT_TRUE(same(r, ec::mul_base(sk))) << k.hex();
    ecc_point_mul(&r, &n, &base);
    EXPECT_TRUE(same(r, ec::mul(sk, q))) << k.hex();
    // a G + b Q against the two products checked above.
    const auto sb = from_z<ec::Sc>(ks[3]);
    const ec::Point want = ec::point_add(ec::mul_base(sk), ec::mul(sb, q));
    EXPECT_NE(ec::point_equal_mask(want, ec::mul_double_public(sk, sb, q)), 0u) << k.hex();
  }
  ecc_point_clear(&r);
  ecc_point_clear(&base);
  ecc_scalar_clear(&n);
}

}  // namespace
}  // namespace gosttest
