// Win32 dynamic loading: LoadLibraryA/GetProcAddress/FreeLibrary, module file
// names from GetModuleHandleA/GetModuleFileNameA.
#include <windows.h>
// windows.h defines FreeModule as a macro for FreeLibrary; this file defines
// the platform function of that name.
#undef FreeModule

#include <vector>

#include "platform/dynlib.h"
#include "platform/env.h"

namespace dizora::platform {

namespace {

// Full file name of a loaded module (null: the process's executable), or ""
// when it cannot be read. Starts with the usual 512 characters and grows the
// buffer while the name does not fit.
std::string ModuleFileName(HMODULE module) {
  std::vector<char> buffer(512);
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return {};  // longer than any Windows path
    buffer.resize(buffer.size() * 2);
  }
}

// The absolute form of a path; "" when the system cannot make one.
std::string FullPathName(const std::string& path) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n);
  }
}

// A directory read with GetSystemDirectoryA or GetWindowsDirectoryA, with a
// trailing backslash; "" when it cannot be read.
std::string SystemDirectory(UINT (WINAPI* read)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 1];
  const UINT n = read(buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  std::string dir(buffer, n);
  if (dir.back() != '\\') dir += '\\';
  return dir;
}

// "X:\..." or "\\server\...": a path that does not depend on the current
// directory or drive.
bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

// Keeps the system from showing a dialog box (for example "no disk in
// drive A:") while a library is looked for; restores the thread's mode.
class QuietErrorMode {
 public:
  QuietErrorMode() noexcept {
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_);
  }
  ~QuietErrorMode() { ::SetThreadErrorMode(previous_, nullptr); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;

 private:
  DWORD previous_ = 0;
};

}  // namespace

ModuleHandle LoadModule(const std::string& path) {
  if (path.empty()) return nullptr;
  QuietErrorMode quiet;
  if (path.find_first_of("\\/:") == std::string::npos) {
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  }
  // The file itself, by its full name; what it imports is looked for beside
  // it and in the system's directories, not in the current directory.
  const std::string full = FullPathName(path);
  if (full.empty()) return nullptr;
  HMODULE module = ::LoadLibraryExA(full.c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  // Systems that predate these flags refuse them; the full name alone still
  // keeps the file itself from being looked for.
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) module = ::LoadLibraryA(full.c_str());
  return module;
}

void* FindModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void FreeModule(ModuleHandle module) {
  if (module != nullptr) ::FreeLibrary(static_cast<HMODULE>(module));
}

std::string LoadedModulePath(const std::string& file_name) {
  if (file_name.empty() || file_name.find_first_of("\\/:") != std::string::npos) return {};
  HMODULE module = ::GetModuleHandleA(file_name.c_str());
  return module == nullptr ? std::string() : ModuleFileName(module);
}

std::string ExecutablePath() { return ModuleFileName(nullptr); }

std::string EngineLibraryPath() {
  HMODULE module = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!::GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&EngineLibraryPath), &module)) return {};
  return ModuleFileName(module);
}

bool LibraryFileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool LoaderSearchesPathVariable() { return true; }

std::vector<std::string> SystemLibraryDirs() {
  std::vector<std::string> dirs;
  for (const std::string& dir : {SystemDirectory(::GetSystemDirectoryA), SystemDirectory(::GetWindowsDirectoryA)}) {
    if (!dir.empty()) dirs.push_back(dir);
  }
  const std::string value = GetEnvVar("Path");
  size_t start = 0;
  while (start <= value.size()) {
    const size_t end = value.find(';', start);
    std::string entry = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
    if (IsAbsolute(entry)) dirs.push_back(entry.back() == '\\' || entry.back() == '/' ? entry : entry + '\\');
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return dirs;
}

}  // namespace dizora::platform
