// Exports: keys and certificates, key generation and regeneration, transfers
// and reports.
#include <string>

#include "api/frame.h"
#include "support/cp1251.h"

using dizora::TCryptoEngine;
using namespace dizora::api;


DZ_EXPORT int32_t DIZORA_API IncludePublicKey(DizoraEngine engine, const char* file_name) {
  DZ_FORWARD(kCallFailure, e.IncludePublicKey(file_name));
}
DZ_EXPORT int32_t DIZORA_API IncludePublicEncodeKey(DizoraEngine engine, const char* file_name) {
  DZ_FORWARD(kCallFailure, e.IncludePublicEncodeKey(file_name));
}
DZ_EXPORT int32_t DIZORA_API RemoveCertificate(DizoraEngine engine, const char* uid) {
  DZ_FORWARD(kCallFailure, e.RemoveCertificate(uid));
}

DZ_EXPORT void DIZORA_API ClearCash(DizoraEngine engine) {
  CallVoid(engine, [](TCryptoEngine& e) { e.ResetAllKeys(); });
}

// A result of DZ_E_INIT (the base class's "not implemented") resets every key
// and counts as success.
DZ_EXPORT int32_t DIZORA_API UpdateCertificateCash(DizoraEngine engine, const char* uid) {
  const int32_t r = Call(engine, kCallFailure, [&](TCryptoEngine& e) { return e.UpdateCertificateCash(uid); });
  if (r != DZ_E_INIT) return r;
  ClearCash(engine);
  return DZ_OK;
}

DZ_EXPORT int32_t DIZORA_API IncludeCACertificateFromTransfer(DizoraEngine engine, intptr_t a1) {
  DZ_FORWARD(kCallFailure, e.IncludeCACertificateFromTransfer(a1));
}
DZ_EXPORT int32_t DIZORA_API IncludeCRL(DizoraEngine engine, intptr_t a1) {
  DZ_FORWARD(kCallFailure, e.IncludeCRL(a1));
}
DZ_EXPORT int32_t DIZORA_API CreateDirStructure(DizoraEngine engine, const char* public_key_file,
                                                intptr_t ignored) {
  DZ_FORWARD(kCallFailure, e.CreateDirStructure(public_key_file, ignored));
}
// The Boolean answer comes back as -1 for true and 0 for false (a Boolean,
// not a result code).
DZ_EXPORT int32_t DIZORA_API IsDifferentKeys(DizoraEngine engine) {
  constexpr int32_t kTrue = -1, kFalse = 0;
  DZ_FORWARD(kSizeFailure, e.IsDifferentKeys() ? kTrue : kFalse);
}
DZ_EXPORT int32_t DIZORA_API TransSignatureFromFileToTM(DizoraEngine engine) {
  DZ_FORWARD(kCallFailure, e.TransSignatureFromFileToTM());
}
DZ_EXPORT int32_t DIZORA_API TransPrivateKeyFromFileToTM(DizoraEngine engine) {
  DZ_FORWARD(kCallFailure, e.TransPrivateKeyFromFileToTM());
}
DZ_EXPORT int32_t DIZORA_API ShowCertificate(DizoraEngine engine, intptr_t a1) {
  DZ_FORWARD(kCallFailure, e.ShowCertificate(a1));
}
DZ_EXPORT int32_t DIZORA_API GetUIDByCertIdent(DizoraEngine engine, intptr_t a1, intptr_t a2) {
  DZ_FORWARD(kCallFailure, e.GetUIDByCertIdent(a1, a2));
}
DZ_EXPORT int32_t DIZORA_API InstallCertsInMyStore(DizoraEngine engine, intptr_t a1) {
  DZ_FORWARD(kCallFailure, e.InstallCertsInMyStore(a1));
}
// The second text reaches the operation as UTF-16, read through Windows-1251.
DZ_EXPORT int32_t DIZORA_API RegisterOIDInfo(DizoraEngine engine, const char* oid, const char* name) {
  DZ_FORWARD(kCallFailure, e.RegisterOIDInfo(oid ? oid : "", dizora::Cp1251ToUtf16(name ? name : "")));
}

DZ_EXPORT int32_t DIZORA_API GenerateNewSSK(DizoraEngine engine) {
  DZ_FORWARD(kCallFailure, e.GenerateNewSSK());
}
DZ_EXPORT int32_t DIZORA_API GenerateNewSEK(DizoraEngine engine) {
  DZ_FORWARD(kCallFailure, e.GenerateNewSEK());
}
DZ_EXPORT int32_t DIZORA_API RemoteGenerateStart(DizoraEngine engine, char* transfer) {
  DZ_FORWARD(kCallFailure, e.RemoteGenerateStart(transfer));
}
DZ_EXPORT int32_t DIZORA_API RemoteGenerateFinish(DizoraEngine engine, intptr_t ignored) {
  DZ_FORWARD(kCallFailure, e.RemoteGenerateFinish(ignored));
}
DZ_EXPORT int32_t DIZORA_API RemoteGenerateStartEx(DizoraEngine engine, const char* uid, char* transfer,
                                                   int32_t* state) {
  DZ_FORWARD(kCallFailure, e.RemoteGenerateStartEx(uid, transfer, state));
}
DZ_EXPORT int32_t DIZORA_API RemoteGenerateFinishEx(DizoraEngine engine, const char* transfer,
                                                    int32_t* state) {
  DZ_FORWARD(kCallFailure, e.RemoteGenerateFinishEx(transfer, state));
}
DZ_EXPORT int32_t DIZORA_API GetRemoteGenType(DizoraEngine engine) {
  DZ_FORWARD(kSizeFailure, e.GetRemoteGenType());
}

DZ_EXPORT int32_t DIZORA_API GetPublicKeyTransfer(DizoraEngine engine, const char* uid, char* transfer) {
  DZ_FORWARD(kCallFailure, e.GetPublicKeyTransfer(uid, transfer));
}
DZ_EXPORT int32_t DIZORA_API GetPublicKeyTransferByFile(DizoraEngine engine, char* transfer,
                                                        const char* file_name) {
  DZ_FORWARD(kCallFailure, e.GetPublicKeyTransferByFile(transfer, file_name));
}
DZ_EXPORT int32_t DIZORA_API SavePublicKeyFromTransfer(DizoraEngine engine, const char* directory,
                                                       const char* transfer) {
  DZ_FORWARD(kCallFailure, e.SavePublicKeyFromTransfer(directory, transfer));
}
DZ_EXPORT int32_t DIZORA_API IncludePublicKeyTransfer(DizoraEngine engine, const char* transfer) {
  DZ_FORWARD(kCallFailure, e.IncludePublicKeyTransfer(transfer));
}
DZ_EXPORT int32_t DIZORA_API ExcludeSelfPublicKeyTransfer(DizoraEngine engine, char* transfer) {
  DZ_FORWARD(kCallFailure, e.ExcludeSelfPublicKeyTransfer(transfer));
}
DZ_EXPORT int32_t DIZORA_API GetUIDByPublicKeyTransfer(DizoraEngine engine, const char* transfer, char* uid) {
  DZ_FORWARD(kCallFailure, e.GetUIDByPublicKeyTransfer(transfer, uid));
}
DZ_EXPORT int32_t DIZORA_API GetReport(DizoraEngine engine, const char* uid, char* report) {
  DZ_FORWARD(kCallFailure, e.GetReport(uid, report));
}
// Second name of GetReport.
DZ_EXPORT int32_t DIZORA_API GetPublicKeyProperties(DizoraEngine engine, const char* uid, char* report) {
  DZ_FORWARD(kCallFailure, e.GetReport(uid, report));
}
DZ_EXPORT int32_t DIZORA_API GetPublicKeyPropertiesByTransfer(DizoraEngine engine, const char* transfer,
                                                              char* report) {
  DZ_FORWARD(kCallFailure, e.GetPublicKeyPropertiesByTransfer(transfer, report));
}
DZ_EXPORT int32_t DIZORA_API GetPublicKeyPropertiesByFile(DizoraEngine engine, const char* file_name,
                                                          char* report) {
  DZ_FORWARD(kCallFailure, e.GetPublicKeyPropertiesByFile(file_name, report));
}
DZ_EXPORT int32_t DIZORA_API CertAndRequestTransferMatch(DizoraEngine engine, intptr_t a1, intptr_t a2,
                                                         int32_t* match) {
  DZ_FORWARD(kCallFailure, e.CertAndRequestTransferMatch(a1, a2, match));
}
DZ_EXPORT int32_t DIZORA_API ConvertTransferToSignedRequest(DizoraEngine engine, intptr_t a1) {
  DZ_FORWARD(kCallFailure, e.ConvertTransferToSignedRequest(a1));
}
