// Path style of the host platform. Paths are 8-bit strings.
//
// POSIX: '/' separates directories, there are no drive letters, and file names
// are case-sensitive. Windows: '\' separates directories, a one-letter drive
// prefix ("C:") exists, and names compare without regard to letter case.
#pragma once

namespace dizora::platform {

#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
inline constexpr char kPathDelimiterText[] = "\\";
inline constexpr bool kHasDriveLetters = true;
inline constexpr bool kCaseSensitiveNames = false;
#else
inline constexpr char kPathDelimiter = '/';
inline constexpr char kPathDelimiterText[] = "/";
inline constexpr bool kHasDriveLetters = false;
inline constexpr bool kCaseSensitiveNames = true;
#endif

// True for the character that separates path components on this platform.
constexpr bool IsPathDelimiter(char c) noexcept { return c == kPathDelimiter; }

// True for an ASCII letter A..Z or a..z (a drive letter on Windows).
constexpr bool IsDriveLetter(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace dizora::platform
