// Exports: engine life, size queries, settings, callbacks, error texts.
#include <string>

#include "api/frame.h"
#include "engine/crypto_c_engine.h"
#include "support/root_path.h"

using dizora::TCryptoEngine;
using namespace dizora::api;


DZ_EXPORT DizoraEngine DIZORA_API GetCryptObj(intptr_t) {
  try {
    TCryptoEngine* engine = new dizora::TCryptoCEngine();
    return reinterpret_cast<DizoraEngine>(engine);
  } catch (...) {
    return nullptr;
  }
}

DZ_EXPORT void DIZORA_API DoneEngine(DizoraEngine engine) {
  try {
    delete EngineOf(engine);
  } catch (...) {
  }
}

DZ_EXPORT int32_t DIZORA_API GetMaxEncodeAddition(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxEncodeAddition());
}
DZ_EXPORT int32_t DIZORA_API GetMaxSignatureLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxSignatureLength());
}
DZ_EXPORT int32_t DIZORA_API GetMaxUIDLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxUIDLength());
}
DZ_EXPORT int32_t DIZORA_API GetMaxCryptoParamNameLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxCryptoParamNameLength());
}
DZ_EXPORT int32_t DIZORA_API GetMaxCryptoParamValueLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxCryptoParamValueLength());
}
DZ_EXPORT int32_t DIZORA_API GetMaxErrorStringLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxErrorStringLength());
}
DZ_EXPORT int32_t DIZORA_API GetMaxPasswordLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxPasswordLength());
}
DZ_EXPORT int32_t DIZORA_API GetMaxSignAddition(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxSignAddition());
}
DZ_EXPORT int32_t DIZORA_API GetMaxPublicKeyTransferSize(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxPublicKeyTransferSize());
}
DZ_EXPORT int32_t DIZORA_API GetMaxReportSize(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxReportSize());
}
// Second name of GetMaxReportSize.
DZ_EXPORT int32_t DIZORA_API GetMaxPublicKeyPropertiesLength(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetMaxReportSize());
}
DZ_EXPORT int32_t DIZORA_API GetMaxAdditionEx(DizoraEngine engine, const char* recipients) {
  DZ_FORWARD(kSizeFailure, e.GetMaxAdditionEx(recipients));
}
DZ_EXPORT int32_t DIZORA_API GetMaxFilePathLength(DizoraEngine) { return 255; }

DZ_EXPORT int32_t DIZORA_API GetCryptoParamNumber(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetCryptoParamNumber());
}
DZ_EXPORT void DIZORA_API GetCryptoParamName(DizoraEngine engine, int32_t index, char* name) {
  DZ_FORWARD_VOID(e.GetCryptoParamName(index, name));
}
DZ_EXPORT void DIZORA_API GetCryptoParamValue(DizoraEngine engine, int32_t index, char* value) {
  DZ_FORWARD_VOID(e.GetCryptoParamValue(index, value));
}
DZ_EXPORT int32_t DIZORA_API SetCryptoParamValue(DizoraEngine engine, int32_t index, const char* value) {
  DZ_FORWARD(kCallFailure, e.SetCryptoParamValue(index, value));
}
DZ_EXPORT int32_t DIZORA_API GetParamInfo(DizoraEngine engine, int32_t index, int32_t* kind, char* info,
                                          int32_t* size) {
  DZ_FORWARD(kCallFailure, e.GetParamInfo(index, kind, info, size));
}

// Sets the process-wide root first, then the engine's own. A conflicting
// process root raises before the engine's root is touched; a null handle
// still sets the process root when none is set. A null text changes nothing.
DZ_EXPORT void DIZORA_API SetRootPath(DizoraEngine engine, const char* root) {
  const LibraryCall call;
  if (!call || root == nullptr) return;
  try {
    const std::string path = root;
    dizora::SetProcessRoot(path);
    if (engine != nullptr) EngineOf(engine)->AssignRootPath(path);
  } catch (...) {
  }
}

DZ_EXPORT void DIZORA_API SetRemoteGeneratePath(DizoraEngine engine, const char* path) {
  if (path == nullptr) return;
  DZ_FORWARD_VOID(e.SetRemoteGeneratePath(path));
}
DZ_EXPORT void DIZORA_API SetPasswordRequestFunc(DizoraEngine engine, DizoraCallback callback) {
  DZ_FORWARD_VOID(e.SetPasswordRequestFunc(callback));
}
DZ_EXPORT void DIZORA_API SetTMRequestFunc(DizoraEngine engine, DizoraCallback callback) {
  DZ_FORWARD_VOID(e.TMRequestFunc = callback);
}

DZ_EXPORT void DIZORA_API GetCryptoErrorString(DizoraEngine engine, int32_t code, char* text) {
  DZ_FORWARD_VOID(e.GetCryptoErrorString(code, text));
}
DZ_EXPORT void DIZORA_API GetLastErrorMessage(DizoraEngine engine, char* text) {
  DZ_FORWARD_VOID(e.GetLastErrorMessage(text));
}
DZ_EXPORT int32_t DIZORA_API GetCurrentUserUID(DizoraEngine engine, char* uid) {
  DZ_FORWARD(kCallFailure, e.GetCurrentUID(uid));
}
DZ_EXPORT int32_t DIZORA_API GetEncodeUIDBySignUID(DizoraEngine engine, const char* sign_uid,
                                                   char* encode_uid) {
  DZ_FORWARD(kCallFailure, e.GetEncodeUIDBySignUID(sign_uid, encode_uid));
}
