// Public-key records and files as the tool checks them itself, so that it can
// say which file is damaged and why.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine.h"

namespace dztool {

inline constexpr size_t kMaxRecordSize = 515;
inline constexpr size_t kMaxUidSize = 254;

// A public-key record: UID, zero byte, 32-bit little-endian algorithm word
// (0 GOST R 34.10-94 with a 128-byte signature key, 1 GOST R 34.10-2001 with
// 100 bytes), the signature key, then the 128-byte exchange key.
struct KeyRecord {
  std::string uid;           // Windows-1251, as stored
  uint32_t algorithm = 0;
  std::vector<uint8_t> key;  // the algorithm word and both keys
};

// Why `bytes` is no public-key record, or "" when it is one (`record` then filled).
std::string ParseRecord(const std::vector<uint8_t>& bytes, KeyRecord& record);
std::string AlgorithmName(uint32_t algorithm);

struct KeyFile {
  std::filesystem::path path;
  KeyRecord record;
  std::string problem;  // why the file is damaged; "" when it is a good key file
};

KeyFile ReadKeyFile(const std::filesystem::path& path);
// A key file named on the command line (`key include`, `medium init`): its
// record and bytes, or a refusal (exit 4) naming the file and the reason.
KeyRecord RequireKeyFile(const std::string& file, std::vector<uint8_t>& bytes);
// The files the engine reads as correspondents' keys: names ending in "pub"
// in any letter case, in `dir` and its subdirectories, names beginning with
// "." left out. `problem` is set when the directory cannot be read.
std::vector<KeyFile> ScanKeyDirectory(const std::filesystem::path& dir, std::string& problem);
// "ABONENTS/x.pub (5 bytes: no zero byte after the UID)" for up to three damaged files.
std::string DescribeDamaged(const std::vector<KeyFile>& files, const std::filesystem::path& dir);

// The start of the GOST R 34.11-94 hash of the key bytes (not the UID): the
// same key under two UIDs shows the same fingerprint.
std::string Fingerprint(const Engine& engine, const KeyRecord& record);

}  // namespace dztool
