// What the exports do with the caller's memory: a null in place of any
// pointer argument, and output buffers of exactly the size that the size
// queries (or the documented rule) give, followed by guard bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dizora.h"
#include "transfer_media.h"

namespace {

using namespace transfer_test;

constexpr int32_t kNoResult = INT32_MIN;  // marks the exports without a result
constexpr int32_t kUIDBuffer = 255;       // GetMaxUIDLength + 1: the documented UID buffer
constexpr size_t kGuardSize = 256;  // past any fixed-size UID buffer
constexpr uint8_t kGuard = 0xA5;

struct Case {
  const char* call;
  int32_t expected;
  std::function<int32_t()> run;
};

#define RESULT(expected, call) \
  Case { #call, expected, [&]() -> int32_t { return call; } }
#define NO_RESULT(call) \
  Case { #call, kNoResult, [&]() -> int32_t { call; return kNoResult; } }

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(c.run(), c.expected) << c.call;
}

// A 254-character UID: the longest a key may carry.
std::string LongestUID() {
  std::string uid = "\xCA\xEB\xE8\xE5\xED\xF2 ";  // "Клиент " in Windows-1251
  while (uid.size() < 254) uid += static_cast<char>('A' + uid.size() % 26);
  return uid;
}

// Every pointer argument of every export, one at a time, is null: exports
// with a result answer -4 (a null handle: their exception value), those
// without one do nothing. A few nulls have a meaning of their own, noted.
TEST(ExportArguments, NullInPlaceOfEveryPointer) {
  Medium m("Owner");
  ASSERT_EQ(m.generated(), 0);
  const DizoraEngine e = m.engine();
  const std::string transfer = m.Transfer("Owner");
  const std::string pub = m.PublicKey().string();
  const fs::path regen = m.dir() / "regen";
  fs::create_directories(regen);
  std::vector<char> text(4096, 0);
  std::vector<uint8_t> data(8192, 1);
  char* t = text.data();
  uint8_t* d = data.data();
  int32_t size = 16, kind = 0, state = 1, match = 0;
  uint8_t signature[319] = {};
  int32_t signature_size = 0;
  ASSERT_EQ(SignData(e, d, 16, signature, &signature_size, 0), 0);
  const DizoraEngine none = nullptr;

  RunCases({
      // A null engine handle: the export's exception value.
      NO_RESULT(DoneEngine(none)),
      RESULT(-1, GetMaxEncodeAddition(none)),
      RESULT(-1, GetMaxSignatureLength(none)),
      RESULT(-1, GetMaxUIDLength(none)),
      RESULT(-1, GetMaxCryptoParamNameLength(none)),
      RESULT(-1, GetMaxCryptoParamValueLength(none)),
      RESULT(-1, GetMaxErrorStringLength(none)),
      RESULT(-1, GetMaxPasswordLength(none)),
      RESULT(-1, GetMaxSignAddition(none)),
      RESULT(-1, GetMaxPublicKeyTransferSize(none)),
      RESULT(-1, GetMaxReportSize(none)),
      RESULT(-1, GetMaxPublicKeyPropertiesLength(none)),
      RESULT(-1, GetMaxAdditionEx(none, "a;b")),
      RESULT(255, GetMaxFilePathLength(none)),  // the handle is not used
      RESULT(-1, GetCryptoParamNumber(none)),
      NO_RESULT(GetCryptoParamName(none, 1, t)),
      NO_RESULT(GetCryptoParamValue(none, 1, t)),
      RESULT(-3, SetCryptoParamValue(none, 1, "x")),
      RESULT(-3, GetParamInfo(none, 9, &kind, t, &size)),
      NO_RESULT(SetRemoteGeneratePath(none, "x")),
      NO_RESULT(SetPasswordRequestFunc(none, nullptr)),
      NO_RESULT(SetTMRequestFunc(none, nullptr)),
      NO_RESULT(GetCryptoErrorString(none, 0, t)),
      NO_RESULT(GetLastErrorMessage(none, t)),
      RESULT(-3, GetCurrentUserUID(none, t)),
      RESULT(-3, GetEncodeUIDBySignUID(none, "u", t)),
      RESULT(-3, EncodeData(none, d, &size, "Owner")),
      RESULT(-3, DecodeData(none, d, &size, 0)),
      RESULT(-3, SignData(none, d, 16, signature, &signature_size, 0)),
      RESULT(-3, VerifyData(none, d, 16, signature, signature_size, t)),
      RESULT(-3, VerifySignWOCheckValidity(none, d, 16, signature, signature_size, t)),
      RESULT(-3, HashData(none, d, 16, 0, d, &size)),
      RESULT(-3, AddSign(none, d, &size, 0)),
      RESULT(-3, RemoveSign(none, d, &size, t)),
      RESULT(-3, GetPureSign(none, 1, 2, 3, 4, 5)),
      RESULT(-3, SaveSignedDataToFile(none, d, 16, signature, signature_size, "f")),
      RESULT(-3, SignFile(none, 1)),
      RESULT(-3, VerifyFile(none, 1, 2)),
      RESULT(-3, RemoveSignaturesFromFile(none, 1)),
      RESULT(-3, IncludePublicKey(none, "f")),
      RESULT(-3, IncludePublicEncodeKey(none, "f")),
      RESULT(-3, RemoveCertificate(none, "u")),
      RESULT(-3, UpdateCertificateCash(none, "u")),
      NO_RESULT(ClearCash(none)),
      RESULT(-3, IncludeCACertificateFromTransfer(none, 1)),
      RESULT(-3, IncludeCRL(none, 1)),
      RESULT(-3, CreateDirStructure(none, "f", 0)),
      RESULT(-1, IsDifferentKeys(none)),
      RESULT(-3, TransSignatureFromFileToTM(none)),
      RESULT(-3, TransPrivateKeyFromFileToTM(none)),
      RESULT(-3, ShowCertificate(none, 1)),
      RESULT(-3, GetUIDByCertIdent(none, 1, 2)),
      RESULT(-3, InstallCertsInMyStore(none, 1)),
      RESULT(-3, RegisterOIDInfo(none, "1.2", "x")),
      RESULT(-3, GenerateNewSSK(none)),
      RESULT(-3, GenerateNewSEK(none)),
      RESULT(-3, RemoteGenerateStart(none, t)),
      RESULT(-3, RemoteGenerateFinish(none, 0)),
      RESULT(-3, RemoteGenerateStartEx(none, "u", t, &state)),
      RESULT(-3, RemoteGenerateFinishEx(none, transfer.c_str(), &state)),
      RESULT(-1, GetRemoteGenType(none)),
      RESULT(-3, GetPublicKeyTransfer(none, "Owner", t)),
      RESULT(-3, GetPublicKeyTransferByFile(none, t, pub.c_str())),
      RESULT(-3, SavePublicKeyFromTransfer(none, "d", transfer.c_str())),
      RESULT(-3, IncludePublicKeyTransfer(none, transfer.c_str())),
      RESULT(-3, ExcludeSelfPublicKeyTransfer(none, t)),
      RESULT(-3, GetUIDByPublicKeyTransfer(none, transfer.c_str(), t)),
      RESULT(-3, GetReport(none, "Owner", t)),
      RESULT(-3, GetPublicKeyProperties(none, "Owner", t)),
      RESULT(-3, GetPublicKeyPropertiesByTransfer(none, transfer.c_str(), t)),
      RESULT(-3, GetPublicKeyPropertiesByFile(none, pub.c_str(), t)),
      RESULT(-3, CertAndRequestTransferMatch(none, 1, 2, &match)),
      RESULT(-3, ConvertTransferToSignedRequest(none, 1)),

      // A null text or buffer.
      NO_RESULT(GetCryptoParamName(e, 1, nullptr)),
      NO_RESULT(GetCryptoParamValue(e, 1, nullptr)),
      RESULT(0, SetCryptoParamValue(e, 13, nullptr)),  // the empty value ("Hash method")
      RESULT(-4, GetParamInfo(e, 9, nullptr, t, &size)),
      RESULT(0, GetParamInfo(e, 9, &kind, nullptr, &size)),  // the size query
      RESULT(-4, GetParamInfo(e, 9, &kind, t, nullptr)),
      RESULT(-4, GetParamInfo(e, 9, &kind, nullptr, nullptr)),
      RESULT(-28, GetParamInfo(e, 14, nullptr, nullptr, nullptr)),  // the index comes first
      RESULT(30579, GetMaxAdditionEx(e, nullptr)),                  // 100 recipients
      NO_RESULT(SetRootPath(e, nullptr)),
      NO_RESULT(SetRemoteGeneratePath(e, nullptr)),
      NO_RESULT(GetCryptoErrorString(e, -3, nullptr)),
      NO_RESULT(GetLastErrorMessage(e, nullptr)),
      RESULT(-4, GetCurrentUserUID(e, nullptr)),
      RESULT(-4, GetEncodeUIDBySignUID(e, nullptr, t)),
      RESULT(-4, GetEncodeUIDBySignUID(e, "u", nullptr)),
      RESULT(-4, EncodeData(e, nullptr, &size, "Owner")),
      RESULT(-4, EncodeData(e, d, nullptr, "Owner")),
      RESULT(-4, DecodeData(e, nullptr, &size, 0)),
      RESULT(-4, DecodeData(e, d, nullptr, 0)),
      RESULT(-4, SignData(e, nullptr, 16, signature, &signature_size, 0)),
      RESULT(-4, SignData(e, d, 16, nullptr, &signature_size, 0)),
      RESULT(-4, SignData(e, d, 16, signature, nullptr, 0)),
      RESULT(-4, VerifyData(e, nullptr, 16, signature, signature_size, t)),
      RESULT(-4, VerifyData(e, d, 16, nullptr, signature_size, t)),
      RESULT(-4, VerifyData(e, d, 16, signature, signature_size, nullptr)),
      RESULT(-4, VerifySignWOCheckValidity(e, nullptr, 16, signature, signature_size, t)),
      RESULT(-4, VerifySignWOCheckValidity(e, d, 16, nullptr, signature_size, t)),
      RESULT(-4, VerifySignWOCheckValidity(e, d, 16, signature, signature_size, nullptr)),
      RESULT(-4, HashData(e, nullptr, 16, 0, d, &size)),
      RESULT(0, HashData(e, d, 16, 0, nullptr, &size)),  // the size query
      RESULT(-4, HashData(e, d, 16, 0, d, nullptr)),
      RESULT(-4, AddSign(e, nullptr, &size, 0)),
      RESULT(-4, AddSign(e, d, nullptr, 0)),
      RESULT(-4, RemoveSign(e, nullptr, &size, t)),
      RESULT(-4, RemoveSign(e, d, nullptr, t)),
      RESULT(-4, RemoveSign(e, d, &size, nullptr)),
      RESULT(-2, SaveSignedDataToFile(e, nullptr, 16, nullptr, 0, nullptr)),  // not offered
      RESULT(-4, IncludePublicKey(e, nullptr)),
      RESULT(-4, IncludePublicEncodeKey(e, nullptr)),
      RESULT(-4, RemoveCertificate(e, nullptr)),
      RESULT(-4, UpdateCertificateCash(e, nullptr)),
      RESULT(-4, CreateDirStructure(e, nullptr, 0)),
      RESULT(-1, RegisterOIDInfo(e, nullptr, nullptr)),  // not offered
      RESULT(-4, RemoteGenerateStart(e, nullptr)),
      RESULT(-4, RemoteGenerateStartEx(e, "u", t, nullptr)),
      RESULT(-4, RemoteGenerateFinishEx(e, nullptr, &state)),
      RESULT(-4, RemoteGenerateFinishEx(e, transfer.c_str(), nullptr)),
      RESULT(-7, GetPublicKeyTransfer(e, nullptr, t)),  // "empty UID or null pointer"
      RESULT(-4, GetPublicKeyTransfer(e, "Owner", nullptr)),
      RESULT(-4, GetPublicKeyTransferByFile(e, nullptr, pub.c_str())),
      RESULT(-4, GetPublicKeyTransferByFile(e, t, nullptr)),
      RESULT(-4, SavePublicKeyFromTransfer(e, nullptr, transfer.c_str())),
      RESULT(-4, SavePublicKeyFromTransfer(e, regen.string().c_str(), nullptr)),
      RESULT(-4, IncludePublicKeyTransfer(e, nullptr)),
      RESULT(-4, ExcludeSelfPublicKeyTransfer(e, nullptr)),
      RESULT(-4, GetUIDByPublicKeyTransfer(e, nullptr, t)),
      RESULT(-4, GetUIDByPublicKeyTransfer(e, transfer.c_str(), nullptr)),
      RESULT(-4, GetReport(e, "Owner", nullptr)),
      RESULT(-4, GetPublicKeyProperties(e, "Owner", nullptr)),
      RESULT(-4, GetPublicKeyPropertiesByTransfer(e, nullptr, t)),
      RESULT(-4, GetPublicKeyPropertiesByTransfer(e, transfer.c_str(), nullptr)),
      RESULT(-4, GetPublicKeyPropertiesByFile(e, nullptr, t)),
      RESULT(-4, GetPublicKeyPropertiesByFile(e, pub.c_str(), nullptr)),
      RESULT(-4, CertAndRequestTransferMatch(e, 1, 2, nullptr)),
  });
  // The nulls that mean something of their own.
  SetRemoteGeneratePath(e, regen.string().c_str());
  m.Set(6, "Owner");  // "Encrypt for UID"
  RunCases({
      RESULT(-23, GetReport(e, nullptr, t)),  // the pending new key: none in the directory
      RESULT(0, EncodeData(e, d, &size, nullptr)),  // the recipients of the setting
  });
}

// Memory of `size` bytes for the engine, followed by guard bytes that must
// stay as they are.
class Guarded {
 public:
  explicit Guarded(int32_t size, uint8_t fill = 0x5A) : size_(static_cast<size_t>(size)) {
    bytes_.assign(size_, fill);
    bytes_.resize(size_ + kGuardSize, kGuard);
  }
  char* text() { return reinterpret_cast<char*>(bytes_.data()); }
  uint8_t* data() { return bytes_.data(); }
  bool Intact() const {
    return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(size_), bytes_.end(),
                       [](uint8_t b) { return b == kGuard; });
  }

 private:
  size_t size_;
  std::vector<uint8_t> bytes_;
};

struct Output {
  const char* call;
  int32_t size;  // what the size query or the documented rule gives
  int32_t expected;
  std::function<int32_t(Guarded&)> run;
};

#define WRITES(size, expected, call) \
  Output { #call, size, expected, [&](Guarded& g) -> int32_t { return call; } }

// Every export that writes into the caller's memory, with the largest output
// it can make, given exactly the room its size query or the documented rule
// asks for.
TEST(ExportBuffers, EveryOutputStaysWithinItsSize) {
  const std::string uid = LongestUID();
  Medium m(uid);
  ASSERT_EQ(m.generated(), 0);
  const DizoraEngine e = m.engine();
  const fs::path regen = m.dir() / "regen";
  fs::create_directories(regen);
  SetRemoteGeneratePath(e, regen.string().c_str());
  m.Set(6, uid);                        // "Encrypt for UID"
  m.Set(13, "GOST");                    // "Hash method"
  const std::string transfer = m.Transfer(uid);
  ASSERT_FALSE(transfer.empty());
  const std::string pub = m.PublicKey().string();
  const std::string long_value(1000, 'v');
  ASSERT_EQ(SetCryptoParamValue(e, 10, long_value.c_str()), 0);

  const std::vector<uint8_t> plain(1000, 7);
  std::vector<uint8_t> signed_data(plain);  // the data with its signature appended
  signed_data.resize(plain.size() + static_cast<size_t>(GetMaxSignAddition(e)));
  int32_t signed_size = static_cast<int32_t>(plain.size());
  ASSERT_EQ(AddSign(e, signed_data.data(), &signed_size, 0), 0);
  uint8_t signature[319] = {};
  int32_t signature_size = 0;
  ASSERT_EQ(SignData(e, plain.data(), 1000, signature, &signature_size, 0), 0);

  const int32_t name_size = GetMaxCryptoParamNameLength(e) + 1;
  const int32_t value_size = GetMaxCryptoParamValueLength(e) + 1;
  const int32_t error_size = GetMaxErrorStringLength(e) + 1;
  const int32_t transfer_size = GetMaxPublicKeyTransferSize(e);
  const int32_t report_size = GetMaxReportSize(e);
  int32_t n = 0, kind = 0, state = 1;
  auto in = [&](Guarded& g, const std::vector<uint8_t>& bytes) {
    std::memcpy(g.data(), bytes.data(), bytes.size());
    n = static_cast<int32_t>(bytes.size());
    return g.data();
  };

  const std::vector<Output> outputs = {
      WRITES(name_size, kNoResult, (GetCryptoParamName(e, 8, g.text()), kNoResult)),
      WRITES(value_size, kNoResult, (GetCryptoParamValue(e, 10, g.text()), kNoResult)),
      WRITES(11, 0, (n = 11, GetParamInfo(e, 9, &kind, g.text(), &n))),
      WRITES(error_size, kNoResult, (GetCryptoErrorString(e, -16, g.text()), kNoResult)),
      WRITES(error_size, kNoResult, (GetCryptoErrorString(e, -3, g.text()), kNoResult)),
      WRITES(error_size, kNoResult, (GetLastErrorMessage(e, g.text()), kNoResult)),
      WRITES(kUIDBuffer, 0, GetCurrentUserUID(e, g.text())),
      WRITES(kUIDBuffer, 0, GetEncodeUIDBySignUID(e, long_value.c_str(), g.text())),
      WRITES(6, 0, GetEncodeUIDBySignUID(e, "Bank.", g.text())),  // the zero right after the text
      WRITES(1000 + GetMaxAdditionEx(e, uid.c_str()), 0, EncodeData(e, in(g, plain), &n, uid.c_str())),
      WRITES(1000 + GetMaxAdditionEx(e, nullptr), 0, EncodeData(e, in(g, plain), &n, nullptr)),
      WRITES(GetMaxSignatureLength(e), 0, SignData(e, plain.data(), 1000, g.data(), &n, 0)),
      WRITES(kUIDBuffer, 0, VerifyData(e, plain.data(), 1000, signature, signature_size, g.text())),
      WRITES(kUIDBuffer, 0, VerifySignWOCheckValidity(e, plain.data(), 1000, signature, signature_size, g.text())),
      WRITES(32, 0, (n = 32, HashData(e, plain.data(), 1000, 0, g.data(), &n))),
      WRITES(44, 0, (n = 44, HashData(e, plain.data(), 1000, 1, g.data(), &n))),
      WRITES(64, 0, (n = 64, HashData(e, plain.data(), 1000, 2, g.data(), &n))),
      WRITES(1000 + GetMaxSignAddition(e), 0, AddSign(e, in(g, plain), &n, 0)),
      WRITES(kUIDBuffer, 0, (n = signed_size, RemoveSign(e, std::vector<uint8_t>(signed_data).data(), &n, g.text()))),
      WRITES(transfer_size, 0, GetPublicKeyTransfer(e, uid.c_str(), g.text())),
      WRITES(transfer_size, 0, GetPublicKeyTransferByFile(e, g.text(), pub.c_str())),
      WRITES(transfer_size, 0, ExcludeSelfPublicKeyTransfer(e, g.text())),
      WRITES(kUIDBuffer, 0, GetUIDByPublicKeyTransfer(e, transfer.c_str(), g.text())),
      WRITES(report_size, 0, GetReport(e, uid.c_str(), g.text())),
      WRITES(report_size, 0, GetPublicKeyProperties(e, uid.c_str(), g.text())),
      WRITES(report_size, 0, GetPublicKeyPropertiesByTransfer(e, transfer.c_str(), g.text())),
      WRITES(report_size, 0, GetPublicKeyPropertiesByFile(e, pub.c_str(), g.text())),
      WRITES(4, 0, CertAndRequestTransferMatch(e, 1, 2, reinterpret_cast<int32_t*>(g.data()))),
      WRITES(transfer_size, 0, RemoteGenerateStart(e, g.text())),
      WRITES(transfer_size, 0, (state = 1, RemoteGenerateStartEx(e, uid.c_str(), g.text(), &state))),
  };
  for (const Output& o : outputs) {
    Guarded g(o.size);
    EXPECT_EQ(o.run(g), o.expected) << o.call;
    EXPECT_TRUE(g.Intact()) << o.call << ": wrote past " << o.size << " bytes";
  }
}

// Recipients from the setting "Encrypt for UID" are sized by
// GetMaxAdditionEx(NULL), which provides for 100: a longer list is refused
// with -4 and the buffer is left as it was.
TEST(ExportBuffers, EncryptionForTheSettingStaysWithinTheSizeQuery) {
  const std::string uid = LongestUID();
  Medium m(uid);
  ASSERT_EQ(m.generated(), 0);
  const DizoraEngine e = m.engine();
  const std::vector<uint8_t> plain(100, 3);
  const int32_t room = 100 + GetMaxAdditionEx(e, nullptr);
  auto list_of = [&](int count) {
    std::string list = uid;
    for (int i = 1; i < count; ++i) list += ";" + uid;
    return list;
  };
  for (const int count : {1, 100, 101, 5000}) {
    SCOPED_TRACE(count);
    m.Set(6, list_of(count));
    Guarded g(room);
    std::memcpy(g.data(), plain.data(), plain.size());
    int32_t n = 100;
    const int32_t r = EncodeData(e, g.data(), &n, nullptr);
    EXPECT_TRUE(g.Intact());
    if (count <= 100) {
      EXPECT_EQ(r, 0);
      EXPECT_LE(n, room);
      EXPECT_EQ(DecodeData(e, g.data(), &n, 0), 0);
      EXPECT_EQ(std::vector<uint8_t>(g.data(), g.data() + n), plain);
    } else {
      EXPECT_EQ(r, -4);
      EXPECT_EQ(n, 100);
      EXPECT_EQ(std::vector<uint8_t>(g.data(), g.data() + 100), plain);
    }
  }
  // A list the caller passes is sized by the same query for that list.
  const std::string listed = list_of(101);
  Guarded g(100 + GetMaxAdditionEx(e, listed.c_str()));
  std::memcpy(g.data(), plain.data(), plain.size());
  int32_t n = 100;
  EXPECT_EQ(EncodeData(e, g.data(), &n, listed.c_str()), 0);
  EXPECT_TRUE(g.Intact());
}

}  // namespace
