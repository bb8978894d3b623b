// TCryptoCEngine: the user's identity, correspondents' public keys, the reset
// of loaded keys and the preparation of a key medium.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/binding_registry.h"
#include "platform/fs.h"
#include "support/fileutils.h"
#include "support/medium.h"
#include "support/secure.h"

namespace dizora {

int32_t TCryptoCEngine::GetCurrentUID(char* buffer) {
  if (buffer == nullptr) return DZ_E_BAD_ARGUMENT;
  return KeyFrame("GetCurrentUID", [&](TCryptoC_DLL& b, const TKeySettings& k) -> int32_t {
    return b.ReadOwnerUID(k.PublicKeyPath, buffer);
  });
}

// One key pair serves signing and encryption: the UID is copied unchanged,
// cut to GetMaxUIDLength characters, and terminated right after the text.
int32_t TCryptoCEngine::GetEncodeUIDBySignUID(const char* sign_uid, char* buffer) {
  if (sign_uid == nullptr || buffer == nullptr) return DZ_E_BAD_ARGUMENT;
  try {
    const int32_t limit = GetMaxUIDLength();
    if (!CopyTextToBuffer(sign_uid, buffer, limit)) return DZ_E_EXCEPTION;
    buffer[strnlen(sign_uid, static_cast<size_t>(limit))] = '\0';
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("GetEncodeUIDBySignUID", e);
  }
}

// Moves a correspondent's public-key file into the correspondents' directory.
// Only a public-key record is taken; anything else (a secret-key file, a
// text) is refused with -11 before anything changes. The source file is
// deleted only once the key is stored, and never when it is the stored file
// itself (a file of the directory included again, under any spelling).
int32_t TCryptoCEngine::IncludePublicKey(const char* file_name) {
  if (file_name == nullptr) return DZ_E_BAD_ARGUMENT;
  TKeySettings settings;
  const int32_t read = ReadKeySettings(settings);
  if (read != DZ_OK) return read;

  support::SecureBuffer record;
  try {
    record = support::SecureBuffer(rurov::kMaxPublicKeyFileSize);
  } catch (const std::bad_alloc&) {
    return DZ_E_NO_MEMORY;
  }
  const std::string path = ExpandRootPath(file_name);
  int32_t length = static_cast<int32_t>(record.size());
  if (!support::ReadWholeFile(path, record.data(), length)) return DZ_E_PUBLIC_KEY;
  if (!rurov::IsPublicKeyRecord(record.data(), length)) return DZ_E_PUBLIC_KEY;

  return BindingFrame("IncludePublicKey", settings.RegistryKey(), [&](TCryptoC_DLL& b) -> int32_t {
    const TMediumAccess medium(b, TMediumAccess::Mode::kExclusive);
    std::string stored;
    const int32_t r = b.IncludePublicKeyRecord(settings, record.data(), length, nullptr, &stored);
    // Deleted only when provably another file than the stored one.
    if (r == DZ_OK && platform::SameFile(path, stored) == false) platform::RemoveFile(path);
    return r;
  });
}

// The same operation: one key pair serves signing and encryption.
int32_t TCryptoCEngine::IncludePublicEncodeKey(const char* file_name) { return IncludePublicKey(file_name); }

int32_t TCryptoCEngine::RemoveCertificate(const char* uid) {
  if (uid == nullptr) return DZ_E_BAD_ARGUMENT;
  return KeyFrame("RemoveCertificate", [&](TCryptoC_DLL& b, const TKeySettings& k) -> int32_t {
    return b.RemovePublicKey(k, uid);
  });
}

int32_t TCryptoCEngine::UpdateCertificateCash(const char* uid) {
  if (uid == nullptr) return DZ_E_BAD_ARGUMENT;
  return KeyFrame("UpdateCertificateCash", [&](TCryptoC_DLL& b, const TKeySettings& k) -> int32_t {
    return b.RefreshPublicKey(k, uid);
  });
}

// Resets the bindings of every engine of the process, not only this one's.
void TCryptoCEngine::ResetAllKeys() {
  try {
    RaiseTestFaultIfRequested("ResetAllKeys");
    ReleaseAllBindingKeys();
  } catch (const std::exception& e) {
    StoreError("ResetAllKeys", e);
  }
}

// Prepares a key medium: the given public-key file in its configured place
// and both key directories. Exceptions are left to the exported function.
int32_t TCryptoCEngine::CreateDirStructure(const char* public_key_file, intptr_t) {
  if (public_key_file == nullptr) return DZ_E_BAD_ARGUMENT;
  const std::string own_public_key = ExpandRootPath(SettingValue(kSetPublicKey).c_str());
  const std::string correspondents_dir = ExpandRootDir(SettingValue(kSetAbonentsDir).c_str());
  const std::string ca_dir = ExpandRootDir(SettingValue(kSetCADir).c_str());

  const std::string source = ExpandRootPath(public_key_file);
  const support::MediumLock medium(MediumOfSettings(), support::MediumLock::Mode::kExclusive);
  if (medium.Recovered()) ReleaseAllBindingKeys();
  const auto attributes = platform::GetPathAttributes(source);
  if (!attributes || (*attributes & platform::kAttrDirectory) != 0) return DZ_E_MEDIUM_STRUCTURE;
  // Only a public-key record is copied to the public-key path (never a
  // secret-key file or a text named by mistake).
  if (source != own_public_key &&
      (!rurov::IsPublicKeyRecordFile(source) || !support::CopyWholeFile(source, own_public_key)))
    return DZ_E_MEDIUM_STRUCTURE;

  if (!support::IsDirectory(ca_dir)) support::CreateDirectoryPath(ca_dir);
  if (!support::IsDirectory(correspondents_dir)) support::CreateDirectoryPath(correspondents_dir);
  return (support::IsDirectory(ca_dir) && support::IsDirectory(correspondents_dir)) ? 0
                                                                                      : DZ_E_MEDIUM_STRUCTURE;
}

}  // namespace dizora
