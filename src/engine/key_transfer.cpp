// Public-key transfers between the user and the bank, and the text report of
// a public-key record.
//
// A transfer is the base64 text of a 776-byte transfer record signed with the
// user's key in the layout of AddSign: record, signature block, the 32-bit
// length 776. Opening a transfer verifies that signature with RemoveSignature.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/binding_registry.h"
#include "engine/crypto_c_engine.h"
#include "binding/crypto_c_dll.h"
#include "support/exceptions.h"
#include "platform/fs.h"
#include "support/base64.h"
#include "support/fileutils.h"
#include "support/secure.h"

namespace dizora {

namespace {

using TRecordBuffer = std::array<uint8_t, rurov::kMaxPublicKeyFileSize>;

constexpr int32_t kReportSize = 2048;
constexpr char kTransferFileName[] = "tran.pub";
// "ГОСТ" in Windows-1251; the "P" after the blank is the Latin letter.
constexpr char kAlgorithm1994[] = "\xC3\xCE\xD1\xD2 P34.10 - 1994";
constexpr char kAlgorithm2001[] = "\xC3\xCE\xD1\xD2 P34.10 - 2001";
constexpr char kCrLf[] = "\r\n";
// The signature public key shown for GOST R 34.10-2001: the first 64 bytes of
// its 100-byte field.
constexpr int32_t kShown2001KeySize = 64;

// A text argument that is missing or empty.
bool IsEmptyText(const char* text) { return text == nullptr || text[0] == '\0'; }

// Hex dump of a report: pairs of bytes, 18 bytes a line.
std::string KeyDump(const uint8_t* bytes, int32_t count) {
  std::string text;
  support::BytesToHexText(bytes, count, 2, 18, text);
  return text;
}

// The last component of a transfer's file name: the text after its last '/',
// '\' or ':'. Empty when the name has no usable component, so that a name
// from outside can never reach beyond the target directory.
std::string SafeFileName(const std::string& name) {
  const size_t cut = name.find_last_of("/\\:");
  std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
  if (last == "." || last == "..") last.clear();
  return last;
}

// True when `text` is exactly the base64 form of `bytes`: a changed or added
// character that the decoder would skip or drop (padding bits) is refused.
bool IsCanonicalBase64(const char* text, size_t textLength, const uint8_t* bytes, int32_t count) {
  std::unique_ptr<char[]> again;
  int32_t againLength = 0;
  support::EncodeBase64(bytes, count, again, againLength);
  return again != nullptr && static_cast<size_t>(againLength) == textLength &&
         std::memcmp(again.get(), text, textLength) == 0;
}

}  // namespace

// ---- Transfer record ---------------------------------------------------------

std::string TCryptoCEngine::TTransferRecord::Name() const {
  const auto* begin = reinterpret_cast<const char*>(Bytes.data());
  return std::string(begin, strnlen(begin, kNameSize));
}

int32_t TCryptoCEngine::TTransferRecord::RecordLength() const {
  return rurov::ReadInt32LE(Bytes.data() + kLengthOffset);
}

// ---- Size queries ------------------------------------------------------------

int32_t TCryptoCEngine::GetMaxPublicKeyTransferSize() {
  return 2 * (GetMaxSignAddition() + TTransferRecord::kSize);
}

int32_t TCryptoCEngine::GetMaxReportSize() { return kReportSize; }

// ---- Making transfers --------------------------------------------------------

int32_t TCryptoCEngine::ReadPublicKeyFile(const std::string& path, uint8_t* record,
                                          int32_t& length) {
  int32_t size = rurov::kMaxPublicKeyFileSize;
  if (path.empty() || !support::ReadWholeFile(path, record, size)) return -19;
  length = size;
  return 0;
}

int32_t TCryptoCEngine::PrepareTransferByBuffer(const uint8_t* record, int32_t length,
                                                const char* name, char* transfer) {
  try {
    if (record == nullptr || transfer == nullptr || length < 1 ||
        length > rurov::kMaxPublicKeyFileSize)
      return -4;
    support::SecureBuffer data;
    try {
      data = support::SecureBuffer(static_cast<size_t>(TTransferRecord::kSize + GetMaxSignAddition()));
    } catch (const std::bad_alloc&) {
      return kResultOutOfMemory;
    }
    const std::string fileName = name ? name : "";
    std::memcpy(data.data(), fileName.data(),
                std::min<size_t>(fileName.size(), TTransferRecord::kNameSize - 1));
    rurov::WriteInt32LE(data.data() + TTransferRecord::kLengthOffset, length);
    std::memcpy(data.data() + TTransferRecord::kRecordOffset, record, static_cast<size_t>(length));

    int32_t size = TTransferRecord::kSize;
    const int32_t signedResult = AddSign(data.data(), &size, 0);
    if (signedResult != 0) return signedResult;

    std::unique_ptr<char[]> text;
    int32_t textLength = 0;
    support::EncodeBase64(data.data(), size, text, textLength);
    if (text == nullptr) {
      StoreErrorText("TCryptoCEngine.PrepareTransferByBuffer: Unable to encode transfer to BASE64!");
      return kResultException;
    }
    if (textLength >= GetMaxPublicKeyTransferSize()) return -8;  // the text and its zero must fit
    std::memcpy(transfer, text.get(), static_cast<size_t>(textLength));
    transfer[textLength] = '\0';
    return 0;
  } catch (const std::exception& e) {
    return ExceptionResult("PrepareTransferByBuffer", e);
  }
}

int32_t TCryptoCEngine::TransferOfKeyFile(const std::string& path, char* transfer) {
  TRecordBuffer record{};
  int32_t length = 0;
  const int32_t read = ReadPublicKeyFile(path, record.data(), length);
  if (read != 0) return read;
  return PrepareTransferByBuffer(record.data(), length, kTransferFileName, transfer);
}

int32_t TCryptoCEngine::GetPublicKeyTransfer(const char* uid, char* transfer) {
  if (IsEmptyText(uid) || std::strlen(uid) > static_cast<size_t>(GetMaxUIDLength())) return -7;
  if (transfer == nullptr) return -4;
  TRecordBuffer record{};
  int32_t length = 0;
  return KeyFrame("GetPublicKeyTransfer", [&](TCryptoC_DLL& binding, const TKeySettings& s) {
    const int32_t found = binding.GetPublicKeyRecord(s.PublicKeyPath, s.CorrespondentsDir, s.CADir,
                                                     uid, record.data(), length);
    if (found != 0) return found;
    return PrepareTransferByBuffer(record.data(), length, kTransferFileName, transfer);
  });
}

int32_t TCryptoCEngine::ExcludeSelfPublicKeyTransfer(char* transfer) {
  std::array<char, rurov::kUIDBufferSize> uid{};
  const int32_t read = GetCurrentUID(uid.data());
  if (read != 0) return read;
  return GetPublicKeyTransfer(uid.data(), transfer);
}

int32_t TCryptoCEngine::GetPublicKeyTransferByFile(char* transfer, const char* file_name) {
  if (transfer == nullptr || file_name == nullptr) return rurov::kErrBadArgument;
  return TransferOfKeyFile(ExpandRootPath(file_name), transfer);
}

// ---- Opening transfers -------------------------------------------------------

int32_t TCryptoCEngine::GetPublicKeyBlockByTransfer(const char* transfer, TTransferRecord& block) {
  if (IsEmptyText(transfer)) return -4;
  try {
    const size_t textLength = std::strlen(transfer);
    if (textLength > static_cast<size_t>(INT32_MAX)) return -4;
    std::unique_ptr<uint8_t[]> data;
    int32_t length = 0;
    support::DecodeBase64(transfer, static_cast<int32_t>(textLength), data, length);
    if (data == nullptr || length < 1) return -4;
    if (!IsCanonicalBase64(transfer, textLength, data.get(), length)) return -4;

    std::array<char, rurov::kUIDBufferSize> signer{};
    int32_t size = length;
    const int32_t verified = RemoveSignature(data.get(), &size, signer.data());
    if (verified != 0) return verified;
    if (size < TTransferRecord::kSize) return -4;

    std::memcpy(block.Bytes.data(), data.get(), TTransferRecord::kSize);
    const int32_t recordLength = block.RecordLength();
    if (recordLength < 1 || recordLength > rurov::kMaxPublicKeyFileSize) return -4;
    block.Bytes[static_cast<size_t>(TTransferRecord::kRecordOffset + recordLength)] = 0;
    return 0;
  } catch (const std::exception& e) {
    return ExceptionResult("GetPublicKeyBlockByTransfer", e);
  }
}

int32_t TCryptoCEngine::IncludePublicKeyTransfer(const char* transfer) {
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != 0) return opened;
  return KeyFrame("IncludePublicKeyTransfer", [&](TCryptoC_DLL& binding, const TKeySettings& s) {
    return binding.IncludePublicKeyRecord(s.PublicKeyPath, s.SecretKeyPath, s.CorrespondentsDir,
                                          s.CADir, s.KeyRequestTimeout, s.LastOpTimeout,
                                          block.Record(), block.RecordLength());
  });
}

int32_t TCryptoCEngine::SavePublicKeyFromTransfer(const char* directory, const char* transfer) {
  if (directory == nullptr) return -4;
  const std::string target = ExpandRootDir(directory);
  if (target.empty() || !support::IsDirectory(target)) return -19;
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != 0) return opened;
  const std::string fileName = SafeFileName(block.Name());
  if (fileName.empty()) return -19;
  if (!support::WriteWholeFile(target + fileName, block.Record(), block.RecordLength())) return -19;
  return 0;
}

int32_t TCryptoCEngine::GetUIDByPublicKeyTransfer(const char* transfer, char* uid) {
  if (uid == nullptr) return -4;
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != 0) return opened;
  try {
    // At most 253 characters and the zero: the copy fits a buffer of
    // GetMaxUIDLength bytes.
    const auto* text = reinterpret_cast<const char*>(block.Record());
    const size_t n = strnlen(text, static_cast<size_t>(GetMaxUIDLength() - 1));
    std::memcpy(uid, text, n);
    uid[n] = '\0';
    return 0;
  } catch (const std::exception& e) {
    return ExceptionResult("GetUIDByPublicKeyTransfer", e);
  }
}

// ---- Reports -----------------------------------------------------------------

int32_t TCryptoCEngine::FGetReportByBuffer(const uint8_t* record, int32_t length, char* report) {
  try {
    if (record == nullptr || report == nullptr || length < 1) return -11;
    const auto* uid = reinterpret_cast<const char*>(record);
    const size_t uidLength = strnlen(uid, static_cast<size_t>(length));
    if (uidLength == 0 || uidLength == static_cast<size_t>(length) ||
        uidLength > static_cast<size_t>(GetMaxUIDLength()))
      return -11;
    const auto fieldsAt = static_cast<int32_t>(uidLength) + 1;
    if (length < fieldsAt + rurov::kAlgorithmWordSize) return -11;
    const int32_t algorithm = rurov::ReadInt32LE(record + fieldsAt);
    if (algorithm != rurov::kGost1994 && algorithm != rurov::kGost2001) return -11;

    const bool is1994 = algorithm == rurov::kGost1994;
    const int32_t keyField = is1994 ? rurov::kPublicKey1994Size : rurov::kPublicKey2001Size;
    const int32_t keyShown = is1994 ? rurov::kPublicKey1994Size : kShown2001KeySize;
    const int32_t signKeyAt = fieldsAt + rurov::kAlgorithmWordSize;
    const int32_t exchangeKeyAt = signKeyAt + keyField;
    // A record too short for its keys would show bytes that are not its own.
    if (length < exchangeKeyAt + rurov::kExchangeKeySize) return -11;

    std::string text = "UID=" + std::string(uid, uidLength) + kCrLf;
    text += std::string("PKeyAlg=") + (is1994 ? kAlgorithm1994 : kAlgorithm2001) + kCrLf;
    text += std::string("SPKey=") + kCrLf + KeyDump(record + signKeyAt, keyShown) + kCrLf + kCrLf;
    text += std::string("EPKey=") + kCrLf +
            KeyDump(record + exchangeKeyAt, rurov::kExchangeKeySize) + kCrLf + kCrLf;
    if (static_cast<int64_t>(text.size()) + 1 > GetMaxReportSize()) return -8;
    std::memcpy(report, text.c_str(), text.size() + 1);
    return 0;
  } catch (const std::exception& e) {
    return ExceptionResult("FGetReportByBuffer", e);
  }
}

int32_t TCryptoCEngine::ReportOfKeyFile(const std::string& path, char* report) {
  if (report == nullptr) return -4;
  TRecordBuffer record{};
  int32_t length = 0;
  const int32_t read = ReadPublicKeyFile(path, record.data(), length);
  if (read != 0) return read;
  return FGetReportByBuffer(record.data(), length, report);
}

int32_t TCryptoCEngine::GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) {
  if (report == nullptr) return -4;
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != 0) return opened;
  return FGetReportByBuffer(block.Record(), block.RecordLength(), report);
}

int32_t TCryptoCEngine::GetPublicKeyPropertiesByFile(const char* file_name, char* report) {
  if (file_name == nullptr) return rurov::kErrBadArgument;
  return ReportOfKeyFile(ExpandRootPath(file_name), report);
}

int32_t TCryptoCEngine::GetReport(const char* uid, char* report) {
  if (report == nullptr) return -4;
  if (IsEmptyText(uid)) {
    // The new public key of a pending remote regeneration.
    const std::string dir = RegenerationDir();
    if (dir.empty()) return -22;
    const std::string newKey = dir + "new.pub";
    if (!platform::PathExists(newKey)) return -23;
    return ReportOfKeyFile(newKey, report);
  }
  TRecordBuffer record{};
  int32_t length = 0;
  return KeyFrame("GetReport", [&](TCryptoC_DLL& binding, const TKeySettings& s) {
    const int32_t found = binding.GetPublicKeyRecord(s.PublicKeyPath, s.CorrespondentsDir, s.CADir,
                                                     uid, record.data(), length);
    if (found != 0) return found;
    return FGetReportByBuffer(record.data(), length, report);
  });
}

}  // namespace dizora
