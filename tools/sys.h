// The tool's own platform split: Windows-1251 through the system's converter,
// the console, and the few file operations that differ between POSIX
// (sys_posix.cpp) and Windows (sys_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace dztool::sys {

// ---- Text ----------------------------------------------------------------------

// Windows-1251 text without the byte 0x98 (the one byte without a character)
// as UTF-8.
std::string Cp1251ToUtf8(std::string_view cp1251);
// Valid UTF-8 as Windows-1251; false when a character has no Windows-1251
// form, `bad_offset` then being where it starts.
bool Utf8ToCp1251(std::string_view utf8, std::string& out, size_t& bad_offset);

// Paths as the engine takes them: the file-system bytes on POSIX; on Windows
// the system's ANSI code page (the engine opens files through the ANSI
// interface), 1251 in the Russian locale. False when a character of the path
// has no form there, `bad_offset` then being where it starts.
bool Utf8ToEnginePath(const std::string& utf8, std::string& out, size_t& bad_offset);
std::string EnginePathToUtf8(const std::string& engine_path);

// ---- Standard streams ---------------------------------------------------------------

// Binary standard streams: data passes without newline translation.
void PrepareStandardStreams();
// Text for the user: to a console as Unicode, elsewhere as UTF-8 bytes.
void WriteText(std::FILE* stream, std::string_view utf8);

// ---- Files ---------------------------------------------------------------------

std::FILE* OpenForReading(const std::filesystem::path& path);
// Creates `path`, which must not exist, for writing; readable by the owner only.
std::FILE* CreateExclusive(const std::filesystem::path& path);
// Flushes a file made by CreateExclusive to disk and closes it. With `shared`
// it first gets the mode new files get (the umask); else it stays owner-only.
bool CommitAndClose(std::FILE* file, bool shared, std::string& reason);
// Renames `from` to `to` in the same directory and syncs the directory. Without
// `replace` it fails when `to` exists, also when it appears meanwhile.
bool Rename(const std::filesystem::path& from, const std::filesystem::path& to, bool replace,
            std::string& reason);

// "mode 0644" when others than the owner may read or change the file; "" when
// not, and always where the file system has no such modes.
std::string LooseMode(const std::filesystem::path& path);
// File names compare without regard to letter case on this system.
bool CaseInsensitiveFileNames();

// While set, the file is removed when the process is interrupted (Ctrl-C,
// termination); one file at a time, cleared with an empty path.
void RemoveOnInterrupt(const std::filesystem::path& path);

// A lock on one of the run's temporary files or directories, held while it
// exists: the system drops it when the process ends, however it ends (POSIX
// flock; on Windows nothing is held, and nothing is removed below).
class TemporaryLease {
 public:
  explicit TemporaryLease(const std::filesystem::path& path);
  ~TemporaryLease();
  TemporaryLease(const TemporaryLease&) = delete;
  TemporaryLease& operator=(const TemporaryLease&) = delete;

 private:
  int fd_ = -1;
};

// Removes the temporary files and directories of killed runs of the tool in
// `dir`: names of the tool's pattern (".dz-" 8 hexadecimal digits ".tmp")
// whose lease no process holds.
void RemoveAbandonedTemporaries(const std::filesystem::path& dir);

}  // namespace dztool::sys
