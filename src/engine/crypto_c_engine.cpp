#include "engine/crypto_c_engine.h"

#include <cstring>
#include <new>

#include "engine/result_messages.h"
#include "support/exceptions.h"

namespace dizora {

namespace {

// Defaults of the key-medium paths. On Windows the key medium is the floppy
// drive A:. Elsewhere it is the engine root ("%ZRNRoot%", the current
// directory while no root is set).
#ifdef _WIN32
#define DZ_MEDIUM "A:\\"
#else
#define DZ_MEDIUM "%ZRNRoot%"
#endif

const SettingInfo kSettings[kSettingCount] = {
    {"User PKey/Certificate", DZ_MEDIUM "self.pub", 10, "*.pub"},
    {"User Secret key", DZ_MEDIUM "self.sec", 10, "*.sec"},
    {"Abonents dir", DZ_MEDIUM "ABONENTS", 11, "*.pub"},
    {"CA dir", DZ_MEDIUM "CA", 11, "*.pub"},
    {"Encrypt Method", "1", 1, "0..1"},
    {"Encrypt for UID", "User1", 4, "255"},
    {"Key request time out", "60", 1, "0..2147483640"},
    {"Last operation key time out", "5", 1, "0..2147483640"},
    {"Key gen - GOST", "2001", 7, "1994\r\n2001"},
    {"Key gen - UID", "User2", 2, "0..255"},
    {"Key gen - PKey filename", DZ_MEDIUM "new.pub", 10, "*.pub"},
    {"Key gen - SKey filename", DZ_MEDIUM "new.sec", 10, "*.sec"},
    {"Hash method", "", 7, "GOST\r\nOLD_FORMAT"},
};

#undef DZ_MEDIUM

constexpr char kEngineType[11] = "Dizora-V";  // the name and three zero bytes

}  // namespace

const SettingInfo& EngineSetting(int32_t index) { return kSettings[index - 1]; }

TCryptoCEngine::TCryptoCEngine() {
  for (const SettingInfo& s : kSettings) {
    ParamNames.emplace_back(s.name);
    ParamValues.emplace_back(s.default_value);
  }
}

TCryptoCEngine::~TCryptoCEngine() = default;

void TCryptoCEngine::StoreErrorText(const std::string& text) { ErrorText.SetText(text); }

void TCryptoCEngine::StoreError(const char* operation, const std::exception& e) {
  StoreErrorText(std::string("TCryptoCEngine.") + operation + ": " + ClassNameOf(e) + ": " + MessageOf(e));
}

int32_t TCryptoCEngine::ExceptionResult(const char* operation, const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return DZ_E_NO_MEMORY;
  StoreError(operation, e);
  return DZ_E_EXCEPTION;
}

void TCryptoCEngine::GetCryptoEngineType(char* buffer) {
  try {
    if (buffer == nullptr) throw EAssertionFailed("ce_rurov", __LINE__);
    std::memcpy(buffer, kEngineType, sizeof kEngineType);
  } catch (const std::exception& e) {
    StoreError("GetCryptoEngineType", e);
  }
}

void TCryptoCEngine::GetCryptoErrorString(int32_t code, char* buffer) {
  if (buffer == nullptr) return;
  try {
    WriteCryptoErrorString(code, ErrorText.GetText(), buffer);
  } catch (...) {
  }
}

int32_t TCryptoCEngine::GetParamInfo(int32_t index, int32_t* kind, char* buffer, int32_t* size) {
  if (index < 1 || index > kSettingCount) return DZ_E_NO_SUCH_SETTING;
  // Without the kind, or without the size (also for a size query), there is
  // nowhere to answer.
  if (kind == nullptr || size == nullptr) return DZ_E_BAD_ARGUMENT;
  const SettingInfo& s = EngineSetting(index);
  *kind = s.kind;
  const int32_t needed = static_cast<int32_t>(std::strlen(s.info)) + 1;
  if (buffer == nullptr) {
    *size = needed;
    return DZ_OK;
  }
  if (*size < needed) {
    *size = needed;
    return DZ_E_BAD_ARGUMENT;
  }
  try {
    std::memcpy(buffer, s.info, static_cast<size_t>(needed));
    *size = needed;
    return DZ_OK;
  } catch (const std::exception& e) {
    return ExceptionResult("GetParamInfo", e);
  }
}

}  // namespace dizora
