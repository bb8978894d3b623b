// Dynamic loading of shared libraries and the file names of loaded modules.
//
// A module handle is opaque; a null handle means "none" or "failed". The
// functions never throw for a missing library or symbol: they answer null or
// an empty string, and the caller decides what that means.
#pragma once

#include <string>
#include <vector>

namespace dizora::platform {

using ModuleHandle = void*;

// Loads the library at `path`. A path with a directory part loads exactly that
// file (on Windows its own imports are looked for beside it and in the system
// directories, never in the current directory); a bare name lets the system
// loader search. Returns null on failure.
ModuleHandle LoadModule(const std::string& path);

// Address of the exported `name` in `module`, or null.
void* FindModuleSymbol(ModuleHandle module, const char* name);

// Releases one load of `module`; a null handle is ignored.
void FreeModule(ModuleHandle module);

// Full file name of a module already loaded in this process whose file name
// (without directory) is `file_name`, or "" when there is none. Does not load
// anything and takes no reference.
std::string LoadedModulePath(const std::string& file_name);

// Full file name of the process's executable, or "" when it cannot be read.
std::string ExecutablePath();

// Full file name of the binary that contains this code: the engine library
// when linked into it (a test program when linked statically), or "".
std::string EngineLibraryPath();

// True when `path` names an existing file that is not a directory.
bool LibraryFileExists(const std::string& path);

// Whether the system loader searches the directories of the "Path"
// environment variable for bare library names (true on Windows only).
bool LoaderSearchesPathVariable();

// The directories where the system loader looks for a bare library name, in
// its order, without the current directory: on Windows the system directory,
// the Windows directory and the absolute entries of "Path"; on POSIX the
// loader's search list (LD_LIBRARY_PATH, run path, system directories).
// Empty and relative entries, which name the current directory or a place
// below it, are left out.
std::vector<std::string> SystemLibraryDirs();

// RAII owner of one load of a module.
class ScopedModule {
 public:
  ScopedModule() = default;
  explicit ScopedModule(ModuleHandle module) noexcept : module_(module) {}
  ~ScopedModule() { FreeModule(module_); }
  ScopedModule(ScopedModule&& other) noexcept : module_(other.release()) {}
  ScopedModule& operator=(ScopedModule&& other) noexcept {
    if (this != &other) {
      FreeModule(module_);
      module_ = other.release();
    }
    return *this;
  }
  ScopedModule(const ScopedModule&) = delete;
  ScopedModule& operator=(const ScopedModule&) = delete;

  ModuleHandle get() const noexcept { return module_; }
  explicit operator bool() const noexcept { return module_ != nullptr; }
  ModuleHandle release() noexcept {
    ModuleHandle module = module_;
    module_ = nullptr;
    return module;
  }

 private:
  ModuleHandle module_ = nullptr;
};

}  // namespace dizora::platform
