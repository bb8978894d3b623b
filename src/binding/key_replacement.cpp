// TCryptoC_DLL: installation of a regenerated key pair in place of the current
// one, keeping the previous pair as "old.sec" and "old.pub".
#include "binding/crypto_c_dll.h"
#include "platform/fs.h"
#include "platform/path_style.h"
#include "support/fileutils.h"

namespace dizora {

namespace {

// Directory part of a path, with its trailing delimiter ("" when none).
std::string DirectoryOf(const std::string& path) {
  const size_t last = path.find_last_of(platform::kPathDelimiter);
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

// Deletes `path` when it exists; true when it is gone afterwards.
bool ClearAway(const std::string& path) {
  if (platform::PathExists(path)) platform::RemoveFile(path);
  return !platform::PathExists(path);
}

}  // namespace

int32_t TCryptoC_DLL::ReplaceKeyFiles(const std::string& publicKeyPath,
                                      const std::string& secretKeyPath,
                                      const std::string& newPublicKeyPath,
                                      const uint8_t* newSecretKey, int32_t newSecretKeyLength) {
  TGuard guard(KeyLock);
  if (!platform::PathExists(publicKeyPath)) return DZ_E_PUBLIC_KEY;
  if (!platform::PathExists(secretKeyPath)) return DZ_E_SECRET_KEY;
  if (newSecretKey == nullptr || newSecretKeyLength < 0) return DZ_E_SECRET_KEY_FILE;

  const std::string directory = support::AppendPathDelimiter(DirectoryOf(secretKeyPath));
  const std::string oldSecretPath = directory + "old.sec";
  const std::string oldPublicPath = directory + "old.pub";

  // The previous secret key goes to "old.sec" before the new one is written.
  if (!ClearAway(oldSecretPath)) return DZ_E_SECRET_KEY_FILE;
  if (!platform::RenameFile(secretKeyPath, oldSecretPath)) return DZ_E_SECRET_KEY_FILE;
  // From here on a failure puts the previous secret key back, so the working
  // pair is never missing or mixed.
  auto restoreSecret = [&] { platform::RenameOver(oldSecretPath, secretKeyPath); };
  if (!support::WriteWholeFile(secretKeyPath, newSecretKey, newSecretKeyLength)) {
    restoreSecret();
    return DZ_E_SECRET_KEY_FILE;
  }

  if (!ClearAway(oldPublicPath) || !platform::RenameFile(publicKeyPath, oldPublicPath)) {
    restoreSecret();
    return DZ_E_PUBLIC_KEY_FILE;
  }
  if (!platform::RenameFile(newPublicKeyPath, publicKeyPath)) {
    platform::RenameFile(oldPublicPath, publicKeyPath);
    restoreSecret();
    return DZ_E_PUBLIC_KEY_FILE;
  }

  ClearKeyCache();
  DropSecretKey();
  return DZ_OK;
}

}  // namespace dizora
