// Win32 dynamic loading: LoadLibraryA/GetProcAddress/FreeLibrary, module file
// names from GetModuleHandleA/GetModuleFileNameA.
#include <windows.h>
// windows.h defines FreeModule as a macro for FreeLibrary; this file defines
// the platform function of that name.
#undef FreeModule

#include <vector>

#include "platform/dynlib.h"

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
  return ::LoadLibraryA(path.c_str());
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

}  // namespace dizora::platform
