// Key files, public-key records and transfers read back by an independent
// parser and checked field by field against what the engine was given, the
// stored public keys against the secret keys by independent arithmetic; and a
// transfer built and signed independently opened by the engine.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "api/transfer_media.h"
#include "oracle_party.h"

namespace oracle {
namespace {

// The signature key in the public-key record is d G (-2001) or a^x (-94) of
// the secret, and the exchange key is a^x of the exchange secret.
void ExpectKeysBelongTogether(const PublicKeyRecord& pub, const SecretKeyFile& sec) {
  EXPECT_EQ(pub.algorithm, sec.algorithm);
  if (pub.algorithm == kGost2001) {
    EXPECT_TRUE(OnCurve2001(pub.signatureKey.data())) << pub.uid;
    EXPECT_EQ(PublicKey2001(sec.signatureKey.data()), pub.signatureKey) << pub.uid;
  } else {
    EXPECT_TRUE(InSubgroup94(pub.signatureKey.data())) << pub.uid;
    EXPECT_EQ(PublicKey94(sec.signatureKey.data()), pub.signatureKey) << pub.uid;
  }
  EXPECT_TRUE(InSubgroup94(pub.exchangeKey.data())) << pub.uid;
  EXPECT_EQ(ExchangePublicKey(sec.exchangeKey.data()), pub.exchangeKey) << pub.uid;
}

// The transfer text as signed data: its 776-byte record and signature block.
SignedData OpenTransfer(const std::string& text) {
  const auto decoded = DecodeBase64(text);
  EXPECT_TRUE(decoded) << "not base64: " << text;
  if (!decoded) return {};
  const auto signedData = ReadSignedData(*decoded);
  EXPECT_TRUE(signedData) << "no signature trailer";
  return signedData.value_or(SignedData{});
}

class KeyRecordOracle : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(client.Make(kClientUid, GetParam()));
    ASSERT_NO_FATAL_FAILURE(bank.Make("Bank", "2001"));
    ASSERT_NO_FATAL_FAILURE(client.Know(bank));
    ASSERT_NO_FATAL_FAILURE(bank.Know(client));
  }
  int32_t Algorithm() const { return std::string(GetParam()) == "2001" ? kGost2001 : kGost94; }

  // A Windows-1251 UID with a blank: the bytes must pass through unchanged.
  static constexpr char kClientUid[] = "\xCA\xEB\xE8\xE5\xED\xF2 7";
  Party client, bank;
};

TEST_P(KeyRecordOracle, GeneratedKeyFilesHoldWhatTheEngineWasGiven) {
  // Party::Make has read both files by their layouts.
  EXPECT_EQ(client.pub.uid, kClientUid);
  EXPECT_EQ(client.pub.algorithm, Algorithm());
  EXPECT_EQ(client.sec.algorithm, Algorithm());
  ExpectKeysBelongTogether(client.pub, client.sec);
  ExpectKeysBelongTogether(bank.pub, bank.sec);
  // Two key pairs share no key.
  EXPECT_NE(client.sec.exchangeKey, bank.sec.exchangeKey);
  EXPECT_NE(client.pub.exchangeKey, bank.pub.exchangeKey);
}

// Every export that makes a transfer: the own key, a correspondent's, a file's.
TEST_P(KeyRecordOracle, TransfersCarryTheRecordSignedBySender) {
  const std::string bankFile = bank.medium.pub;
  struct Case {
    const char* how;
    const Party& sender;
    const Party& owner;
    std::function<int32_t(DizoraEngine, char*)> make;
  };
  const std::vector<Case> cases = {
      {"by UID", client, client, [](DizoraEngine e, char* t) { return GetPublicKeyTransfer(e, kClientUid, t); }},
      {"own", client, client, [](DizoraEngine e, char* t) { return ExcludeSelfPublicKeyTransfer(e, t); }},
      {"of a correspondent", client, bank, [](DizoraEngine e, char* t) { return GetPublicKeyTransfer(e, "Bank", t); }},
      {"of a file", client, bank,
       [&](DizoraEngine e, char* t) { return GetPublicKeyTransferByFile(e, t, bankFile.c_str()); }},
      {"by the other side", bank, client,
       [](DizoraEngine e, char* t) { return GetPublicKeyTransfer(e, kClientUid, t); }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("transfer ") + c.how);
    std::vector<char> text(static_cast<size_t>(GetMaxPublicKeyTransferSize(c.sender.engine)) + 1, 0);
    ASSERT_EQ(c.make(c.sender.engine, text.data()), 0);
    const SignedData s = OpenTransfer(text.data());
    const auto transfer = ReadTransferRecord(s.data);
    ASSERT_TRUE(transfer) << "transfer record of " << s.data.size() << " bytes";
    EXPECT_EQ(transfer->fileName, "tran.pub");
    EXPECT_EQ(transfer->record, dz_api_test::ReadFileBytes(c.owner.medium.pub));
    const auto record = ReadPublicKeyRecord(transfer->record);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->uid, c.owner.pub.uid);
    EXPECT_EQ(s.signature.uid, c.sender.pub.uid);
    EXPECT_TRUE(SignatureVerifies(c.sender.pub, Hash(s.data), s.signature.value.data()));
    // Saved from the transfer, the record is the file again.
    dz_api_test::TempDir out;
    ASSERT_EQ(SavePublicKeyFromTransfer(c.sender.engine, out.str().c_str(), text.data()), 0);
    EXPECT_EQ(dz_api_test::ReadFileBytes(out / "tran.pub"), transfer->record);
  }
}

TEST_P(KeyRecordOracle, IndependentTransferOpensInTheEngine) {
  // The client passes on a third key, signed by the oracle with its secret.
  Party third;
  ASSERT_NO_FATAL_FAILURE(third.Make("Third", "1994"));
  const Bytes record = dz_api_test::ReadFileBytes(third.medium.pub);
  const Bytes data = WriteTransferRecord("keys\\third.pub", record);
  const Bytes value = SignatureOf(client.sec, Hash(data));
  const std::string text = transfer_test::Base64(WriteSignedData(data, WriteSignatureBlock(kClientUid, value)));

  char uid[256] = {};
  ASSERT_EQ(GetUIDByPublicKeyTransfer(bank.engine, text.c_str(), uid), 0);
  EXPECT_STREQ(uid, "Third");
  dz_api_test::TempDir out;
  ASSERT_EQ(SavePublicKeyFromTransfer(bank.engine, out.str().c_str(), text.c_str()), 0);
  EXPECT_EQ(dz_api_test::ReadFileBytes(out / "third.pub"), record);
  ASSERT_EQ(IncludePublicKeyTransfer(bank.engine, text.c_str()), 0);
  std::vector<char> back(static_cast<size_t>(GetMaxPublicKeyTransferSize(bank.engine)) + 1, 0);
  ASSERT_EQ(GetPublicKeyTransfer(bank.engine, "Third", back.data()), 0);
  const auto again = ReadTransferRecord(OpenTransfer(back.data()).data);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->record, record);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, KeyRecordOracle, ::testing::Values("2001", "1994"),
                         [](const auto& info) { return std::string("Gost") + info.param; });

}  // namespace
}  // namespace oracle
