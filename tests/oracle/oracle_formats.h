// Readers (and writers) of the engine's documented file and block layouts,
// written from the layouts alone. Integers are 32-bit little-endian; UIDs are
// single-byte texts ended by one zero byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "oracle_gost.h"

namespace oracle {

enum : int32_t { kGost94 = 0, kGost2001 = 1 };

// Public-key file and correspondent record: UID, 0, algorithm, signature
// public key (128 bytes for GOST R 34.10-94, 100 for -2001), exchange public
// key (128 bytes). Nothing may follow.
struct PublicKeyRecord {
  std::string uid;
  int32_t algorithm = -1;
  Bytes signatureKey;
  Bytes exchangeKey;
};
std::optional<PublicKeyRecord> ReadPublicKeyRecord(const Bytes& bytes);

// Secret-key file, exactly 164 bytes: algorithm, signature secret key (32),
// exchange secret key (128).
struct SecretKeyFile {
  int32_t algorithm = -1;
  Bytes signatureKey;
  Bytes exchangeKey;
};
std::optional<SecretKeyFile> ReadSecretKeyFile(const Bytes& bytes);

// Signature block: signer's UID (1..254 characters), 0, 64-byte value.
struct SignatureBlock {
  std::string uid;
  Bytes value;
};
std::optional<SignatureBlock> ReadSignatureBlock(const uint8_t* bytes, size_t size);
Bytes WriteSignatureBlock(const std::string& uid, const Bytes& value);

// Signed data (AddSign, transfers): the data, its signature block, the data
// length.
struct SignedData {
  Bytes data;
  SignatureBlock signature;
};
std::optional<SignedData> ReadSignedData(const Bytes& bytes);
Bytes WriteSignedData(const Bytes& data, const Bytes& signatureBlock);

// The 776-byte transfer record: file name (256 bytes, zero-terminated), the
// record length B, the public-key record (B of the remaining 516 bytes).
struct TransferRecord {
  std::string fileName;
  Bytes record;
};
std::optional<TransferRecord> ReadTransferRecord(const Bytes& bytes);
Bytes WriteTransferRecord(const std::string& fileName, const Bytes& record);

// Standard base64 with "=" padding and no line breaks; nullopt for any other text.
std::optional<Bytes> DecodeBase64(const std::string& text);

// Encrypted block: recipient count, method (0 gamma, 1 gamma with feedback),
// sender UID; per recipient UID, IV, MAC and encrypted data key (8, 8, 32);
// data IV, data MAC, ciphertext.
struct EncryptedBlock {
  struct Entry {
    std::string uid;
    Bytes iv, mac, key;
  };
  int32_t method = -1;
  std::string sender;
  std::vector<Entry> entries;
  Bytes iv, mac, ciphertext;
};
std::optional<EncryptedBlock> ReadEncryptedBlock(const Bytes& bytes);
Bytes WriteEncryptedBlock(const EncryptedBlock& block);

}  // namespace oracle
