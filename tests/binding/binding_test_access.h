// The tests' one way into the private parts of TCryptoC_DLL (the binding
// declares this class its friend). Product code never includes it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/crypto_c_dll.h"
#include "binding/key_settings.h"

namespace dizora {

class TCryptoC_DLLTestAccess {
 public:
  using Bytes = std::vector<uint8_t>;

  // ---- The loaded key, read under KeyLock ----------------------------------
  // Copies of the stored (masked) key block and of the mask; empty when none.
  static Bytes SecretKeyBytes(TCryptoC_DLL& dll) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return dll.SecretKey ? Bytes(dll.SecretKey->begin(), dll.SecretKey->end()) : Bytes();
  }
  static Bytes KeyMaskBytes(TCryptoC_DLL& dll) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return dll.KeyMask ? Bytes(dll.KeyMask->begin(), dll.KeyMask->end()) : Bytes();
  }
  // Where the key block and the mask lie (null when none), to inspect their pages.
  static std::array<const void*, 2> KeyBlockAddresses(TCryptoC_DLL& dll) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return {dll.SecretKey.get(), dll.KeyMask.get()};
  }
  static int32_t KeyAlgorithm(TCryptoC_DLL& dll) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return dll.KeyAlgorithm;
  }
  static std::string OwnerUID(TCryptoC_DLL& dll) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return dll.OwnerUID;
  }
  static bool HasKeyCache(TCryptoC_DLL& dll) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return dll.KeyCache != nullptr;
  }
  // Reads both key files as an acquisition does.
  static int32_t LoadKeyFiles(TCryptoC_DLL& dll, const TKeySettings& settings) {
    TCryptoC_DLL::TGuard guard(dll.KeyLock);
    return dll.LoadKeyFiles(settings.PublicKeyPath, settings.SecretKeyPath);
  }

  // ---- Operations the engine reaches only through others -------------------
  static int32_t AcquireSignatureKey(TCryptoC_DLL& dll, const TKeySettings& settings, uint8_t* key,
                                     int32_t& algorithm) {
    return dll.AcquireSignatureKey(settings, key, algorithm);
  }
  static int32_t AcquireExchangeKey(TCryptoC_DLL& dll, const TKeySettings& settings, uint8_t* key) {
    return dll.AcquireExchangeKey(settings, key);
  }
  static int32_t GetPublicKey(TCryptoC_DLL& dll, const TKeySettings& settings, const std::string& uid,
                              bool wantExchangeKey, uint8_t* key, int32_t& algorithm) {
    return dll.GetPublicKey(settings, uid, wantExchangeKey, key, algorithm);
  }
  static int32_t GetMutualKey(TCryptoC_DLL& dll, const std::string& uid, uint8_t* key,
                              const TKeySettings& settings) {
    return dll.GetMutualKey(uid, key, settings);
  }
  static bool FindCachedMutualKey(TCryptoC_DLL& dll, const std::string& uid, uint8_t* key) {
    return dll.FindCachedMutualKey(uid, key);
  }
  static void StoreMutualKey(TCryptoC_DLL& dll, const std::string& uid, const uint8_t* key) {
    dll.StoreMutualKey(uid, key);
  }
  static int32_t HashGost(TCryptoC_DLL& dll, const uint8_t* data, int32_t length, uint8_t* hash) {
    return dll.HashGost(data, length, hash);
  }
  static int32_t HashOldFormat(TCryptoC_DLL& dll, const uint8_t* data, int32_t length, uint8_t* hash) {
    return dll.HashOldFormat(data, length, hash);
  }

  // ---- The library ---------------------------------------------------------
  static TLibraryState State(TCryptoC_DLL& dll) {
    TLibraryState copy;
    dll.SnapshotState(copy);
    return copy;
  }
  static void SetState(TCryptoC_DLL& dll, const TLibraryState& state) { dll.CommitState(state); }
  static int32_t RandomFill(TCryptoC_DLL& dll, void* buffer, int32_t length) {
    return dll.RandomFill(buffer, length);
  }
  // The resolved entry point of that name; null when unresolved or unknown.
  static void* EntryPoint(const TCryptoC_DLL& dll, std::string_view name) {
#define DZ_RUROV_LOOKUP(field, type) \
  if (name == #field) return reinterpret_cast<void*>(dll.field);
    DZ_RUROV_ENTRY_POINTS(DZ_RUROV_LOOKUP)
#undef DZ_RUROV_LOOKUP
    return nullptr;
  }
};

}  // namespace dizora
