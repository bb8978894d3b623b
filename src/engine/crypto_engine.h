// TCryptoEngine: the abstract engine behind the exported functions. It declares
// every operation in a fixed order with its default body, and owns what every
// engine needs: the last-error text, the settings as two parallel lists, the
// host callbacks, the engine's root directory and the regeneration directory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dizora.h"
#include "engine/last_error.h"

namespace dizora {

using HostCallback = DizoraCallback;

class TCryptoEngine {
 public:
  TCryptoEngine();
  virtual ~TCryptoEngine();
  TCryptoEngine(const TCryptoEngine&) = delete;
  TCryptoEngine& operator=(const TCryptoEngine&) = delete;

  // Operations in their fixed order of declaration. Those without a body on
  // this class raise EAbstractError, which the export turns into -3.
  virtual int32_t ReservedOperation();
  virtual int32_t IncludeVariant1(intptr_t p1, intptr_t p2, intptr_t p3);
  virtual int32_t IncludeVariant2(intptr_t p1, intptr_t p2, intptr_t p3);
  virtual int32_t IncludeVariant3(intptr_t p1, intptr_t p2, intptr_t p3);
  virtual int32_t IncludeVariant4(intptr_t p1, intptr_t p2, intptr_t p3);
  virtual int32_t IncludeVariant5(intptr_t p1, intptr_t p2);
  virtual int32_t IncludeVariant6(intptr_t p1, intptr_t p2, intptr_t p3);
  virtual void SetPasswordRequestFunc(HostCallback callback);
  virtual void SetRemoteGeneratePath(const std::string& path);
  // "Create" is the constructor.
  virtual void GetCryptoEngineType(char* buffer);
  virtual int32_t GetMaxEncodeAddition();
  virtual int32_t GetMaxSignatureLength();
  virtual int32_t GetMaxUIDLength();
  virtual int32_t GetMaxCryptoParamNameLength();
  virtual int32_t GetMaxCryptoParamValueLength();
  virtual int32_t GetMaxErrorStringLength();
  virtual int32_t GetMaxPasswordLength();
  virtual int32_t GetCryptoParamNumber();
  virtual void GetCryptoParamName(int32_t index, char* buffer);
  virtual void GetCryptoParamValue(int32_t index, char* buffer);
  virtual int32_t SetCryptoParamValue(int32_t index, const char* text);
  virtual int32_t GetEncodeUIDBySignUID(const char* sign_uid, char* buffer);
  virtual int32_t GetCurrentUID(char* buffer);
  virtual void GetCryptoErrorString(int32_t code, char* buffer);
  virtual int32_t EncodeData(void* data, int32_t* size, const char* recipients);
  virtual int32_t DecodeData(void* data, int32_t* size, intptr_t unused);
  virtual int32_t SignData(const void* data, int32_t size, void* signature, int32_t* signature_size,
                           intptr_t unused);
  virtual int32_t VerifyData(const void* data, int32_t size, const void* signature,
                             int32_t signature_size, char* signer_uid);
  virtual int32_t IncludePublicKey(const char* file_name);
  virtual void ResetAllKeys();
  virtual int32_t UpdateCertificateCash(const char* uid);
  virtual int32_t RemoveCertificate(const char* uid);
  virtual int32_t IncludeCRL(intptr_t p1);
  virtual void GetLastErrorMessage(char* buffer);
  virtual int32_t GenerateNewSSK();
  virtual int32_t GenerateNewSEK();
  virtual bool IsDifferentKeys();
  virtual int32_t IncludePublicEncodeKey(const char* file_name);
  virtual int32_t SignFile(intptr_t p1);
  virtual int32_t VerifyFile(intptr_t p1, intptr_t p2);
  virtual int32_t RemoveSignaturesFromFile(intptr_t p1);
  virtual int32_t TransPrivateKeyFromFileToTM();
  virtual int32_t TransSignatureFromFileToTM();
  virtual int32_t GetMaxPublicKeyTransferSize();
  virtual int32_t RemoteGenerateStart(char* transfer);
  virtual int32_t RemoteGenerateFinish(intptr_t p1);
  virtual int32_t ExcludeSelfPublicKeyTransfer(char* transfer);
  virtual int32_t IncludePublicKeyTransfer(const char* transfer);
  virtual int32_t GetPublicKeyTransfer(const char* uid, char* transfer);
  virtual int32_t SavePublicKeyFromTransfer(const char* directory, const char* transfer);
  virtual int32_t RemoteGenerateStartEx(const char* uid, char* transfer, int32_t* state);
  virtual int32_t RemoteGenerateFinishEx(const char* transfer, int32_t* state);
  virtual int32_t GetPublicKeyTransferByFile(char* transfer, const char* file_name);
  virtual int32_t IncludeCACertificateFromTransfer(intptr_t p1);
  virtual int32_t AddSign(void* data, int32_t* size, intptr_t p1);
  virtual int32_t RemoveSignature(void* data, int32_t* size, char* signer_uid);
  virtual int32_t GetMaxSignAddition();
  virtual int32_t GetMaxEncodeAdditionForCount(int32_t count);
  virtual int32_t SaveSignedDataToFile(const void* data, int32_t size, const void* signature,
                                       int32_t signature_size, const char* file_name);
  virtual int32_t GetRemoteGenType();
  virtual int32_t GetMaxReportSize();
  virtual int32_t GetReport(const char* uid, char* report);
  virtual int32_t GetMaxAdditionEx(const char* recipients);
  virtual int32_t GetUIDByPublicKeyTransfer(const char* transfer, char* uid);
  virtual int32_t GetPublicKeyPropertiesByTransfer(const char* transfer, char* report);
  virtual int32_t GetPublicKeyPropertiesByFile(const char* file_name, char* report);
  virtual int32_t CreateDirStructure(const char* public_key_file, intptr_t p1);
  virtual int32_t VerifySignWOCheckValidity(const void* data, int32_t size, const void* signature,
                                            int32_t signature_size, char* signer_uid);
  virtual int32_t CertAndRequestTransferMatch(intptr_t p1, intptr_t p2, int32_t* match);
  virtual int32_t ConvertTransferToSignedRequest(intptr_t p1);
  virtual int32_t HashData(const void* data, int32_t size, int32_t form, void* hash,
                           int32_t* hash_size);
  virtual int32_t ShowCertificate(intptr_t p1);
  virtual int32_t GetPureSign(intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4, intptr_t p5);
  virtual int32_t GetUIDByCertIdent(intptr_t p1, intptr_t p2);
  virtual int32_t InstallCertsInMyStore(intptr_t p1);
  virtual int32_t RegisterOIDInfo(const std::string& oid, const std::u16string& name);
  virtual int32_t GetParamInfo(int32_t index, int32_t* kind, char* buffer, int32_t* size);
  virtual int32_t IncludeByType(int32_t type, intptr_t p1, intptr_t p2, intptr_t p3);

  // Non-virtual helpers for derived engines and the exports.
  std::string ExpandRootPath(const char* text) const;
  std::string ExpandRootDir(const char* text) const;
  static bool CopyTextToBuffer(const char* text, char* buffer, int32_t capacity);
  void AssignRootPath(const std::string& path);

  // Fields, in the order of the design.
  TSyncExceptStr ErrorText;
  std::vector<std::string> ParamNames;
  std::vector<std::string> ParamValues;
  HostCallback PasswordRequestFunc = nullptr;
  HostCallback TMRequestFunc = nullptr;
  std::string RootPath;
  bool ParamsChanged = true;
  std::string RemoteGeneratePath;

 private:
  void CopyListEntry(const std::vector<std::string>& list, int32_t index, char* buffer);
};

}  // namespace dizora
