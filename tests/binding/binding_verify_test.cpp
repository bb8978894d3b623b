// The binding's signature verification: the block format, the signer's key
// from the public-key cache, the second attempt against the legacy digest.
#include <string>

#include "binding_fixture.h"
#include "platform/dynlib.h"

namespace dizora::binding_test {
namespace {

using namespace rurov;

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 29 + seed * 13 + (i >> 9)) & 0xFF);
  return bytes;
}

Bytes Block(const std::string& uid, size_t valueLength, uint8_t fill = 0x11) {
  Bytes block(uid.begin(), uid.end());
  block.push_back(0);
  block.insert(block.end(), valueLength, fill);
  return block;
}

Bytes SignWith(TCryptoC_DLL& dll, const KeyMedium& medium, const Bytes& data, bool gostHash) {
  Bytes block(kMaxUIDLength + 1 + kSignatureValueSize, 0);
  int32_t length = 0;
  const int32_t result = dll.SignBuffer(data.data(), static_cast<int32_t>(data.size()), block.data(), length,
                                        medium.settings, gostHash);
  EXPECT_EQ(result, 0) << "signing as " << medium.uid;
  block.resize(static_cast<size_t>(length));
  return block;
}

int32_t VerifyWith(TCryptoC_DLL& dll, const TKeySettings& s, const Bytes& data, const Bytes& block,
                   std::string& signer) {
  return dll.VerifySignature(data.empty() ? nullptr : data.data(), static_cast<int32_t>(data.size()),
                             block.data(), static_cast<int32_t>(block.size()), signer, s);
}

// A signer of each algorithm and a verifier that has both public keys in its
// correspondents' directory; the verifier works through its own binding.
class BindingVerify : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    signer01 = MakeMedium("Signer01", kGost2001);
    signer94 = MakeMedium("Signer94", kGost1994);
    verifier = MakeMedium("Verifier", kGost2001);
    AddCorrespondent(verifier, signer01);
    AddCorrespondent(verifier, signer94);
    verifierBinding = std::make_unique<TCryptoC_DLL>();
  }
  void TearDown() override {
    verifierBinding.reset();
    BindingTest::TearDown();
  }

  int32_t Verify(const Bytes& data, const Bytes& block, std::string& signer) {
    return VerifyWith(*verifierBinding, verifier.settings, data, block, signer);
  }

  KeyMedium signer01, signer94, verifier;
  std::unique_ptr<TCryptoC_DLL> verifierBinding;
};

TEST_F(BindingVerify, AlteredDataOrSignatureIsNotValid) {
  const Bytes data = Pattern(3000, 2);
  for (const KeyMedium* medium : {&signer01, &signer94}) {
    const Bytes block = SignWith(*binding, *medium, data, true);
    binding->ReleaseKeys();
    std::string signer;
    Bytes altered = data;
    altered[1234] ^= 0x01;
    EXPECT_EQ(Verify(altered, block, signer), DZ_LIB_BAD_SIGNATURE) << medium->uid;
    Bytes badBlock = block;
    badBlock[medium->uid.size() + 1 + 40] ^= 0x80;
    EXPECT_NE(Verify(data, badBlock, signer), 0) << medium->uid;
  }
}

TEST_F(BindingVerify, MalformedBlocksGiveMinus14AndLeaveTheSignerUntouched) {
  const Bytes data = Pattern(100, 3);
  const std::string uid255(255, 'U');
  const std::vector<Bytes> blocks = {
      Block("", 64),             // empty UID
      Block(uid255, 64),         // UID of 255 characters
      Block("Signer01", 0),      // no signature value
      Block("Signer01", 63),     // the library would read 64 bytes
      Block("Signer01", 1),
      Block("Signer01", 65),     // longer than a signature value
      Bytes(300, 'A'),           // no terminator anywhere
  };
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::string signer = "untouched";
    EXPECT_EQ(Verify(data, blocks[i], signer), DZ_E_SIGNATURE_FORMAT) << "block " << i;
    EXPECT_EQ(signer, "untouched") << "block " << i;
  }

  // A length shorter than the UID and its terminator, and a null block.
  const Bytes block = Block("Signer01", 64);
  std::string signer = "untouched";
  const TKeySettings& s = verifier.settings;
  for (int32_t length : {8, 5, 0, -1, -100}) {
    EXPECT_EQ(verifierBinding->VerifySignature(data.data(), 100, block.data(), length, signer, s),
              DZ_E_SIGNATURE_FORMAT) << length;
  }
  EXPECT_EQ(verifierBinding->VerifySignature(data.data(), 100, nullptr, 73, signer, s),
            DZ_E_SIGNATURE_FORMAT);
  EXPECT_EQ(signer, "untouched");
}

TEST_F(BindingVerify, UIDOf254CharactersIsAccepted) {
  const KeyMedium longSigner = MakeMedium(std::string(254, 'L'), kGost2001, temp / "long");
  AddCorrespondent(verifier, longSigner, "long.pub");
  const Bytes data = Pattern(200, 4);
  const Bytes block = SignWith(*binding, longSigner, data, true);
  ASSERT_EQ(block.size(), 254u + 65u);
  std::string signer;
  EXPECT_EQ(Verify(data, block, signer), 0);
  EXPECT_EQ(signer, longSigner.uid);
}

TEST_F(BindingVerify, UnknownSignerGivesMinus11WithTheUIDReported) {
  const Bytes data = Pattern(100, 5);
  std::string signer;
  EXPECT_EQ(Verify(data, Block("Stranger", 64), signer), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(signer, "Stranger");
}

TEST_F(BindingVerify, NullOrEmptyDataGivesMinus4) {
  const Bytes block = Block("Signer01", 64);
  std::string signer = "untouched";
  const TKeySettings& s = verifier.settings;
  EXPECT_EQ(verifierBinding->VerifySignature(nullptr, 10, block.data(), 73, signer, s),
            DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(signer, "untouched") << "a null data pointer is refused before the block is read";
  const uint8_t byte = 0;
  EXPECT_EQ(verifierBinding->VerifySignature(&byte, 0, block.data(), 73, signer, s),
            DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(signer, "Signer01") << "the signer is reported before hashing";
}

TEST_F(BindingVerify, LegacyDigestSignaturesVerifyAboveOnePiece) {
  for (size_t size : {size_t{65536}, size_t{2 * 65535 + 7}}) {
    const Bytes data = Pattern(size, 6);
    const Bytes legacy = SignWith(*binding, signer01, data, false);
    const Bytes ordinary = SignWith(*binding, signer94, data, true);
    std::string signer;
    EXPECT_EQ(Verify(data, legacy, signer), 0) << size;
    EXPECT_EQ(Verify(data, ordinary, signer), 0) << size;
    Bytes altered = data;
    altered[size - 1] ^= 0x55;  // beyond the first piece: the legacy digest misses it
    EXPECT_EQ(Verify(altered, ordinary, signer), DZ_LIB_BAD_SIGNATURE) << size;
    altered = data;
    altered[3] ^= 0x55;
    EXPECT_EQ(Verify(altered, legacy, signer), DZ_LIB_BAD_SIGNATURE) << size;
  }
}

TEST_F(BindingVerify, RecordOfAnUnknownAlgorithmIsNeverValid) {
  // A record of algorithm 2 and UID length + 133 bytes passes the cache's size check.
  Bytes record = Block("Weird", 0);
  record.insert(record.end(), {2, 0, 0, 0});
  record.insert(record.end(), 128, 0x42);
  WriteFileBytes(verifier.settings.CorrespondentsDir + "weird.pub", record);
  Bytes key;
  int32_t algorithm = -7;
  ASSERT_EQ(GetKey(verifier, "Weird", false, key, algorithm), 0);
  ASSERT_EQ(algorithm, 2);
  binding->ReleaseKeys();

  std::string signer;
  EXPECT_EQ(Verify(Pattern(10, 7), Block("Weird", 64), signer), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(signer, "Weird");
}

// A GOST R 34.10-94 correspondent whose key lies in range but outside the
// order-q subgroup (2): every verification under it answers the library's
// bad-key code, whatever the data's length (no second attempt follows it).
TEST_F(BindingVerify, KeyOutsideTheSubgroupIsRefusedWithCode3) {
  const std::string uid = "Outsider94";
  const Bytes own = ReadFileBytes(signer94.settings.PublicKeyPath);
  const size_t keys = signer94.uid.size() + 1 + 4;  // past the UID, its terminator and the algorithm
  ASSERT_GE(own.size(), keys + 128);
  Bytes record(uid.begin(), uid.end());
  record.push_back(0);
  record.insert(record.end(), own.begin() + static_cast<std::ptrdiff_t>(signer94.uid.size() + 1), own.end());
  const size_t at = uid.size() + 1 + 4;
  std::fill(record.begin() + static_cast<std::ptrdiff_t>(at), record.begin() + static_cast<std::ptrdiff_t>(at + 128),
            uint8_t{0});
  record[at] = 2;
  WriteFileBytes(verifier.settings.CorrespondentsDir + "outsider.pub", record);
  for (const size_t size : {size_t{64}, size_t{70000}}) {
    const Bytes data = Pattern(size, 9);
    const Bytes signed94 = SignWith(*binding, signer94, data, size <= 65535);
    Bytes block(uid.begin(), uid.end());
    block.push_back(0);
    block.insert(block.end(), signed94.end() - kSignatureValueSize, signed94.end());
    std::string signer;
    EXPECT_EQ(Verify(data, block, signer), DZ_LIB_BAD_KEY) << size;
    EXPECT_EQ(signer, uid);
    EXPECT_EQ(Verify(data, signed94, signer), 0) << "the signer's own key, " << size;
  }
}

// The second attempt and library failures, forced through the fault-injecting build.
class BindingVerifyFaults : public FaultyLibraryTest {
 protected:
  int32_t Verify(const Bytes& data, const Bytes& block) {
    std::string signer;
    return VerifyWith(*dll, medium.settings, data, block, signer);
  }
};

TEST_F(BindingVerifyFaults, SecondAttemptOnlyAboveOnePieceAndOnlyForCode5) {
  // 65535 bytes: the legacy digest is the hash itself, so no second call.
  const Bytes piece = Pattern(65535, 8);
  const Bytes pieceBlock = SignWith(*dll, medium, piece, false);
  ASSERT_EQ(force("RuroV_LR34_10_2001_verify", 5, 1), 0);
  EXPECT_EQ(Verify(piece, pieceBlock), DZ_LIB_BAD_SIGNATURE);
  EXPECT_EQ(Verify(piece, pieceBlock), 0);

  // Above one piece a first 5 is retried against the legacy digest.
  const Bytes data = Pattern(65536, 9);
  const Bytes legacy = SignWith(*dll, medium, data, false);
  ASSERT_EQ(force("RuroV_LR34_10_2001_verify", 5, 1), 0);
  EXPECT_EQ(Verify(data, legacy), 0);

  // Any other first code is returned unchanged.
  ASSERT_EQ(force("RuroV_LR34_10_2001_verify", 9, 1), 0);
  EXPECT_EQ(Verify(data, legacy), 9);
}

TEST_F(BindingVerifyFaults, ErrorOfTheSecondAttemptIsReportedAs5) {
  const Bytes data = Pattern(70000, 10);
  Bytes zeroValue = Block(medium.uid, 64, 0);  // r = 0: the library refuses it with its own code
  const int32_t plain = Verify(data, zeroValue);
  ASSERT_NE(plain, 0);
  ASSERT_NE(plain, DZ_LIB_BAD_SIGNATURE) << "the library's code for a zero value is not 5";
  ASSERT_EQ(force("RuroV_LR34_10_2001_verify", 5, 1), 0);
  EXPECT_EQ(Verify(data, zeroValue), DZ_LIB_BAD_SIGNATURE);
}

TEST_F(BindingVerifyFaults, SetUpFailuresPassThrough) {
  const Bytes data = Pattern(100, 11);
  const Bytes block = SignWith(*dll, medium, data, true);
  ASSERT_EQ(force("RuroV_LR34_10_2001_set_parms", 3, 1), 0);
  EXPECT_EQ(Verify(data, block), 3);
  ASSERT_EQ(force("RuroV_LR34_10_2001_set_public_key", 4, 1), 0);
  EXPECT_EQ(Verify(data, block), 4);
  ASSERT_EQ(force("RuroV_R34_11_1994_final", 12, 1), 0);
  EXPECT_EQ(Verify(data, block), 12);
  EXPECT_EQ(Verify(data, block), 0);
}

TEST_F(BindingVerifyFaults, OnlyTheHashStoresALibraryState) {
  const Bytes data = Pattern(100, 12);
  const Bytes block = SignWith(*dll, medium, data, true);
  ASSERT_EQ(Verify(data, block), 0);  // fills the cache
  TLibraryState start = Access::State(*dll);
  ASSERT_EQ(Verify(data, block), 0);
  TLibraryState afterVerify = Access::State(*dll);

  Access::SetState(*dll, start);
  Bytes hash(kHashSize, 0);
  ASSERT_EQ(Access::HashGost(*dll, data.data(), 100, hash.data()), 0);
  TLibraryState afterHash = Access::State(*dll);
  EXPECT_NE(afterHash, start);
  EXPECT_EQ(afterVerify, afterHash) << "the signature check must use a state block of its own";
}

}  // namespace
}  // namespace dizora::binding_test
