// Windows side of the tool's platform split: code page 1251 and UTF-16
// through the system's converter, the console, MoveFileEx.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "sys.h"

namespace dztool::sys {

namespace {

namespace fs = std::filesystem;

constexpr UINT kCp1251 = 1251;

std::wstring Widen(UINT code_page, std::string_view text, DWORD flags) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  return 2;
}

// UTF-16 to a code page; false when a character has no exact form there.
bool Narrow(UINT code_page, std::wstring_view wide, std::string& out) {
  if (wide.empty()) {
    out.clear();
    return true;
  }
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &used_default);
  if (n <= 0 || used_default) return false;
  out.assign(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, &used_default);
  return !used_default;
}

// Valid UTF-8 to a code page, or where the first character without a form starts.
bool FromUtf8(UINT code_page, std::string_view utf8, std::string& out, size_t& bad_offset) {
  if (Narrow(code_page, Widen(CP_UTF8, utf8, MB_ERR_INVALID_CHARS), out)) return true;
  std::string one;
  for (size_t at = 0; at < utf8.size();) {
    const size_t n = Utf8SequenceLength(static_cast<unsigned char>(utf8[at]));
    if (!Narrow(code_page, Widen(CP_UTF8, utf8.substr(at, n), MB_ERR_INVALID_CHARS), one)) {
      bad_offset = at;
      return false;
    }
    at += n;
  }
  bad_offset = 0;
  return false;
}

std::string ToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}


std::string LastSystemErrorText() {
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return "File exists";
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = text != nullptr ? ToUtf8(text) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
  return reason;
}

wchar_t g_interrupt_path[MAX_PATH * 4];
volatile LONG g_interrupt_path_set = 0;

BOOL WINAPI OnInterrupt(DWORD) {
  if (g_interrupt_path_set) DeleteFileW(g_interrupt_path);
  return FALSE;  // the default handling ends the process
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) { return ToUtf8(Widen(kCp1251, cp1251, 0)); }

bool Utf8ToCp1251(std::string_view utf8, std::string& out, size_t& bad_offset) {
  return FromUtf8(kCp1251, utf8, out, bad_offset);
}

bool Utf8ToEnginePath(const std::string& utf8, std::string& out, size_t& bad_offset) {
  return FromUtf8(CP_ACP, utf8, out, bad_offset);
}

std::string EnginePathToUtf8(const std::string& engine_path) { return ToUtf8(Widen(CP_ACP, engine_path, 0)); }

void PrepareStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

void WriteText(std::FILE* stream, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if ((stream == stdout || stream == stderr) && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    const std::wstring wide = Widen(CP_UTF8, utf8, 0);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

std::FILE* OpenForReading(const fs::path& path) { return _wfopen(path.c_str(), L"rb"); }

std::FILE* CreateExclusive(const fs::path& path) {
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

bool CommitAndClose(std::FILE* file, bool, std::string& reason) {
  bool ok = std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
  if (!ok) reason = std::strerror(errno);
  if (std::fclose(file) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  return ok;
}

bool Rename(const fs::path& from, const fs::path& to, bool replace, std::string& reason) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  reason = LastSystemErrorText();
  return false;
}

std::string LooseMode(const fs::path&) { return ""; }

bool CaseInsensitiveFileNames() { return true; }

TemporaryLease::TemporaryLease(const fs::path&) {}

TemporaryLease::~TemporaryLease() = default;

void RemoveAbandonedTemporaries(const fs::path&) {}

void RemoveOnInterrupt(const fs::path& path) {
  static const bool installed = SetConsoleCtrlHandler(OnInterrupt, TRUE) != 0;
  (void)installed;
  g_interrupt_path_set = 0;
  const std::wstring& text = path.native();
  if (text.empty() || text.size() >= sizeof g_interrupt_path / sizeof g_interrupt_path[0]) return;
  std::wmemcpy(g_interrupt_path, text.c_str(), text.size() + 1);
  g_interrupt_path_set = 1;
}

}  // namespace dztool::sys
