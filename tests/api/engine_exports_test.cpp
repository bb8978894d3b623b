// The exported frame and the engine's settings, through the public interface.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "dizora.h"

namespace {

struct Engine {
  DizoraEngine h = GetCryptObj(0);
  ~Engine() { DoneEngine(h); }
  operator DizoraEngine() const { return h; }
};

std::string ParamName(DizoraEngine e, int32_t i) {
  std::array<char, 256> b;
  b.fill('x');
  GetCryptoParamName(e, i, b.data());
  return b.data();
}

std::string ParamValue(DizoraEngine e, int32_t i) {
  std::array<char, 256> b;
  b.fill('x');
  GetCryptoParamValue(e, i, b.data());
  return b.data();
}

TEST(ExportFrame, FilePathLengthIgnoresHandle) {
  Engine e;
  EXPECT_EQ(GetMaxFilePathLength(nullptr), 255);
  EXPECT_EQ(GetMaxFilePathLength(e), 255);
}

TEST(ExportFrame, OperationsOtherEnginesImplementAnswerMinusOne) {
  Engine e;
  EXPECT_EQ(SignFile(e, 1), -1);
  EXPECT_EQ(VerifyFile(e, 1, 2), -1);
  EXPECT_EQ(RemoveSignaturesFromFile(e, 1), -1);
  EXPECT_EQ(TransSignatureFromFileToTM(e), -1);
  EXPECT_EQ(TransPrivateKeyFromFileToTM(e), -1);
  EXPECT_EQ(GetPureSign(e, 1, 2, 3, 4, 5), -1);
  EXPECT_EQ(ShowCertificate(e, 1), -1);
  EXPECT_EQ(GetUIDByCertIdent(e, 1, 2), -1);
  EXPECT_EQ(InstallCertsInMyStore(e, 1), -1);
  EXPECT_EQ(RegisterOIDInfo(e, "1.2.3", "\xC3\xCE\xD1\xD2"), -1);
  EXPECT_EQ(IncludeCRL(e, 1), -1);
  EXPECT_EQ(IncludeCACertificateFromTransfer(e, 1), -1);
  EXPECT_EQ(ConvertTransferToSignedRequest(e, 1), -1);
  EXPECT_EQ(IsDifferentKeys(e), 0);
  int32_t match = 7;
  EXPECT_EQ(CertAndRequestTransferMatch(e, 1, 2, &match), 0);
  EXPECT_EQ(match, -1);
}

TEST(ExportFrame, LastErrorMessageIsAlwaysEmpty) {
  Engine e;
  char buf[8] = "xxxxxxx";
  GetLastErrorMessage(e, buf);
  EXPECT_EQ(buf[0], '\0');
  GetLastErrorMessage(e, nullptr);  // the assertion failure stays inside
}

TEST(EngineSettings, ThirteenSettingsWithTheirDefaults) {
  Engine e;
  ASSERT_EQ(GetCryptoParamNumber(e), 13);
  const char* names[] = {"User PKey/Certificate", "User Secret key", "Abonents dir", "CA dir",
                         "Encrypt Method", "Encrypt for UID", "Key request time out",
                         "Last operation key time out", "Key gen - GOST", "Key gen - UID",
                         "Key gen - PKey filename", "Key gen - SKey filename", "Hash method"};
#ifdef _WIN32
  // The key medium is the floppy drive A:.
  const char* values[] = {"A:\\self.pub", "A:\\self.sec", "A:\\ABONENTS", "A:\\CA", "1", "User1", "60", "5",
                          "2001", "User2", "A:\\new.pub", "A:\\new.sec", ""};
#else
  const char* values[] = {"%ZRNRoot%self.pub", "%ZRNRoot%self.sec", "%ZRNRoot%ABONENTS", "%ZRNRoot%CA",
                          "1", "User1", "60", "5", "2001", "User2", "%ZRNRoot%new.pub",
                          "%ZRNRoot%new.sec", ""};
#endif
  for (int32_t i = 1; i <= 13; ++i) {
    EXPECT_EQ(ParamName(e, i), names[i - 1]) << i;
    EXPECT_EQ(ParamValue(e, i), values[i - 1]) << i;
  }
  EXPECT_EQ(ParamName(e, 0), "");
  EXPECT_EQ(ParamName(e, 14), "");
  EXPECT_EQ(ParamValue(e, -1), "");
}

TEST(EngineSettings, SetValueStoresTextWithoutChecks) {
  Engine e;
  EXPECT_EQ(SetCryptoParamValue(e, 7, "not a number"), 0);
  EXPECT_EQ(ParamValue(e, 7), "not a number");
  EXPECT_EQ(SetCryptoParamValue(e, 1, nullptr), 0);
  EXPECT_EQ(ParamValue(e, 1), "");
  EXPECT_EQ(SetCryptoParamValue(e, 14, "x"), -1);
  EXPECT_EQ(SetCryptoParamValue(e, 0, "x"), -1);
  // Engines keep their own settings.
  Engine other;
  EXPECT_EQ(ParamValue(other, 7), "60");
}

TEST(EngineSettings, LongValueIsStoredWholeButCopiedBounded) {
  Engine e;
  const std::string long_value(1000, 'v');
  ASSERT_EQ(SetCryptoParamValue(e, 6, long_value.c_str()), 0);
  std::array<char, 300> b;
  b.fill('x');
  GetCryptoParamValue(e, 6, b.data());
  EXPECT_EQ(std::strlen(b.data()), 255u);
  EXPECT_EQ(b[256], 'x');  // nothing written past the terminator
}

TEST(EngineSettings, ParamInfoSizesAndCopies) {
  Engine e;
  int32_t kind = 0, size = 0;
  EXPECT_EQ(GetParamInfo(e, 9, &kind, nullptr, &size), 0);
  EXPECT_EQ(kind, 7);
  EXPECT_EQ(size, 11);
  char buf[32];
  std::memset(buf, 'z', sizeof buf);
  size = 5;
  EXPECT_EQ(GetParamInfo(e, 9, &kind, buf, &size), -4);
  EXPECT_EQ(size, 11);
  EXPECT_EQ(buf[0], 'z');
  size = 11;
  EXPECT_EQ(GetParamInfo(e, 9, &kind, buf, &size), 0);
  EXPECT_EQ(std::memcmp(buf, "1994\r\n2001", 11), 0);
  kind = 42;
  EXPECT_EQ(GetParamInfo(e, 0, &kind, buf, &size), -28);
  EXPECT_EQ(GetParamInfo(e, 14, &kind, buf, &size), -28);
  EXPECT_EQ(kind, 42);
  size = 64;
  EXPECT_EQ(GetParamInfo(e, 3, &kind, buf, &size), 0);
  EXPECT_EQ(kind, 11);
  EXPECT_STREQ(buf, "*.pub");
  EXPECT_EQ(size, 6);
}

// The limits a host sizes its buffers by, in one place; the outputs that
// reach them are checked where they are made (254-character UIDs, a signature
// of 319 bytes, the largest report).
TEST(SizeQueries, DocumentedLimits) {
  Engine e;
  const std::pair<int32_t, int32_t> limits[] = {
      {GetMaxUIDLength(e), 254},          {GetMaxSignatureLength(e), 319},
      {GetMaxSignAddition(e), 323},       {GetMaxEncodeAddition(e), 30579},
      {GetMaxPublicKeyTransferSize(e), 2198}, {GetMaxReportSize(e), 2048},
      {GetMaxPublicKeyPropertiesLength(e), 2048}, {GetMaxFilePathLength(nullptr), 255},
      {GetMaxCryptoParamNameLength(e), 255}, {GetMaxCryptoParamValueLength(e), 255},
      {GetMaxErrorStringLength(e), 255},  {GetMaxPasswordLength(e), 255}};
  for (size_t i = 0; i < std::size(limits); ++i) EXPECT_EQ(limits[i].first, limits[i].second) << "row " << i;
  // Per recipient 303 bytes (a UID of 254 characters) and 279 for the block;
  // no list at all allows for 100 recipients.
  EXPECT_EQ(GetMaxAdditionEx(e, "Bob"), 303 + 279);
  EXPECT_EQ(GetMaxAdditionEx(e, "Bob;Carol;"), 303 * 3 + 279);  // the empty item counts
  EXPECT_EQ(GetMaxAdditionEx(e, ""), GetMaxEncodeAddition(e));
  EXPECT_EQ(GetMaxAdditionEx(e, nullptr), GetMaxEncodeAddition(e));
}

TEST(ErrorStrings, SuccessAndOutOfRangeCodes) {
  Engine e;
  char buf[300];
  std::memset(buf, 'x', sizeof buf);
  GetCryptoErrorString(e, 0, buf);
  EXPECT_STREQ(buf, "\xC7\xE0\xE2\xE5\xF0\xF8\xE5\xED\xE8\xE5 \xE1\xE5\xE7 \xEE\xF8\xE8\xE1\xEE\xEA.");
  for (int i = static_cast<int>(std::strlen(buf)); i < 255; ++i) ASSERT_EQ(buf[i], '\0') << i;
  EXPECT_EQ(buf[255], 'x');
  GetCryptoErrorString(e, 16, buf);
  EXPECT_STREQ(buf, "");
  GetCryptoErrorString(e, -31, buf);
  EXPECT_STREQ(buf, "");
}

}  // namespace
