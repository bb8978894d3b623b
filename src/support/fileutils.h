// File and directory utilities shared by the engine and the binding: paths,
// whole files, directory trees, ";"-separated lists and hexadecimal text.
//
// None of these functions raises. Failures come back as false, 0 or an
// output left unchanged. Paths use the platform's delimiter (path_style.h);
// the drive-letter rules apply only where the platform has drive letters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.h"

namespace dizora::support {

// True when the path exists and is a directory.
bool IsDirectory(const std::string& path) noexcept;

// `result` = `path` with a trailing delimiter: an empty path stays empty, a
// path ending in the delimiter is unchanged, on Windows a single drive letter
// "c" becomes "c:\"; any other path gets the delimiter appended.
void AppendPathDelimiter(const std::string& path, std::string& result) noexcept;
// Same, returned by value (raises std::bad_alloc only).
std::string AppendPathDelimiter(const std::string& path);

// Reads the whole file into `buffer`, whose capacity the caller passes in
// `size`. A file no longer than the capacity: `size` becomes its length and
// the result is true. A longer, missing or unreadable file: false, and `size`
// and the buffer are left untouched.
bool ReadWholeFile(const std::string& path, void* buffer, std::int32_t& size) noexcept;

// Replaces the file with `length` bytes of `buffer`. The bytes go to a
// temporary file with a short name in the same directory, are flushed to the
// storage device, and the temporary file then takes the file's place in one
// rename (flushed with its directory): the file holds either its old bytes
// or all the new ones, and a failure never leaves a half-written file. A
// read-only file is not replaced (false). The file keeps the permissions of
// the one it replaces; kPrivate (secret keys) creates it with the owner's
// read and write bits only (POSIX), also when it replaces a file that allowed
// more. `permissionsOf` names another file whose permissions count as those
// of the replaced one (a file just moved away to make room).
bool WriteWholeFile(const std::string& path, const void* buffer, std::int32_t length,
                    platform::FileAccess access = platform::FileAccess::kShared,
                    const std::string& permissionsOf = std::string()) noexcept;

// Moves a file to `to`, replacing an existing `to` only with `replace`.
// Within one file system this is one rename. Across file systems the bytes
// are copied to a temporary name in the directory of `to` (with the source's
// permissions), flushed, renamed to `to` there, and only then is the source
// deleted; a source that cannot be deleted afterwards stays as a second copy.
// False, with the source in place, when the move cannot be made, also when
// `from` and `to` are one file (another spelling, a link).
bool MoveFile(const std::string& from, const std::string& to, bool replace) noexcept;

// Copies the source file to the destination (replacing it as WriteWholeFile
// does). A missing or unreadable source: false, destination untouched. An
// empty source: true, and the destination is not touched or created.
bool CopyWholeFile(const std::string& source, const std::string& destination) noexcept;

// Deletes everything inside the directory (read-only files included; names
// that begin with "." are kept), and with `removeSelf` the directory itself,
// unless it is a bare drive or something in it could not be deleted. Links
// are deleted, never followed. True when every deletion succeeded and the
// whole directory could be listed.
bool ClearDirectory(const std::string& path, bool removeSelf) noexcept;

// Creates every missing directory of the path. True when it exists afterwards
// (or is too short to create: a root or drive).
bool CreateDirectoryPath(const std::string& path) noexcept;

// Appends to `list` the full names (directory + delimiter + name) of the files
// in `directory` whose names end in `suffix` (last three characters, ASCII
// letter case ignored); with `recursive`, subdirectories (not links to
// directories) are searched depth first, each directory in name order. Names
// that begin with "." are skipped.
void FindFilesBySuffix(const std::string& directory, const std::string& suffix,
                       std::vector<std::string>& list, bool recursive) noexcept;

// For a mask with one "*" standing for a number (e.g. "pk*.pub"): the largest
// number among the matching file names in `directory`, plus 1; 1 when there
// is none; 0 when the mask has no "*" or the directory does not exist.
std::int32_t NextFileNumber(const std::string& directory, const std::string& mask) noexcept;

// Appends the ";"-separated items of `text` to `list`, untrimmed, empty items
// kept ("a;" gives "a" and ""). A null or empty text adds nothing. Returns the
// number of items added.
std::int32_t SplitList(const char* text, std::vector<std::string>& list) noexcept;

// `text` = the bytes as upper-case hexadecimal pairs; a blank after every
// `groupLength` bytes and CR LF after every `lineLength` bytes (blank first).
// Both lengths must be at least 1; otherwise `text` is left unchanged.
void BytesToHexText(const void* bytes, std::int32_t count, std::int32_t groupLength,
                    std::int32_t lineLength, std::string& text) noexcept;

// `result` = `text` without a trailing date suffix " (dd-mm-yyyy hh-mm-ss)" as
// written by remote key regeneration; other texts unchanged.
void StripDateSuffix(const std::string& text, std::string& result) noexcept;

}  // namespace dizora::support
