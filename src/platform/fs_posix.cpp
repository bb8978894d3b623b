// POSIX implementation of the file and directory primitives.
//
// Windows semantics are kept where callers rely on them: a file without owner
// write permission counts as read-only and is neither deleted nor truncated
// (even for root, who bypasses permission bits), and a rename does not
// replace an existing target. Symbolic links are reported as what they are
// (files), never followed into other directories during enumeration.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/fs.h"
#include "platform/fs_fault.h"
#include "platform/path_style.h"

namespace dizora::platform {

namespace {

std::uint32_t AttributesOf(const struct stat& st) noexcept {
  std::uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

bool IsReadOnlyFile(const struct stat& st) noexcept {
  return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

// Directory part of a path, up to and including the last delimiter; empty
// when the path has none.
std::string DirectoryPart(const std::string& path) {
  const std::size_t pos = path.find_last_of(kPathDelimiter);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

// Flushes a directory's entries (a completed rename) to the storage device.
void SyncDirectoryOf(const std::string& path) noexcept {
  try {
    // A file without a directory part lies in the working directory. (The
    // name is chosen without assigning "." to the string, which GCC 12 at -O3
    // mistakes for an overlapping copy.)
    const std::string dir = DirectoryPart(path);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  } catch (...) {
  }
}

std::uint64_t RandomWord() noexcept {
  std::uint64_t word = 0;
  if (::getrandom(&word, sizeof word, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof word)) return word;
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_nsec) ^ (static_cast<std::uint64_t>(ts.tv_sec) << 30) ^
         (static_cast<std::uint64_t>(::getpid()) << 16) ^ reinterpret_cast<std::uintptr_t>(&ts);
}

std::string HexWord(std::uint64_t word) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, word >>= 4) text[static_cast<std::size_t>(i)] = kDigits[word & 15];
  return text;
}

}  // namespace

std::optional<std::uint32_t> GetPathAttributes(const std::string& path) noexcept {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return AttributesOf(st);
}

bool SetPathAttributes(const std::string& path, std::uint32_t attributes) noexcept {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  return ::chmod(path.c_str(), mode) == 0;
}

bool PathExists(const std::string& path) noexcept {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string& path) noexcept {
  if (fault::FileOperationFails()) return false;
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return false;
  return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) noexcept {
  if (fault::FileOperationFails()) return false;
  if (from.empty() || to.empty()) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system cannot rename without replacing: a hard link refuses an
  // existing target atomically; directories fall back to a checked rename.
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    return ::unlink(from.c_str()) == 0;
  }
  if (PathExists(to)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) noexcept {
  if (fault::FileOperationFails()) return false;
  if (from.empty() || to.empty()) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  SyncDirectoryOf(to);
  return true;
}

bool MakeDirectory(const std::string& path) noexcept {
  if (fault::FileOperationFails()) return false;
  return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) noexcept {
  if (fault::FileOperationFails()) return false;
  return !path.empty() && ::rmdir(path.c_str()) == 0;
}

// ---- File ----

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool File::OpenRead(const std::string& path) noexcept {
  Close();
  if (fault::FileOperationFails()) return false;
  if (path.empty()) return false;
  // O_NONBLOCK: opening a FIFO must not wait for a writer. Only regular files
  // are accepted, so the flag changes nothing for the reads that follow.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    Close();
    return false;
  }
  return true;
}

bool File::Create(const std::string& path) noexcept {
  Close();
  if (fault::FileOperationFails()) return false;
  if (path.empty()) return false;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || IsReadOnlyFile(st) || ::ftruncate(fd_, 0) != 0) {
    Close();
    return false;
  }
  return true;
}

bool File::CreateUniqueNear(const std::string& near_path, std::string& created_name) noexcept {
  Close();
  if (fault::FileOperationFails()) return false;
  try {
    const std::size_t slash = near_path.find_last_of(kPathDelimiter);
    const std::string base = slash == std::string::npos ? near_path : near_path.substr(slash + 1);
    if (base.empty()) return false;
    const std::string prefix = DirectoryPart(near_path) + "." + base + ".";
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::string name = prefix + HexWord(RandomWord());
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        // A replacement keeps the permissions of the file it replaces.
        struct stat st {};
        if (::stat(near_path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 07777);
        created_name = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
  } catch (...) {
    Close();
  }
  return false;
}

bool File::IsOpen() const noexcept { return fd_ >= 0; }

std::optional<std::int64_t> File::Size() const noexcept {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

bool File::ReadExact(void* buffer, std::size_t size) noexcept {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    if (fd_ < 0) return false;
    const ssize_t got = ::read(fd_, out, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool File::WriteAll(const void* buffer, std::size_t size) noexcept {
  const auto* in = static_cast<const unsigned char*>(buffer);
  if (fault::FileOperationFails()) {
    // An injected failure: a full disk takes part of the data first.
    const std::size_t part = fault::ShortWriteLength(size);
    if (part > 0 && fd_ >= 0 && ::write(fd_, in, part) < 0) return false;
    return false;
  }
  while (size > 0) {
    if (fd_ < 0) return false;
    const ssize_t put = ::write(fd_, in, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    in += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool File::Sync() noexcept { return !fault::FileOperationFails() && fd_ >= 0 && ::fsync(fd_) == 0; }

bool File::Close() noexcept {
  if (fd_ < 0) return true;
  const int fd = std::exchange(fd_, -1);
  return ::close(fd) == 0;
}

// ---- DirectoryEnumerator ----

DirectoryEnumerator::~DirectoryEnumerator() { Close(); }

bool DirectoryEnumerator::Open(const std::string& directory, const std::string& mask) noexcept {
  Close();
  try {
    directory_ = directory.empty() ? std::string(".") : directory;
    mask_ = mask;
  } catch (...) {
    return false;
  }
  dir_ = ::opendir(directory_.c_str());
  return dir_ != nullptr;
}

DirectoryEnumerator::Step DirectoryEnumerator::Next(DirEntry& entry) noexcept {
  DIR* dir = static_cast<DIR*>(dir_);
  if (dir == nullptr) return Step::kError;
  for (;;) {
    errno = 0;
    const struct dirent* ent = ::readdir(dir);
    if (ent == nullptr) return errno == 0 ? Step::kNoMoreFiles : Step::kError;
    try {
      std::string name = ent->d_name;
      if (!MatchesMask(name, mask_)) continue;
      struct stat st {};
      // lstat semantics: a link is an entry of its own, not its target.
      if (::fstatat(::dirfd(dir), ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      entry.name = std::move(name);
      entry.attributes = AttributesOf(st);
      return Step::kEntry;
    } catch (...) {
      return Step::kError;
    }
  }
}

void DirectoryEnumerator::Close() noexcept {
  if (dir_ != nullptr) ::closedir(static_cast<DIR*>(dir_));
  dir_ = nullptr;
}

}  // namespace dizora::platform
