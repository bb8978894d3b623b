/*
 * Dizora-V cryptographic engine: the public C interface.
 *
 * Engine and lifetime. GetCryptObj makes an engine; pass it as the first
 * argument of every other call (GetMaxFilePathLength ignores it) and release
 * it with DoneEngine. The handle is not validated: a null handle makes an
 * export return its failure value (-1 for the size queries,
 * GetCryptoParamNumber, IsDifferentKeys and GetRemoteGenType; DZ_E_EXCEPTION
 * for the other results; nothing for the void exports), but a released or
 * foreign pointer is undefined behaviour. Do not call any export after the
 * library has been unloaded: every handle dies with it.
 *
 * Threads. Any thread may call any export at any time, on one engine or on
 * several. Not guarded: an engine's settings, callbacks, root and
 * regeneration directory (set them before threads share the engine, never
 * while an operation runs on it), and SetRootPath (call it first).
 *
 * Keys and libcrypt.dll. Engines whose settings 1 to 4 (the key paths) are
 * equal share one internal binding that holds the loaded secret key and the
 * cache of public keys; it lives until the library is unloaded (DoneEngine
 * does not end it). The first "key call" (an export that needs the GOST
 * library) for a set of key paths creates it, and the first one in the
 * process loads libcrypt.dll, by full path, from the first directory that
 * holds it: the executable's, the root's EXE, SYSTEM and USER directories
 * (once SetRootPath ran), the system's library directories (on Windows the
 * system directories and the absolute entries of "Path"); then the
 * directory of a loaded "Korvane.dll", else the engine library's own and
 * the executable's. The current directory never takes part, so a
 * libcrypt.dll planted beside a document is not loaded. A failed load is
 * retried by the next key call.
 * - Secret key: the 164-byte secret-key file (setting 2) is read without a
 *   password and kept in memory (signature key masked); it is read again when
 *   it was loaded more than "Key request time out" seconds ago or last used
 *   more than "Last operation key time out" seconds ago (0: at every use;
 *   times are times of day, so a key loaded before midnight is read again
 *   after it). ClearCash drops it at once.
 * - Public keys: the first lookup reads the own public-key file (setting 1)
 *   and every file whose name ends in "pub" under "Abonents dir",
 *   subdirectories included, into the cache; UIDs match in any letter case.
 *   If one file cannot be read, that lookup answers DZ_E_PUBLIC_KEY (the
 *   others stay cached and the next call finds them). Files changed on disk
 *   are not seen until UpdateCertificateCash or ClearCash.
 *
 * Texts are zero-terminated 8-bit strings in Windows-1251 (UIDs, settings,
 * messages, reports); paths are file-system bytes, used as given after the
 * "%ZRNRoot%" expansion (SetRootPath). A UID has 1 to GetMaxUIDLength() = 254
 * characters; a buffer that receives one holds 255 bytes.
 *
 * Buffers. The caller owns every buffer and gives it at least the size named
 * at the export, from the size query named there. Unless a size pointer
 * carries the capacity, the engine cannot check it: a smaller buffer is
 * overrun. A size pointer carries a capacity or a data length in and the
 * result length out. A null pointer where an export needs a buffer, text or
 * size is refused with DZ_E_BAD_ARGUMENT and nothing is written (the exports
 * without a result then do nothing); null is meaningful only where an export
 * says so.
 *
 * Results. 0 (DZ_OK) is success; other codes are listed below, each with its
 * message from GetCryptoErrorString. Besides the codes named at each export,
 * every export with a result code may answer DZ_E_EXCEPTION (an unexpected
 * failure; GetCryptoErrorString(DZ_E_EXCEPTION) adds the details the engine
 * stored, if any) and DZ_E_NO_MEMORY (memory could not be obtained). Short
 * names used below:
 * - "load codes": DZ_E_LIBRARY_NOT_LOADED, DZ_E_LIBRARY_INCOMPLETE
 *   (libcrypt.dll missing or lacking an entry point);
 * - "key-call codes": the load codes and DZ_E_BAD_NUMBER_SETTING (setting 7
 *   or 8 is not an integer);
 * - "own-key codes": DZ_E_PUBLIC_KEY, DZ_E_SECRET_KEY, DZ_E_KEY_MISMATCH (the
 *   own key files of settings 1 and 2 missing, damaged or not a pair);
 * - "library codes": the positive codes of libcrypt.dll.
 * Exports marked "not supported by this engine" answer DZ_E_INIT and change
 * nothing; their arguments are not used (RegisterOIDInfo reads its two
 * texts, null allowed).
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

/* The state argument of RemoteGenerateStartEx and RemoteGenerateFinishEx
 * (in/out, not null): the host passes DZ_REGEN_ACT; the engine sets
 * DZ_REGEN_DONE when the step succeeded, or DZ_REGEN_NO_KEY_PAIR (result
 * DZ_OK, nothing done) when a key file of settings 1 and 2 is missing. Any
 * other value passed in skips that check; on failure the state is unchanged. */
enum {
  DZ_REGEN_ACT = 0,
  DZ_REGEN_DONE = 1,
  DZ_REGEN_NO_KEY_PAIR = 2
};

/* The engine handle: opaque to the host. */
typedef struct DizoraEngineTag *DizoraEngine;

/* A host callback; stored by the engine, never called by it. */
typedef void (DIZORA_API *DizoraCallback)(void);

/* ---- Engine life ---------------------------------------------------------
 * GetCryptObj: a new engine with its own 13 settings (defaults), callbacks,
 * root, regeneration directory and last-error text; the argument is not
 * read. Null only when the engine cannot be made (no memory).
 * DoneEngine: releases the engine; null does nothing. No other thread may be
 * using it; the handle must not be used afterwards. Shared bindings (loaded
 * keys, key cache) stay for other engines until the library is unloaded. */
DizoraEngine DIZORA_API GetCryptObj(intptr_t unused);
void DIZORA_API DoneEngine(DizoraEngine engine);

/* ---- Size queries ----------------------------------------------------------
 * Each returns a size in bytes, or -1 (null handle, failure). Values:
 *   GetMaxEncodeAddition         30579: the growth of EncodeData for up to
 *                                100 recipients. A key call: -1 while
 *                                libcrypt.dll cannot be loaded.
 *   GetMaxSignatureLength        319 (= GetMaxUIDLength + 65): the longest
 *                                signature block; SignData's buffer.
 *   GetMaxUIDLength              254 characters; UID buffers hold 255 bytes.
 *   GetMaxCryptoParamNameLength  255, GetMaxCryptoParamValueLength 255:
 *                                setting texts; their buffers hold 256 bytes.
 *   GetMaxErrorStringLength      255: GetCryptoErrorString's buffer, the
 *                                terminating zero included.
 *   GetMaxPasswordLength         255; this engine uses no password.
 *   GetMaxSignAddition           323 (= GetMaxSignatureLength + 4): the
 *                                growth of AddSign.
 *   GetMaxPublicKeyTransferSize  2198: the longest transfer text; transfer
 *                                buffers hold 2199 bytes.
 *   GetMaxReportSize and GetMaxPublicKeyPropertiesLength (one query): 2048,
 *                                a report with its terminating zero.
 *   GetMaxAdditionEx(recipients) 303 * n + 279: the growth of EncodeData for
 *                                this recipient list, n = number of ";" + 1
 *                                (empty items count; "A;B" and "A;" give 2);
 *                                null or "" gives n = 100. A key call: -1
 *                                while libcrypt.dll cannot be loaded.
 *   GetMaxFilePathLength         255 for any handle, null included; a hint,
 *                                the engine does not limit paths. */
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

/* ---- Settings ------------------------------------------------------------
 * 13 texts per engine, indexes 1 to 13. SetCryptoParamValue stores any text
 * unchecked; an operation checks a value when it reads it. Defaults of the
 * Windows build; other builds use "%ZRNRoot%" where "A:\" stands (e.g.
 * "%ZRNRoot%self.pub").
 *  1 "User PKey/Certificate"    "A:\self.pub"  own public-key file
 *  2 "User Secret key"          "A:\self.sec"  own secret-key file
 *  3 "Abonents dir"             "A:\ABONENTS"  correspondents' public keys
 *  4 "CA dir"                   "A:\CA"        made by CreateDirStructure
 *  5 "Encrypt Method"           "1"     EncodeData: 1 gamma with output
 *                                       feedback, any other integer (or "")
 *                                       gamma; else DZ_E_BAD_NUMBER_SETTING
 *  6 "Encrypt for UID"          "User1" EncodeData's recipients when its
 *                                       argument is null or "" (trimmed)
 *  7 "Key request time out"     "60"    seconds a loaded secret key is kept
 *                                       after loading ("" = 60)
 *  8 "Last operation key time out" "5"  seconds it is kept after its last
 *                                       use ("" = 5). 7 or 8 not an integer:
 *                                       key calls answer
 *                                       DZ_E_BAD_NUMBER_SETTING
 *  9 "Key gen - GOST"           "2001"  "2001" or "1994" (trimmed):
 *                                       GOST R 34.10 algorithm of new keys;
 *                                       else DZ_E_UNKNOWN_ALGORITHM
 * 10 "Key gen - UID"            "User2" UID of GenerateNewSEK's pair
 * 11 "Key gen - PKey filename"  "A:\new.pub"  GenerateNewSEK's public key
 * 12 "Key gen - SKey filename"  "A:\new.sec"  GenerateNewSEK's secret key
 * 13 "Hash method"              ""      "GOST" (any case): full GOST R
 *                                       34.11-94 hash in SignData, HashData;
 *                                       anything else: the legacy digest,
 *                                       which over 65535 bytes hashes only
 *                                       the first 65535 (repeated). Set
 *                                       "GOST"; verification accepts both.
 * Paths (1, 2, 11, 12) and directories (3, 4) are expanded at each use
 * ("%ZRNRoot%", see SetRootPath); directories get a trailing delimiter.
 * Changing 1 to 4 moves the engine to another shared binding. */

/* GetCryptoParamNumber: 13. */
int32_t DIZORA_API GetCryptoParamNumber(DizoraEngine engine);
/* GetCryptoParamName, GetCryptoParamValue: name or value of a setting.
 * name, value: out (null: nothing written), GetMaxCryptoParamNameLength() + 1 or
 * GetMaxCryptoParamValueLength() + 1 = 256 bytes; receive the text (cut to
 * 255 characters) with its zero, or "" for an index outside 1..13. */
void DIZORA_API GetCryptoParamName(DizoraEngine engine, int32_t index, char *name);
void DIZORA_API GetCryptoParamValue(DizoraEngine engine, int32_t index, char *value);
/* SetCryptoParamValue: stores value (null stores "") as setting index.
 * DZ_OK; DZ_E_INIT for an index outside 1..13 (nothing changed). */
int32_t DIZORA_API SetCryptoParamValue(DizoraEngine engine, int32_t index, const char *value);
/* GetParamInfo: how a host may present setting index. kind: out:
 * 10 file path (info: a file mask "*.pub" or "*.sec"), 11 directory (info
 * "*.pub"), 1 integer (info "low..high"), 7 choice (info: the choices joined
 * by CR LF), 4 or 2 text (info "255" or "0..255"). size: in/out. A null
 * kind or size gives DZ_E_BAD_ARGUMENT.
 * info: null asks for the size: *size = info length + 1, DZ_OK. Otherwise
 * *size is the capacity; the info text and its zero are copied and *size =
 * their length.
 * DZ_OK; DZ_E_NO_SUCH_SETTING (index outside 1..13, nothing written);
 * DZ_E_BAD_ARGUMENT (*size too small: *size = needed, info untouched). */
int32_t DIZORA_API GetParamInfo(DizoraEngine engine, int32_t index, int32_t *kind, char *info,
                                int32_t *size);

/* ---- Root, regeneration directory, callbacks ----------------------------
 * SetRootPath: names the root directory, once per process, then for this
 * engine. The first call in the process fixes the process root (root plus a
 * trailing delimiter); libcrypt.dll is then searched in its EXE, SYSTEM and
 * USER subdirectories (on Windows they are also put in front of "Path").
 * Later calls with the same root (same bytes, with or without the trailing
 * delimiter) set this engine's root; any other root is silently ignored and
 * the engine's root stays as it was. A null handle sets the process root
 * only. Null does nothing. Do not pass "": that fixes the process root to
 * the bare delimiter and leaves the engine without a root. Call it before the first
 * key call and before SetRemoteGeneratePath.
 * The engine's root is what a leading "%ZRNRoot%" (any case) of a setting or
 * path argument stands for: the prefix and one delimiter after it are
 * replaced by the root; on Windows the whole result is then upper-cased
 * (ASCII). Without a root the prefix expands to "" (current directory). */
void DIZORA_API SetRootPath(DizoraEngine engine, const char *root);
/* SetRemoteGeneratePath: the regeneration directory of this engine (see
 * RemoteGenerateStart), expanded now against the engine's root, trailing
 * delimiter added; "" unsets it, null does nothing. */
void DIZORA_API SetRemoteGeneratePath(DizoraEngine engine, const char *path);
/* SetPasswordRequestFunc, SetTMRequestFunc: store a callback (null allowed).
 * Neither is ever called: no password or token is used by this engine. */
void DIZORA_API SetPasswordRequestFunc(DizoraEngine engine, DizoraCallback callback);
void DIZORA_API SetTMRequestFunc(DizoraEngine engine, DizoraCallback callback);

/* ---- Error texts and identities ------------------------------------------
 * GetCryptoErrorString: the message of code (Russian, Windows-1251). text:
 * out, GetMaxErrorStringLength() = 255 bytes, all of which are written:
 * zeros, then the message cut to 254 bytes. For DZ_E_EXCEPTION the message
 * is followed by the engine's last-error text
 * "TCryptoCEngine.<operation>: <class>: <message>" of the last failure that
 * stored one (never cleared; with several threads on one engine it may be
 * another thread's). A code outside -30..15 gives "". Null text: nothing. */
void DIZORA_API GetCryptoErrorString(DizoraEngine engine, int32_t code, char *text);
/* GetLastErrorMessage: always writes "" (one zero byte; null text: nothing).
 * The details of a failure come from GetCryptoErrorString(DZ_E_EXCEPTION). */
void DIZORA_API GetLastErrorMessage(DizoraEngine engine, char *text);
/* GetCurrentUserUID: the user's UID (of the loaded secret key, else the text
 * at the start of the public-key file of setting 1). uid: out, 255 bytes,
 * untouched on failure. Key call. DZ_OK; DZ_E_BAD_ARGUMENT (null uid);
 * DZ_E_PUBLIC_KEY (file missing, unreadable, over 515 bytes, no UID);
 * key-call codes. */
int32_t DIZORA_API GetCurrentUserUID(DizoraEngine engine, char *uid);
/* GetEncodeUIDBySignUID: the UID to encrypt for, given a signature UID; one
 * key pair serves both, so sign_uid is copied. encode_uid: out, 255 bytes:
 * the text (a longer UID is cut to 254 characters) and its zero, nothing
 * after it. No
 * key call. DZ_OK; DZ_E_BAD_ARGUMENT (a null pointer). */
int32_t DIZORA_API GetEncodeUIDBySignUID(DizoraEngine engine, const char *sign_uid, char *encode_uid);

/* ---- Data operations -----------------------------------------------------
 * Formats (integers are 32-bit little-endian):
 * - signature block (SignData, VerifyData): the signer's UID, a zero byte,
 *   the 64-byte signature value; UID length + 65 bytes, at most 319.
 * - signed data (AddSign, RemoveSign): the data (N bytes), the signature
 *   block over them (S bytes), N; N + S + 4 bytes.
 * - encrypted block (EncodeData, DecodeData): recipient count, method, the
 *   sender's UID and a zero, then per recipient its UID and a zero, IV (8),
 *   MAC (8) and the encrypted 32-byte data key; then the data's IV (8) and
 *   MAC (8) and the ciphertext, as long as the data. Growth: 25 + sender UID
 *   length + the sum of (UID length + 49) over the recipients. */

/* EncodeData: encrypts *size bytes at data in place for the recipients and
 * sets *size to the block's length. recipients: UIDs joined by ";", not
 * trimmed (every piece, empty ones too, is a recipient); null or "" takes
 * setting 6 "Encrypt for UID" (trimmed). Each recipient's public key must
 * be in the cache; add your own UID to be able to decrypt the data
 * yourself. Method from setting 5. A new random data key per call.
 * data: at least *size + GetMaxAdditionEx(recipients) bytes, asked with the
 * same argument (null or "" answers for up to 100 recipients, as
 * GetMaxEncodeAddition). A block that would grow by more than that answer
 * (more recipients in the setting than it allowed for) is refused with
 * DZ_E_BAD_ARGUMENT and nothing is written.
 * DZ_OK; DZ_E_BAD_ARGUMENT (null data or size, *size < 0, block too large); DZ_E_EMPTY_UID
 * (no recipient, or a UID over 254 characters); DZ_E_BAD_NUMBER_SETTING
 * (setting 5, 7 or 8); DZ_E_PUBLIC_KEY (a recipient's key not cached);
 * own-key codes; key-call codes; library codes. On failure data and *size
 * are unchanged. */
int32_t DIZORA_API EncodeData(DizoraEngine engine, void *data, int32_t *size, const char *recipients);
/* DecodeData: decrypts in place an encrypted block of *size bytes addressed
 * to the user (own UID matched exactly, letter case included): the plaintext
 * lands at the start of data and *size becomes its length; the bytes after
 * it keep their old content. The sender's public key must be in the cache.
 * ignored: not read. DZ_OK; DZ_E_BAD_ARGUMENT (null data or size, block too
 * short or damaged); DZ_E_NOT_RECIPIENT; DZ_E_MAC_MISMATCH (block altered, or
 * keys that do not belong together); DZ_E_CRYPT_MODE (unknown method);
 * DZ_E_PUBLIC_KEY (sender's key not cached); own-key codes; key-call codes;
 * library codes. On failure data and *size are unchanged. */
DIZORA_MUST_CHECK int32_t DIZORA_API DecodeData(DizoraEngine engine, void *data, int32_t *size, intptr_t ignored);
/* SignData: signs size bytes at data with the user's key pair (settings 1
 * and 2; GOST R 34.10 algorithm as recorded in the secret-key file; hash as
 * setting 13) and writes a signature block. signature: out, at least
 * GetMaxSignatureLength() = 319 bytes. *signature_size: out only (not read
 * as a capacity): the block's length. ignored: not read (the signer is
 * always the configured key pair). DZ_OK; DZ_E_BAD_ARGUMENT (a null pointer,
 * size <= 0); own-key codes; key-call codes; library codes. On failure the
 * buffer may already hold the UID; after a failing library sign call
 * *signature_size is set as well. */
int32_t DIZORA_API SignData(DizoraEngine engine, const void *data, int32_t size, void *signature,
                            int32_t *signature_size, intptr_t ignored);
/* VerifyData: verifies a signature block against size bytes at data.
 * signature_size: the block's exact length (UID length + 65). The signer's
 * public key comes from the cache; its algorithm decides. Over 65535 bytes a
 * signature made over the legacy digest verifies too. signer_uid: out, not
 * null, 255 bytes: the block's UID whatever the verdict ("" when the block is
 * malformed or data is null); untouched when the call fails earlier
 * (settings, library). DZ_OK: valid; DZ_LIB_BAD_SIGNATURE: data or signature
 * altered; DZ_E_SIGNATURE_FORMAT: block null, UID empty or over 254
 * characters, value not 64 bytes; DZ_E_PUBLIC_KEY: signer's key not cached;
 * DZ_E_BAD_ARGUMENT: null data or signer_uid, size <= 0; other library
 * codes; key-call codes. Anything but DZ_OK means not verified. */
DIZORA_MUST_CHECK int32_t DIZORA_API VerifyData(DizoraEngine engine, const void *data, int32_t size,
                              const void *signature, int32_t signature_size, char *signer_uid);
/* VerifySignWOCheckValidity: exactly VerifyData (keys carry no validity). */
DIZORA_MUST_CHECK int32_t DIZORA_API VerifySignWOCheckValidity(DizoraEngine engine, const void *data, int32_t size,
                                             const void *signature, int32_t signature_size,
                                             char *signer_uid);
/* HashData: the GOST R 34.11-94 hash of size bytes at data (full hash when
 * setting 13 is "GOST", else the legacy digest) in a form: 1 base64 text (44
 * characters), 2 upper-case hexadecimal text (64), any other value the 32
 * raw bytes; texts have no terminating zero. hash: null asks for the size
 * (*hash_size = form length, DZ_OK); otherwise *hash_size (not null) is the
 * capacity in, the form's length out. Needs libcrypt.dll but no key and no
 * time-out. DZ_OK; DZ_E_EXCEPTION when *hash_size is too small (*hash_size =
 * needed, hash untouched, no last-error text stored); DZ_E_BAD_ARGUMENT (null
 * data or hash_size, size <= 0); load codes; library codes. */
int32_t DIZORA_API HashData(DizoraEngine engine, const void *data, int32_t size, int32_t form,
                            void *hash, int32_t *hash_size);
/* AddSign: signs the *size bytes at data as SignData does and appends the
 * block and the trailer: signed data, *size = N + S + 4. data: at least
 * *size + GetMaxSignAddition() = *size + 323 bytes; not checked. ignored:
 * not read. Codes of GetCurrentUserUID and SignData; DZ_E_BAD_ARGUMENT for a
 * null pointer. On failure data and *size are unchanged. */
int32_t DIZORA_API AddSign(DizoraEngine engine, void *data, int32_t *size, intptr_t ignored);
/* RemoveSign: verifies signed data of *size bytes and cuts the signature
 * off: *size = N, the data bytes stay in place. signer_uid as in
 * VerifyData. The cut is made whenever the verification ran on a
 * well-formed trailer, whatever it answered: a failed check also shortens
 * *size. When the verification never ran (a null signer_uid, a bad time-out
 * setting, libcrypt.dll missing, no memory) *size is kept. DZ_OK; DZ_E_BAD_ARGUMENT (null data or size, *size < 1);
 * DZ_E_SIGNATURE_FORMAT (trailer N <= 0 or N + 4 >= *size; *size kept); the
 * codes of VerifyData. */
DIZORA_MUST_CHECK int32_t DIZORA_API RemoveSign(DizoraEngine engine, void *data, int32_t *size, char *signer_uid);
/* GetPureSign: not supported by this engine (DZ_E_INIT). */
int32_t DIZORA_API GetPureSign(DizoraEngine engine, intptr_t a1, intptr_t a2, intptr_t a3,
                               intptr_t a4, intptr_t a5);
/* SaveSignedDataToFile: not provided: DZ_E_NOT_SUPPORTED for any arguments,
 * no file is written. Write data and signature block yourself. */
int32_t DIZORA_API SaveSignedDataToFile(DizoraEngine engine, const void *data, int32_t size,
                                        const void *signature, int32_t signature_size,
                                        const char *file_name);
/* SignFile, VerifyFile, RemoveSignaturesFromFile: not supported by this
 * engine (DZ_E_INIT). */
int32_t DIZORA_API SignFile(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API VerifyFile(DizoraEngine engine, intptr_t a1, intptr_t a2);
int32_t DIZORA_API RemoveSignaturesFromFile(DizoraEngine engine, intptr_t a1);

/* ---- Keys and certificates -----------------------------------------------
 * Public-key file (record): the UID, a zero byte, the algorithm (32-bit
 * little-endian: 0 GOST R 34.10-94, 1 GOST R 34.10-2001), the signature
 * public key (128 or 100 bytes) and the exchange public key (128 bytes); at
 * most 515 bytes. Secret-key file: 164 bytes; on POSIX every secret-key file
 * the engine writes is created with mode 0600 (a stricter mode is kept). When
 * a secret key is loaded, the public keys derived from it are compared with
 * the public-key file of setting 1: a pair that does not belong together
 * gives DZ_E_KEY_MISMATCH and nothing is signed or decrypted. */

/* Key medium, processes and interrupted changes. The directory of the
 * secret-key file (setting 2) is the key medium. Every export that changes
 * it (IncludePublicKey, IncludePublicKeyTransfer, RemoveCertificate,
 * SavePublicKeyFromTransfer, CreateDirStructure, GenerateNewSEK, the
 * regeneration exports) holds an exclusive advisory lock on the file
 * ".dizora.lock" there (flock on POSIX, LockFileEx on Windows); exports that
 * read key files from disk (a secret key loaded, the public-key cache filled
 * or refreshed, the own UID read from setting 1) hold it shared. A call may
 * therefore wait while another process or thread changes the medium (a
 * regeneration start waits for its key generation); reads of keys already in
 * memory take no lock and never wait. The system releases the lock of a
 * process that ends in any way, so a killed process never blocks the medium.
 * The lock file is made by the first call that uses the medium and stays; it
 * is never a key file (its name begins with "." and does not end in "pub").
 * A medium whose directory cannot be written and lacks the file is used
 * without the lock. Changes of several files (generation, regeneration start
 * and finish, an include that replaces another file of the UID) first write
 * the intent record ".dizora.intent" beside the lock file; if the process is
 * killed (or the power goes) half-way, the next call of any process that
 * takes the lock completes the change or undoes it before anything else, so
 * the working pair is always the previous one or the new one, both files
 * matching. Every rename, removal and new directory is flushed to the disk
 * with its directory (POSIX; on Windows moves write through). Directories
 * shared between media with different secret-key directories are not
 * covered by one lock. A medium left by this engine without an interrupted
 * change holds nothing an earlier version cannot use. */

/* IncludePublicKey, IncludePublicEncodeKey (the same): moves a
 * correspondent's public-key file into "Abonents dir". Only a public-key
 * record is taken: a UID of 1 to 254 characters before the first zero byte,
 * the algorithm word 0 or 1 and exactly the length these give; anything else
 * (a secret-key file, a text, a padded record) gives DZ_E_PUBLIC_KEY and
 * nothing changes. The record is written to "<Abonents dir><UID>.pub" (or
 * "pk<n>.pub" when the UID cannot be a file name; a numbered name is taken
 * only when free, never replacing a file) and flushed before any earlier
 * entry of that UID is removed, both as one change; on DZ_OK file_name is deleted unless
 * it is the stored file itself, which stays. DZ_OK; DZ_E_PUBLIC_KEY;
 * DZ_E_INCLUDE_OWN_KEY (the user's own UID, any letter case);
 * DZ_E_PUBLIC_KEY_FILE (the file cannot be written; earlier entries stay);
 * key-call codes. On failure file_name and the directory stay as they were. */
int32_t DIZORA_API IncludePublicKey(DizoraEngine engine, const char *file_name);
int32_t DIZORA_API IncludePublicEncodeKey(DizoraEngine engine, const char *file_name);
/* RemoveCertificate: deletes every cached entry of uid (any letter case) and
 * its file. DZ_OK; DZ_E_BAD_ARGUMENT (null uid); DZ_E_REMOVE_OWN_KEY (the
 * user's own UID); DZ_E_PUBLIC_KEY (uid not cached); DZ_E_PUBLIC_KEY_FILE (a
 * file could not be deleted; that entry stays); key-call codes. */
int32_t DIZORA_API RemoveCertificate(DizoraEngine engine, const char *uid);
/* UpdateCertificateCash: reads the key of uid from disk into the cache again
 * (its cached mutual key dropped): from the entry's file; for a UID not
 * cached, from "<Abonents dir><uid>.pub" or any key file naming it (exact
 * case); when the entry's file no longer names uid, or nothing is cached
 * yet, the whole cache is reloaded. DZ_OK; DZ_E_BAD_ARGUMENT (null uid);
 * DZ_E_PUBLIC_KEY (no file of uid, no "Abonents dir", or a reload met an
 * unreadable file); key-call codes. (A DZ_E_INIT answer of the engine is
 * turned into ClearCash and DZ_OK.) */
int32_t DIZORA_API UpdateCertificateCash(DizoraEngine engine, const char *uid);
/* ClearCash: forgets the loaded secret keys (wiped) and the cached public
 * keys of every engine of the process, not only this one's; they are read
 * again on next use. */
void DIZORA_API ClearCash(DizoraEngine engine);
/* IncludeCACertificateFromTransfer, IncludeCRL: not supported by this engine
 * (DZ_E_INIT). */
int32_t DIZORA_API IncludeCACertificateFromTransfer(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API IncludeCRL(DizoraEngine engine, intptr_t a1);
/* CreateDirStructure: prepares a key medium: copies public_key_file
 * (root-expanded) over the file of setting 1 unless both name the same path,
 * then creates "CA dir" and "Abonents dir" with missing parents. ignored:
 * not read. No key call; loaded keys are not refreshed (ClearCash after
 * replacing the own key). DZ_OK; DZ_E_MEDIUM_STRUCTURE (file missing or a
 * directory, copy failed, a directory not made); DZ_E_EXCEPTION here
 * stores no last-error text. */
int32_t DIZORA_API CreateDirStructure(DizoraEngine engine, const char *public_key_file,
                                      intptr_t ignored);
/* IsDifferentKeys: 0 (this engine uses one key pair); -1 on a null handle. */
int32_t DIZORA_API IsDifferentKeys(DizoraEngine engine);
/* TransSignatureFromFileToTM, TransPrivateKeyFromFileToTM, ShowCertificate,
 * GetUIDByCertIdent, InstallCertsInMyStore, RegisterOIDInfo: not supported
 * by this engine (DZ_E_INIT). */
int32_t DIZORA_API TransSignatureFromFileToTM(DizoraEngine engine);
int32_t DIZORA_API TransPrivateKeyFromFileToTM(DizoraEngine engine);
int32_t DIZORA_API ShowCertificate(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API GetUIDByCertIdent(DizoraEngine engine, intptr_t a1, intptr_t a2);
int32_t DIZORA_API InstallCertsInMyStore(DizoraEngine engine, intptr_t a1);
int32_t DIZORA_API RegisterOIDInfo(DizoraEngine engine, const char *oid, const char *name);

/* ---- Key generation and remote regeneration ------------------------------
 * GenerateNewSEK, GenerateNewSSK (the same): generate a key pair (a GOST R
 * 34.10 signature pair of setting 9 and the exchange pair for encryption)
 * for the UID of setting 10 and write the public-key file (setting 11) and
 * the secret-key file (setting 12), replacing existing files. Needs
 * libcrypt.dll; reads no time-out. Keys already loaded stay in memory:
 * after generating over the working pair call ClearCash. A UID over 254
 * characters is written, but such files do not load. Both files are written
 * as one change: afterwards (also after a kill) both are the previous ones
 * or both the new ones. DZ_OK; DZ_E_UNKNOWN_ALGORITHM (setting 9);
 * DZ_E_EMPTY_UID; DZ_E_FILE_WRITE (the files not written; both stay as they
 * were); DZ_E_EXCHANGE_KEYGEN; load codes; library codes. */
int32_t DIZORA_API GenerateNewSSK(DizoraEngine engine);
int32_t DIZORA_API GenerateNewSEK(DizoraEngine engine);
/* Remote regeneration replaces the working key pair together with the bank,
 * in the engine's regeneration directory (SetRemoteGeneratePath).
 * Start: generates a new pair there (algorithm of setting 9) as "new.pub"
 * and "sec.dat" (the new secret key encrypted by EncodeData for the current
 * UID; the new secret key is never written in clear) and returns the
 * transfer text of "new.pub" signed with the current key, to send to the
 * bank. A new start replaces a pending pair, both files as one change; a
 * start that fails leaves the directory as it was. Of two starts at once
 * the later one's pair is pending; the bank's answer to the other is refused
 * by RemoteGenerateFinishEx (DZ_E_REGEN_KEY_MISMATCH). GetReport with no UID
 * reports the pending "new.pub".
 * Finish: decrypts "sec.dat" (it must give 164 bytes), moves the working
 * files to "old.sec" and "old.pub" in the secret-key file's directory
 * (replacing older ones), installs the new pair, removes the
 * regeneration's own files ("new.pub", "new.sec", "sec.dat"; nothing else
 * in the directory, which may be the key medium itself), includes the
 * previous public key as a correspondent's (not when the UID did not
 * change) and forgets the keys loaded for these key paths, all as one
 * change. A decrypted secret key that does not belong to "new.pub" is
 * refused (DZ_E_KEY_MISMATCH) before anything changes. On failure the
 * working pair is kept and the directory untouched. The whole finish holds
 * the medium's lock: a second finish, a start or a signature of another
 * process waits for it.
 * transfer buffers: out, GetMaxPublicKeyTransferSize() + 1 = 2199 bytes,
 * written only on DZ_OK. */

/* RemoteGenerateStart: start; the new pair keeps the current UID. DZ_OK;
 * codes of GetCurrentUserUID; DZ_E_REGEN_DIR_INVALID (directory unset or
 * missing); DZ_E_BAD_ARGUMENT (null transfer); DZ_E_UNKNOWN_ALGORITHM; the
 * codes of GenerateNewSEK and of EncodeData; DZ_E_PUBLIC_KEY_FILE ("new.pub"
 * and "sec.dat" not written); the codes of SignData. */
int32_t DIZORA_API RemoteGenerateStart(DizoraEngine engine, char *transfer);
/* RemoteGenerateFinish: finish, without checking the bank's answer (prefer
 * RemoteGenerateFinishEx). ignored: not read. DZ_OK; codes of
 * GetCurrentUserUID; DZ_E_PUBLIC_KEY (own key not cached, or the working
 * public-key file missing); DZ_E_REGEN_DIR_INVALID; DZ_E_REGEN_KEYS_MISSING
 * ("new.pub" or "sec.dat" missing); DZ_E_SECRET_KEY_FILE ("sec.dat"
 * unreadable or too long; the old secret-key file not replaceable);
 * DecodeData's codes; DZ_E_REGEN_SECRET_KEY (not 164 bytes);
 * DZ_E_SECRET_KEY (working secret-key file missing); DZ_E_KEY_MISMATCH
 * ("sec.dat" and "new.pub" of two pairs); DZ_E_PUBLIC_KEY_FILE ("new.pub"
 * unreadable, or the change interrupted by a failing rename: the next call
 * that takes the lock completes it); key-call codes. */
int32_t DIZORA_API RemoteGenerateFinish(DizoraEngine engine, intptr_t ignored);
/* RemoteGenerateStartEx: start with a state (see DZ_REGEN_ACT). uid: UID of
 * the new pair; null or "" makes it the current UID without a trailing
 * " (dd-mm-yyyy hh-mm-ss)" (cut to 232 characters) followed by that suffix
 * of the current local time. DZ_E_BAD_ARGUMENT (null state or transfer);
 * DZ_E_EMPTY_UID (uid over 254 characters); RemoteGenerateStart's codes. */
int32_t DIZORA_API RemoteGenerateStartEx(DizoraEngine engine, const char *uid, char *transfer,
                                         int32_t *state);
/* RemoteGenerateFinishEx: finish with a state (see DZ_REGEN_ACT) after
 * checking the bank's answer: transfer is a transfer text signed by a key in
 * the cache (the bank's) whose record must equal "new.pub" byte for byte. DZ_E_BAD_ARGUMENT (null
 * state); the codes of opening a transfer; DZ_E_REGEN_DIR_INVALID;
 * DZ_E_REGEN_KEYS_MISSING (no "new.pub"); DZ_E_PUBLIC_KEY_FILE ("new.pub"
 * unreadable); DZ_E_REGEN_KEY_MISMATCH (another key; nothing changed);
 * RemoteGenerateFinish's codes. */
int32_t DIZORA_API RemoteGenerateFinishEx(DizoraEngine engine, const char *transfer, int32_t *state);
/* GetRemoteGenType: 0 in this engine (-1 on a null handle). */
int32_t DIZORA_API GetRemoteGenType(DizoraEngine engine);

/* ---- Public-key transfers, properties and reports ------------------------
 * Transfer text: how public keys travel between the user and the bank. The
 * base64 text (standard alphabet, "=" padding, no line break; zero-terminated
 * in a buffer of GetMaxPublicKeyTransferSize() + 1 = 2199 bytes) of the
 * signed data (AddSign layout) of a 776-byte transfer record: the file name
 * zero-padded to 256 bytes ("tran.pub" in every transfer made here), the
 * record length B (32-bit little-endian), the public-key record in a
 * 516-byte field. Making a transfer signs it with the user's key (the codes
 * of SignData apply). Opening one verifies it as RemoveSign does: its signer
 * must be in the cache. Codes of opening a transfer: DZ_E_BAD_ARGUMENT (null
 * or "", not canonical base64 once blanks and line breaks are skipped, too
 * short, B outside 1..515), DZ_E_PUBLIC_KEY (the record is not exactly a
 * public-key record, see IncludePublicKey),
 * DZ_E_SIGNATURE_FORMAT and the codes of VerifyData (DZ_E_PUBLIC_KEY: signer
 * unknown; DZ_LIB_BAD_SIGNATURE: altered).
 * Report (GetReport and the GetPublicKeyProperties... exports), lines ending
 * in CR LF, at most GetMaxReportSize() = 2048 bytes with the zero: "UID=" and
 * the UID; "PKeyAlg=" and "<GOST> P34.10 - 1994" or "<GOST> P34.10 - 2001"
 * (<GOST>: the Cyrillic word in Windows-1251, bytes C3 CE D1 D2; the P is
 * Latin); "SPKey=", a hex dump of the signature public key (for 2001 its
 * first 64 bytes) and an empty line; "EPKey=", a hex dump of the exchange
 * public key and an empty line. Dumps: upper-case hex, a blank after every
 * 2 bytes, CR LF after every 18. Report codes: DZ_E_BAD_ARGUMENT (null
 * report); DZ_E_PUBLIC_KEY (not a valid record: UID empty or over 254,
 * algorithm not 0 or 1, too short). The report buffer is written only on
 * DZ_OK. */

/* GetPublicKeyTransfer: the transfer text of the cached key of uid (any
 * letter case). DZ_OK; DZ_E_EMPTY_UID (uid null, "" or over 254 characters);
 * DZ_E_BAD_ARGUMENT (null transfer); DZ_E_PUBLIC_KEY (not cached); key-call
 * codes. */
int32_t DIZORA_API GetPublicKeyTransfer(DizoraEngine engine, const char *uid, char *transfer);
/* GetPublicKeyTransferByFile: the transfer text of a public-key file
 * (root-expanded). DZ_OK; DZ_E_PUBLIC_KEY_FILE (missing, unreadable, over
 * 515 bytes); DZ_E_PUBLIC_KEY (not a public-key record: a secret-key file is
 * never signed into a transfer); DZ_E_BAD_ARGUMENT (null transfer, empty
 * file); SignData's codes. */
int32_t DIZORA_API GetPublicKeyTransferByFile(DizoraEngine engine, char *transfer,
                                              const char *file_name);
/* SavePublicKeyFromTransfer: opens a transfer and writes its record to
 * directory (root-expanded, must exist) under the last component of the
 * transfer's file name; it replaces a file of that name only when that file
 * is a public-key record other than the user's own; the cache is not
 * changed. DZ_OK; DZ_E_BAD_ARGUMENT (null directory); DZ_E_PUBLIC_KEY_FILE
 * (no such directory, unusable name, a file it may not replace, write
 * failed); opening codes. */
int32_t DIZORA_API SavePublicKeyFromTransfer(DizoraEngine engine, const char *directory,
                                             const char *transfer);
/* IncludePublicKeyTransfer: opens a transfer and includes its record as
 * IncludePublicKey does (no file to delete). A transfer may add a
 * correspondent not known yet, or deliver the stored key again; it replaces
 * a stored, different key of a UID only when that UID signed it with its
 * current key. Any other replacement is refused with DZ_LIB_BAD_SIGNATURE,
 * as a transfer whose signature does not verify, and nothing changes.
 * Opening codes, then IncludePublicKey's codes. */
int32_t DIZORA_API IncludePublicKeyTransfer(DizoraEngine engine, const char *transfer);
/* ExcludeSelfPublicKeyTransfer: the transfer text of the user's own public
 * key. Codes of GetCurrentUserUID and GetPublicKeyTransfer. */
int32_t DIZORA_API ExcludeSelfPublicKeyTransfer(DizoraEngine engine, char *transfer);
/* GetUIDByPublicKeyTransfer: opens a transfer and writes the record's whole
 * UID (up to 254 characters) with its zero. uid: out, 255 bytes.
 * DZ_OK; DZ_E_BAD_ARGUMENT (null uid); opening codes. */
int32_t DIZORA_API GetUIDByPublicKeyTransfer(DizoraEngine engine, const char *transfer, char *uid);
/* GetReport, GetPublicKeyProperties (the same): with a uid, the report of
 * its cached key (key call; DZ_E_PUBLIC_KEY when not cached; key-call
 * codes). With null or "", the report of "new.pub" pending in the
 * regeneration directory: DZ_E_REGEN_DIR_MISSING (directory unset or
 * missing), DZ_E_REGEN_KEYS_MISSING (no "new.pub"), DZ_E_PUBLIC_KEY_FILE
 * (unreadable). report: out, GetMaxReportSize() = 2048 bytes. Report codes. */
int32_t DIZORA_API GetReport(DizoraEngine engine, const char *uid, char *report);
int32_t DIZORA_API GetPublicKeyProperties(DizoraEngine engine, const char *uid, char *report);
/* GetPublicKeyPropertiesByTransfer: the report of a transfer's record. DZ_OK;
 * report codes; opening codes. */
int32_t DIZORA_API GetPublicKeyPropertiesByTransfer(DizoraEngine engine, const char *transfer,
                                                    char *report);
/* GetPublicKeyPropertiesByFile: the report of a public-key file
 * (root-expanded); no key call. DZ_OK; DZ_E_PUBLIC_KEY_FILE (missing,
 * unreadable, over 515 bytes); report codes. */
int32_t DIZORA_API GetPublicKeyPropertiesByFile(DizoraEngine engine, const char *file_name,
                                                char *report);
/* CertAndRequestTransferMatch: not supported by this engine: stores -1
 * ("unknown") in *match and returns DZ_OK; a null match gives
 * DZ_E_BAD_ARGUMENT. */
int32_t DIZORA_API CertAndRequestTransferMatch(DizoraEngine engine, intptr_t a1, intptr_t a2,
                                               int32_t *match);
/* ConvertTransferToSignedRequest: not supported by this engine (DZ_E_INIT). */
int32_t DIZORA_API ConvertTransferToSignedRequest(DizoraEngine engine, intptr_t a1);

#ifdef __cplusplus
}
#endif

#endif /* DIZORA_H */
