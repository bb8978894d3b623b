// Public-key transfers between the user and the bank, and the text report of
// a public-key record.
//
// A transfer is the base64 text of a 776-byte transfer record signed with the
// user's key in the layout of AddSign: record, signature block, the 32-bit
// length 776. Opening a transfer verifies that signature with RemoveSignature.
#include <cstring>
#include <memory>
#include <new>

#include "engine/binding_registry.h"
#include "engine/crypto_c_engine.h"
#include "engine/transfer_format.h"
#include "binding/crypto_c_dll.h"
#include "support/exceptions.h"
#include "platform/fs.h"
#include "support/base64.h"
#include "support/fileutils.h"
#include "support/medium.h"
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
bool IsCanonicalBase64(const std::string& text, const uint8_t* bytes, int32_t count) {
  std::unique_ptr<char[]> again;
  int32_t againLength = 0;
  support::EncodeBase64(bytes, count, again, againLength);
  return again != nullptr && static_cast<size_t>(againLength) == text.size() &&
         std::memcmp(again.get(), text.data(), text.size()) == 0;
}

// The transfer text without blanks, tabs and line breaks: mail programs and
// peers wrap base64 at 64 or 76 columns with CR LF.
std::string WithoutWhitespace(const char* text) {
  std::string compact;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n' && *c != '\v' && *c != '\f') compact += *c;
  }
  return compact;
}

}  // namespace

// ---- Size queries ------------------------------------------------------------

int32_t TCryptoCEngine::GetMaxPublicKeyTransferSize() {
  return 2 * (GetMaxSignAddition() + formats::kTransferRecordSize);
}

int32_t TCryptoCEngine::GetMaxReportSize() { return kReportSize; }

// ---- Making transfers --------------------------------------------------------

int32_t TCryptoCEngine::ReadPublicKeyFile(const std::string& path, uint8_t* record,
                                          int32_t& length) {
  int32_t size = rurov::kMaxPublicKeyFileSize;
  if (path.empty() || !support::ReadWholeFile(path, record, size)) return DZ_E_PUBLIC_KEY_FILE;
  length = size;
  return DZ_OK;
}

int32_t TCryptoCEngine::PrepareTransferByBuffer(const uint8_t* record, int32_t length,
                                                const char* name, char* transfer) {
  try {
    if (record == nullptr || transfer == nullptr || length < 1 ||
        length > rurov::kMaxPublicKeyFileSize)
      return DZ_E_BAD_ARGUMENT;
    // Only a public-key record leaves the medium: a secret-key file named
    // by mistake is never signed and sent.
    if (!rurov::IsPublicKeyRecord(record, length)) return DZ_E_PUBLIC_KEY;
    support::SecureBuffer data;
    try {
      data = support::SecureBuffer(static_cast<size_t>(formats::kTransferRecordSize + GetMaxSignAddition()));
    } catch (const std::bad_alloc&) {
      return DZ_E_NO_MEMORY;
    }
    if (!formats::WriteTransferRecord(name ? name : "", support::BytesAt(record, length),
                                      data.span().first<formats::kTransferRecordSize>()))
      return DZ_E_BAD_ARGUMENT;

    int32_t size = formats::kTransferRecordSize;
    const int32_t signedResult = AddSign(data.data(), &size, 0);
    if (signedResult != DZ_OK) return signedResult;

    std::unique_ptr<char[]> text;
    int32_t textLength = 0;
    support::EncodeBase64(data.data(), size, text, textLength);
    if (text == nullptr) {
      StoreErrorText("TCryptoCEngine.PrepareTransferByBuffer: Unable to encode transfer to BASE64!");
      return DZ_E_EXCEPTION;
    }
    if (textLength >= GetMaxPublicKeyTransferSize()) return DZ_E_NO_MEMORY;  // the text and its zero must fit
    std::memcpy(transfer, text.get(), static_cast<size_t>(textLength));
    transfer[textLength] = '\0';
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("PrepareTransferByBuffer", e);
  }
}

int32_t TCryptoCEngine::TransferOfKeyFile(const std::string& path, char* transfer) {
  TRecordBuffer record{};
  int32_t length = 0;
  const int32_t read = ReadPublicKeyFile(path, record.data(), length);
  if (read != DZ_OK) return read;
  return TransferOfRecord(record.data(), length, transfer);
}

int32_t TCryptoCEngine::TransferOfRecord(const uint8_t* record, int32_t length, char* transfer) {
  return PrepareTransferByBuffer(record, length, kTransferFileName, transfer);
}

int32_t TCryptoCEngine::GetPublicKeyTransfer(const char* uid, char* transfer) {
  if (IsEmptyText(uid) || std::strlen(uid) > static_cast<size_t>(GetMaxUIDLength())) return DZ_E_EMPTY_UID;
  if (transfer == nullptr) return DZ_E_BAD_ARGUMENT;
  TRecordBuffer record{};
  int32_t length = 0;
  return KeyFrame("GetPublicKeyTransfer", [&](TCryptoC_DLL& binding, const TKeySettings& s) -> int32_t {
    const int32_t found = binding.GetPublicKeyRecord(s, uid, record.data(), length);
    if (found != DZ_OK) return found;
    return PrepareTransferByBuffer(record.data(), length, kTransferFileName, transfer);
  });
}

int32_t TCryptoCEngine::ExcludeSelfPublicKeyTransfer(char* transfer) {
  std::array<char, rurov::kUIDBufferSize> uid{};
  const int32_t read = GetCurrentUID(uid.data());
  if (read != DZ_OK) return read;
  return GetPublicKeyTransfer(uid.data(), transfer);
}

int32_t TCryptoCEngine::GetPublicKeyTransferByFile(char* transfer, const char* file_name) {
  if (transfer == nullptr || file_name == nullptr) return DZ_E_BAD_ARGUMENT;
  return TransferOfKeyFile(ExpandRootPath(file_name), transfer);
}

// ---- Opening transfers -------------------------------------------------------

int32_t TCryptoCEngine::GetPublicKeyBlockByTransfer(const char* transfer, TTransferRecord& block,
                                                    std::string* signer) {
  if (IsEmptyText(transfer)) return DZ_E_BAD_ARGUMENT;
  try {
    const std::string text = WithoutWhitespace(transfer);
    if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX)) return DZ_E_BAD_ARGUMENT;
    std::unique_ptr<uint8_t[]> data;
    int32_t length = 0;
    support::DecodeBase64(text.c_str(), static_cast<int32_t>(text.size()), data, length);
    if (data == nullptr || length < 1) return DZ_E_BAD_ARGUMENT;
    if (!IsCanonicalBase64(text, data.get(), length)) return DZ_E_BAD_ARGUMENT;

    std::array<char, rurov::kUIDBufferSize> signerUID{};
    int32_t size = length;
    const int32_t verified = RemoveSignature(data.get(), &size, signerUID.data());
    if (verified != DZ_OK) return verified;

    const auto fields = formats::ParseTransferRecord(support::BytesAt(data.get(), size));
    if (!fields) return DZ_E_BAD_ARGUMENT;
    // Every key a transfer may carry is a public-key record, exactly.
    if (!formats::ParsePublicKeyRecord(fields->record)) return DZ_E_PUBLIC_KEY;
    block.FileName.assign(fields->name);
    block.RecordBytes.assign(fields->record.begin(), fields->record.end());
    if (signer != nullptr) *signer = signerUID.data();
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("GetPublicKeyBlockByTransfer", e);
  }
}

// A transfer may add a correspondent not known yet or deliver the stored key
// again; a different stored key of the UID is replaced only by a transfer
// that UID signed with that key (DZ_LIB_BAD_SIGNATURE otherwise).
int32_t TCryptoCEngine::IncludePublicKeyTransfer(const char* transfer) {
  TTransferRecord block;
  std::string signer;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block, &signer);
  if (opened != DZ_OK) return opened;
  return KeyFrame("IncludePublicKeyTransfer", [&](TCryptoC_DLL& binding, const TKeySettings& s) -> int32_t {
    return binding.IncludePublicKeyRecord(s, block.Record(), block.RecordLength(), &signer);
  });
}

// The name comes from the sender: it may replace a public-key file, never
// the user's own one nor a file of any other kind (a secret key, a document).
bool TCryptoCEngine::MayBeReplacedByARecord(const std::string& path) const {
  if (!platform::PathExists(path)) return true;
  const std::string own = ExpandRootPath(SettingValue(kSetPublicKey).c_str());
  return !platform::SameFile(path, own).value_or(false) && rurov::IsPublicKeyRecordFile(path);
}

int32_t TCryptoCEngine::SavePublicKeyFromTransfer(const char* directory, const char* transfer) {
  if (directory == nullptr) return DZ_E_BAD_ARGUMENT;
  const std::string target = ExpandRootDir(directory);
  if (target.empty() || !support::IsDirectory(target)) return DZ_E_PUBLIC_KEY_FILE;
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != DZ_OK) return opened;
  const std::string fileName = SafeFileName(block.Name());
  if (fileName.empty()) return DZ_E_PUBLIC_KEY_FILE;
  const std::string path = target + fileName;
  // The directory may be the medium's own (the correspondents' directory).
  const support::MediumLock medium(MediumOfSettings(), support::MediumLock::Mode::kExclusive);
  if (medium.Recovered()) ReleaseAllBindingKeys();
  if (!MayBeReplacedByARecord(path)) return DZ_E_PUBLIC_KEY_FILE;
  if (!support::WriteWholeFile(path, block.Record(), block.RecordLength())) return DZ_E_PUBLIC_KEY_FILE;
  return DZ_OK;
}

int32_t TCryptoCEngine::GetUIDByPublicKeyTransfer(const char* transfer, char* uid) {
  if (uid == nullptr) return DZ_E_BAD_ARGUMENT;
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != DZ_OK) return opened;
  // The whole UID (a record's UID has at most GetMaxUIDLength characters)
  // and the zero: the caller's buffer holds GetMaxUIDLength + 1 bytes.
  const auto owner = formats::ParseRecordUID(support::BytesAt(block.Record(), block.RecordLength()));
  if (!owner) return DZ_E_PUBLIC_KEY;
  std::memcpy(uid, owner->data(), owner->size());
  uid[owner->size()] = '\0';
  return DZ_OK;
}

// ---- Reports -----------------------------------------------------------------

int32_t TCryptoCEngine::FGetReportByBuffer(const uint8_t* record, int32_t length, char* report) {
  try {
    // Only a whole public-key record is reported: the answer -11 tells a
    // host which file the lookups and includes refuse as damaged.
    const auto parsed = formats::ParsePublicKeyRecord(support::BytesAt(record, length));
    if (!parsed || report == nullptr) return DZ_E_PUBLIC_KEY;
    const bool is1994 = parsed->algorithm == rurov::kGost1994;
    const int32_t keyShown = is1994 ? rurov::kPublicKey1994Size : kShown2001KeySize;

    std::string text = "UID=" + std::string(parsed->uid) + kCrLf;
    text += std::string("PKeyAlg=") + (is1994 ? kAlgorithm1994 : kAlgorithm2001) + kCrLf;
    text += std::string("SPKey=") + kCrLf + KeyDump(parsed->signatureKey.data(), keyShown) + kCrLf + kCrLf;
    text += std::string("EPKey=") + kCrLf +
            KeyDump(parsed->exchangeKey.data(), rurov::kExchangeKeySize) + kCrLf + kCrLf;
    if (static_cast<int64_t>(text.size()) + 1 > GetMaxReportSize()) return DZ_E_NO_MEMORY;
    std::memcpy(report, text.c_str(), text.size() + 1);
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("FGetReportByBuffer", e);
  }
}

int32_t TCryptoCEngine::ReportOfKeyFile(const std::string& path, char* report) {
  if (report == nullptr) return DZ_E_BAD_ARGUMENT;
  TRecordBuffer record{};
  int32_t length = 0;
  const int32_t read = ReadPublicKeyFile(path, record.data(), length);
  if (read != DZ_OK) return read;
  return FGetReportByBuffer(record.data(), length, report);
}

int32_t TCryptoCEngine::GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) {
  if (report == nullptr) return DZ_E_BAD_ARGUMENT;
  TTransferRecord block;
  const int32_t opened = GetPublicKeyBlockByTransfer(transfer, block);
  if (opened != DZ_OK) return opened;
  return FGetReportByBuffer(block.Record(), block.RecordLength(), report);
}

int32_t TCryptoCEngine::GetPublicKeyPropertiesByFile(const char* file_name, char* report) {
  if (file_name == nullptr) return DZ_E_BAD_ARGUMENT;
  return ReportOfKeyFile(ExpandRootPath(file_name), report);
}

int32_t TCryptoCEngine::GetReport(const char* uid, char* report) {
  if (report == nullptr) return DZ_E_BAD_ARGUMENT;
  if (IsEmptyText(uid)) {
    // The new public key of a pending remote regeneration.
    const std::string dir = RegenerationDir();
    if (dir.empty()) return DZ_E_REGEN_DIR_MISSING;
    const std::string newKey = dir + "new.pub";
    if (!platform::PathExists(newKey)) return DZ_E_REGEN_KEYS_MISSING;
    return ReportOfKeyFile(newKey, report);
  }
  TRecordBuffer record{};
  int32_t length = 0;
  return KeyFrame("GetReport", [&](TCryptoC_DLL& binding, const TKeySettings& s) -> int32_t {
    const int32_t found = binding.GetPublicKeyRecord(s, uid, record.data(), length);
    if (found != DZ_OK) return found;
    return FGetReportByBuffer(record.data(), length, report);
  });
}

}  // namespace dizora
