// Inputs read once in bounded memory, outputs written all or nothing.
#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "errors.h"
#include "sys.h"
#include "text.h"

namespace dztool {

namespace {

namespace fs = std::filesystem;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t kStreamPiece = size_t{1} << 20;
constexpr size_t kTransferLimit = 64 * 1024;

std::string Reason() { return std::strerror(errno); }

void Wipe(uint8_t* bytes, size_t n) {
  volatile uint8_t* p = bytes;
  for (size_t i = 0; i < n; ++i) p[i] = 0;
}

std::unique_ptr<uint8_t[]> Allocate(size_t n, const std::string& name) {
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[n > 0 ? n : 1]);
  if (!bytes) throw Failure(kExitEngine, "not enough memory for " + name + " (" + std::to_string(n) + " bytes)");
  return bytes;
}

// `size` 0: a stream, read up to the limit.
[[noreturn]] void TooLarge(const std::string& name, uintmax_t size, size_t limit) {
  const std::string found = size ? std::to_string(size) + " bytes, " : "";
  throw Failure(kExitFile, name + " is too large: " + found + "more than the " + std::to_string(limit) +
                               " bytes this command takes");
}

// A pipe, a terminal or a device: read in pieces, then into one buffer of the
// size found, one piece at a time, so memory stays near the data's size.
std::vector<std::unique_ptr<uint8_t[]>> ReadPieces(std::FILE* stream, const std::string& name, size_t limit,
                                                   size_t& total) {
  std::vector<std::unique_ptr<uint8_t[]>> pieces;
  total = 0;
  for (;;) {
    pieces.push_back(Allocate(kStreamPiece, name));
    const size_t got = std::fread(pieces.back().get(), 1, kStreamPiece, stream);
    total += got;
    if (std::ferror(stream)) throw Failure(kExitFile, "cannot read " + name + ": " + Reason());
    if (total > limit) TooLarge(name, 0, limit);
    if (got < kStreamPiece) return pieces;
  }
}

std::string RandomName() {
  static std::random_device random;
  char name[32];
  std::snprintf(name, sizeof name, ".dz-%08x.tmp", static_cast<unsigned>(random()));
  return name;
}

// A new owner-only file in `dir`; `path` is set to its name. What killed
// runs left in `dir` goes first.
File CreateBeside(const fs::path& dir, fs::path& path) {
  sys::RemoveAbandonedTemporaries(dir);
  for (int attempt = 0; attempt < 16; ++attempt) {
    path = dir / RandomName();
    errno = 0;
    if (std::FILE* f = sys::CreateExclusive(path)) return File(f);
    if (errno != EEXIST) break;
  }
  return nullptr;
}

// Removes a temporary file on every way out but a successful rename.
class TempGuard {
 public:
  explicit TempGuard(const fs::path& path) : path_(path), lease_(path) { sys::RemoveOnInterrupt(path); }
  ~TempGuard() {
    sys::RemoveOnInterrupt({});
    std::error_code ec;
    if (!path_.empty()) fs::remove(path_, ec);
  }
  TempGuard(const TempGuard&) = delete;
  TempGuard& operator=(const TempGuard&) = delete;
  void Release() { path_.clear(); }

 private:
  fs::path path_;
  sys::TemporaryLease lease_;
};

fs::path Canonical(const fs::path& path) {
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(fs::absolute(path), ec);
  return ec ? fs::absolute(path).lexically_normal() : canonical;
}

std::string ComparableText(const fs::path& path) {
  const std::u8string generic = Canonical(path).generic_u8string();
  std::string text(generic.begin(), generic.end());
  if (sys::CaseInsensitiveFileNames())
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool Inside(const fs::path& dir, const fs::path& path) {
  const std::string d = ComparableText(dir) + "/";
  const std::string p = ComparableText(path);
  return p.compare(0, d.size(), d) == 0 || p + "/" == d;
}

[[noreturn]] void AlreadyExists(const std::string& target) {
  throw Failure(kExitFile, Quoted(target) + " already exists (give --force to replace it)");
}

void WriteStandardOutput(const void* data, size_t size) {
  if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
    throw Failure(kExitFile, "cannot write standard output: " + Reason());
}

}  // namespace

InputData::InputData(std::unique_ptr<uint8_t[]> bytes, size_t size, size_t capacity, bool secret, std::string name)
    : bytes_(std::move(bytes)), size_(size), capacity_(capacity), secret_(secret), name_(std::move(name)) {}

InputData::~InputData() {
  if (secret_ && bytes_) Wipe(bytes_.get(), capacity_);
}

InputData InputData::Read(const std::string& arg, size_t room, size_t limit, bool secret) {
  const bool standard_input = arg == "-";
  const std::string name = standard_input ? "standard input" : Quoted(arg);
  const fs::path path = PathOf(arg);
  std::error_code ec;
  const fs::file_status status = standard_input ? fs::file_status() : fs::status(path, ec);
  if (fs::is_directory(status)) throw Failure(kExitFile, "cannot read " + name + ": Is a directory");
  errno = 0;
  File owned(standard_input ? nullptr : sys::OpenForReading(path));
  std::FILE* stream = standard_input ? stdin : owned.get();
  if (stream == nullptr) throw Failure(kExitFile, "cannot read " + name + ": " + Reason());

  if (fs::is_regular_file(status)) {
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) throw Failure(kExitFile, "cannot read " + name + ": " + ec.message());
    if (size > limit) TooLarge(name, size, limit);
    auto bytes = Allocate(static_cast<size_t>(size) + room, name);
    InputData input(std::move(bytes), static_cast<size_t>(size), static_cast<size_t>(size) + room, secret, name);
    const size_t got = std::fread(input.data(), 1, input.size(), stream);
    if (std::ferror(stream)) throw Failure(kExitFile, "cannot read " + name + ": " + Reason());
    if (got != input.size() || std::fgetc(stream) != EOF)
      throw Failure(kExitFile, name + " changed while it was read");
    return input;
  }
  size_t total = 0;
  auto pieces = ReadPieces(stream, name, limit, total);
  InputData input(Allocate(total + room, name), total, total + room, secret, name);
  for (size_t i = 0, at = 0; i < pieces.size(); ++i) {
    const size_t n = std::min(kStreamPiece, total - at);
    std::memcpy(input.data() + at, pieces[i].get(), n);
    if (secret) Wipe(pieces[i].get(), n);
    pieces[i].reset();
    at += n;
  }
  return input;
}

size_t EngineLimit(int32_t extra) {
  return static_cast<size_t>(std::numeric_limits<int32_t>::max()) - static_cast<size_t>(extra > 0 ? extra : 0);
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return ComparableText(a) == ComparableText(b);
}

void KeepPrivate(const fs::path& path) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec))
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
}

void CheckNotKeyFile(const Medium& medium, const fs::path& target) {
  const std::pair<fs::path, const char*> files[] = {
      {medium.public_key, "the medium's public key"},       {medium.secret_key, "the medium's secret key"},
      {medium.old_public(), "the previous public key"},     {medium.old_secret(), "the previous secret key"},
      {medium.generated_public, "a key generation output"}, {medium.generated_secret, "a key generation output"},
  };
  const std::pair<fs::path, const char*> dirs[] = {
      {medium.correspondents, "the correspondents' directory"},
      {medium.ca, "the CA directory"},
      {medium.regen, "the regeneration directory"},
  };
  const std::string head = "refusing to write " + Quoted(PathText(target)) + ": ";
  for (const auto& [file, what] : files)
    if (!file.empty() && SameFile(file, target))
      throw Failure(kExitFile, head + "it is " + what + (file == target ? "" : " (" + PathText(file) + ")"));
  for (const auto& [dir, what] : dirs)
    if (Inside(dir, target)) throw Failure(kExitFile, head + "it lies in " + what + " (" + PathText(dir) + ")");
}

void CheckOutput(const Medium& medium, const std::string& target, const OutputRules& rules) {
  if (target == "-") return;
  const fs::path path = fs::absolute(PathOf(target));
  CheckNotKeyFile(medium, path);
  for (const std::string& input : rules.inputs)
    if (input != "-" && SameFile(PathOf(input), path))
      throw Failure(kExitFile, "refusing to write " + Quoted(target) + ": it is the input file");
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw Failure(kExitFile, "cannot write " + Quoted(target) + ": Is a directory");
  if (fs::exists(fs::symlink_status(path, ec)) && !rules.force) AlreadyExists(target);
}

void WriteOutput(const Medium& medium, const std::string& target, const void* data, size_t size,
                 const OutputRules& rules) {
  if (target == "-") return WriteStandardOutput(data, size);
  CheckOutput(medium, target, rules);
  const fs::path path = fs::absolute(PathOf(target));
  const std::string name = Quoted(target);
  std::error_code ec;
  fs::path temp;
  File file = CreateBeside(path.parent_path(), temp);
  if (!file) throw Failure(kExitFile, "cannot write " + name + ": " + Reason());
  TempGuard guard(temp);
  std::string reason;
  const bool written = std::fwrite(data, 1, size, file.get()) == size;
  if (!written) reason = Reason();
  bool ok = sys::CommitAndClose(file.release(), !rules.secret, reason) && written;
  if (ok) ok = sys::Rename(temp, path, rules.force, reason);
  if (!ok && !rules.force && fs::exists(fs::symlink_status(path, ec))) AlreadyExists(target);
  if (!ok) throw Failure(kExitFile, "cannot write " + name + ": " + reason);
  guard.Release();
}

ScratchFile::ScratchFile(const fs::path& dir, const std::vector<uint8_t>& data) {
  File file = CreateBeside(dir, path_);
  lease_ = std::make_unique<sys::TemporaryLease>(path_);
  if (!file) throw Failure(kExitFile, "cannot write a copy in " + Quoted(PathText(dir)) + ": " + Reason());
  TempGuard guard(path_);
  std::string reason;
  const bool written = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
  if (!written) reason = Reason();
  if (!sys::CommitAndClose(file.release(), false, reason) || !written)
    throw Failure(kExitFile, "cannot write a copy in " + Quoted(PathText(dir)) + ": " + reason);
  guard.Release();
  sys::RemoveOnInterrupt(path_);
}

ScratchFile::~ScratchFile() {
  sys::RemoveOnInterrupt({});
  std::error_code ec;
  fs::remove(path_, ec);
}

ScratchDir::ScratchDir(const fs::path& parent) {
  std::error_code ec;
  sys::RemoveAbandonedTemporaries(parent);
  for (int attempt = 0; attempt < 16; ++attempt) {
    path_ = parent / RandomName();
    if (fs::create_directory(path_, ec)) {
      lease_ = std::make_unique<sys::TemporaryLease>(path_);
      fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace, ec);
      return;
    }
    if (ec) break;
  }
  throw Failure(kExitFile, "cannot create a directory in " + Quoted(PathText(parent)) + ": " + ec.message());
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

SmallFile ReadSmallFile(const fs::path& path, size_t limit) {
  SmallFile result;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    result.reason = "Is a directory";
    return result;
  }
  errno = 0;
  File file(sys::OpenForReading(path));
  if (!file) {
    result.reason = Reason();
    return result;
  }
  result.bytes.resize(limit);
  result.bytes.resize(std::fread(result.bytes.data(), 1, limit, file.get()));
  if (std::ferror(file.get())) {
    result.reason = Reason();
    return result;
  }
  result.size = fs::is_regular_file(path, ec) ? fs::file_size(path, ec) : result.bytes.size();
  result.ok = true;
  return result;
}

TransferText ReadTransfer(const std::string& arg) {
  TransferText transfer;
  if (arg == "-") {
    size_t total = 0;
    auto pieces = ReadPieces(stdin, "standard input", kTransferLimit, total);
    transfer = {std::string(reinterpret_cast<const char*>(pieces[0].get()), total), "standard input"};
  } else if (std::error_code ec; fs::exists(PathOf(arg), ec)) {
    const SmallFile file = ReadSmallFile(PathOf(arg), kTransferLimit);
    if (!file.ok) throw Failure(kExitFile, "cannot read " + Quoted(arg) + ": " + file.reason);
    if (file.size > kTransferLimit) TooLarge(Quoted(arg), file.size, kTransferLimit);
    transfer = {std::string(file.bytes.begin(), file.bytes.end()), "file " + Quoted(arg)};
  } else {
    const bool base64 = arg.size() >= 16 && arg.find_first_not_of(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= \t\r\n") == std::string::npos;
    if (!base64)
      throw Failure(kExitFile, "cannot read " + Quoted(arg) + ": No such file or directory (nor is it a transfer "
                                                              "text)");
    transfer = {arg, "the command line"};
  }
  // Line breaks and blanks are no part of a transfer (mail programs wrap it).
  std::erase_if(transfer.text, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
  return transfer;
}

}  // namespace dztool
