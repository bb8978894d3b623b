// POSIX dynamic loading: dlopen/dlsym/dlclose, module names from the loader's
// list of loaded objects, the executable from /proc/self/exe.
#include "platform/dynlib.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
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

// The loader's own list for a bare name asked for by this library (its
// LD_LIBRARY_PATH as read at process start, the library's run path, the
// system directories), as dlinfo reports it; the loader's cache is not a
// directory and stays out. An empty entry of LD_LIBRARY_PATH comes back as
// ".", a relative one as written: both are left out.
std::vector<std::string> SystemLibraryDirs() {
  std::vector<std::string> dirs;
  Dl_info self{};
  void* handle = nullptr;
  if (dladdr(reinterpret_cast<void*>(&SystemLibraryDirs), &self) != 0 && self.dli_fname != nullptr)
    handle = dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) handle = dlopen(nullptr, RTLD_LAZY);  // linked into the program itself
  if (handle == nullptr) return dirs;
  Dl_serinfo size{};
  if (dlinfo(handle, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    std::vector<std::max_align_t> storage(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.data());
    *info = size;
    if (dlinfo(handle, RTLD_DI_SERINFO, info) == 0) {
      for (unsigned i = 0; i < info->dls_cnt; ++i) {
        const char* name = info->dls_serpath[i].dls_name;
        if (name == nullptr || name[0] != '/') continue;
        std::string dir = name;
        if (dir.back() != '/') dir += '/';
        dirs.push_back(std::move(dir));
      }
    }
  }
  dlclose(handle);
  return dirs;
}

}  // namespace dizora::platform
