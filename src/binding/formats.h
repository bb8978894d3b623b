// The binding's file and block layouts, read from bytes into views (spans
// into the input, never copies): public-key records, the secret-key file,
// the signature block and the encrypted block. Pure functions: no I/O, no
// cryptography. Integers are 32-bit little-endian; UIDs and texts are
// single-byte texts ended by a zero byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "binding/crypto_c_dll.h"
#include "support/byte_reader.h"

namespace dizora::formats {

using support::ByteReader;
using support::ByteSpan;

// A 32-bit little-endian integer as the layouts store it (signed).
std::optional<int32_t> ReadInt32(ByteReader& in) noexcept;

// ---- Public-key records ------------------------------------------------------
// UID, zero byte, algorithm word (0 GOST R 34.10-94, 1 GOST R 34.10-2001),
// signature public key (128 or 100 bytes), exchange public key (128 bytes).

// Size of the signature public key of an algorithm: 128, 100, or 0 for an
// unknown one.
int32_t SignatureKeySize(int32_t algorithm) noexcept;

// The UID at the start of a record when it has 1 to kMaxUIDLength
// characters and its zero byte.
std::optional<std::string_view> ParseRecordUID(ByteSpan record) noexcept;

// The start of a record as the key cache keeps it: the UID up to the first
// zero byte (of any length, empty too), the algorithm word when four bytes
// follow, and the bytes after that word (none without it). Nullopt when no
// zero byte ends a UID.
struct TRecordHead {
  std::string_view uid;
  std::optional<int32_t> algorithm;
  ByteSpan keys;
};
std::optional<TRecordHead> ParseRecordHead(ByteSpan record) noexcept;

struct TPublicKeyRecord {
  std::string_view uid;
  int32_t algorithm = rurov::kNoAlgorithm;
  ByteSpan signatureKey;
  ByteSpan exchangeKey;
};
// A record as a key lookup takes it: after the algorithm word exactly the
// signature public key of that algorithm (none for an unknown one) and the
// exchange public key. The UID and the algorithm are not checked.
std::optional<TPublicKeyRecord> ParseRecordKeys(ByteSpan record) noexcept;
// A public-key record: a UID of 1 to kMaxUIDLength characters, algorithm
// 0 or 1, both keys and nothing after them.
std::optional<TPublicKeyRecord> ParsePublicKeyRecord(ByteSpan record) noexcept;

// ---- Secret-key file -----------------------------------------------------------
// Exactly 164 bytes: algorithm word (0 or 1), signature secret key (32 bytes),
// exchange secret key (128 bytes).
struct TSecretKeyFile {
  int32_t algorithm = rurov::kNoAlgorithm;
  ByteSpan signatureKey;
  ByteSpan exchangeKey;
};
std::optional<TSecretKeyFile> ParseSecretKeyFile(ByteSpan file) noexcept;

// ---- Signature block -------------------------------------------------------------
// The signer's UID (1 to kMaxUIDLength characters), a zero byte, the 64-byte
// signature value, nothing more.
struct TSignatureBlock {
  std::string_view uid;
  ByteSpan value;
};
std::optional<TSignatureBlock> ParseSignatureBlock(ByteSpan block) noexcept;

// ---- Encrypted block ---------------------------------------------------------------
// Recipient count and method, the sender's UID; per recipient its UID, IV,
// MAC and encrypted data key; the data's IV and MAC; the ciphertext, which
// runs to the end of the block.
inline constexpr int32_t kBlockHeaderSize = 8;  // count and method
inline constexpr int32_t kEntryFieldsSize = rurov::kIvSize + rurov::kMacSize + rurov::kDataKeySize;  // after a UID
inline constexpr int32_t kDataFieldsSize = rurov::kIvSize + rurov::kMacSize;  // before the ciphertext

struct TBlockHeader {
  int32_t count = 0;  // as stored: a count below 1 means no entry
  int32_t method = 0;
  std::string_view sender;
};
struct TBlockEntry {
  std::string_view uid;
  ByteSpan iv, mac, key;
};
struct TBlockData {
  ByteSpan iv, mac, ciphertext;
};

// The parts of a block in their order; a part that does not fit leaves `in`
// where it was.
std::optional<TBlockHeader> ReadBlockHeader(ByteReader& in) noexcept;
std::optional<TBlockEntry> ReadBlockEntry(ByteReader& in) noexcept;
std::optional<TBlockData> ReadBlockData(ByteReader& in) noexcept;

// A block as the recipient `own` reads it: the header, the first of the
// count entries whose UID is `own` byte for byte (nullopt when there is
// none) and, after the remaining entries, the data part (nullopt when
// something after the own entry is damaged). Nullopt when the block is
// damaged before the own entry is found or in that entry.
struct TEncryptedBlock {
  TBlockHeader header;
  std::optional<TBlockEntry> own;
  std::optional<TBlockData> data;
};
std::optional<TEncryptedBlock> ParseEncryptedBlock(ByteSpan block, std::string_view own) noexcept;

}  // namespace dizora::formats
