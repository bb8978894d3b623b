#include "engine/crypto_engine.h"

#include <algorithm>
#include <cstring>

#include "support/exceptions.h"
#include "support/root_path.h"
#include "support/fileutils.h"

namespace dizora {

namespace {
// What an operation answers when the concrete engine does not implement it.
constexpr int32_t kNotImplemented = DZ_E_INIT;
// The default SaveSignedDataToFile's own codes, outside the code list (a
// concrete engine that keeps that body documents them).
constexpr int32_t kSaveOutOfMemory = -102;
constexpr int32_t kSaveWriteFailed = -106;
constexpr int32_t kDefaultLimit = 255;
// A size query's answer when the engine has no such size.
constexpr int32_t kNoSize = -1;
// Longest setting text copied into a host buffer sized GetMax...Length + 1.
constexpr size_t kMaxParamCopy = 255;
}  // namespace

TCryptoEngine::TCryptoEngine() = default;
TCryptoEngine::~TCryptoEngine() = default;

int32_t TCryptoEngine::ReservedOperation() { return kNotImplemented; }
int32_t TCryptoEngine::IncludeVariant1(intptr_t, intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::IncludeVariant2(intptr_t, intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::IncludeVariant3(intptr_t p1, intptr_t p2, intptr_t p3) {
  return IncludeVariant2(p1, p2, p3);
}
int32_t TCryptoEngine::IncludeVariant4(intptr_t, intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::IncludeVariant5(intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::IncludeVariant6(intptr_t, intptr_t, intptr_t) { return kNotImplemented; }

void TCryptoEngine::SetPasswordRequestFunc(HostCallback callback) { PasswordRequestFunc = callback; }

void TCryptoEngine::SetRemoteGeneratePath(const std::string& path) {
  RemoteGeneratePath = NormalizeRootPath(ExpandRootPath(path.c_str()));
}

void TCryptoEngine::GetCryptoEngineType(char*) { throw EAbstractError(); }
int32_t TCryptoEngine::GetEncodeUIDBySignUID(const char*, char*) { throw EAbstractError(); }
int32_t TCryptoEngine::GetCurrentUID(char*) { throw EAbstractError(); }
int32_t TCryptoEngine::EncodeData(void*, int32_t*, const char*) { throw EAbstractError(); }
int32_t TCryptoEngine::DecodeData(void*, int32_t*, intptr_t) { throw EAbstractError(); }
int32_t TCryptoEngine::SignData(const void*, int32_t, void*, int32_t*, intptr_t) { throw EAbstractError(); }
int32_t TCryptoEngine::VerifyData(const void*, int32_t, const void*, int32_t, char*) {
  throw EAbstractError();
}

int32_t TCryptoEngine::GetMaxEncodeAddition() { return kDefaultLimit; }
int32_t TCryptoEngine::GetMaxSignatureLength() { return kDefaultLimit; }
int32_t TCryptoEngine::GetMaxUIDLength() { return kDefaultLimit; }
int32_t TCryptoEngine::GetMaxCryptoParamNameLength() { return kDefaultLimit; }
int32_t TCryptoEngine::GetMaxCryptoParamValueLength() { return kDefaultLimit; }
int32_t TCryptoEngine::GetMaxErrorStringLength() { return kDefaultLimit; }
int32_t TCryptoEngine::GetMaxPasswordLength() { return kDefaultLimit; }

int32_t TCryptoEngine::GetCryptoParamNumber() { return static_cast<int32_t>(ParamNames.size()); }

void TCryptoEngine::CopyListEntry(const std::vector<std::string>& list, int32_t index, char* buffer) {
  if (buffer == nullptr) return;
  if (index < 1 || static_cast<size_t>(index) > list.size() || list[index - 1].empty()) {
    buffer[0] = '\0';
    return;
  }
  const std::string& entry = list[index - 1];
  const size_t n = std::min(entry.size(), kMaxParamCopy);
  std::memcpy(buffer, entry.data(), n);
  buffer[n] = '\0';
}

void TCryptoEngine::GetCryptoParamName(int32_t index, char* buffer) {
  CopyListEntry(ParamNames, index, buffer);
}

void TCryptoEngine::GetCryptoParamValue(int32_t index, char* buffer) {
  CopyListEntry(ParamValues, index, buffer);
}

int32_t TCryptoEngine::SetCryptoParamValue(int32_t index, const char* text) {
  std::string value = text ? text : "";
  if (index < 1 || static_cast<size_t>(index) > ParamValues.size()) return kNotImplemented;
  ParamValues[index - 1] = std::move(value);
  ParamsChanged = true;
  return DZ_OK;
}

void TCryptoEngine::GetCryptoErrorString(int32_t code, char* buffer) {
  try {
    const int32_t limit = GetMaxErrorStringLength();
    if (limit > 0) std::memset(buffer, 0, static_cast<size_t>(limit));
    const std::string text = "CRYPTO ENGINE ERROR : " + std::to_string(code);
    std::memcpy(buffer, text.data(), text.size());
  } catch (...) {
  }
}

int32_t TCryptoEngine::IncludePublicKey(const char*) { return kNotImplemented; }
void TCryptoEngine::ResetAllKeys() {}
int32_t TCryptoEngine::UpdateCertificateCash(const char*) { return kNotImplemented; }
int32_t TCryptoEngine::RemoveCertificate(const char*) { return kNotImplemented; }
int32_t TCryptoEngine::IncludeCRL(intptr_t) { return kNotImplemented; }

void TCryptoEngine::GetLastErrorMessage(char* buffer) {
  DZ_ASSERT(buffer != nullptr, "cryptobj", 698);
  buffer[0] = '\0';
}

int32_t TCryptoEngine::GenerateNewSSK() { return kNotImplemented; }
int32_t TCryptoEngine::GenerateNewSEK() { return kNotImplemented; }
bool TCryptoEngine::IsDifferentKeys() { return false; }
int32_t TCryptoEngine::IncludePublicEncodeKey(const char*) { return kNotImplemented; }
int32_t TCryptoEngine::SignFile(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::VerifyFile(intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::RemoveSignaturesFromFile(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::TransPrivateKeyFromFileToTM() { return kNotImplemented; }
int32_t TCryptoEngine::TransSignatureFromFileToTM() { return kNotImplemented; }
int32_t TCryptoEngine::GetMaxPublicKeyTransferSize() { return 4096; }
int32_t TCryptoEngine::RemoteGenerateStart(char*) { return kNotImplemented; }
int32_t TCryptoEngine::RemoteGenerateFinish(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::ExcludeSelfPublicKeyTransfer(char*) { return kNotImplemented; }
int32_t TCryptoEngine::IncludePublicKeyTransfer(const char*) { return kNotImplemented; }
int32_t TCryptoEngine::GetPublicKeyTransfer(const char*, char*) { return kNotImplemented; }
int32_t TCryptoEngine::SavePublicKeyFromTransfer(const char*, const char*) { return kNotImplemented; }
int32_t TCryptoEngine::RemoteGenerateStartEx(const char*, char*, int32_t*) { return kNotImplemented; }
int32_t TCryptoEngine::RemoteGenerateFinishEx(const char*, int32_t*) { return kNotImplemented; }
int32_t TCryptoEngine::GetPublicKeyTransferByFile(char*, const char*) { return kNotImplemented; }
int32_t TCryptoEngine::IncludeCACertificateFromTransfer(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::AddSign(void*, int32_t*, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::RemoveSignature(void*, int32_t*, char*) { return kNotImplemented; }
int32_t TCryptoEngine::GetMaxSignAddition() { return GetMaxSignatureLength() + 255; }

int32_t TCryptoEngine::GetMaxEncodeAdditionForCount(int32_t count) {
  // Low 32 bits of the product, computed without signed overflow.
  const uint32_t product = static_cast<uint32_t>(GetMaxEncodeAddition()) * static_cast<uint32_t>(count);
  return static_cast<int32_t>(product);
}

int32_t TCryptoEngine::SaveSignedDataToFile(const void* data, int32_t size, const void* signature,
                                            int32_t signature_size, const char* file_name) {
  if (file_name == nullptr || data == nullptr || size <= 0 || signature_size < 0) return DZ_OK;
  std::vector<unsigned char> block;
  try {
    block.resize(static_cast<size_t>(size) + static_cast<size_t>(signature_size));
  } catch (...) {
    return kSaveOutOfMemory;
  }
  try {
    std::memcpy(block.data(), data, static_cast<size_t>(size));
    if (signature_size != 0 && signature != nullptr)
      std::memcpy(block.data() + size, signature, static_cast<size_t>(signature_size));
    const std::string path = ExpandRootPath(file_name);
    if (!support::WriteWholeFile(path, block.data(), static_cast<int32_t>(block.size()))) return kSaveWriteFailed;
    return DZ_OK;
  } catch (...) {
    return kSaveOutOfMemory;
  }
}

int32_t TCryptoEngine::GetRemoteGenType() { return 1; }
int32_t TCryptoEngine::GetMaxReportSize() { return kNoSize; }
int32_t TCryptoEngine::GetReport(const char*, char*) { return kNotImplemented; }

int32_t TCryptoEngine::GetMaxAdditionEx(const char* recipients) {
  int32_t r = GetMaxEncodeAddition();
  if (recipients != nullptr && recipients[0] != '\0') {
    const auto items = 1 + std::count(recipients, recipients + std::strlen(recipients), ';');
    r = static_cast<int32_t>(static_cast<uint32_t>(r) * static_cast<uint32_t>(items));
  }
  return r;
}

int32_t TCryptoEngine::GetUIDByPublicKeyTransfer(const char*, char*) { return kNotImplemented; }
int32_t TCryptoEngine::GetPublicKeyPropertiesByTransfer(const char*, char*) { return kNotImplemented; }
int32_t TCryptoEngine::GetPublicKeyPropertiesByFile(const char*, char*) { return kNotImplemented; }
int32_t TCryptoEngine::CreateDirStructure(const char*, intptr_t) { return kNotImplemented; }

int32_t TCryptoEngine::VerifySignWOCheckValidity(const void* data, int32_t size, const void* signature,
                                                 int32_t signature_size, char* signer_uid) {
  return VerifyData(data, size, signature, signature_size, signer_uid);
}

int32_t TCryptoEngine::CertAndRequestTransferMatch(intptr_t, intptr_t, int32_t* match) {
  if (match == nullptr) return DZ_E_BAD_ARGUMENT;
  *match = -1;  // "unknown": this engine keeps no certificates
  return DZ_OK;
}

int32_t TCryptoEngine::ConvertTransferToSignedRequest(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::HashData(const void*, int32_t, int32_t, void*, int32_t*) { return kNotImplemented; }
int32_t TCryptoEngine::ShowCertificate(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::GetPureSign(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::GetUIDByCertIdent(intptr_t, intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::InstallCertsInMyStore(intptr_t) { return kNotImplemented; }
int32_t TCryptoEngine::RegisterOIDInfo(const std::string&, const std::u16string&) { return kNotImplemented; }
int32_t TCryptoEngine::GetParamInfo(int32_t, int32_t*, char*, int32_t*) { return kNotImplemented; }

int32_t TCryptoEngine::IncludeByType(int32_t type, intptr_t p1, intptr_t p2, intptr_t p3) {
  const auto text = [](intptr_t p) { return reinterpret_cast<const char*>(p); };
  switch (type) {
    case 1: return IncludeVariant2(p1, p2, p3);
    case 2: return IncludePublicKey(text(p2));
    case 3: return IncludeVariant3(p1, p2, p3);
    case 4: return IncludePublicEncodeKey(text(p2));
    case 5: return IncludeVariant4(p1, p2, p3);
    case 6: return IncludeVariant5(p1, p2);
    case 7: return IncludePublicKeyTransfer(text(p2));
    case 8: return IncludeCACertificateFromTransfer(p2);
    case 9: return IncludeVariant1(p1, p2, p3);
    case 10: return IncludeCRL(p2);
    case 11: return IncludeVariant6(p1, p2, p3);
    default: return kNotImplemented;
  }
}

std::string TCryptoEngine::ExpandRootPath(const char* text) const {
  return dizora::ExpandRootPath(RootPath, text ? text : "");
}

std::string TCryptoEngine::ExpandRootDir(const char* text) const {
  return dizora::ExpandRootDir(RootPath, text ? text : "");
}

bool TCryptoEngine::CopyTextToBuffer(const char* text, char* buffer, int32_t capacity) {
  if (text == nullptr || buffer == nullptr || capacity <= 0) return false;
  const size_t n = std::min(static_cast<size_t>(capacity), std::strlen(text) + 1);
  std::memcpy(buffer, text, n);
  return true;
}

void TCryptoEngine::AssignRootPath(const std::string& path) { RootPath = NormalizeRootPath(path); }

}  // namespace dizora
