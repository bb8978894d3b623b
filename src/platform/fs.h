// File and directory primitives of the host platform. Paths are 8-bit strings
// in the platform's own style (see path_style.h). Nothing here raises: every
// function reports failure through its result. The interface follows what the
// Windows kernel offers (CreateFileA/ReadFile/WriteFile/GetFileSize,
// DeleteFileA, Get/SetFileAttributesA, FindFirst/NextFileA, Create/
// RemoveDirectoryA, MoveFileA) so that each platform maps onto it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dizora::platform {

// Attribute bits, numbered as on Windows. On POSIX an entry is read-only when
// its owner has no write permission; volume labels do not exist there.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrVolumeLabel = 0x08;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
// A link (Windows reparse point: symbolic link, junction). POSIX enumeration
// reports links as plain files instead, never with kAttrDirectory.
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

// Attributes of an existing file or directory; nullopt when it does not exist
// or cannot be queried.
std::optional<std::uint32_t> GetPathAttributes(const std::string& path) noexcept;

// Sets the read-only state from kAttrReadOnly in `attributes` (other bits are
// kept where the platform has no equivalent). True on success.
bool SetPathAttributes(const std::string& path, std::uint32_t attributes) noexcept;

// True when a file or directory of that name exists.
bool PathExists(const std::string& path) noexcept;

// Deletes a file (not a directory). A read-only file is not deleted. A
// completed deletion is flushed with its directory.
bool RemoveFile(const std::string& path) noexcept;

// Outcome of a rename. kOtherFileSystem: `from` and `to` lie on different
// file systems (or volumes), so no rename can move the file; nothing changed.
enum class RenameStatus { kDone, kOtherFileSystem, kFailed };

// Renames a file or directory within one file system. With `replace` an
// existing file `to` is replaced in one step (readers see either the old or
// the new file, never a mix); without it an existing `to` makes the rename
// fail, touching nothing. A completed rename is flushed to the storage
// device with the directory of `to`.
RenameStatus Rename(const std::string& from, const std::string& to, bool replace) noexcept;

// Flushes the entries of the directory holding `path` (a completed rename, a
// created or deleted file) to the storage device. POSIX; on Windows moves are
// made with MOVEFILE_WRITE_THROUGH and this does nothing.
void SyncDirectoryOf(const std::string& path) noexcept;

// A name for a new file beside `target`: its directory, "." and 16 random
// hexadecimal digits, then `extension` (".tmp"). Nothing is created.
std::string NameBeside(const std::string& target, const char* extension);

// Rename without replacing; true when done.
bool RenameFile(const std::string& from, const std::string& to) noexcept;

// Rename replacing an existing `to`; true when done.
bool RenameOver(const std::string& from, const std::string& to) noexcept;

// Whether two paths name the same file (hard links, symbolic links and other
// spellings of one file included): nullopt when either cannot be examined.
std::optional<bool> SameFile(const std::string& a, const std::string& b) noexcept;

// Whether a file called `name` can be created in `directory` as it is: the
// name is within the file system's limit for one name; on Windows also the
// whole path within the limit of the ANSI calls, and the name not one of the
// reserved device names ("CON", "NUL", "COM1", ... with any extension).
bool IsUsableFileName(const std::string& directory, const std::string& name) noexcept;

// Who may read a file the engine creates. kPrivate (secret keys): on POSIX
// the owner alone, mode 0600 from the moment the file exists; on Windows the
// file gets the default access of the creating user, like any other.
enum class FileAccess { kShared, kPrivate };

// Creates one directory; its parent must exist. False when it exists. The
// new entry is flushed with the parent directory (so is a removal).
bool MakeDirectory(const std::string& path) noexcept;

// Removes an empty directory.
bool RemoveEmptyDirectory(const std::string& path) noexcept;

// An open file handle, closed on destruction.
class File {
 public:
  File() noexcept = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing regular file for reading.
  bool OpenRead(const std::string& path) noexcept;
  // Creates a file for writing; an existing file is truncated. A read-only
  // file is not opened.
  bool Create(const std::string& path) noexcept;
  // Creates `path`, which must not exist yet (exclusive creation), for
  // writing; permissions as for CreateTemporaryBeside.
  bool CreateNew(const std::string& path, FileAccess access, const std::string& permissions_of) noexcept;
  // Creates a new file for writing under a short unique name in the
  // directory of `target` ('.' and 16 hexadecimal digits, then ".tmp": never
  // a key file's name, and as long whatever the target's name is). The name
  // is stored in `created_name`. Permissions (POSIX): those of the file
  // `permissions_of` when it exists, else those of a new file; kPrivate
  // keeps only the owner's read and write bits of either.
  bool CreateTemporaryBeside(const std::string& target, FileAccess access, const std::string& permissions_of,
                             std::string& created_name) noexcept;

  bool IsOpen() const noexcept;
  // Length of the open file in bytes; nullopt on failure.
  std::optional<std::int64_t> Size() const noexcept;
  // Reads exactly `size` bytes; false on error or early end of file.
  bool ReadExact(void* buffer, std::size_t size) noexcept;
  // Writes all `size` bytes.
  bool WriteAll(const void* buffer, std::size_t size) noexcept;
  // Flushes written data to the storage device.
  bool Sync() noexcept;
  // Closes the handle; false when the close reported a write error.
  bool Close() noexcept;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// An advisory lock on a lock file, shared or exclusive, that every process
// opening the same file honours, and that the system releases when its
// holder ends, however it ends (flock on POSIX, LockFileEx on Windows). Two
// FileLocks of one process on one file exclude each other as two processes do.
class FileLock {
 public:
  enum class Mode { kShared, kExclusive };

  FileLock() noexcept = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens the lock file, creating it empty when it is missing (read-only
  // when it cannot be written). False when it can be neither opened nor
  // created, as on a read-only medium that lacks it.
  bool Open(const std::string& path) noexcept;
  // Waits, without a time limit, until the lock is held in `mode`; a lock
  // already held is released first. False when the system refuses it.
  bool Lock(Mode mode) noexcept;
  void Unlock() noexcept;

 private:
  bool locked_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// One entry of a directory enumeration.
struct DirEntry {
  std::string name;          // name only, without the directory
  std::uint32_t attributes;  // kAttr* bits
};

// Enumeration of the entries of a directory whose names match a mask of
// literal characters, '*' (any run) and '?' (any one character); "*.*" and
// "*" match every name. "." and ".." are listed like other entries. Names
// match case-sensitively where the file system is case-sensitive.
class DirectoryEnumerator {
 public:
  enum class Step { kEntry, kNoMoreFiles, kError };

  DirectoryEnumerator() noexcept = default;
  ~DirectoryEnumerator();
  DirectoryEnumerator(const DirectoryEnumerator&) = delete;
  DirectoryEnumerator& operator=(const DirectoryEnumerator&) = delete;

  // Starts the enumeration of `directory` (with or without a trailing
  // delimiter). False when the directory cannot be opened.
  bool Open(const std::string& directory, const std::string& mask) noexcept;
  // Fills `entry` with the next matching entry (kEntry), or reports that the
  // enumeration ended normally (kNoMoreFiles) or failed (kError).
  Step Next(DirEntry& entry) noexcept;
  void Close() noexcept;

 private:
  std::string directory_;
  std::string mask_;
#ifdef _WIN32
  void* handle_ = nullptr;  // find handle; null when nothing matched
  bool open_ = false;
  bool have_pending_ = false;
  DirEntry pending_{};
#else
  void* dir_ = nullptr;  // DIR*
#endif
};

// True when `name` matches `mask` in the sense of DirectoryEnumerator.
bool MatchesMask(const std::string& name, const std::string& mask) noexcept;

}  // namespace dizora::platform
