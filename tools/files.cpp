// Whole-file reading, all-or-nothing writing, transfer arguments.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>

#include "tool.h"

namespace dztool {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Reason() { return std::strerror(errno); }

std::string TempNameBeside(const std::string& path) {
  std::random_device random;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(random()));
  return path + suffix;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

SecretBytes::~SecretBytes() {
  volatile uint8_t* p = bytes_.data();
  for (size_t i = 0; i < bytes_.size(); ++i) p[i] = 0;
}

Bytes ReadFileBytes(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw FileError("cannot read " + path + ": Is a directory");
  errno = 0;
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) throw FileError("cannot read " + path + ": " + Reason());
  Bytes bytes;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  if (std::ferror(f.get())) throw FileError("cannot read " + path + ": " + Reason());
  return bytes;
}

void WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  const std::string temp = TempNameBeside(path);
  errno = 0;
  std::FILE* raw = std::fopen(temp.c_str(), "wbx");
  if (raw == nullptr) throw FileError("cannot write " + path + ": " + Reason());
  bool ok = std::fwrite(data, 1, size, raw) == size && std::fflush(raw) == 0;
  std::string reason = ok ? "" : Reason();
  if (std::fclose(raw) != 0 && ok) {
    ok = false;
    reason = Reason();
  }
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(temp, path, ec);
    if (ec) reason = ec.message();
    ok = !ec;
  }
  if (!ok) {
    std::filesystem::remove(temp, ec);
    throw FileError("cannot write " + path + ": " + reason);
  }
}

std::string ReadTransferArg(const std::string& arg) {
  if (arg == "-") {
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return Trim(text);
  }
  std::error_code ec;
  if (std::filesystem::is_regular_file(arg, ec)) {
    const Bytes bytes = ReadFileBytes(arg);
    return Trim(std::string(bytes.begin(), bytes.end()));
  }
  return Trim(arg);
}

int32_t EngineSize(const std::string& path, size_t size, int32_t extra) {
  const auto limit = static_cast<size_t>(std::numeric_limits<int32_t>::max() - extra);
  if (size > limit) throw FileError(path + ": too large (the engine takes at most " + std::to_string(limit) + " bytes)");
  return static_cast<int32_t>(size);
}

}  // namespace dztool
