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

/* Results a caller must look at: a verification or decryption whose result is
 * ignored accepts forged or altered data. */
#if defined(__GNUC__) || defined(__clang__)
#define DIZORA_MUST_CHECK __attribute__((warn_unused_result))
#else
#define DIZORA_MUST_CHECK
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Result codes. 0 is success, negative codes are the engine's own, positive
 * codes are those of the GOST library (libcrypt.dll) passed through unchanged.
 * GetCryptoErrorString gives the message of each (Russian, Windows-1251).
 *
 * DIZORA_RESULT_CODES lists every code once, as X(name, value, meaning); the
 * enum below and the engine's message table are both made from this list.
 */
#define DIZORA_RESULT_CODES(X) \
  X(DZ_E_LIBRARY_INCOMPLETE, -30, "libcrypt.dll lacks an entry point the engine needs") \
  X(DZ_E_LIBRARY_NOT_LOADED, -29, "libcrypt.dll could not be found or loaded") \
  X(DZ_E_NO_SUCH_SETTING, -28, "no setting has the given index") \
  X(DZ_E_REGEN_KEY_MISMATCH, -27, "regeneration: the received public key is not the pending one") \
  X(DZ_E_REGEN_SECRET_KEY, -26, "regeneration: the new secret key is missing, unreadable or damaged") \
  X(DZ_E_REGEN_DIR_INVALID, -25, "the regeneration directory is not set or not accessible") \
  X(DZ_E_MEDIUM_STRUCTURE, -24, "a file or directory of a new key medium could not be made") \
  X(DZ_E_REGEN_KEYS_MISSING, -23, "regeneration: no pending key pair in the regeneration directory") \
  X(DZ_E_REGEN_DIR_MISSING, -22, "no regeneration directory is set or found") \
  X(DZ_E_REMOVE_OWN_KEY, -21, "the user's own public key cannot be removed") \
  X(DZ_E_INCLUDE_OWN_KEY, -20, "a key with the user's own UID cannot be included") \
  X(DZ_E_PUBLIC_KEY_FILE, -19, "a public-key file cannot be read or written") \
  X(DZ_E_SECRET_KEY_FILE, -18, "a secret-key file cannot be read, written or removed") \
  X(DZ_E_NOT_RECIPIENT, -17, "the data is encrypted for other users only") \
  X(DZ_E_CRYPT_MODE, -16, "unknown encryption method, or a damaged encrypted block") \
  X(DZ_E_MAC_MISMATCH, -15, "the MAC does not match: data altered or keys that do not belong together") \
  X(DZ_E_SIGNATURE_FORMAT, -14, "malformed signature block or signature trailer") \
  X(DZ_E_BAD_NUMBER_SETTING, -13, "a numeric setting is not a positive integer") \
  X(DZ_E_KEY_MISMATCH, -12, "the public and the secret key do not belong together") \
  X(DZ_E_PUBLIC_KEY, -11, "public key not found or damaged") \
  X(DZ_E_SECRET_KEY, -10, "secret key not found or damaged") \
  X(DZ_E_FILE_WRITE, -9, "a file cannot be written under the given name") \
  X(DZ_E_NO_MEMORY, -8, "not enough memory, or an output larger than the engine allows") \
  X(DZ_E_EMPTY_UID, -7, "empty, null or too long UID") \
  X(DZ_E_EXCHANGE_KEYGEN, -6, "generating the exchange key pair failed") \
  X(DZ_E_UNKNOWN_ALGORITHM, -5, "unsupported signature algorithm") \
  X(DZ_E_BAD_ARGUMENT, -4, "null pointer, impossible length, buffer too small or damaged block") \
  X(DZ_E_EXCEPTION, -3, "unexpected failure; GetCryptoErrorString(-3) adds the details") \
  X(DZ_E_NOT_SUPPORTED, -2, "the function is not supported by this engine") \
  X(DZ_E_INIT, -1, "the engine could not be initialised (also: the default of unimplemented queries)") \
  X(DZ_OK, 0, "success") \
  X(DZ_LIB_CONTEXT, 1, "libcrypt.dll: wrong use of a cryptographic context") \
  X(DZ_LIB_CONTEXT_STATE, 2, "libcrypt.dll: a context in the wrong state") \
  X(DZ_LIB_BAD_KEY, 3, "libcrypt.dll: the key is unusable (out of range, not on the curve or group)") \
  X(DZ_LIB_KEY_ALREADY_SET, 4, "libcrypt.dll: the context already holds a key") \
  X(DZ_LIB_BAD_SIGNATURE, 5, "libcrypt.dll: the signature does not match the data; also a refused key replacement") \
  X(DZ_LIB_SIGNATURE_R_ZERO, 6, "libcrypt.dll: signature component r is zero") \
  X(DZ_LIB_SIGNATURE_S_ZERO, 7, "libcrypt.dll: signature component s is zero") \
  X(DZ_LIB_SIGNATURE_R_RANGE, 8, "libcrypt.dll: signature component r is out of range") \
  X(DZ_LIB_SIGNATURE_S_RANGE, 9, "libcrypt.dll: signature component s is out of range") \
  X(DZ_LIB_FILE_OPEN, 10, "libcrypt.dll: a file cannot be opened") \
  X(DZ_LIB_FILE_SEEK, 11, "libcrypt.dll: a file cannot be positioned") \
  X(DZ_LIB_FILE_READ, 12, "libcrypt.dll: a file cannot be read") \
  X(DZ_LIB_FILE_CLOSE, 13, "libcrypt.dll: a file cannot be closed") \
  X(DZ_LIB_BAD_PARAMETERS, 14, "libcrypt.dll: unusable parameters (e.g. a substitution table)") \
  X(DZ_LIB_NULL_POINTER, 15, "libcrypt.dll: a null pointer for a required argument")

typedef enum DizoraResult {
#define DIZORA_RESULT_ENUM_ENTRY_(name, value, meaning) name = value,
  DIZORA_RESULT_CODES(DIZORA_RESULT_ENUM_ENTRY_)
#undef DIZORA_RESULT_ENUM_ENTRY_
  DZ_RESULT_MIN = DZ_E_LIBRARY_INCOMPLETE,
  DZ_RESULT_MAX = DZ_LIB_NULL_POINTER
} DizoraResult;

/* The state argument of RemoteGenerateStartEx and RemoteGenerateFinishEx:
 * the host passes DZ_REGEN_ACT; the engine sets DZ_REGEN_DONE when the step
 * succeeded, or DZ_REGEN_NO_KEY_PAIR (with result DZ_OK, nothing done) when
 * the medium holds no working key pair to regenerate. */
enum {
  DZ_REGEN_ACT = 0,
  DZ_REGEN_DONE = 1,
  DZ_REGEN_NO_KEY_PAIR = 2
};

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
DIZORA_MUST_CHECK int32_t DIZORA_API DecodeData(DizoraEngine engine, void *data, int32_t *size, intptr_t ignored);
int32_t DIZORA_API SignData(DizoraEngine engine, const void *data, int32_t size, void *signature,
                            int32_t *signature_size, intptr_t ignored);
DIZORA_MUST_CHECK int32_t DIZORA_API VerifyData(DizoraEngine engine, const void *data, int32_t size,
                              const void *signature, int32_t signature_size, char *signer_uid);
DIZORA_MUST_CHECK int32_t DIZORA_API VerifySignWOCheckValidity(DizoraEngine engine, const void *data, int32_t size,
                                             const void *signature, int32_t signature_size,
                                             char *signer_uid);
int32_t DIZORA_API HashData(DizoraEngine engine, const void *data, int32_t size, int32_t form,
                            void *hash, int32_t *hash_size);
int32_t DIZORA_API AddSign(DizoraEngine engine, void *data, int32_t *size, intptr_t ignored);
DIZORA_MUST_CHECK int32_t DIZORA_API RemoveSign(DizoraEngine engine, void *data, int32_t *size, char *signer_uid);
int32_t DIZORA_API GetPureSign(DizoraEngine engine, intptr_t a1, intptr_t a2, intptr_t a3,
                               intptr_t a4, intptr_t a5);
int32_t DIZORA_API SaveSignedDataToFile(DizoraEngine engine, const void *data, int32_t size,
                                        const void *signature, int32_t signature_size,
                                        const char *file_name);
int32_t DIZORA_API SignFile(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API VerifyFile(DizoraEngine engine, intptr_t a1, intptr_t a2);
int32_t DIZORA_API RemoveSignaturesFromFile(DizoraEngine engine, intptr_t a1);

/* Keys and certificates */
/* IncludePublicKey (and IncludePublicEncodeKey, the same operation) moves a
 * correspondent's public-key file into the correspondents' directory. Only a
 * public-key record is taken: a UID of 1 to 254 characters before the first
 * zero byte, the algorithm word 0 or 1, and exactly the length these give;
 * anything else gives DZ_E_PUBLIC_KEY and the file stays. The new entry is
 * written and flushed before an earlier entry of the UID is removed, and the
 * source is deleted only when it is not the stored file itself. */
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
/* IncludePublicKeyTransfer stores the key a transfer carries. The transfer
 * text may be wrapped: blanks and line breaks anywhere are skipped. A
 * transfer may add a correspondent not known yet, or deliver the stored key
 * again; it replaces a stored, different key of a UID only when that UID
 * signed it with its current key. Any other replacement is refused with
 * DZ_LIB_BAD_SIGNATURE (5), as a transfer whose signature does not verify,
 * and nothing changes. A record that is not a public-key record (see
 * IncludePublicKey) gives DZ_E_PUBLIC_KEY, for every function that opens a
 * transfer. */
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
