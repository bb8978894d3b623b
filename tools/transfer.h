// Transfers and signed data taken apart by the tool, to name who signed them
// before the engine checks them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"

namespace dztool {

std::string EncodeBase64(const uint8_t* bytes, size_t size);

// The UID at the start of a signature block (Windows-1251); "" when the block
// has none.
std::string BlockSigner(const uint8_t* block, size_t size);

// A decoded transfer: the 776-byte transfer record, the sender's signature
// block over it and the record's length.
struct Transfer {
  std::vector<uint8_t> bytes;
  size_t data_size = 0;        // the signed part: the transfer record
  std::string claimed_signer;  // as the signature block names it: not yet checked
  std::string key_uid;         // the UID of the carried key (Windows-1251)
  const uint8_t* signature() const { return bytes.data() + data_size; }
  size_t signature_size() const { return bytes.size() - data_size - 4; }
};

// Throws a refusal (exit 1) naming the source when the text is no transfer.
Transfer DecodeTransfer(const TransferText& text);

}  // namespace dztool
