// TCryptoCEngine: the Dizora-V engine. It fills the base class's settings
// lists with its 13 settings and implements the operations through shared
// TCryptoC_DLL binding objects held in a process-wide registry.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/crypto_engine.h"

namespace dizora {

class TCryptoC_DLL;
struct TKeySettings;

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

  // ---- Data operations (data_operations.cpp) --------------------------------
  int32_t GetMaxEncodeAddition() override;
  int32_t GetMaxSignatureLength() override;
  int32_t GetMaxUIDLength() override;
  int32_t GetMaxSignAddition() override;
  int32_t GetMaxAdditionEx(const char* recipients) override;
  int32_t SignData(const void* data, int32_t size, void* signature, int32_t* signature_size,
                   intptr_t unused) override;
  int32_t VerifyData(const void* data, int32_t size, const void* signature, int32_t signature_size,
                     char* signer_uid) override;
  int32_t EncodeData(void* data, int32_t* size, const char* recipients) override;
  int32_t DecodeData(void* data, int32_t* size, intptr_t unused) override;
  int32_t HashData(const void* data, int32_t size, int32_t form, void* hash, int32_t* hash_size) override;
  int32_t AddSign(void* data, int32_t* size, intptr_t unused) override;
  int32_t RemoveSignature(void* data, int32_t* size, char* signer_uid) override;
  int32_t SaveSignedDataToFile(const void* data, int32_t size, const void* signature,
                               int32_t signature_size, const char* file_name) override;

  // ---- Keys and certificates (key_operations.cpp) ---------------------------
  int32_t GetCurrentUID(char* buffer) override;
  int32_t GetEncodeUIDBySignUID(const char* sign_uid, char* buffer) override;
  int32_t IncludePublicKey(const char* file_name) override;
  int32_t IncludePublicEncodeKey(const char* file_name) override;
  int32_t RemoveCertificate(const char* uid) override;
  int32_t UpdateCertificateCash(const char* uid) override;
  void ResetAllKeys() override;
  int32_t CreateDirStructure(const char* public_key_file, intptr_t unused) override;

 protected:
  // ---- Settings and the common frame (binding_registry.h/.cpp) --------------
  // Fills the key settings; -13 when a time-out text is not an integer
  // ("Key request time out" checked first), the paths filled in any case.
  int32_t ReadKeySettings(TKeySettings& settings) const;
  // Registry key from settings 1 to 4, without reading the time-outs.
  std::string SettingsRegistryKey() const;
  // The key medium of the settings: the directory of the secret-key file,
  // where its lock and intent record lie (support/medium.h).
  std::string MediumOfSettings() const;
  // 1 when "Hash method" is "GOST" in any letter case.
  bool GostHashFlag() const;
  // The value of a setting (1-based index).
  const std::string& SettingValue(int32_t index) const;
  // Obtains the binding for `key` and returns op(binding), inside the guard
  // that turns a standard exception into ExceptionResult's code.
  template <class Op>
  int32_t BindingFrame(const char* operation, const std::string& key, Op op);
  // ReadKeySettings, then BindingFrame with op(binding, settings).
  template <class Op>
  int32_t KeyFrame(const char* operation, Op op);
  // KeyFrame holding the medium's exclusive lock around op: for operations
  // that change the medium in more than one step.
  template <class Op>
  int32_t MediumFrame(const char* operation, Op op);

  // Encrypts *size bytes at `data` in place for exactly these recipients (a
  // UID is never split at ';'), with the engine's method and key settings.
  // A block that would grow by more than `allowedGrowth` bytes gives -4 and
  // nothing is written.
  int32_t EncryptFor(void* data, int32_t* size, const std::vector<std::string>& recipients,
                     int32_t allowedGrowth);

  // Stores "TCryptoCEngine." + operation + ": " + class + ": " + message.
  void StoreError(const char* operation, const std::exception& e);
  // The result of an operation that caught `e`: -8 for memory that could not
  // be obtained (no text stored, nothing to add to the code), otherwise -3
  // with the last-error text of StoreError.
  int32_t ExceptionResult(const char* operation, const std::exception& e);
  void StoreErrorText(const std::string& text);
  // VerifyData; `verified` tells whether the verification itself ran (the
  // settings were read and the binding found), whatever its result.
  int32_t VerifyBlock(const void* data, int32_t size, const void* signature, int32_t signature_size,
                      char* signer_uid, bool& verified);

  // ---- Transfers, reports, generation and regeneration ----------------------
  // (key_transfer.cpp, key_generation.cpp)
 public:
  int32_t GetMaxPublicKeyTransferSize() override;
  int32_t GetMaxReportSize() override;
  int32_t GetPublicKeyTransfer(const char* uid, char* transfer) override;
  int32_t ExcludeSelfPublicKeyTransfer(char* transfer) override;
  int32_t GetPublicKeyTransferByFile(char* transfer, const char* file_name) override;
  int32_t IncludePublicKeyTransfer(const char* transfer) override;
  int32_t SavePublicKeyFromTransfer(const char* directory, const char* transfer) override;
  int32_t GetUIDByPublicKeyTransfer(const char* transfer, char* uid) override;
  int32_t GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) override;
  int32_t GetPublicKeyPropertiesByFile(const char* file_name, char* report) override;
  int32_t GetReport(const char* uid, char* report) override;
  int32_t GenerateNewSSK() override;
  int32_t GenerateNewSEK() override;
  int32_t GetRemoteGenType() override;
  int32_t RemoteGenerateStart(char* transfer) override;
  int32_t RemoteGenerateStartEx(const char* uid, char* transfer, int32_t* state) override;
  int32_t RemoteGenerateFinish(intptr_t unused) override;
  int32_t RemoteGenerateFinishEx(const char* transfer, int32_t* state) override;

  // What an opened transfer carries (layout: engine/transfer_format.h): the
  // file name the sender chose and the public-key record.
  struct TTransferRecord {
    std::string FileName;
    std::vector<uint8_t> RecordBytes;

    const std::string& Name() const { return FileName; }
    int32_t RecordLength() const { return static_cast<int32_t>(RecordBytes.size()); }
    const uint8_t* Record() const { return RecordBytes.data(); }
  };

 protected:
  // A public-key file read whole: 0, or -19 when it is missing, unreadable or
  // longer than the largest record.
  static int32_t ReadPublicKeyFile(const std::string& path, uint8_t* record, int32_t& length);
  // Signs the transfer record of `record` with the user's key and writes its
  // base64 text with a terminating zero into `transfer`.
  int32_t PrepareTransferByBuffer(const uint8_t* record, int32_t length, const char* name,
                                  char* transfer);
  // Decodes and verifies a transfer text (blanks and line breaks anywhere in
  // it are skipped); the record in `block` is a public-key record. `signer`
  // receives the UID that signed the transfer.
  int32_t GetPublicKeyBlockByTransfer(const char* transfer, TTransferRecord& block,
                                      std::string* signer = nullptr);
  // The text report of a public-key record.
  int32_t FGetReportByBuffer(const uint8_t* record, int32_t length, char* report);
  // Whether a saved transfer may write `path`: it is free, or holds a
  // public-key record other than the user's own public-key file.
  bool MayBeReplacedByARecord(const std::string& path) const;
  // Transfer of a public-key file already expanded.
  int32_t TransferOfKeyFile(const std::string& path, char* transfer);
  // Transfer of a public-key record in memory.
  int32_t TransferOfRecord(const uint8_t* record, int32_t length, char* transfer);
  // Report of a public-key file already expanded.
  int32_t ReportOfKeyFile(const std::string& path, char* report);
  // Generates the new pair in the regeneration directory for `uid`.
  int32_t InternalRemoteGenerateStart(char* transfer, const std::string& uid);
  // The new secret key, `size` bytes of `buffer`, encrypted in place for
  // `owner` (the content of "sec.dat").
  int32_t SealNewSecretKey(uint8_t* buffer, int32_t& size, const char* owner);
  // "Key gen - GOST" as an algorithm word, or -5.
  int32_t KeyGenAlgorithm(int32_t& algorithm) const;
  // True when both key files of the settings exist.
  bool HasKeyPair() const;
  // The regeneration directory when it is set and exists, else "".
  std::string RegenerationDir() const;
  // ---- end of transfers, reports, generation and regeneration ---------------
};

}  // namespace dizora
