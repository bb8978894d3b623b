// The binding's hashing (ordinary and legacy digest), signature block and hash text forms.
#include <cstring>
#include <string>

#include "binding_fixture.h"
#include "platform/dynlib.h"
#include "support/base64.h"

namespace dizora::binding_test {
namespace {

using namespace rurov;
using ForceResultFn = int32_t (*)(const char* name, int32_t code, int32_t count);

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

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
    EXPECT_EQ(binding->HashGost(data.data(), static_cast<int32_t>(data.size()), hash.data()), 0);
    return hash;
  }
  Bytes Legacy(const Bytes& data) {
    Bytes hash(kHashSize, 0);
    EXPECT_EQ(binding->HashOldFormat(data.data(), static_cast<int32_t>(data.size()), hash.data()), 0);
    return hash;
  }
};

TEST_F(BindingHash, OrdinaryHashMatchesPublishedVectors) {
  const std::string abc = "abc";
  EXPECT_EQ(Gost(Bytes(abc.begin(), abc.end())),
            FromHex("f3134348c44fb1b2a277729e2285ebb5cb5e0f29c975bc753b70497c06a4d51d"));
  // A million bytes go to the library in pieces of 65535.
  EXPECT_EQ(Gost(Bytes(1000000, 'a')),
            FromHex("5c00ccc2734cdd3332d3d4749576e3c1a7dbaf0e7ea74e9fa602413c90a129fa"));
}

TEST_F(BindingHash, LegacyDigestRepeatsTheFirstPiece) {
  const Bytes exact = Pattern(65535, 1);
  EXPECT_EQ(Legacy(exact), Gost(exact));

  const Bytes oneMore = Pattern(65536, 2);
  Bytes expected(oneMore.begin(), oneMore.begin() + 65535);
  expected.push_back(oneMore[0]);
  EXPECT_EQ(Legacy(oneMore), Gost(expected));
  EXPECT_NE(Legacy(oneMore), Gost(oneMore));

  const Bytes longer = Pattern(2 * 65535 + 10, 3);
  Bytes repeated(longer.begin(), longer.begin() + 65535);
  repeated.insert(repeated.end(), longer.begin(), longer.begin() + 65535);
  repeated.insert(repeated.end(), longer.begin(), longer.begin() + 10);
  EXPECT_EQ(Legacy(longer), Gost(repeated));
}

TEST_F(BindingHash, NullDataOrNonPositiveLengthGivesMinus4AndLeavesTheOutput) {
  const uint8_t byte = 1;
  Bytes hash(kHashSize, 0xAA);
  EXPECT_EQ(binding->HashGost(nullptr, 5, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->HashGost(&byte, 0, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->HashOldFormat(&byte, -1, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->HashOldFormat(nullptr, 1, hash.data()), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(hash, Bytes(kHashSize, 0xAA));
}

TEST_F(BindingHash, HashingAdvancesTheStoredLibraryState) {
  TLibraryState before;
  binding->SnapshotState(before);
  Gost(Bytes(10, 1));
  TLibraryState after;
  binding->SnapshotState(after);
  EXPECT_NE(before, after);
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
    const KeySettings& s = medium.settings;
    out.result = dll.SignBuffer(data.data(), static_cast<int32_t>(data.size()), out.block.data(), length,
                                s.publicKeyPath, s.secretKeyPath, s.correspondentsDir, s.caDir,
                                s.keyRequestTimeout, s.lastOpTimeout, gostHash);
    out.block.resize(length < 0 ? 0 : static_cast<size_t>(length));
    return out;
  }

  // Checks a signature value with the library directly, with the signer's
  // public key read from its public-key file and the given digest.
  int32_t LibraryVerify(const KeyMedium& medium, const Bytes& digest, const uint8_t* value) {
    const Bytes record = ReadFileBytes(medium.settings.publicKeyPath);
    const uint8_t* publicKey = record.data() + medium.uid.size() + 1 + 4;
    TLibraryState state{};
    if (medium.algorithm == kGost2001) {
      TLibraryContext<kSign2001ContextSize> ctx;
      ctx.Arm(binding->RuroV_LR34_10_2001_clear);
      EXPECT_EQ(binding->RuroV_LR34_10_2001_set_parms(ctx.get(), state.data(), nullptr, 32, nullptr, 32,
                                                      nullptr, nullptr, nullptr), 0);
      EXPECT_EQ(binding->RuroV_LR34_10_2001_set_public_key(ctx.get(), publicKey), 0);
      return binding->RuroV_LR34_10_2001_verify(ctx.get(), digest.data(), value);
    }
    TLibraryContext<kSign1994ContextSize> ctx;
    ctx.Arm(binding->RuroV_LR34_10_1994_clear);
    EXPECT_EQ(binding->RuroV_LR34_10_1994_set_parms(ctx.get(), state.data(), nullptr, 128, nullptr, 32, nullptr),
              0);
    EXPECT_EQ(binding->RuroV_LR34_10_1994_set_public_key(ctx.get(), publicKey), 0);
    return binding->RuroV_LR34_10_1994_verify(ctx.get(), digest.data(), value);
  }

  Bytes Digest(const Bytes& data, bool gostHash) {
    Bytes hash(kHashSize, 0);
    const int32_t n = static_cast<int32_t>(data.size());
    EXPECT_EQ(gostHash ? binding->HashGost(data.data(), n, hash.data())
                       : binding->HashOldFormat(data.data(), n, hash.data()), 0);
    return hash;
  }
};

TEST_F(BindingSign, BlockIsUIDZeroAndTheSixtyFourByteValueOfTheKeyFilesAlgorithm) {
  for (int32_t algorithm : {kGost2001, kGost1994}) {
    const KeyMedium medium = MakeMedium(algorithm == kGost2001 ? "User5" : "User4", algorithm);
    const Bytes data = Pattern(1000, 5);
    const Signed s = Sign(*binding, medium, data, true);
    ASSERT_EQ(s.result, 0);
    ASSERT_EQ(s.block.size(), medium.uid.size() + 1 + 64);
    EXPECT_EQ(std::string(s.block.begin(), s.block.begin() + static_cast<long>(medium.uid.size())), medium.uid);
    EXPECT_EQ(s.block[medium.uid.size()], 0);
    const uint8_t* value = s.block.data() + medium.uid.size() + 1;
    EXPECT_EQ(LibraryVerify(medium, Digest(data, true), value), 0) << "algorithm " << algorithm;
    binding->ReleaseKeys();
  }
}

TEST_F(BindingSign, FlagSelectsTheDigestThatIsSigned) {
  const KeyMedium medium = MakeMedium("User5");
  const Bytes data = Pattern(65536, 6);
  const uint8_t* value = nullptr;

  const Signed legacy = Sign(*binding, medium, data, false);
  ASSERT_EQ(legacy.result, 0);
  value = legacy.block.data() + 6;
  EXPECT_EQ(LibraryVerify(medium, Digest(data, false), value), 0);
  EXPECT_EQ(LibraryVerify(medium, Digest(data, true), value), DZ_LIB_BAD_SIGNATURE);

  const Signed ordinary = Sign(*binding, medium, data, true);
  ASSERT_EQ(ordinary.result, 0);
  value = ordinary.block.data() + 6;
  EXPECT_EQ(LibraryVerify(medium, Digest(data, true), value), 0);
  EXPECT_EQ(LibraryVerify(medium, Digest(data, false), value), DZ_LIB_BAD_SIGNATURE);
}

TEST_F(BindingSign, ZeroLengthGivesMinus4AfterTheUIDIsReadAndWritesNothing) {
  const KeyMedium medium = MakeMedium("User5");
  const uint8_t byte = 7;
  Bytes out(400, 0xEE);
  int32_t length = 123;
  const KeySettings& s = medium.settings;
  EXPECT_EQ(binding->SignBuffer(&byte, 0, out.data(), length, s.publicKeyPath, s.secretKeyPath,
                                s.correspondentsDir, s.caDir, 60, 5, true), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->SignBuffer(nullptr, 1, out.data(), length, s.publicKeyPath, s.secretKeyPath,
                                s.correspondentsDir, s.caDir, 60, 5, true), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(binding->SignBuffer(&byte, 1, nullptr, length, s.publicKeyPath, s.secretKeyPath,
                                s.correspondentsDir, s.caDir, 60, 5, true), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(out, Bytes(400, 0xEE));
  EXPECT_EQ(length, 123);

  // The UID comes first: without a public-key file even a zero length gives -11.
  fs::remove(s.publicKeyPath);
  EXPECT_EQ(binding->SignBuffer(&byte, 0, out.data(), length, s.publicKeyPath, s.secretKeyPath,
                                s.correspondentsDir, s.caDir, 60, 5, true), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(out, Bytes(400, 0xEE));
}

TEST_F(BindingSign, MissingSecretKeyFileGivesMinus10AfterTheUIDIsWritten) {
  const KeyMedium medium = MakeMedium("User5");
  fs::remove(medium.settings.secretKeyPath);
  const Bytes data = Pattern(10, 7);
  Bytes out(400, 0xEE);
  int32_t length = 123;
  const KeySettings& s = medium.settings;
  EXPECT_EQ(binding->SignBuffer(data.data(), 10, out.data(), length, s.publicKeyPath, s.secretKeyPath,
                                s.correspondentsDir, s.caDir, 60, 5, true), DZ_E_SECRET_KEY);
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
class BindingSignFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    variant = std::make_unique<LibraryVariant>(BinFile("libcrypt_faulty.dll"));
    dll = std::make_unique<TCryptoC_DLL>();
    ASSERT_TRUE(dll->Complete);
    force = reinterpret_cast<ForceResultFn>(
        platform::FindModuleSymbol(RurovLibraryHandleForTesting(), "RuroV_TestHook_ForceResult"));
    ASSERT_NE(force, nullptr);
    fs::create_directories(temp / "u");
    settings.publicKeyPath = temp / "u/self.pub";
    settings.secretKeyPath = temp / "u/self.sec";
    settings.correspondentsDir = temp / "u/ab/";
    ASSERT_EQ(dll->GenerateKeyPair(kGost2001, "User5", settings.publicKeyPath, settings.secretKeyPath), 0);
  }
  void TearDown() override {
    dll.reset();
    variant.reset();
  }

  int32_t Sign(Bytes& out, int32_t& length) {
    const Bytes data = Pattern(50, 9);
    out.assign(400, 0xEE);
    const KeySettings& s = settings;
    return dll->SignBuffer(data.data(), 50, out.data(), length, s.publicKeyPath, s.secretKeyPath,
                           s.correspondentsDir, s.caDir, 60, 5, true);
  }

  TempDir temp;
  KeySettings settings;
  std::unique_ptr<LibraryVariant> variant;
  std::unique_ptr<TCryptoC_DLL> dll;
  ForceResultFn force = nullptr;
};

TEST_F(BindingSignFaults, FailingSignCallStillReportsTheLengthAndCommitsTheState) {
  Bytes out;
  int32_t length = -1;
  ASSERT_EQ(force("RuroV_LR34_10_2001_sign", 9, 1), 0);
  TLibraryState before;
  dll->SnapshotState(before);
  EXPECT_EQ(Sign(out, length), 9);
  EXPECT_EQ(length, 5 + 1 + 64);
  TLibraryState after;
  dll->SnapshotState(after);
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
  EXPECT_EQ(dll->HashGost(data.data(), 70000, hash.data()), 4);
  ASSERT_EQ(force("RuroV_R34_11_1994_update", 11, 1), 0);
  EXPECT_EQ(dll->HashOldFormat(data.data(), 70000, hash.data()), 11);
  ASSERT_EQ(force("RuroV_R34_11_1994_final", 12, 1), 0);
  EXPECT_EQ(dll->HashGost(data.data(), 70000, hash.data()), 12);
  EXPECT_EQ(hash, Bytes(kHashSize, 0xAA));

  int32_t size = 99;
  ASSERT_EQ(force("RuroV_R34_11_1994_final", 12, 1), 0);
  EXPECT_EQ(dll->HashWithFormat(data.data(), 70000, 2, nullptr, true, size), 12);
  EXPECT_EQ(size, 99);
}

}  // namespace
}  // namespace dizora::binding_test
