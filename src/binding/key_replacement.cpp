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

  // The previous secret key goes to "old.sec" before the new one is written;
  // the new file is private and no less strict than the one it replaces.
  if (!ClearAway(oldSecretPath)) return DZ_E_SECRET_KEY_FILE;
  if (!support::MoveFile(secretKeyPath, oldSecretPath, false)) return DZ_E_SECRET_KEY_FILE;
  // From here on a failure puts the previous secret key back, so the working
  // pair is never missing or mixed.
  auto restoreSecret = [&] { support::MoveFile(oldSecretPath, secretKeyPath, true); };
  if (!support::WriteWholeFile(secretKeyPath, newSecretKey, newSecretKeyLength, platform::FileAccess::kPrivate,
                               oldSecretPath)) {
    restoreSecret();
    return DZ_E_SECRET_KEY_FILE;
  }

  // Moves, also to and from another file system (the regeneration directory
  // may lie on one).
  if (!ClearAway(oldPublicPath) || !support::MoveFile(publicKeyPath, oldPublicPath, false)) {
    restoreSecret();
    return DZ_E_PUBLIC_KEY_FILE;
  }
  if (!support::MoveFile(newPublicKeyPath, publicKeyPath, false)) {
    support::MoveFile(oldPublicPath, publicKeyPath, false);
    restoreSecret();
    return DZ_E_PUBLIC_KEY_FILE;
  }

  ClearKeyCache();
  DropSecretKey();
  return DZ_OK;
}

}  // namespace dizora
