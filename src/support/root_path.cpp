// Process root, library search and "%ZRNRoot%" expansion.
#include "support/root_path.h"

#include <map>
#include <mutex>
#include <string_view>

#include "support/exceptions.h"
#include "platform/env.h"
#include "platform/path_style.h"
#include "platform/process_state.h"

namespace dizora {

namespace {

using platform::IsPathDelimiter;
using platform::kPathDelimiter;

constexpr std::string_view kRootPrefix = "%ZRNRoot%";
constexpr char kFallbackModuleName[] = "Korvane.dll";
constexpr char kSearchPathVariable[] = "Path";

// The process-wide items. The lock only keeps concurrent readers and a late
// SetProcessRoot from tearing the strings; it is never held while loading.
struct RootState {
  std::mutex lock;
  std::string process_root;
  std::vector<std::string> search_dirs;
  std::map<std::string, std::string> overrides;  // tests only
};

// Created by the module's start (or first use), destroyed by its stop.
constinit platform::ProcessState<RootState> g_state;

RootState& State() { return g_state.Get(); }

// A name the system loader would not search for: it holds a delimiter ('/'
// counts on Windows too, where the loader takes both) or a drive.
bool HasDirectoryPart(const std::string& name) {
  for (char c : name) {
    if (IsPathDelimiter(c) || c == '/' || (platform::kHasDriveLetters && c == ':')) return true;
  }
  return false;
}

// Directory part of a file name, up to and including its last delimiter;
// "" when there is none.
std::string DirectoryOf(const std::string& file_name) {
  for (size_t i = file_name.size(); i > 0; --i) {
    if (IsPathDelimiter(file_name[i - 1])) return file_name.substr(0, i);
  }
  return {};
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithIgnoringCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
  }
  return true;
}

std::string OverrideFor(const std::string& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  const auto found = State().overrides.find(name);
  return found == State().overrides.end() ? std::string() : found->second;
}

// Directories tried by LoadLibraryWithFallback after the ordinary search.
std::vector<std::string> FallbackDirs() {
  const std::string module = platform::LoadedModulePath(kFallbackModuleName);
  if (!module.empty()) return {DirectoryOf(module)};
  return {DirectoryOf(platform::EngineLibraryPath()), DirectoryOf(platform::ExecutablePath())};
}

}  // namespace

void RootPathModuleStart() { (void)State(); }

void RootPathModuleStop() noexcept { (void)g_state.Take(); }

std::string ProcessRoot() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().process_root;
}

std::vector<std::string> LibrarySearchDirs() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().search_dirs;
}

void SetProcessRoot(const std::string& path) {
  std::vector<std::string> added;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    RootState& state = State();
    if (!state.process_root.empty()) {
      if (EnsureTrailingDelimiter(state.process_root) == EnsureTrailingDelimiter(path)) return;
      throw Exception("Could not set ZRNRoot to '" + path + "'. Already set to '" + state.process_root + "'.");
    }
    state.process_root = EnsureTrailingDelimiter(path);
    for (const char* sub : {"EXE", "SYSTEM", "USER"}) {
      state.search_dirs.push_back(state.process_root + sub + kPathDelimiter);
    }
    added = state.search_dirs;
  }
  // Only a loader that reads "Path" gains from it; elsewhere the explicit
  // search of LibrarySearchDirs is what finds the libraries.
  if (platform::LoaderSearchesPathVariable()) {
    const std::string old_value = platform::GetEnvVar(kSearchPathVariable);
    platform::SetEnvVar(kSearchPathVariable, ExtendSearchPath(added, old_value));
  }
}

std::string ResolveLibraryPath(const std::string& name) {
  if (name.empty() || HasDirectoryPart(name)) return name;
  std::vector<std::string> dirs = {DirectoryOf(platform::ExecutablePath())};
  for (std::string& dir : LibrarySearchDirs()) dirs.push_back(std::move(dir));
  for (std::string& dir : platform::SystemLibraryDirs()) dirs.push_back(std::move(dir));
  for (const std::string& dir : dirs) {
    if (!dir.empty() && platform::LibraryFileExists(dir + name)) return dir + name;
  }
  return {};
}

ModuleHandle LoadLibrarySearched(const std::string& name) {
  const std::string path = ResolveLibraryPath(name);
  return path.empty() ? nullptr : platform::LoadModule(path);
}

ModuleHandle LoadLibraryWithFallback(const std::string& name) {
  const std::string replacement = OverrideFor(name);
  if (!replacement.empty()) return platform::LoadModule(replacement);
  if (ModuleHandle module = LoadLibrarySearched(name)) return module;
  // A name that already carries a directory has nowhere else to be looked for.
  if (name.empty() || HasDirectoryPart(name)) return nullptr;
  for (const std::string& dir : FallbackDirs()) {
    if (dir.empty()) continue;
    if (ModuleHandle module = LoadLibrarySearched(dir + name)) return module;
  }
  return nullptr;
}

std::string EnsureTrailingDelimiter(const std::string& text) {
  if (!text.empty() && IsPathDelimiter(text.back())) return text;
  return text + kPathDelimiter;
}

std::string NormalizeRootPath(const std::string& path) {
  return path.empty() ? std::string() : EnsureTrailingDelimiter(path);
}

std::string ExpandRootPath(const std::string& root, const std::string& text) {
  if (!StartsWithIgnoringCase(text, kRootPrefix)) return text;
  std::string rest = text.substr(kRootPrefix.size());
  if (!rest.empty() && IsPathDelimiter(rest.front())) rest.erase(0, 1);
  std::string result = root + rest;
  // Upper-casing is harmless only where file names ignore letter case.
  if (!platform::kCaseSensitiveNames) {
    for (char& c : result) c = AsciiUpper(c);
  }
  return result;
}

std::string ExpandRootDir(const std::string& root, const std::string& text) {
  std::string result = ExpandRootPath(root, text);
  if (result.empty() || IsPathDelimiter(result.back())) return result;
  if (platform::kHasDriveLetters && result.size() == 1 && platform::IsDriveLetter(result[0])) {
    return result + ':' + kPathDelimiter;
  }
  return result + kPathDelimiter;
}

std::string ExtendSearchPath(const std::vector<std::string>& dirs, const std::string& old_value) {
  std::string value = old_value;
  for (const std::string& dir : dirs) value = value.empty() ? dir : dir + ";" + value;
  return value;
}

namespace testing {

void ResetRootPathForTesting() {
  RootPathModuleStop();
  RootPathModuleStart();
}

void SetLibraryOverrideForTesting(const std::string& name, const std::string& path) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (path.empty()) {
    State().overrides.erase(name);
  } else {
    State().overrides[name] = path;
  }
}

void ClearLibraryOverridesForTesting() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().overrides.clear();
}

}  // namespace testing

}  // namespace dizora
