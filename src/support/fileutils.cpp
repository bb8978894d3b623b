#include "support/fileutils.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "platform/path_style.h"
#include "support/secure.h"

namespace dizora::support {

namespace fs = dizora::platform;
using fs::DirectoryEnumerator;
using fs::DirEntry;

namespace {

char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool AsciiLess(const std::string& a, const std::string& b) noexcept {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return AsciiUpper(x) < AsciiUpper(y); });
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool HasAttribute(const DirEntry& entry, std::uint32_t bit) noexcept { return (entry.attributes & bit) != 0; }

// Entries that every scan passes over: names beginning with "." (this also
// covers "." and "..") and pure volume labels.
bool IsSkipped(const DirEntry& entry) noexcept {
  return entry.name.empty() || entry.name[0] == '.' || entry.attributes == fs::kAttrVolumeLabel;
}

// Lists the matching entries of a directory. Returns true when the
// enumeration ran to its normal end; `entries` holds what was seen either way.
bool ListDirectory(const std::string& directory, const std::string& mask, std::vector<DirEntry>& entries) {
  DirectoryEnumerator enumerator;
  if (!enumerator.Open(directory, mask)) return false;
  DirEntry entry{};
  for (;;) {
    switch (enumerator.Next(entry)) {
      case DirectoryEnumerator::Step::kEntry:
        entries.push_back(std::move(entry));
        break;
      case DirectoryEnumerator::Step::kNoMoreFiles:
        return true;
      case DirectoryEnumerator::Step::kError:
        return false;
    }
  }
}

// A directory entry that is a link to a directory elsewhere: never entered.
bool IsLinkedDirectory(const DirEntry& entry) noexcept {
  return HasAttribute(entry, fs::kAttrDirectory) && HasAttribute(entry, fs::kAttrReparsePoint);
}

bool IsBareDrive(const std::string& path) noexcept {
  return fs::kHasDriveLetters && path.size() == 2 && path[1] == ':';
}

// Writes the bytes to a fresh file beside `path`, flushed, and renames it to
// `path`: over an existing file with `replace`, else only where `path` does
// not exist yet. `path` holds either its old contents or all the new bytes.
bool PlaceFileContents(const std::string& path, const void* data, std::size_t size, fs::FileAccess access,
                       const std::string& permissions_of, bool replace) {
  fs::File file;
  std::string temp_name;
  if (!file.CreateTemporaryBeside(path, access, permissions_of, temp_name)) return false;
  const bool written = (size == 0 || file.WriteAll(data, size)) && file.Sync();
  if (file.Close() && written && fs::Rename(temp_name, path, replace) == fs::RenameStatus::kDone) return true;
  fs::RemoveFile(temp_name);
  return false;
}

bool ReplaceFileContents(const std::string& path, const void* data, std::size_t size, fs::FileAccess access,
                         const std::string& permissions_of) {
  if (const auto attributes = fs::GetPathAttributes(path)) {
    if (*attributes & (fs::kAttrDirectory | fs::kAttrReadOnly)) return false;
  }
  return PlaceFileContents(path, data, size, access, permissions_of.empty() ? path : permissions_of, true);
}

// The whole content of a file into a wiped buffer (it may be a key file);
// false when it cannot be read.
bool ReadIntoSecureBuffer(const std::string& path, SecureBuffer& image) {
  fs::File file;
  if (!file.OpenRead(path)) return false;
  const auto length = file.Size();
  if (!length || *length < 0) return false;
  image = SecureBuffer(static_cast<std::size_t>(*length));
  return image.empty() || file.ReadExact(image.data(), image.size());
}

// The move to another file system: copy beside the target, flush, rename
// there, and only then delete the source.
bool CopyThenDelete(const std::string& from, const std::string& to, bool replace) {
  SecureBuffer image;
  if (!ReadIntoSecureBuffer(from, image)) return false;
  if (!PlaceFileContents(to, image.data(), image.size(), fs::FileAccess::kShared, from, replace)) return false;
  fs::RemoveFile(from);
  return true;
}

std::string ParentOf(const std::string& path) {
  const std::size_t pos = path.find_last_of(fs::kPathDelimiter);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string WithoutTrailingDelimiter(const std::string& path) {
  if (!path.empty() && fs::IsPathDelimiter(path.back())) return path.substr(0, path.size() - 1);
  return path;
}

// A directory path that needs no creation: a root or, on Windows, a drive.
bool IsRootLike(const std::string& trimmed) {
  if (fs::kHasDriveLetters) return trimmed.size() < 3;
  return trimmed.empty();
}

// Parses a non-negative decimal number that fits into int32_t.
bool ParseFileNumber(const std::string& text, std::int32_t& value) noexcept {
  if (text.empty()) return false;
  std::int64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > std::numeric_limits<std::int32_t>::max()) return false;
  }
  value = static_cast<std::int32_t>(number);
  return true;
}

void CollectBySuffix(const std::string& directory, const std::string& suffix, std::vector<std::string>& list,
                     bool recursive) {
  if (!IsDirectory(directory)) return;
  const std::string base = AppendPathDelimiter(directory);
  std::vector<DirEntry> entries;
  ListDirectory(base, "*.*", entries);
  // Name order, as NTFS enumerates, so that results do not depend on the
  // file system's internal order.
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
    return AsciiLess(a.name, b.name) || (!AsciiLess(b.name, a.name) && a.name < b.name);
  });
  for (const DirEntry& entry : entries) {
    if (IsSkipped(entry)) continue;
    if (HasAttribute(entry, fs::kAttrDirectory)) {
      if (recursive && !IsLinkedDirectory(entry)) CollectBySuffix(base + entry.name, suffix, list, true);
    } else if (!HasAttribute(entry, fs::kAttrVolumeLabel)) {
      const std::string& name = entry.name;
      const std::string tail = name.size() > 3 ? name.substr(name.size() - 3) : name;
      if (SameIgnoringAsciiCase(tail, suffix)) list.push_back(base + name);
    }
  }
}

bool ClearDirectoryImpl(const std::string& path, bool removeSelf) {
  if (!IsDirectory(path)) return false;
  const std::string base = AppendPathDelimiter(path);
  std::vector<DirEntry> entries;
  const bool complete = ListDirectory(base, "*.*", entries);
  // An enumeration that failed leaves entries unseen: not a success.
  bool ok = complete;
  for (const DirEntry& entry : entries) {
    if (IsSkipped(entry)) continue;
    const std::string full = base + entry.name;
    if (IsLinkedDirectory(entry)) {
      ok = fs::RemoveEmptyDirectory(full) && ok;  // removes the link, not its target
    } else if (HasAttribute(entry, fs::kAttrDirectory)) {
      ok = ClearDirectoryImpl(full, true) && ok;
    } else if (!HasAttribute(entry, fs::kAttrVolumeLabel)) {
      if (HasAttribute(entry, fs::kAttrReadOnly)) fs::SetPathAttributes(full, fs::kAttrArchive);
      ok = fs::RemoveFile(full) && ok;
    }
  }
  if (removeSelf && ok && !IsBareDrive(path)) ok = fs::RemoveEmptyDirectory(path);
  return ok;
}

bool CreateDirectoryPathImpl(const std::string& path) {
  if (path.empty()) return false;
  // Walk up to the first directory that exists (or needs no creation), then
  // create the missing ones on the way back down.
  std::vector<std::string> missing;
  std::string current = WithoutTrailingDelimiter(path);
  for (;;) {
    if (IsRootLike(current) || IsDirectory(current)) break;
    const std::string parent = ParentOf(current);
    if (parent == current) break;
    missing.push_back(current);
    if (parent.empty()) break;  // relative name: its parent is the working directory
    current = WithoutTrailingDelimiter(parent);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    // Another process may create it at the same moment: existing is success.
    if (!fs::MakeDirectory(*it) && !IsDirectory(*it)) return false;
  }
  return true;
}

std::int32_t NextFileNumberImpl(const std::string& directory, const std::string& mask) {
  const std::size_t star = mask.find('*');
  if (star == std::string::npos || !IsDirectory(directory)) return 0;
  std::vector<DirEntry> entries;
  ListDirectory(AppendPathDelimiter(directory), mask, entries);
  bool found = false;
  std::int32_t largest = 0;
  for (const DirEntry& entry : entries) {
    if (IsSkipped(entry) || HasAttribute(entry, fs::kAttrDirectory | fs::kAttrVolumeLabel)) continue;
    const std::string& name = entry.name;
    // The number runs from the mask's "*" to the name's first "." (or to the
    // end of a name without one).
    const std::size_t dot = std::min(name.find('.'), name.size());
    if (dot <= star) continue;
    std::int32_t number = 0;
    if (!ParseFileNumber(name.substr(star, dot - star), number)) continue;
    if (!found || number > largest) largest = number;
    found = true;
  }
  if (!found) return 1;
  // No next number exists above the largest int32_t.
  return largest == std::numeric_limits<std::int32_t>::max() ? 0 : largest + 1;
}

}  // namespace

bool IsDirectory(const std::string& path) noexcept {
  const auto attributes = fs::GetPathAttributes(path);
  return attributes && (*attributes & fs::kAttrDirectory) != 0;
}

std::string AppendPathDelimiter(const std::string& path) {
  if (path.empty() || fs::IsPathDelimiter(path.back())) return path;
  if (fs::kHasDriveLetters && path.size() == 1 && fs::IsDriveLetter(path[0])) {
    return path + ":" + fs::kPathDelimiterText;
  }
  return path + fs::kPathDelimiterText;
}

void AppendPathDelimiter(const std::string& path, std::string& result) noexcept {
  try {
    result = AppendPathDelimiter(path);
  } catch (...) {
  }
}

bool ReadWholeFile(const std::string& path, void* buffer, std::int32_t& size) noexcept {
  fs::File file;
  if (!file.OpenRead(path)) return false;
  const auto length = file.Size();
  if (!length || *length > size) return false;
  if (*length > 0 && (buffer == nullptr || !file.ReadExact(buffer, static_cast<std::size_t>(*length)))) {
    return false;
  }
  size = static_cast<std::int32_t>(*length);
  return true;
}

bool WriteWholeFile(const std::string& path, const void* buffer, std::int32_t length, fs::FileAccess access,
                    const std::string& permissionsOf) noexcept {
  if (length < 0 || (buffer == nullptr && length > 0)) return false;
  try {
    return ReplaceFileContents(path, buffer, static_cast<std::size_t>(length), access, permissionsOf);
  } catch (...) {
    return false;
  }
}

bool MoveFile(const std::string& from, const std::string& to, bool replace) noexcept {
  try {
    // A rename of one file onto itself succeeds without moving anything.
    if (fs::SameFile(from, to).value_or(false)) return false;
    switch (fs::Rename(from, to, replace)) {
      case fs::RenameStatus::kDone: return true;
      case fs::RenameStatus::kFailed: return false;
      case fs::RenameStatus::kOtherFileSystem: return CopyThenDelete(from, to, replace);
    }
  } catch (...) {
  }
  return false;
}

bool CopyWholeFile(const std::string& source, const std::string& destination) noexcept {
  try {
    // The source may be a key file: its image is wiped after use.
    SecureBuffer image;
    if (!ReadIntoSecureBuffer(source, image)) return false;
    if (image.empty()) return true;
    return ReplaceFileContents(destination, image.data(), image.size(), fs::FileAccess::kShared, std::string());
  } catch (...) {
    return false;
  }
}

bool ClearDirectory(const std::string& path, bool removeSelf) noexcept {
  try {
    return ClearDirectoryImpl(path, removeSelf);
  } catch (...) {
    return false;
  }
}

bool CreateDirectoryPath(const std::string& path) noexcept {
  try {
    return CreateDirectoryPathImpl(path);
  } catch (...) {
    return false;
  }
}

void FindFilesBySuffix(const std::string& directory, const std::string& suffix, std::vector<std::string>& list,
                       bool recursive) noexcept {
  try {
    CollectBySuffix(directory, suffix, list, recursive);
  } catch (...) {
  }
}

std::int32_t NextFileNumber(const std::string& directory, const std::string& mask) noexcept {
  try {
    return NextFileNumberImpl(directory, mask);
  } catch (...) {
    return 0;
  }
}

std::int32_t SplitList(const char* text, std::vector<std::string>& list) noexcept {
  if (text == nullptr) return 0;
  const std::string_view rest(text);
  if (rest.empty()) return 0;
  std::int32_t added = 0;
  try {
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = rest.find(';', start);
      list.emplace_back(rest.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
      ++added;
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
  } catch (...) {
  }
  return added;
}

void BytesToHexText(const void* bytes, std::int32_t count, std::int32_t groupLength, std::int32_t lineLength,
                    std::string& text) noexcept {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (groupLength < 1 || lineLength < 1 || (bytes == nullptr && count > 0)) return;
  try {
    std::string out;
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    for (std::int32_t i = 1; i <= count; ++i) {
      const std::uint8_t byte = in[i - 1];
      out += kDigits[byte >> 4];
      out += kDigits[byte & 15];
      if (i % groupLength == 0) out += ' ';
      if (i % lineLength == 0) out += "\r\n";
    }
    text = std::move(out);
  } catch (...) {
  }
}

void StripDateSuffix(const std::string& text, std::string& result) noexcept {
  static constexpr std::size_t kSuffixLength = 21;  // "(dd-mm-yyyy hh-mm-ss)"
  try {
    std::string out = text;
    if (!text.empty()) {
      const std::size_t first = text.size() > kSuffixLength ? text.size() - kSuffixLength : 0;
      if (text[first] == '(' && text.back() == ')') {
        out = text.size() <= kSuffixLength + 1 ? std::string() : text.substr(0, text.size() - kSuffixLength - 1);
      }
    }
    result = std::move(out);
  } catch (...) {
  }
}

}  // namespace dizora::support
