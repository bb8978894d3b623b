// The binding to the GOST primitive library "libcrypt.dll": TCrypto_DLL and
// TCryptoC_DLL.
//
// One TCryptoC_DLL exists per combination of key paths (the engine's registry
// owns them). It resolves the library's 60 RuroV entry points, holds the
// loaded secret key (masked), the owner's UID, the public-key cache and the
// library's 76-byte random-generator state, and implements every key,
// signature, cipher and cache operation on top of the library.
//
// Locks, always taken in this order: the engine's registry lock, then the
// process-wide LibraryLock (only while an object loads the library) or the
// object's KeyLock, then its StateLock. No library computation runs under a
// lock: operations copy what they need out under the lock and work on copies.
//
// Results are signed 32-bit codes: 0 success, negative codes the engine's own
// (see namespace rurov below), positive codes those of the library passed up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/key_settings.h"
#include "dizora.h"
#include "platform/sync.h"
#include "support/medium.h"
#include "support/secure.h"

namespace dizora {

namespace rurov {

// Signature algorithms (the algorithm word of key files and records).
inline constexpr int32_t kNoAlgorithm = -1;
inline constexpr int32_t kGost1994 = 0;
inline constexpr int32_t kGost2001 = 1;

// Sizes of files, records and keys.
inline constexpr int32_t kSecretKeyFileSize = 164;    // algorithm word + 32 + 128
inline constexpr int32_t kMaxPublicKeyFileSize = 515; // largest public-key record a file holds
inline constexpr int32_t kCacheRecordSize = 516;       // room of a cache node's Record
inline constexpr int32_t kMaxUIDLength = 254;
inline constexpr int32_t kUIDBufferSize = 255;        // a UID with its terminating zero
inline constexpr int32_t kAlgorithmWordSize = 4;
inline constexpr int32_t kSignSecretKeySize = 32;
inline constexpr int32_t kExchangeKeySize = 128;       // exchange secret and public keys
inline constexpr int32_t kKeyMaskSize = 32;
inline constexpr int32_t kPublicKey1994Size = 128;
inline constexpr int32_t kPublicKey2001Size = 100;
inline constexpr int32_t kSharedSecretSize = 128;
inline constexpr int32_t kHashSize = 32;
inline constexpr int32_t kSignatureValueSize = 64;
inline constexpr int32_t kMutualKeySize = 32;
inline constexpr int32_t kDataKeySize = 32;
inline constexpr int32_t kIvSize = 8;
inline constexpr int32_t kMacSize = 8;
inline constexpr int32_t kHashPieceSize = 65535;      // largest piece handed to the hash update
// Offsets inside the loaded SecretKey block (after the algorithm word is dropped).
inline constexpr int32_t kSignKeyOffset = 0;
inline constexpr int32_t kExchangeKeyOffset = 32;

// Library state, parameter block and caller-owned contexts.
inline constexpr int32_t kLibraryStateSize = 76;
inline constexpr int32_t kParameterBlockSize = 4228;
inline constexpr int32_t kSubstitutionTableSize = 128;
inline constexpr int32_t kHashContextSize = 120;
inline constexpr int32_t kGammaContextSize = 100;
inline constexpr int32_t kGammaOfbContextSize = 124;
inline constexpr int32_t kMacContextSize = 100;
inline constexpr int32_t kSign1994ContextSize = 1148;
inline constexpr int32_t kSign2001ContextSize = 748;
inline constexpr int32_t kLdhPkaContextSize = 1300;

inline constexpr int32_t kEntryPointCount = 60;

// Days per second used by the key time-outs (slightly less than 1/86400).
inline constexpr long double kDaysPerSecond = 1.1574E-5L;

// The GOST R 34.11-94 hash text forms of HashWithFormat.
inline constexpr int32_t kHashFormBase64 = 1;
inline constexpr int32_t kHashFormHex = 2;

// Library file name, looked up through the engine's library search.
inline constexpr const char* kLibraryName = "libcrypt.dll";

}  // namespace rurov

// Typed entry points of the library, C calling convention, in table order.
// ctx: caller-owned zeroed context; params: the 4228-byte parameter block;
// state: a private copy of the 76-byte library state.
extern "C" {
// Entry points the binding never calls; they must exist all the same.
typedef int32_t (*TRuroV_Unused)(void);
// GOST 28147-89 gamma and gamma with output feedback.
typedef int32_t (*TRuroV_GammaInit)(void* ctx, const void* params, void* state, const void* key,
                                    const void* iv);
typedef int32_t (*TRuroV_Clear)(void* ctx);
typedef int32_t (*TRuroV_Crypt)(void* ctx, const void* source, void* destination, int32_t length);
// GOST 28147-89 MAC.
typedef int32_t (*TRuroV_MacInit)(void* ctx, const void* params, void* state, const void* key,
                                  void* mac);
typedef int32_t (*TRuroV_Update)(void* ctx, const void* data, int32_t length);
typedef int32_t (*TRuroV_MacFinal)(void* ctx, void* mac);
// GOST R 34.11-94.
typedef int32_t (*TRuroV_HashInit)(void* ctx, const void* params, void* state,
                                   const void* startVector);
typedef int32_t (*TRuroV_HashFinal)(void* ctx, void* hash);
// GOST R 34.10-94 / 2001 and LDH_PKA. Zero pointer and length arguments select
// the library's built-in parameters.
typedef int32_t (*TRuroV_Set1994Parms)(void* ctx, void* state, const void* p, int32_t pLength,
                                       const void* q, int32_t qLength, const void* a);
typedef int32_t (*TRuroV_Set2001Parms)(void* ctx, void* state, const void* p, int32_t pLength,
                                       const void* q, int32_t qLength, const void* a,
                                       const void* b, const void* basePoint);
typedef int32_t (*TRuroV_SetPkaParms)(void* ctx, void* state, const void* p, int32_t pLength,
                                      const void* g);
typedef int32_t (*TRuroV_Generate)(void* ctx);
typedef int32_t (*TRuroV_GetKey)(void* ctx, void* output, int32_t* length);
typedef int32_t (*TRuroV_SetKey)(void* ctx, const void* key);
typedef int32_t (*TRuroV_Sign)(void* ctx, const void* hash, void* signature);
typedef int32_t (*TRuroV_Verify)(void* ctx, const void* hash, const void* signature);
typedef int32_t (*TRuroV_MutualKey)(void* ctx, const void* peerPublicKey, void* sharedSecret);
// Random numbers.
typedef int32_t (*TRuroV_RandomFill)(void* state, void* buffer, int32_t length);
}

namespace rurov {

// 32-bit little-endian integers of key files, records and encrypted blocks.
inline int32_t ReadInt32LE(const uint8_t* p) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}
inline void WriteInt32LE(uint8_t* p, int32_t value) noexcept {
  const auto v = static_cast<uint32_t>(value);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Whether `length` bytes at `record` form a public-key record: a UID of 1 to
// kMaxUIDLength characters before the first zero byte, the algorithm word 0
// or 1, and exactly the length that UID and algorithm give (the signature
// public key and the exchange public key, nothing more).
bool IsPublicKeyRecord(const uint8_t* record, int32_t length) noexcept;
// Whether the file holds exactly one public-key record.
bool IsPublicKeyRecordFile(const std::string& path) noexcept;

// A zero-filled library context of N bytes for one operation. Once armed with
// the library's clear entry point it is cleared through the library on every
// exit (Release does it early and returns the clear's result); its bytes are
// wiped when it goes out of scope.
template <std::size_t N>
class TLibraryContext {
 public:
  TLibraryContext() = default;
  ~TLibraryContext() {
    Release();
    support::WipeMemory(bytes_.data(), N);
  }
  TLibraryContext(const TLibraryContext&) = delete;
  TLibraryContext& operator=(const TLibraryContext&) = delete;

  void* get() noexcept { return bytes_.data(); }
  void Arm(TRuroV_Clear clear) noexcept { clear_ = clear; }
  int32_t Release() {
    int32_t result = 0;
    if (clear_ != nullptr) {
      TRuroV_Clear clear = clear_;
      clear_ = nullptr;
      result = clear(bytes_.data());
    }
    return result;
  }

 private:
  std::array<uint8_t, N> bytes_{};
  TRuroV_Clear clear_ = nullptr;
};

}  // namespace rurov

// The 60 entry points in table order: X(name, pointer type).
#define DZ_RUROV_ENTRY_POINTS(X)                                   \
  X(RuroV_G28147_1989_block_init, TRuroV_Unused)                   \
  X(RuroV_G28147_1989_block_encrypt, TRuroV_Unused)                \
  X(RuroV_G28147_1989_block_decrypt, TRuroV_Unused)                \
  X(RuroV_G28147_1989_block_clear, TRuroV_Unused)                  \
  X(RuroV_G28147_1989_gamma_init, TRuroV_GammaInit)                \
  X(RuroV_G28147_1989_gamma_clear, TRuroV_Clear)                   \
  X(RuroV_G28147_1989_gamma_crypt, TRuroV_Crypt)                   \
  X(RuroV_G28147_1989_gamma_ofb_init, TRuroV_GammaInit)            \
  X(RuroV_G28147_1989_gamma_ofb_clear, TRuroV_Clear)               \
  X(RuroV_G28147_1989_gamma_ofb_encrypt, TRuroV_Crypt)             \
  X(RuroV_G28147_1989_gamma_ofb_decrypt, TRuroV_Crypt)             \
  X(RuroV_G28147_1989_mac_init, TRuroV_MacInit)                    \
  X(RuroV_G28147_1989_mac_update, TRuroV_Update)                   \
  X(RuroV_G28147_1989_mac_final, TRuroV_MacFinal)                  \
  X(RuroV_G28147_1989_mac_clear, TRuroV_Clear)                     \
  X(RuroV_G28147_1989_mac_file_const, TRuroV_Unused)               \
  X(RuroV_R34_11_1994_init, TRuroV_HashInit)                       \
  X(RuroV_R34_11_1994_update, TRuroV_Update)                       \
  X(RuroV_R34_11_1994_final, TRuroV_HashFinal)                     \
  X(RuroV_R34_11_1994_clear, TRuroV_Clear)                         \
  X(RuroV_LR34_10_1994_set_parms, TRuroV_Set1994Parms)             \
  X(RuroV_LR34_10_2001_set_parms, TRuroV_Set2001Parms)             \
  X(RuroV_LR34_10_1994_get_parms, TRuroV_Unused)                   \
  X(RuroV_LR34_10_1994_gen_secret_key, TRuroV_Generate)            \
  X(RuroV_LR34_10_2001_gen_secret_key, TRuroV_Generate)            \
  X(RuroV_LR34_10_1994_gen_public_key, TRuroV_Generate)            \
  X(RuroV_LR34_10_2001_gen_public_key, TRuroV_Generate)            \
  X(RuroV_LR34_10_1994_get_secret_key, TRuroV_GetKey)              \
  X(RuroV_LR34_10_2001_get_secret_key, TRuroV_GetKey)              \
  X(RuroV_LR34_10_1994_get_public_key, TRuroV_GetKey)              \
  X(RuroV_LR34_10_2001_get_public_key, TRuroV_GetKey)              \
  X(RuroV_LR34_10_1994_set_secret_key, TRuroV_SetKey)              \
  X(RuroV_LR34_10_2001_set_secret_key, TRuroV_SetKey)              \
  X(RuroV_LR34_10_1994_set_public_key, TRuroV_SetKey)              \
  X(RuroV_LR34_10_2001_set_public_key, TRuroV_SetKey)              \
  X(RuroV_LR34_10_1994_sign, TRuroV_Sign)                          \
  X(RuroV_LR34_10_2001_sign, TRuroV_Sign)                          \
  X(RuroV_LR34_10_1994_verify, TRuroV_Verify)                      \
  X(RuroV_LR34_10_2001_verify, TRuroV_Verify)                      \
  X(RuroV_LR34_10_1994_clear_secret_key, TRuroV_Unused)            \
  X(RuroV_LR34_10_2001_clear_secret_key, TRuroV_Unused)            \
  X(RuroV_LR34_10_1994_clear_public_key, TRuroV_Unused)            \
  X(RuroV_LR34_10_2001_clear_public_key, TRuroV_Unused)            \
  X(RuroV_LR34_10_1994_clear, TRuroV_Clear)                        \
  X(RuroV_LR34_10_2001_clear, TRuroV_Clear)                        \
  X(RuroV_LR34_10_2001_gen_mutual_key, TRuroV_Unused)              \
  X(RuroV_LDH_PKA_set_parms, TRuroV_SetPkaParms)                   \
  X(RuroV_LDH_PKA_get_parms, TRuroV_Unused)                        \
  X(RuroV_LDH_PKA_gen_secret_key, TRuroV_Generate)                 \
  X(RuroV_LDH_PKA_gen_public_key, TRuroV_Generate)                 \
  X(RuroV_LDH_PKA_gen_mutual_key, TRuroV_MutualKey)                \
  X(RuroV_LDH_PKA_get_secret_key, TRuroV_GetKey)                   \
  X(RuroV_LDH_PKA_get_public_key, TRuroV_GetKey)                   \
  X(RuroV_LDH_PKA_set_secret_key, TRuroV_SetKey)                   \
  X(RuroV_LDH_PKA_clear_secret_key, TRuroV_Unused)                 \
  X(RuroV_LDH_PKA_clear_public_key, TRuroV_Unused)                 \
  X(RuroV_LDH_PKA_clear, TRuroV_Clear)                             \
  X(RuroV_Random_Fill, TRuroV_RandomFill)                          \
  X(RuroV_TestCryptoFunctions_, TRuroV_Unused)                     \
  X(RuroV_TestSignFunctions_, TRuroV_Unused)

// The entry-point names in table order.
extern const char* const kRuroVEntryPointNames[rurov::kEntryPointCount];

using TLibraryState = std::array<uint8_t, rurov::kLibraryStateSize>;
using TParameterBlock = std::array<uint8_t, rurov::kParameterBlockSize>;
using TSecretKeyBlock = std::array<uint8_t, rurov::kSecretKeyFileSize>;
using TKeyMaskBlock = std::array<uint8_t, rurov::kKeyMaskSize>;

// Deleter of the key blocks (made by support::NewSecretBlock): wipes them
// before release.
struct TWipingDelete {
  void operator()(TSecretKeyBlock* block) const noexcept;
  void operator()(TKeyMaskBlock* block) const noexcept;
};

// UID comparison used by every cache lookup: case-insensitive in the
// Windows-1251 code page (ASCII and Cyrillic letters).
bool SameUIDIgnoreCase(std::string_view a, std::string_view b) noexcept;

// One cached public-key file. The node keeps the design's historical
// spelling, as the exports ClearCash and UpdateCertificateCash do; everything
// else in the code says "cache".
struct TCryptoC_CashNode {
  std::string FileName;     // full path of the file the record was read from or written to
  int32_t RecordLength = 0; // record bytes (the file's size)
  int32_t Algorithm = 0;    // the record's algorithm word
  std::array<uint8_t, rurov::kCacheRecordSize> Record{};
  bool HasMutualKey = false;                                 // MutualKey is valid
  uint64_t MutualKeyEpoch = 0;  // the own key it was derived with (TCryptoC_DLL::OwnKeyEpoch)
  std::array<uint8_t, rurov::kMutualKeySize> MutualKey{};   // wiped on destruction

  TCryptoC_CashNode() = default;
  TCryptoC_CashNode(const TCryptoC_CashNode&) = default;
  TCryptoC_CashNode& operator=(const TCryptoC_CashNode&) = default;
  ~TCryptoC_CashNode();
};

// An entry of KeyCache: the UID read from the record and its node.
struct TCryptoC_CacheEntry {
  std::string UID;
  std::unique_ptr<TCryptoC_CashNode> Node;
};

// The key under which the cache indexes a UID: UIDs that SameUIDIgnoreCase
// calls equal, and only those, share it.
std::string UIDFoldKey(std::string_view uid);

// KeyCache: entries in insertion order, a UID possibly more than once, with
// an index from the folded UID to its entries (in insertion order), so that a
// lookup costs the same with one entry or twenty thousand.
class TCryptoC_KeyCache {
 public:
  using TList = std::list<TCryptoC_CacheEntry>;

  TList::const_iterator begin() const { return Entries.begin(); }
  TList::const_iterator end() const { return Entries.end(); }
  size_t size() const { return Entries.size(); }
  bool empty() const { return Entries.empty(); }

  void Append(std::string uid, std::unique_ptr<TCryptoC_CashNode> node);
  // The first entry of uid in insertion order, or null.
  TCryptoC_CacheEntry* First(std::string_view uid);
  // Removes the first entry of uid; false when there is none.
  bool RemoveFirst(std::string_view uid);

 private:
  TList Entries;
  std::unordered_map<std::string, std::vector<TList::iterator>> Index;
};

// Generic library binding: whether the library is present and complete.
class TCrypto_DLL {
 public:
  TCrypto_DLL() = default;
  virtual ~TCrypto_DLL() = default;
  TCrypto_DLL(const TCrypto_DLL&) = delete;
  TCrypto_DLL& operator=(const TCrypto_DLL&) = delete;

  bool Loaded = false;    // the library module is present in the process
  bool Complete = false;  // every one of the 60 entry points was found
};

class TCryptoC_DLL;

// Holds the medium's lock of a binding for its lifetime (nothing for a
// binding without a medium). When an interrupted change was completed or
// undone while it was taken, the binding forgets what it had read from the
// files (cache and loaded key). Never taken while this thread holds KeyLock
// without already holding the medium's lock: the medium's lock comes first.
class TMediumAccess {
 public:
  using Mode = support::MediumLock::Mode;
  TMediumAccess(TCryptoC_DLL& binding, Mode mode);
  TMediumAccess(const TMediumAccess&) = delete;
  TMediumAccess& operator=(const TMediumAccess&) = delete;

 private:
  std::optional<support::MediumLock> lock_;
};

class TCryptoC_DLLTestAccess;  // tests only (tests/binding/binding_test_access.h)

// The binding proper. Its public part is what the engine calls: key-pair
// generation and replacement, the owner's UID, signing, verification,
// encryption and the correspondents' public keys, each operation with the
// key settings of the binding. The loaded secret key, the library state,
// the cache and the entry points are private: only the binding's own
// operations reach them, under their locks.
class TCryptoC_DLL : public TCrypto_DLL {
 public:
  // Loads the library once per process (a failed load is not remembered) and
  // resolves the entry points; the outcome is in Loaded and Complete.
  TCryptoC_DLL();
  // ReleaseKeys; the library stays loaded.
  ~TCryptoC_DLL() override;

  // Called by the engine's registry once, when it creates the binding: the
  // host's password callback (stored, never called) and the key medium whose
  // lock the binding takes (support::MediumOfSecretKey of the secret-key
  // path). A binding made directly has no medium and takes no lock.
  void Attach(DizoraCallback passwordRequest, std::string medium);

  // Releases the public-key cache and the secret key, under KeyLock.
  void ReleaseKeys();

  // ---- Key files ---------------------------------------------------------
  // The UID of the loaded key, else the one of the public-key file,
  // zero-terminated, into a buffer of kUIDBufferSize bytes.
  int32_t ReadOwnerUID(const std::string& publicKeyPath, char* buffer);

  // ---- Key pair generation -----------------------------------------------
  // The two files of a key pair, in memory (wiped on release).
  struct TKeyPairImages {
    support::SecureBuffer PublicKey;
    support::SecureBuffer SecretKey;
  };
  // Generates a pair and writes both files as one change (an interrupted
  // one is completed or undone by the next lock of the medium).
  int32_t GenerateKeyPair(int32_t algorithm, const std::string& uid,
                          const std::string& publicKeyPath, const std::string& secretKeyPath);
  // Generates a pair into memory only.
  int32_t GenerateKeyPairImages(int32_t algorithm, const std::string& uid, TKeyPairImages& images);

  // ---- Hashing and signing -----------------------------------------------
  // The signature block: the own UID, a zero and the 64-byte signature.
  int32_t SignBuffer(const uint8_t* data, int32_t length, uint8_t* output, int32_t& outputLength,
                     const TKeySettings& settings, bool gostHash);
  int32_t HashWithFormat(const uint8_t* data, int32_t length, int32_t form, uint8_t* output,
                         bool gostHash, int32_t& size);

  // ---- Verification ------------------------------------------------------
  // `signerUID` receives the UID the block names, whatever the outcome.
  int32_t VerifySignature(const uint8_t* data, int32_t length, const uint8_t* signatureBlock,
                          int32_t signatureLength, std::string& signerUID, const TKeySettings& settings);

  // ---- Encrypted data ----------------------------------------------------
  // For the ";"-separated recipients of uidList.
  int32_t EncryptData(uint8_t* data, int32_t& length, int32_t method, const char* uidList,
                      const TKeySettings& settings);
  // For exactly these recipients. A block longer than the data by more than
  // maxAddition bytes is refused (DZ_E_BAD_ARGUMENT) before anything is written.
  int32_t EncryptForRecipients(uint8_t* data, int32_t& length, int32_t method,
                               const std::vector<std::string>& recipients, const TKeySettings& settings,
                               int32_t maxAddition);
  int32_t DecryptData(uint8_t* data, int32_t& length, const TKeySettings& settings);
  static int32_t GetMaxEncryptAddition(int32_t recipients);

  // ---- Correspondents' public keys ---------------------------------------
  // output: outputSize bytes of room; a larger record gives -11.
  int32_t GetPublicKeyRecord(const TKeySettings& settings, const char* uid, uint8_t* output, int32_t& outputLength,
                             int32_t outputSize = rurov::kMaxPublicKeyFileSize);
  // Stores a correspondent's record as a file in the correspondents'
  // directory and in the cache. The new file is written and flushed before
  // any earlier entry of the UID (file and cache entry) is removed. With
  // `transferSigner` (the signer of the transfer that carried the record) a
  // stored record of the UID that differs from this one is replaced only
  // when the signer is that UID; otherwise DZ_LIB_BAD_SIGNATURE and nothing
  // changes. `storedFile` receives the name of the file written.
  int32_t IncludePublicKeyRecord(const TKeySettings& settings, const uint8_t* record, int32_t recordLength,
                                 const std::string* transferSigner = nullptr, std::string* storedFile = nullptr);
  int32_t RemovePublicKey(const TKeySettings& settings, const std::string& uid);
  int32_t RefreshPublicKey(const TKeySettings& settings, const std::string& uid);

  // Where the intent record of a change goes: the medium, or for a binding
  // without one the directory of `secretKeyPath`.
  std::string ChangeMedium(const std::string& secretKeyPath) const;

  // ---- Regeneration ------------------------------------------------------
  // What the finish of a regeneration removes and keeps besides the pair:
  // the regeneration's files, and the previous public-key record, stored
  // among the correspondents' keys unless it carries the new pair's UID.
  struct TFinishExtras {
    std::vector<std::string> RegenerationFiles;
    const uint8_t* PreviousRecord = nullptr;
    int32_t PreviousRecordLength = 0;
  };
  // Installs the new pair as one change: the previous files become
  // "old.sec" and "old.pub", the new ones take their places, and with
  // `extras` the regeneration's files go and the previous key is stored as
  // a correspondent's. A secret key that does not belong to the new public
  // key is refused (-12) before anything changes.
  int32_t ReplaceKeyFiles(const TKeySettings& settings, const std::string& newPublicKeyPath,
                          const uint8_t* newSecretKey, int32_t newSecretKeyLength,
                          const TFinishExtras* extras = nullptr);

 private:
  friend class TMediumAccess;
  friend class TCryptoC_DLLTestAccess;

  using TLock = platform::CriticalSection;
  using TGuard = platform::CriticalSectionGuard;

  // ---- Fields, in the binding's order ------------------------------------
  TLock KeyLock;                     // key, OwnerUID, times, KeyCache
  int32_t KeyAlgorithm = rurov::kNoAlgorithm;
  std::unique_ptr<TSecretKeyBlock, TWipingDelete> SecretKey;  // masked signature key + exchange key
  std::unique_ptr<TKeyMaskBlock, TWipingDelete> KeyMask;
  TLibraryState LibraryState{};      // guarded by StateLock
  TLock StateLock;
  std::string OwnerUID;
  // Counts the distinct own key pairs loaded (KeyLock): cached mutual keys
  // are valid only with the own key of their epoch, so a pair replaced by
  // another process never meets a mutual key of the previous one.
  uint64_t OwnKeyEpoch = 0;
  std::array<uint8_t, rurov::kExchangeKeySize> OwnKeyEpochKey{};  // exchange public key of that epoch
  std::unique_ptr<TCryptoC_KeyCache> KeyCache;
  double LastUseTime = 0.0;          // time of day (fraction of a day) of the last hand-out
  double LoadTime = 0.0;             // time of day of the load
  int32_t LastOpTimeout = 0;         // seconds, in force at the last hand-out
  int32_t KeyRequestTimeout = 0;     // seconds, in force at the load
  DizoraCallback PasswordRequestFunc = nullptr;  // see Attach
  std::optional<std::string> Medium;             // see Attach

#define DZ_RUROV_FIELD(name, type) type name = nullptr;
  DZ_RUROV_ENTRY_POINTS(DZ_RUROV_FIELD)
#undef DZ_RUROV_FIELD

  void ResolveEntryPoints(void* module);

  // ---- Library state and parameters --------------------------------------
  void SnapshotState(TLibraryState& copy);
  void CommitState(const TLibraryState& copy);
  // Random bytes from the library; the state copy is committed whatever the result.
  int32_t RandomFill(void* buffer, int32_t length);
  // The parameter block of every hash, cipher and MAC initialisation: zeros
  // with the GOST R 34.11-94 test substitution table (K8..K1) in front.
  static const TParameterBlock& ParameterBlock();

  // ---- Key files and the secret key --------------------------------------
  // Reads both key files; KeyLock held. On failure nothing stays loaded.
  int32_t LoadKeyFiles(const std::string& publicKeyPath, const std::string& secretKeyPath);
  // Forgets the loaded key (wiped) and OwnerUID; KeyLock held.
  void DropSecretKey();
  // Drops the loaded key unless both time-outs still allow it at `now` (the
  // local time of day as a fraction of a day); KeyLock held.
  void CheckKeyExpiry(double now, int32_t keyRequestTimeout, int32_t lastOpTimeout);
  // The unmasked 32-byte signature key and its algorithm.
  int32_t AcquireSignatureKey(const TKeySettings& settings, uint8_t* key, int32_t& algorithm,
                              std::string* ownerUID = nullptr);
  // The 128-byte exchange secret key.
  int32_t AcquireExchangeKey(const TKeySettings& settings, uint8_t* key);
  // Hands out key bytes after the expiry check and a load when needed; KeyLock taken inside.
  // `ownerUID` (optional) receives the UID loaded with the key, so that a
  // caller never pairs the key with a UID read at another moment.
  // `epoch` (optional) receives the key's OwnKeyEpoch.
  int32_t AcquireKeyBytes(const TKeySettings& settings, bool signatureKey, uint8_t* key, int32_t* algorithm,
                          std::string* ownerUID = nullptr, uint64_t* epoch = nullptr);
  // The loaded key's bytes handed out, `now` noted as the time of use;
  // KeyLock held, a key loaded.
  int32_t HandOutKey(double now, bool signatureKey, int32_t lastOpTimeout, uint8_t* key, int32_t* algorithm,
                     std::string* ownerUID, uint64_t* epoch = nullptr);
  // Starts a new OwnKeyEpoch when the loaded pair's exchange public key is
  // not the one of the current epoch; KeyLock held.
  void NoteOwnExchangeKey(const uint8_t* exchangePublicKey);
  // Derives the public keys of the secret keys (signature key at
  // kSignKeyOffset, exchange key at kExchangeKeyOffset, as loaded) and
  // compares them with the signature and exchange public keys of a
  // public-key record: 0, or -12 when they do not belong together.
  int32_t CheckKeyPair(int32_t algorithm, const uint8_t* secretKeys, const uint8_t* signaturePublicKey,
                       const uint8_t* exchangePublicKey);
  // The signature public key of a 32-byte secret key (128 or 100 bytes out).
  int32_t DeriveSignaturePublicKey(int32_t algorithm, const uint8_t* secretKey, uint8_t* publicKey);
  // The 128-byte exchange public key of a 128-byte exchange secret key.
  int32_t DeriveExchangePublicKey(const uint8_t* secretKey, uint8_t* publicKey);

  // ---- Key pair generation -----------------------------------------------
  int32_t GenerateKeyPair1994(const std::string& uid, TKeyPairImages& images);
  int32_t GenerateKeyPair2001(const std::string& uid, TKeyPairImages& images);
  int32_t GenerateSignatureKeyPair(int32_t algorithm, const std::string& uid, TKeyPairImages& images);
  // secretKey and publicKey: 128 bytes each.
  int32_t GenerateExchangeKeyPair(uint8_t* secretKey, uint8_t* publicKey);

  // ---- Hashing and encryption --------------------------------------------
  int32_t HashGost(const uint8_t* data, int32_t length, uint8_t* hash);
  // Legacy digest: the first 65535 bytes again for every whole 65535 of length.
  int32_t HashOldFormat(const uint8_t* data, int32_t length, uint8_t* hash);
  // Hashes in pieces of at most 65535 bytes; the legacy digest feeds every
  // piece from the start of the data.
  int32_t HashInPieces(const uint8_t* data, int32_t length, uint8_t* hash, bool restartEachPiece);
  // Modes: 0 gamma encrypt, 1 feedback encrypt, 2 gamma decrypt, 3 feedback decrypt.
  int32_t CryptWithMac(const uint8_t* source, uint8_t* destination, int32_t length,
                       const uint8_t* key, uint8_t* iv, uint8_t* mac, int32_t mode);
  int32_t ComputeMac(const uint8_t* source, int32_t length, const uint8_t* key, uint8_t* mac);
  // The mutual key with `uid` for the own key loaded now (acquired here).
  int32_t GetMutualKey(const std::string& uid, uint8_t* key, const TKeySettings& settings);
  // The mutual key with `uid` for a given own exchange secret key of `epoch`:
  // from the cache when derived with that key, else derived and cached.
  int32_t MutualKeyWith(const std::string& uid, const uint8_t* ownSecret, uint64_t epoch, uint8_t* key,
                        const TKeySettings& settings);
  int32_t DeriveMutualKey(const uint8_t* ownSecret, const uint8_t* peerPublic, uint8_t* key);

  // ---- Public-key cache --------------------------------------------------
  // Fills KeyCache (created if null); -11 when a file failed; KeyLock held.
  int32_t LoadKeyCache(const TKeySettings& settings);
  static int32_t LoadPublicKeyFile(const std::string& fileName, TCryptoC_CashNode& node,
                                   std::string& uid);
  // Frees every node and the list; KeyLock held.
  void ClearKeyCache();
  // key: room for 128 bytes.
  int32_t GetPublicKey(const TKeySettings& settings, const std::string& uid, bool wantExchangeKey, uint8_t* key,
                       int32_t& algorithm);
  // Deletes the files of every entry of uid and the entries, except the
  // file `keep` (its entries are dropped from the cache only); KeyLock held.
  int32_t DeletePublicKeyEntries(const std::string& uid, const std::string& keep = std::string());
  // Mutual keys of the own key of `epoch` (none: the epoch loaded now).
  bool FindCachedMutualKey(const std::string& uid, uint8_t* key, std::optional<uint64_t> epoch = std::nullopt);
  void StoreMutualKey(const std::string& uid, const uint8_t* key, std::optional<uint64_t> epoch = std::nullopt);
  // First entry of uid in KeyCache (case-insensitive), or null; KeyLock held.
  TCryptoC_CacheEntry* FindCacheEntry(std::string_view uid);
  // Whether a transfer signed by `signer` may store `record` for `uid`: the
  // UID is not known yet, its stored record is this one, or the signer is
  // the UID itself (signed with its current key). KeyLock held.
  bool TransferMayStore(const std::string& uid, const std::string& signer, const uint8_t* record,
                        int32_t recordLength);
  // Where a correspondent's record goes: the file and the earlier entries'
  // files that go with its storing (never the own public-key file). KeyLock
  // held, cache filled.
  struct TEntryPlan {
    std::string FileName;
    bool Claimed = false;            // a new name, never replacing (a taken one gives "pk<N>.pub")
    std::vector<std::string> Replaced;  // other files of earlier entries of the UID
  };
  TEntryPlan PlanEntry(const TKeySettings& settings, const std::string& uid);
  // Drops the cache entries of `uid` whose files are gone or are `kept`,
  // from the first on, as far as that holds. KeyLock held.
  void DropStoredEntries(const std::string& uid, const std::string& kept);
  // Runs op() under KeyLock with the cache filled: a filled cache is read
  // without the medium's lock; a filling takes it (shared) first.
  template <class Op>
  int32_t WithKeyCache(const TKeySettings& settings, Op op);
  // Fills the cache when it is null; KeyLock held.
  int32_t EnsureKeyCache(const TKeySettings& settings);
};

// Module start and stop: the process-wide library handle and LibraryLock.
// Stop frees the library; binding objects must be gone by then, and no thread
// may be inside the library.
void RurovModuleStart();
void RurovModuleStop() noexcept;

// Test-only: the process-wide library handle (null when not loaded).
void* RurovLibraryHandleForTesting();

}  // namespace dizora
