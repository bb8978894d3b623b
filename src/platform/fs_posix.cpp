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
#include <signal.h>
#include <sys/file.h>
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

// The parent of a directory path (with or without a trailing delimiter).
std::string ParentDirectoryOf(std::string path) {
  while (path.size() > 1 && path.back() == kPathDelimiter) path.pop_back();
  return DirectoryPart(path);
}

// Takes or releases a lock, waiting through signals.
bool Flock(int fd, int operation) noexcept {
  for (;;) {
    if (::flock(fd, operation) == 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

// Flushes a directory's entries (a completed rename, removal or creation) to
// the storage device.
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

std::string NameBeside(const std::string& target, const char* extension) {
  return DirectoryPart(target) + "." + HexWord(RandomWord()) + extension;
}

#ifdef DZ_TEST_SEAMS
void fault::KillThisProcess() noexcept {
  ::raise(SIGKILL);
  ::_exit(137);
}
#endif

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
  fault::BeforeFileChange();
  if (fault::FileOperationFails()) return false;
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return false;
  if (::unlink(path.c_str()) != 0) return false;
  SyncDirectoryOf(path);
  return true;
}

namespace {

// Rename that never replaces an existing `to`; errno tells why it failed.
bool RenameNoReplace(const std::string& from, const std::string& to) noexcept {
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
  if (PathExists(to)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// The simulated other file system separates directories, never one
// directory from itself.
bool SimulatedOtherFileSystem(const std::string& from, const std::string& to) {
  return fault::OtherFileSystemSimulated() && DirectoryPart(from) != DirectoryPart(to);
}

}  // namespace

RenameStatus Rename(const std::string& from, const std::string& to, bool replace) noexcept {
  fault::BeforeFileChange();
  if (fault::FileOperationFails()) return RenameStatus::kFailed;
  if (from.empty() || to.empty()) return RenameStatus::kFailed;
  try {
    if (SimulatedOtherFileSystem(from, to)) return RenameStatus::kOtherFileSystem;
  } catch (...) {
    return RenameStatus::kFailed;
  }
  const bool done = replace ? ::rename(from.c_str(), to.c_str()) == 0 : RenameNoReplace(from, to);
  if (!done) return errno == EXDEV ? RenameStatus::kOtherFileSystem : RenameStatus::kFailed;
  SyncDirectoryOf(to);
  return RenameStatus::kDone;
}

bool RenameFile(const std::string& from, const std::string& to) noexcept {
  return Rename(from, to, false) == RenameStatus::kDone;
}

bool RenameOver(const std::string& from, const std::string& to) noexcept {
  return Rename(from, to, true) == RenameStatus::kDone;
}

std::optional<bool> SameFile(const std::string& a, const std::string& b) noexcept {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return std::nullopt;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsUsableFileName(const std::string& directory, const std::string& name) noexcept {
  if (name.empty()) return false;
  long limit = ::pathconf(directory.empty() ? "." : directory.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = 255;
  return name.size() <= static_cast<std::size_t>(limit);
}

bool MakeDirectory(const std::string& path) noexcept {
  fault::BeforeFileChange();
  if (fault::FileOperationFails()) return false;
  if (path.empty() || ::mkdir(path.c_str(), 0777) != 0) return false;
  try {
    SyncDirectoryOf(ParentDirectoryOf(path));
  } catch (...) {
  }
  return true;
}

bool RemoveEmptyDirectory(const std::string& path) noexcept {
  fault::BeforeFileChange();
  if (fault::FileOperationFails()) return false;
  if (path.empty() || ::rmdir(path.c_str()) != 0) return false;
  try {
    SyncDirectoryOf(ParentDirectoryOf(path));
  } catch (...) {
  }
  return true;
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
  fault::BeforeFileChange();
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

bool File::CreateNew(const std::string& path, FileAccess access, const std::string& permissions_of) noexcept {
  Close();
  fault::BeforeFileChange();
  if (fault::FileOperationFails() || path.empty()) {
    errno = EIO;
    return false;
  }
  const mode_t private_bits = S_IRUSR | S_IWUSR;
  // A private file never exists with more than the owner's bits.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, access == FileAccess::kPrivate ? private_bits : 0666);
  if (fd_ < 0) return false;
  struct stat st {};
  if (!permissions_of.empty() && ::stat(permissions_of.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    mode_t mode = st.st_mode & 07777;
    if (access == FileAccess::kPrivate) mode &= private_bits;
    ::fchmod(fd_, mode);
  }
  return true;
}

bool File::CreateTemporaryBeside(const std::string& target, FileAccess access, const std::string& permissions_of,
                                 std::string& created_name) noexcept {
  Close();
  try {
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::string name = NameBeside(target, ".tmp");
      if (CreateNew(name, access, permissions_of)) {
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
  fault::BeforeFileChange();
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

// ---- FileLock ----

FileLock::~FileLock() {
  Unlock();
  if (fd_ >= 0) ::close(fd_);
}

bool FileLock::Open(const std::string& path) noexcept {
  if (fd_ >= 0 || path.empty()) return fd_ >= 0;
  // flock needs no write access: a lock file another user made, or one on
  // a medium mounted read-only, is opened for reading.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  return fd_ >= 0;
}

bool FileLock::Lock(Mode mode) noexcept {
  Unlock();
  if (fd_ < 0) return false;
  locked_ = Flock(fd_, mode == Mode::kExclusive ? LOCK_EX : LOCK_SH);
  return locked_;
}

void FileLock::Unlock() noexcept {
  if (locked_) Flock(fd_, LOCK_UN);
  locked_ = false;
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
