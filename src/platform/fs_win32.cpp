// Win32 implementation of the file and directory primitives (ANSI calls).
//
// Each primitive that opens, creates, writes, flushes, renames or deletes a
// file, or makes or removes a directory, asks the test-only fault seam first
// (fs_fault.h). An injected failure is reported as Windows reports a real
// one: false with the thread's last error set (ERROR_DISK_FULL for a write or
// flush, ERROR_ACCESS_DENIED otherwise).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "platform/fs.h"
#include "platform/fs_fault.h"
#include "platform/path_style.h"

namespace dizora::platform {

namespace {

// True when the seam makes this operation fail; the last error is then
// `error`, as a refused call would leave it.
bool InjectedFailure(DWORD error = ERROR_ACCESS_DENIED) noexcept {
  if (!fault::FileOperationFails()) return false;
  ::SetLastError(error);
  return true;
}

// Runs `attempt` again while Windows refuses it because another handle has
// the file open for a moment (a reader in another thread or process, a virus
// scanner): a file that is open cannot be replaced or removed there, where
// POSIX would allow it. The waits grow from 1 ms and end after about half a
// second, so a real permission error costs no more than that.
template <class Attempt>
bool RetryWhileBusy(Attempt attempt) noexcept {
  DWORD wait_ms = 1;
  for (int tries = 0;; ++tries) {
    if (attempt()) return true;
    const DWORD error = ::GetLastError();
    const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                      error == ERROR_LOCK_VIOLATION;
    if (!busy || tries == 12) return false;
    ::Sleep(wait_ms);
    wait_ms = std::min<DWORD>(wait_ms * 2, 100);
    ::SetLastError(error);
  }
}

HANDLE AsHandle(void* h) noexcept { return static_cast<HANDLE>(h); }

void* FromHandle(HANDLE h) noexcept { return h == INVALID_HANDLE_VALUE ? nullptr : static_cast<void*>(h); }

bool EndsWithDelimiter(const std::string& path) noexcept {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// Writes all `size` bytes through WriteFile, in chunks a DWORD can count.
bool WriteBytes(void* handle, const unsigned char* in, std::size_t size) noexcept {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD put = 0;
    if (handle == nullptr || !::WriteFile(AsHandle(handle), in, chunk, &put, nullptr) || put == 0) return false;
    in += put;
    size -= put;
  }
  return true;
}

// An injected write failure, as on a full disk: the part of the data the
// seam asks for reaches the file first, then the write fails.
bool InjectedWriteFailure(void* handle, const unsigned char* in, std::size_t size) noexcept {
  const std::size_t part = fault::ShortWriteLength(size);
  if (part > 0 && handle != nullptr) WriteBytes(handle, in, part);
  ::SetLastError(ERROR_DISK_FULL);
  return false;
}

std::string DirectoryPart(const std::string& path) {
  const std::size_t pos = path.find_last_of("\\/:");
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::uint64_t RandomWord(std::uint64_t salt) noexcept {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  std::uint64_t x = static_cast<std::uint64_t>(counter.QuadPart) ^ (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                    (std::uint64_t{::GetCurrentThreadId()} << 16) ^ (salt * 0x9E3779B97F4A7C15ull);
  x ^= x >> 33;  // mix the bits (splitmix64 finaliser)
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  return x;
}

std::string HexWord(std::uint64_t word) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, word >>= 4) text[static_cast<std::size_t>(i)] = kDigits[word & 15];
  return text;
}

}  // namespace

// Moves write through (MOVEFILE_WRITE_THROUGH): nothing is left to flush.
void SyncDirectoryOf(const std::string&) noexcept {}

std::string NameBeside(const std::string& target, const char* extension) {
  static std::atomic<std::uint64_t> salt{0};
  return DirectoryPart(target) + "." + HexWord(RandomWord(salt.fetch_add(1))) + extension;
}

#ifdef DZ_TEST_SEAMS
void fault::KillThisProcess() noexcept {
  ::TerminateProcess(::GetCurrentProcess(), 137);
  ::ExitProcess(137);
}
#endif

std::optional<std::uint32_t> GetPathAttributes(const std::string& path) noexcept {
  if (path.empty()) return std::nullopt;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return static_cast<std::uint32_t>(attributes);
}

bool SetPathAttributes(const std::string& path, std::uint32_t attributes) noexcept {
  return !path.empty() && ::SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool PathExists(const std::string& path) noexcept { return GetPathAttributes(path).has_value(); }

bool RemoveFile(const std::string& path) noexcept {
  fault::BeforeFileChange();
  if (InjectedFailure()) return false;
  return !path.empty() && RetryWhileBusy([&] { return ::DeleteFileA(path.c_str()) != 0; });
}

RenameStatus Rename(const std::string& from, const std::string& to, bool replace) noexcept {
  fault::BeforeFileChange();
  if (InjectedFailure()) return RenameStatus::kFailed;
  if (from.empty() || to.empty()) return RenameStatus::kFailed;
  try {
    // The simulated other volume separates directories, never one directory from itself.
    if (fault::OtherFileSystemSimulated() && DirectoryPart(from) != DirectoryPart(to)) {
      ::SetLastError(ERROR_NOT_SAME_DEVICE);
      return RenameStatus::kOtherFileSystem;
    }
  } catch (...) {
    return RenameStatus::kFailed;
  }
  // Without MOVEFILE_COPY_ALLOWED a move to another volume fails instead of
  // copying unflushed; the callers then copy with a flush of their own.
  const DWORD flags = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH;
  if (RetryWhileBusy([&] { return ::MoveFileExA(from.c_str(), to.c_str(), flags) != 0; }))
    return RenameStatus::kDone;
  return ::GetLastError() == ERROR_NOT_SAME_DEVICE ? RenameStatus::kOtherFileSystem : RenameStatus::kFailed;
}

bool RenameFile(const std::string& from, const std::string& to) noexcept {
  return Rename(from, to, false) == RenameStatus::kDone;
}

bool RenameOver(const std::string& from, const std::string& to) noexcept {
  return Rename(from, to, true) == RenameStatus::kDone;
}

std::optional<bool> SameFile(const std::string& a, const std::string& b) noexcept {
  struct Identity {
    DWORD volume, high, low;
  };
  auto identify = [](const std::string& path) -> std::optional<Identity> {
    if (path.empty()) return std::nullopt;
    // No access asked: the identity is read even from a file open elsewhere.
    const HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok) return std::nullopt;
    return Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  };
  const auto ia = identify(a);
  const auto ib = identify(b);
  if (!ia || !ib) return std::nullopt;
  return ia->volume == ib->volume && ia->high == ib->high && ia->low == ib->low;
}

bool IsUsableFileName(const std::string& directory, const std::string& name) noexcept {
  if (name.empty() || name.size() > 255) return false;
  const std::size_t joined = directory.size() + (EndsWithDelimiter(directory) || directory.empty() ? 0 : 1);
  if (joined + name.size() >= MAX_PATH) return false;
  // "CON", "nul.pub", "COM1.x": the part before the first dot names a device.
  char base[5] = {};
  const std::size_t length = std::min(name.find('.'), name.size());
  if (length > 4) return true;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = name[i];
    base[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  static constexpr const char* kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : kDevices) {
    if (std::strcmp(base, device) == 0) return false;
  }
  const bool numbered = length == 4 && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) &&
                        base[3] >= '1' && base[3] <= '9';
  return !numbered;
}

bool MakeDirectory(const std::string& path) noexcept {
  fault::BeforeFileChange();
  if (InjectedFailure()) return false;
  return !path.empty() && ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool RemoveEmptyDirectory(const std::string& path) noexcept {
  fault::BeforeFileChange();
  if (InjectedFailure()) return false;
  return !path.empty() && ::RemoveDirectoryA(path.c_str()) != 0;
}

// ---- File ----

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool File::OpenRead(const std::string& path) noexcept {
  Close();
  if (InjectedFailure()) return false;
  if (path.empty()) return false;
  // A reader never blocks a writer: files are replaced by renaming a new
  // file over them and removed by name, which a reading handle without
  // FILE_SHARE_DELETE would refuse (another thread or process including a
  // key while this one fills its cache). The reader keeps the content it
  // opened, as on POSIX.
  // A file removed while another handle still has it open stays listed,
  // but cannot be opened, until that handle closes: wait for it like a busy
  // file; then it is either there or gone.
  RetryWhileBusy([&] {
    handle_ = FromHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_ != nullptr;
  });
  if (handle_ != nullptr && ::GetFileType(AsHandle(handle_)) != FILE_TYPE_DISK) Close();
  return handle_ != nullptr;
}

bool File::Create(const std::string& path) noexcept {
  Close();
  fault::BeforeFileChange();
  if (InjectedFailure()) return false;
  if (path.empty()) return false;
  // Refused explicitly: not every file system enforces the attribute for
  // every account.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  handle_ = FromHandle(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_ != nullptr;
}

// Windows: a new file gets the default access of the creating user (the
// directory's inherited ACL); `access` and `permissions_of` change nothing.
bool File::CreateNew(const std::string& path, FileAccess, const std::string&) noexcept {
  Close();
  fault::BeforeFileChange();
  if (InjectedFailure()) return false;
  if (path.empty()) return false;
  handle_ = FromHandle(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_ != nullptr;
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
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
  } catch (...) {
    Close();
  }
  return false;
}

bool File::IsOpen() const noexcept { return handle_ != nullptr; }

std::optional<std::int64_t> File::Size() const noexcept {
  if (handle_ == nullptr) return std::nullopt;
  DWORD high = 0;
  const DWORD low = ::GetFileSize(AsHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return std::nullopt;
  return static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
}

bool File::ReadExact(void* buffer, std::size_t size) noexcept {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD got = 0;
    if (handle_ == nullptr || !::ReadFile(AsHandle(handle_), out, chunk, &got, nullptr) || got == 0) return false;
    out += got;
    size -= got;
  }
  return true;
}

bool File::WriteAll(const void* buffer, std::size_t size) noexcept {
  const auto* in = static_cast<const unsigned char*>(buffer);
  fault::BeforeFileChange();
  if (fault::FileOperationFails()) return InjectedWriteFailure(handle_, in, size);
  return WriteBytes(handle_, in, size);
}

bool File::Sync() noexcept {
  if (InjectedFailure(ERROR_DISK_FULL)) return false;
  return handle_ != nullptr && ::FlushFileBuffers(AsHandle(handle_)) != 0;
}

bool File::Close() noexcept {
  if (handle_ == nullptr) return true;
  return ::CloseHandle(AsHandle(std::exchange(handle_, nullptr))) != 0;
}

// ---- FileLock ----

namespace {

// The one byte every lock of the file covers.
bool LockByte(HANDLE handle, bool exclusive) noexcept {
  OVERLAPPED at{};
  return ::LockFileEx(handle, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at) != 0;
}

}  // namespace

FileLock::~FileLock() {
  Unlock();
  if (handle_ != nullptr) ::CloseHandle(AsHandle(handle_));
}

bool FileLock::Open(const std::string& path) noexcept {
  if (handle_ != nullptr || path.empty()) return handle_ != nullptr;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  handle_ = FromHandle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (handle_ == nullptr)
    handle_ = FromHandle(
        ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_ != nullptr;
}

bool FileLock::Lock(Mode mode) noexcept {
  Unlock();
  if (handle_ == nullptr) return false;
  locked_ = LockByte(AsHandle(handle_), mode == Mode::kExclusive);
  return locked_;
}

void FileLock::Unlock() noexcept {
  if (!locked_) return;
  OVERLAPPED at{};
  ::UnlockFileEx(AsHandle(handle_), 0, 1, 0, &at);
  locked_ = false;
}

// ---- DirectoryEnumerator ----

DirectoryEnumerator::~DirectoryEnumerator() { Close(); }

bool DirectoryEnumerator::Open(const std::string& directory, const std::string& mask) noexcept {
  Close();
  WIN32_FIND_DATAA data{};
  try {
    directory_ = directory;
    mask_ = mask;
    const std::string pattern =
        directory.empty() ? mask : directory + (EndsWithDelimiter(directory) ? "" : "\\") + mask;
    handle_ = FromHandle(::FindFirstFileA(pattern.c_str(), &data));
    if (handle_ == nullptr) {
      // No matching name in an existing directory is an empty enumeration.
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
      open_ = true;
      return true;
    }
    pending_.name = data.cFileName;
    pending_.attributes = data.dwFileAttributes;
  } catch (...) {
    Close();
    return false;
  }
  have_pending_ = true;
  open_ = true;
  return true;
}

DirectoryEnumerator::Step DirectoryEnumerator::Next(DirEntry& entry) noexcept {
  if (!open_) return Step::kError;
  if (have_pending_) {
    have_pending_ = false;
    entry = std::move(pending_);
    return Step::kEntry;
  }
  if (handle_ == nullptr) return Step::kNoMoreFiles;
  WIN32_FIND_DATAA data{};
  if (!::FindNextFileA(AsHandle(handle_), &data)) {
    return ::GetLastError() == ERROR_NO_MORE_FILES ? Step::kNoMoreFiles : Step::kError;
  }
  try {
    entry.name = data.cFileName;
  } catch (...) {
    return Step::kError;
  }
  entry.attributes = data.dwFileAttributes;
  return Step::kEntry;
}

void DirectoryEnumerator::Close() noexcept {
  if (handle_ != nullptr) ::FindClose(AsHandle(handle_));
  handle_ = nullptr;
  open_ = false;
  have_pending_ = false;
}

}  // namespace dizora::platform
