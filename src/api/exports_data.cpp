// Exports: data operations.
#include "api/frame.h"

using dizora::TCryptoEngine;
using namespace dizora::api;


DZ_EXPORT int32_t DIZORA_API EncodeData(DizoraEngine engine, void* data, int32_t* size,
                                        const char* recipients) {
  DZ_FORWARD(kCallFailure, e.EncodeData(data, size, recipients));
}
DZ_EXPORT int32_t DIZORA_API DecodeData(DizoraEngine engine, void* data, int32_t* size, intptr_t ignored) {
  DZ_FORWARD(kCallFailure, e.DecodeData(data, size, ignored));
}
DZ_EXPORT int32_t DIZORA_API SignData(DizoraEngine engine, const void* data, int32_t size, void* signature,
                                      int32_t* signature_size, intptr_t ignored) {
  DZ_FORWARD(kCallFailure, e.SignData(data, size, signature, signature_size, ignored));
}
DZ_EXPORT int32_t DIZORA_API VerifyData(DizoraEngine engine, const void* data, int32_t size,
                                        const void* signature, int32_t signature_size, char* signer_uid) {
  DZ_FORWARD(kCallFailure, e.VerifyData(data, size, signature, signature_size, signer_uid));
}
DZ_EXPORT int32_t DIZORA_API VerifySignWOCheckValidity(DizoraEngine engine, const void* data, int32_t size,
                                                       const void* signature, int32_t signature_size,
                                                       char* signer_uid) {
  DZ_FORWARD(kCallFailure, e.VerifySignWOCheckValidity(data, size, signature, signature_size, signer_uid));
}
DZ_EXPORT int32_t DIZORA_API HashData(DizoraEngine engine, const void* data, int32_t size, int32_t form,
                                      void* hash, int32_t* hash_size) {
  DZ_FORWARD(kCallFailure, e.HashData(data, size, form, hash, hash_size));
}
DZ_EXPORT int32_t DIZORA_API AddSign(DizoraEngine engine, void* data, int32_t* size, intptr_t ignored) {
  DZ_FORWARD(kCallFailure, e.AddSign(data, size, ignored));
}
DZ_EXPORT int32_t DIZORA_API RemoveSign(DizoraEngine engine, void* data, int32_t* size, char* signer_uid) {
  DZ_FORWARD(kCallFailure, e.RemoveSignature(data, size, signer_uid));
}
DZ_EXPORT int32_t DIZORA_API GetPureSign(DizoraEngine engine, intptr_t a1, intptr_t a2, intptr_t a3,
                                         intptr_t a4, intptr_t a5) {
  DZ_FORWARD(kCallFailure, e.GetPureSign(a1, a2, a3, a4, a5));
}
DZ_EXPORT int32_t DIZORA_API SaveSignedDataToFile(DizoraEngine engine, const void* data, int32_t size,
                                                  const void* signature, int32_t signature_size,
                                                  const char* file_name) {
  DZ_FORWARD(kCallFailure, e.SaveSignedDataToFile(data, size, signature, signature_size, file_name));
}
DZ_EXPORT int32_t DIZORA_API SignFile(DizoraEngine engine, intptr_t a1) { DZ_FORWARD(kCallFailure, e.SignFile(a1)); }
DZ_EXPORT int32_t DIZORA_API VerifyFile(DizoraEngine engine, intptr_t a1, intptr_t a2) {
  DZ_FORWARD(kCallFailure, e.VerifyFile(a1, a2));
}
DZ_EXPORT int32_t DIZORA_API RemoveSignaturesFromFile(DizoraEngine engine, intptr_t a1) {
  DZ_FORWARD(kCallFailure, e.RemoveSignaturesFromFile(a1));
}
