// The binding's hashing (argument checks and text forms) and signing (order of
// checks, library failures). The digests and signature values themselves are
// checked against independent implementations in tests/oracle.
#include <cstring>
#include <string>

#include "binding_fixture.h"
#include "platform/dynlib.h"
#include "support/base64.h"

namespace dizora::binding_test {
namespace {

using namespace rurov;

std::string ToUpperHex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

class BindingHash : public BindingTest {
 protected:
  Bytes Gost(const Bytes& data) {
    Bytes hash(kHashSize, 0);
    EXPECT_EQ(Access::HashGost(*binding, data.data(), static_cast<int32_t>(data.size()), hash.data()), 0);
    return hash;
  }
  Bytes Legacy(const Bytes& data) {
    Bytes hash(kHashSize, 0);
    EXPECT_EQ(Access::HashOldFormat(*binding, data.data(), static_cast<int32_t>(data.size()), hash.data()), 0);
    return hash;
  }
};

TEST_F(BindingHash, NullDataOrNonPositiveLengthGivesMinus4AndLeavesTheOutput) {
  const uint8_t byte = 1;
  Bytes hash(kHashSize, 0xAA);
  EXPECT_EQ(Access::HashGost(*binding, nullptr, 5, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(Access::HashGost(*binding, &byte, 0, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(Access::HashOldFormat(*binding, &byte, -1, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(Access::HashOldFormat(*binding, nullptr, 1, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(hash, Bytes(kHashSize, 0xAA));
}

TEST_F(BindingHash, TextFormsAndTheirSizes) {
  const Bytes data = Pattern(70000, 4);
  const Bytes hash = Gost(data);
  const int32_t n = static_cast<int32_t>(data.size());

  for (const auto& [form, expectedSize] : {std::pair{2, 64}, std::pair{1, 44}, std::pair{0, 32}, std::pair{9, 32}}) {
    int32_t size = -5;
    EXPECT_EQ(binding->HashWithFormat(data.data(), n, form, nullptr, true, size), 0) << form;
    EXPECT_EQ(size, expectedSize) << form;
  }

  Bytes out(100, 0x55);
  int32_t size = 63;
  EXPECT_EQ(binding->HashWithFormat(data.data(), n, 2, out.data(), true, size), DZ_E_EXCEPTION);
  EXPECT_EQ(size, 64);
  EXPECT_EQ(out, Bytes(100, 0x55)) << "a too small output must stay untouched";

  size = 64;
  ASSERT_EQ(binding->HashWithFormat(data.data(), n, 2, out.data(), true, size), 0);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 64), ToUpperHex(hash));
  EXPECT_EQ(out[64], 0x55) << "no terminating zero is written";

  size = 100;
  ASSERT_EQ(binding->HashWithFormat(data.data(), n, 1, out.data(), true, size), 0);
  ASSERT_EQ(size, 44);
  EXPECT_EQ(support::DecodeBase64(std::string_view(reinterpret_cast<char*>(out.data()), 44)), hash);

  size = 32;
  ASSERT_EQ(binding->HashWithFormat(data.data(), n, 0, out.data(), true, size), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), hash);

  // The flag selects the legacy digest.
  ASSERT_EQ(binding->HashWithFormat(data.data(), n, 0, out.data(), false, size), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Legacy(data));

  size = 77;
  EXPECT_EQ(binding->HashWithFormat(data.data(), 0, 2, nullptr, true, size), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(size, 77);
}

class BindingSign : public BindingTest {
 protected:
  struct Signed {
    int32_t result = 0;
    Bytes block;
  };

  Signed Sign(TCryptoC_DLL& dll, const KeyMedium& medium, const Bytes& data, bool gostHash) {
    Signed out;
    out.block.assign(kMaxUIDLength + 1 + kSignatureValueSize, 0xEE);
    int32_t length = -1;
    const TKeySettings& s = medium.settings;
    out.result = dll.SignBuffer(data.data(), static_cast<int32_t>(data.size()), out.block.data(), length, s, gostHash);
    out.block.resize(length < 0 ? 0 : static_cast<size_t>(length));
    return out;
  }
};

TEST_F(BindingSign, ZeroLengthGivesMinus4AfterTheUIDIsReadAndWritesNothing) {
  const KeyMedium medium = MakeMedium("User5");
  const uint8_t byte = 7;
  Bytes out(400, 0xEE);
  int32_t length = 123;
  const TKeySettings& s = medium.settings;
  EXPECT_EQ(binding->SignBuffer(&byte, 0, out.data(), length, s, true), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->SignBuffer(nullptr, 1, out.data(), length, s, true), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->SignBuffer(&byte, 1, nullptr, length, s, true), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(out, Bytes(400, 0xEE));
  EXPECT_EQ(length, 123);

  // The UID comes first: without a public-key file even a zero length gives -11.
  fs::remove(s.PublicKeyPath);
  EXPECT_EQ(binding->SignBuffer(&byte, 0, out.data(), length, s, true), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(out, Bytes(400, 0xEE));
}

TEST_F(BindingSign, MissingSecretKeyFileGivesMinus10AfterTheUIDIsWritten) {
  const KeyMedium medium = MakeMedium("User5");
  fs::remove(medium.settings.SecretKeyPath);
  const Bytes data = Pattern(10, 7);
  Bytes out(400, 0xEE);
  int32_t length = 123;
  EXPECT_EQ(binding->SignBuffer(data.data(), 10, out.data(), length, medium.settings, true), DZ_E_SECRET_KEY);
  EXPECT_EQ(length, 123);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), "User5");
}

TEST_F(BindingSign, SignaturesDifferEachTime) {
  const KeyMedium medium = MakeMedium("User5");
  const Bytes data = Pattern(100, 8);
  const Signed first = Sign(*binding, medium, data, true);
  const Signed second = Sign(*binding, medium, data, true);
  ASSERT_EQ(first.result, 0);
  ASSERT_EQ(second.result, 0);
  EXPECT_NE(first.block, second.block) << "a fresh random value is drawn for each signature";
}

// Library failures, forced through the fault-injecting build of the library.
class BindingSignFaults : public FaultyLibraryTest {
 protected:
  int32_t Sign(Bytes& out, int32_t& length) {
    const Bytes data = Pattern(50, 9);
    out.assign(400, 0xEE);
    return dll->SignBuffer(data.data(), 50, out.data(), length, medium.settings, true);
  }
};

TEST_F(BindingSignFaults, FailingSignCallStillReportsTheLengthAndCommitsTheState) {
  Bytes out;
  int32_t length = -1;
  ASSERT_EQ(force("RuroV_LR34_10_2001_sign", 9, 1), 0);
  TLibraryState before = Access::State(*dll);
  EXPECT_EQ(Sign(out, length), 9);
  EXPECT_EQ(length, 5 + 1 + 64);
  TLibraryState after = Access::State(*dll);
  EXPECT_NE(before, after);
}

TEST_F(BindingSignFaults, FailingSetUpReturnsItsCodeAndLeavesTheLength) {
  // The key is loaded (and its pair checked) by a first signature, so that
  // the forced calls are those of the signing.
  Bytes out;
  int32_t length = -1;
  EXPECT_EQ(Sign(out, length), 0);
  EXPECT_EQ(length, 70);
  for (const char* name : {"RuroV_LR34_10_2001_set_parms", "RuroV_LR34_10_2001_set_secret_key"}) {
    length = -1;
    ASSERT_EQ(force(name, 3, 1), 0);
    EXPECT_EQ(Sign(out, length), 3) << name;
    EXPECT_EQ(length, -1) << name;
  }
}

TEST_F(BindingSignFaults, HashFailuresPassThrough) {
  const Bytes data = Pattern(70000, 10);
  Bytes hash(kHashSize, 0xAA);
  ASSERT_EQ(force("RuroV_R34_11_1994_init", 4, 1), 0);
  EXPECT_EQ(Access::HashGost(*dll, data.data(), 70000, hash.data()), 4);
  ASSERT_EQ(force("RuroV_R34_11_1994_update", 11, 1), 0);
  EXPECT_EQ(Access::HashOldFormat(*dll, data.data(), 70000, hash.data()), 11);
  ASSERT_EQ(force("RuroV_R34_11_1994_final", 12, 1), 0);
  EXPECT_EQ(Access::HashGost(*dll, data.data(), 70000, hash.data()), 12);
  EXPECT_EQ(hash, Bytes(kHashSize, 0xAA));

  int32_t size = 99;
  ASSERT_EQ(force("RuroV_R34_11_1994_final", 12, 1), 0);
  EXPECT_EQ(dll->HashWithFormat(data.data(), 70000, 2, nullptr, true, size), 12);
  EXPECT_EQ(size, 99);
}

}  // namespace
}  // namespace dizora::binding_test
