// POSIX dynamic loading: dlopen/dlsym/dlclose, module names from the loader's
// list of loaded objects, the executable from /proc/self/exe.
#include "platform/dynlib.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace dizora::platform {

namespace {

// File name part of a path (after the last '/').
std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct ModuleSearch {
  std::string file_name;
  std::string found;
};

int MatchLoadedObject(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ModuleSearch*>(data);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
  const std::string path = info->dlpi_name;
  if (BaseName(path) != search->file_name) return 0;
  search->found = path;
  return 1;
}

// Full path of a file name, resolved against the working directory when
// relative; "" when it cannot be resolved.
std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return {};
  if (path[0] == '/') return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result = resolved;
  free(resolved);
  return result;
}

}  // namespace

ModuleHandle LoadModule(const std::string& path) {
  if (path.empty()) return nullptr;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return dlsym(module, name);
}

void FreeModule(ModuleHandle module) {
  if (module != nullptr) dlclose(module);
}

std::string LoadedModulePath(const std::string& file_name) {
  if (file_name.empty() || file_name.find('/') != std::string::npos) return {};
  ModuleSearch search{file_name, {}};
  dl_iterate_phdr(MatchLoadedObject, &search);
  return AbsolutePath(search.found);
}

std::string ExecutablePath() {
  std::vector<char> buffer(512);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string EngineLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&EngineLibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  return AbsolutePath(info.dli_fname);
}

bool LibraryFileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool LoaderSearchesPathVariable() { return false; }

}  // namespace dizora::platform
