/*
 * Dizora-V cryptographic engine: the public C interface.
 *
 * The host obtains an engine with GetCryptObj, passes it as the first argument
 * of every other call (GetMaxFilePathLength ignores it) and releases it with
 * DoneEngine. Results are signed 32-bit codes: 0 success, negative codes the
 * engine's own, positive codes those of the GOST library passed through; the
 * message of a code is read with GetCryptoErrorString. Texts are zero-terminated
 * 8-bit strings in the Windows-1251 code page; output buffers are sized by the
 * caller with the GetMax... functions.
 */
#ifndef DIZORA_H
#define DIZORA_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define DIZORA_API __stdcall
#else
#define DIZORA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The engine handle: opaque to the host. */
typedef struct DizoraEngineTag *DizoraEngine;

/* A host callback; stored by the engine, never called by it. */
typedef void (DIZORA_API *DizoraCallback)(void);

/* Engine life */
DizoraEngine DIZORA_API GetCryptObj(intptr_t unused);
void DIZORA_API DoneEngine(DizoraEngine engine);

/* Maximum sizes */
int32_t DIZORA_API GetMaxEncodeAddition(DizoraEngine engine);
int32_t DIZORA_API GetMaxSignatureLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxUIDLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxCryptoParamNameLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxCryptoParamValueLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxErrorStringLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxPasswordLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxSignAddition(DizoraEngine engine);
int32_t DIZORA_API GetMaxPublicKeyTransferSize(DizoraEngine engine);
int32_t DIZORA_API GetMaxReportSize(DizoraEngine engine);
int32_t DIZORA_API GetMaxPublicKeyPropertiesLength(DizoraEngine engine);
int32_t DIZORA_API GetMaxAdditionEx(DizoraEngine engine, const char *recipients);
int32_t DIZORA_API GetMaxFilePathLength(DizoraEngine engine);

/* Settings and callbacks */
int32_t DIZORA_API GetCryptoParamNumber(DizoraEngine engine);
void DIZORA_API GetCryptoParamName(DizoraEngine engine, int32_t index, char *name);
void DIZORA_API GetCryptoParamValue(DizoraEngine engine, int32_t index, char *value);
int32_t DIZORA_API SetCryptoParamValue(DizoraEngine engine, int32_t index, const char *value);
int32_t DIZORA_API GetParamInfo(DizoraEngine engine, int32_t index, int32_t *kind, char *info,
                                int32_t *size);
void DIZORA_API SetRootPath(DizoraEngine engine, const char *root);
void DIZORA_API SetRemoteGeneratePath(DizoraEngine engine, const char *path);
void DIZORA_API SetPasswordRequestFunc(DizoraEngine engine, DizoraCallback callback);
void DIZORA_API SetTMRequestFunc(DizoraEngine engine, DizoraCallback callback);

/* Error texts and identities */
void DIZORA_API GetCryptoErrorString(DizoraEngine engine, int32_t code, char *text);
void DIZORA_API GetLastErrorMessage(DizoraEngine engine, char *text);
int32_t DIZORA_API GetCurrentUserUID(DizoraEngine engine, char *uid);
int32_t DIZORA_API GetEncodeUIDBySignUID(DizoraEngine engine, const char *sign_uid, char *encode_uid);

/* Data operations */
int32_t DIZORA_API EncodeData(DizoraEngine engine, void *data, int32_t *size, const char *recipients);
int32_t DIZORA_API DecodeData(DizoraEngine engine, void *data, int32_t *size, intptr_t ignored);
int32_t DIZORA_API SignData(DizoraEngine engine, const void *data, int32_t size, void *signature,
                            int32_t *signature_size, intptr_t ignored);
int32_t DIZORA_API VerifyData(DizoraEngine engine, const void *data, int32_t size,
                              const void *signature, int32_t signature_size, char *signer_uid);
int32_t DIZORA_API VerifySignWOCheckValidity(DizoraEngine engine, const void *data, int32_t size,
                                             const void *signature, int32_t signature_size,
                                             char *signer_uid);
int32_t DIZORA_API HashData(DizoraEngine engine, const void *data, int32_t size, int32_t form,
                            void *hash, int32_t *hash_size);
int32_t DIZORA_API AddSign(DizoraEngine engine, void *data, int32_t *size, intptr_t ignored);
int32_t DIZORA_API RemoveSign(DizoraEngine engine, void *data, int32_t *size, char *signer_uid);
int32_t DIZORA_API GetPureSign(DizoraEngine engine, intptr_t a1, intptr_t a2, intptr_t a3,
                               intptr_t a4, intptr_t a5);
int32_t DIZORA_API SaveSignedDataToFile(DizoraEngine engine, const void *data, int32_t size,
                                        const void *signature, int32_t signature_size,
                                        const char *file_name);
int32_t DIZORA_API SignFile(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API VerifyFile(DizoraEngine engine, intptr_t a1, intptr_t a2);
int32_t DIZORA_API RemoveSignaturesFromFile(DizoraEngine engine, intptr_t a1);

/* Keys and certificates */
int32_t DIZORA_API IncludePublicKey(DizoraEngine engine, const char *file_name);
int32_t DIZORA_API IncludePublicEncodeKey(DizoraEngine engine, const char *file_name);
int32_t DIZORA_API RemoveCertificate(DizoraEngine engine, const char *uid);
int32_t DIZORA_API UpdateCertificateCash(DizoraEngine engine, const char *uid);
void DIZORA_API ClearCash(DizoraEngine engine);
int32_t DIZORA_API IncludeCACertificateFromTransfer(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API IncludeCRL(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API CreateDirStructure(DizoraEngine engine, const char *public_key_file,
                                      intptr_t ignored);
int32_t DIZORA_API IsDifferentKeys(DizoraEngine engine);
int32_t DIZORA_API TransSignatureFromFileToTM(DizoraEngine engine);
int32_t DIZORA_API TransPrivateKeyFromFileToTM(DizoraEngine engine);
int32_t DIZORA_API ShowCertificate(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API GetUIDByCertIdent(DizoraEngine engine, intptr_t a1, intptr_t a2);
int32_t DIZORA_API InstallCertsInMyStore(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API RegisterOIDInfo(DizoraEngine engine, const char *oid, const char *name);

/* Key generation and remote regeneration */
int32_t DIZORA_API GenerateNewSSK(DizoraEngine engine);
int32_t DIZORA_API GenerateNewSEK(DizoraEngine engine);
int32_t DIZORA_API RemoteGenerateStart(DizoraEngine engine, char *transfer);
int32_t DIZORA_API RemoteGenerateFinish(DizoraEngine engine, intptr_t ignored);
int32_t DIZORA_API RemoteGenerateStartEx(DizoraEngine engine, const char *uid, char *transfer,
                                         int32_t *state);
int32_t DIZORA_API RemoteGenerateFinishEx(DizoraEngine engine, const char *transfer, int32_t *state);
int32_t DIZORA_API GetRemoteGenType(DizoraEngine engine);

/* Public-key transfer, properties and reports */
int32_t DIZORA_API GetPublicKeyTransfer(DizoraEngine engine, const char *uid, char *transfer);
int32_t DIZORA_API GetPublicKeyTransferByFile(DizoraEngine engine, char *transfer,
                                              const char *file_name);
int32_t DIZORA_API SavePublicKeyFromTransfer(DizoraEngine engine, const char *directory,
                                             const char *transfer);
int32_t DIZORA_API IncludePublicKeyTransfer(DizoraEngine engine, const char *transfer);
int32_t DIZORA_API ExcludeSelfPublicKeyTransfer(DizoraEngine engine, char *transfer);
int32_t DIZORA_API GetUIDByPublicKeyTransfer(DizoraEngine engine, const char *transfer, char *uid);
int32_t DIZORA_API GetReport(DizoraEngine engine, const char *uid, char *report);
int32_t DIZORA_API GetPublicKeyProperties(DizoraEngine engine, const char *uid, char *report);
int32_t DIZORA_API GetPublicKeyPropertiesByTransfer(DizoraEngine engine, const char *transfer,
                                                    char *report);
int32_t DIZORA_API GetPublicKeyPropertiesByFile(DizoraEngine engine, const char *file_name,
                                                char *report);
int32_t DIZORA_API CertAndRequestTransferMatch(DizoraEngine engine, intptr_t a1, intptr_t a2,
                                               int32_t *match);
int32_t DIZORA_API ConvertTransferToSignedRequest(DizoraEngine engine, intptr_t a1);

#ifdef __cplusplus
}
#endif

#endif /* DIZORA_H */
