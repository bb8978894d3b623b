// Verification of data over 65535 bytes hashes the data once when the
// signature was made over the ordinary hash, and computes the legacy digest
// only after that check answered code 5. Counted through the library state
// block, whose counter every hash operation advances.
#include <string>

#include "binding_fixture.h"

namespace dizora::binding_test {
namespace {

using namespace rurov;

constexpr size_t kOverOnePiece = 70000;

class VerifyHashOnce : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    signer = MakeMedium("Signer01", kGost2001);
    verifier = MakeMedium("Verifier", kGost2001);
    AddCorrespondent(verifier, signer);
    verifierBinding = std::make_unique<TCryptoC_DLL>();
    data.resize(kOverOnePiece);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 10));
  }
  void TearDown() override {
    verifierBinding.reset();
    BindingTest::TearDown();
  }

  Bytes Sign(bool gostHash) {
    Bytes block(kMaxUIDLength + 1 + kSignatureValueSize, 0);
    int32_t length = 0;
    const TKeySettings& s = signer.settings;
    EXPECT_EQ(binding->SignBuffer(data.data(), static_cast<int32_t>(data.size()), block.data(), length, s, gostHash),
              0);
    block.resize(static_cast<size_t>(length));
    return block;
  }

  // The verifier's state block after a verification from `start`.
  TLibraryState StateAfterVerify(const TLibraryState& start, const Bytes& block, int32_t& result) {
    Access::SetState(*verifierBinding, start);
    std::string uid;
    result = verifierBinding->VerifySignature(data.data(), static_cast<int32_t>(data.size()), block.data(),
                                              static_cast<int32_t>(block.size()), uid, verifier.settings);
    return Access::State(*verifierBinding);
  }

  // The state block after the given hash operations from `start`.
  TLibraryState StateAfterHashes(const TLibraryState& start, bool legacyToo) {
    Access::SetState(*verifierBinding, start);
    uint8_t hash[kHashSize];
    const auto size = static_cast<int32_t>(data.size());
    EXPECT_EQ(Access::HashGost(*verifierBinding, data.data(), size, hash), 0);
    if (legacyToo) {
      EXPECT_EQ(Access::HashOldFormat(*verifierBinding, data.data(), size, hash), 0);
    }
    return Access::State(*verifierBinding);
  }

  KeyMedium signer, verifier;
  std::unique_ptr<TCryptoC_DLL> verifierBinding;
  Bytes data;
};

TEST_F(VerifyHashOnce, OrdinaryHashSignatureHashesTheDataOnce) {
  const Bytes block = Sign(true);
  // Warm the verifier's key cache first: it does not touch the state.
  int32_t result = -1;
  const TLibraryState start = Access::State(*verifierBinding);
  (void)StateAfterVerify(start, block, result);
  ASSERT_EQ(result, 0);

  const TLibraryState afterVerify = StateAfterVerify(start, block, result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(afterVerify, StateAfterHashes(start, false));
  EXPECT_NE(afterVerify, StateAfterHashes(start, true));
}

TEST_F(VerifyHashOnce, LegacySignatureComputesTheLegacyDigestAfterTheMismatch) {
  const Bytes block = Sign(false);
  int32_t result = -1;
  const TLibraryState start = Access::State(*verifierBinding);
  (void)StateAfterVerify(start, block, result);
  ASSERT_EQ(result, 0);

  const TLibraryState afterVerify = StateAfterVerify(start, block, result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(afterVerify, StateAfterHashes(start, true));
}

TEST_F(VerifyHashOnce, AlteredDataTriesBothDigestsAndFails) {
  const Bytes block = Sign(true);
  data[kOverOnePiece - 1] ^= 1;
  int32_t result = -1;
  const TLibraryState start = Access::State(*verifierBinding);
  (void)StateAfterVerify(start, block, result);
  const TLibraryState afterVerify = StateAfterVerify(start, block, result);
  EXPECT_EQ(result, DZ_LIB_BAD_SIGNATURE);
  EXPECT_EQ(afterVerify, StateAfterHashes(start, true));
}

}  // namespace
}  // namespace dizora::binding_test
