// TCryptoCEngine: the Dizora-V engine. It fills the base class's settings
// lists with its 13 settings and implements the operations through shared
// TCryptoC_DLL binding objects held in a process-wide registry.
#pragma once

#include <cstdint>
#include <string>

#include "engine/cryptobj.h"

namespace dizora {

// Indexes (1-based) of the engine's settings.
enum SettingIndex : int32_t {
  kSetPublicKey = 1,
  kSetSecretKey = 2,
  kSetAbonentsDir = 3,
  kSetCADir = 4,
  kSetEncryptMethod = 5,
  kSetEncryptForUID = 6,
  kSetKeyRequestTimeOut = 7,
  kSetLastOperationTimeOut = 8,
  kSetKeyGenGost = 9,
  kSetKeyGenUID = 10,
  kSetKeyGenPublicFile = 11,
  kSetKeyGenSecretFile = 12,
  kSetHashMethod = 13,
  kSettingCount = 13,
};

// One setting as the engine declares it.
struct SettingInfo {
  const char* name;
  const char* default_value;
  int32_t kind;
  const char* info;
};

// The 13 settings in index order (entry 0 is index 1).
const SettingInfo& EngineSetting(int32_t index);

class TCryptoCEngine : public TCryptoEngine {
 public:
  TCryptoCEngine();
  ~TCryptoCEngine() override;

  void GetCryptoEngineType(char* buffer) override;
  void GetCryptoErrorString(int32_t code, char* buffer) override;
  int32_t GetParamInfo(int32_t index, int32_t* kind, char* buffer, int32_t* size) override;

 protected:
  // Stores "TCryptoCEngine." + operation + ": " + class + ": " + message.
  void StoreError(const char* operation, const std::exception& e);
  void StoreErrorText(const std::string& text);
};

}  // namespace dizora
