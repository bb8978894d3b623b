// Public-key records and the correspondents' directory, checked by the tool.
#include "keys.h"

#include <algorithm>
#include <cstring>

#include "errors.h"
#include "files.h"
#include "text.h"

namespace dztool {

namespace {

namespace fs = std::filesystem;

constexpr size_t kExchangeKeySize = 128;
constexpr size_t kFingerprintBytes = 8;

size_t SignatureKeySize(uint32_t algorithm) { return algorithm == 0 ? 128 : 100; }

bool IsKeyFileName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  return EqualIgnoringAsciiCase(name.size() > 3 ? name.substr(name.size() - 3) : name, "pub");
}

void Collect(const fs::path& dir, std::vector<KeyFile>& files, std::string& problem) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  if (ec) {
    problem = "cannot read " + Quoted(PathText(dir)) + ": " + ec.message();
    return;
  }
  for (; it != end; it.increment(ec)) {
    const std::string name = PathText(it->path().filename());
    if (name.empty() || name[0] == '.') continue;
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      Collect(it->path(), files, problem);
    } else if (!it->is_directory(ec) && IsKeyFileName(name)) {
      files.push_back(ReadKeyFile(it->path()));
    }
  }
  if (ec) problem = "cannot read " + Quoted(PathText(dir)) + ": " + ec.message();
}

// The first kMaxRecordSize + 1 bytes of a file, and its size.
std::string ParseContent(const SmallFile& content, KeyRecord& record) {
  if (content.size > kMaxRecordSize)
    return std::to_string(content.size) + " bytes, more than a public-key record holds (515)";
  return ParseRecord(content.bytes, record);
}

}  // namespace

std::string ParseRecord(const std::vector<uint8_t>& bytes, KeyRecord& record) {
  const size_t size = bytes.size();
  const std::string bytes_text = std::to_string(size) + " bytes";
  if (size == 0) return "empty";
  if (size > kMaxRecordSize) return bytes_text + ", more than a public-key record holds (515)";
  const auto* zero = static_cast<const uint8_t*>(std::memchr(bytes.data(), 0, size));
  if (zero == nullptr) return bytes_text + ": no zero byte after the UID";
  const size_t uid_size = static_cast<size_t>(zero - bytes.data());
  if (uid_size == 0) return "empty UID";
  if (uid_size > kMaxUidSize) return "UID of " + std::to_string(uid_size) + " bytes, more than 254";
  if (size < uid_size + 5) return bytes_text + ": no algorithm word after the UID";
  const uint8_t* word = zero + 1;
  const uint32_t algorithm = word[0] | (word[1] << 8) | (word[2] << 16) | (uint32_t{word[3]} << 24);
  if (algorithm > 1) return "unknown algorithm word " + std::to_string(algorithm);
  const size_t expected = uid_size + 5 + SignatureKeySize(algorithm) + kExchangeKeySize;
  if (size != expected)
    return bytes_text + "; a " + AlgorithmName(algorithm) + " key with this UID takes " + std::to_string(expected);
  record.uid.assign(reinterpret_cast<const char*>(bytes.data()), uid_size);
  record.algorithm = algorithm;
  record.key.assign(word, bytes.data() + size);
  return "";
}

std::string AlgorithmName(uint32_t algorithm) { return algorithm == 0 ? "GOST R 34.10-94" : "GOST R 34.10-2001"; }

KeyFile ReadKeyFile(const fs::path& path) {
  KeyFile file{path, {}, {}};
  const SmallFile content = ReadSmallFile(path, kMaxRecordSize + 1);
  file.problem = content.ok ? ParseContent(content, file.record) : "cannot read: " + content.reason;
  return file;
}

KeyRecord RequireKeyFile(const std::string& name, std::vector<uint8_t>& bytes) {
  const SmallFile content = ReadSmallFile(PathOf(name), kMaxRecordSize + 1);
  if (!content.ok) throw Failure(kExitFile, "cannot read " + Quoted(name) + ": " + content.reason);
  KeyRecord record;
  const std::string problem = ParseContent(content, record);
  if (!problem.empty()) throw Failure(kExitFile, Quoted(name) + " is not a public-key record: " + problem);
  bytes = content.bytes;
  return record;
}

std::vector<KeyFile> ScanKeyDirectory(const fs::path& dir, std::string& problem) {
  std::vector<KeyFile> files;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    problem = Quoted(PathText(dir)) + " is not a directory";
    return files;
  }
  Collect(dir, files, problem);
  std::sort(files.begin(), files.end(), [](const KeyFile& a, const KeyFile& b) { return a.path < b.path; });
  return files;
}

std::string DescribeDamaged(const std::vector<KeyFile>& files, const fs::path& dir) {
  std::string text;
  size_t named = 0, damaged = 0;
  for (const KeyFile& f : files) {
    if (f.problem.empty()) continue;
    if (++damaged > 3) continue;
    text += (named++ ? "; " : "") + Quoted(PathText(f.path.lexically_relative(dir.parent_path()))) + " (" +
            f.problem + ")";
  }
  if (damaged > named) text += " and " + std::to_string(damaged - named) + " more";
  return text;
}

std::string Fingerprint(const Engine& engine, const KeyRecord& record) {
  uint8_t hash[64] = {};
  int32_t size = sizeof hash;
  if (HashData(engine.get(), record.key.data(), static_cast<int32_t>(record.key.size()), 0, hash, &size) != DZ_OK ||
      size < static_cast<int32_t>(kFingerprintBytes))
    return "?";
  const std::string hex = Hex(hash, kFingerprintBytes);
  std::string grouped;
  for (size_t i = 0; i < hex.size(); i += 4) grouped += (i ? " " : "") + hex.substr(i, 4);
  return grouped;
}

}  // namespace dztool
