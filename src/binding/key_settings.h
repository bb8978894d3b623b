// The key settings a binding operation works with: where the user's key pair
// and the correspondents' public keys lie, and the two key time-outs. The
// engine reads them from its settings (paths already expanded).
#pragma once

#include <cstdint>
#include <string>

namespace dizora {

struct TKeySettings {
  std::string PublicKeyPath;
  std::string SecretKeyPath;
  std::string CorrespondentsDir;
  std::string CADir;             // part of the binding's identity; no operation reads it
  int32_t KeyRequestTimeout = 60;  // seconds a loaded key lives at most
  int32_t LastOpTimeout = 5;       // seconds a loaded key lives unused

  // The four paths concatenated: the key under which the engine keeps the
  // binding of these settings.
  std::string RegistryKey() const { return PublicKeyPath + SecretKeyPath + CorrespondentsDir + CADir; }
};

}  // namespace dizora
