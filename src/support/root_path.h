// The process-wide root directory, the search for outside libraries, and the
// expansion of the "%ZRNRoot%" prefix against an engine's root.
//
// Process-wide: `ProcessRoot` (empty until the host names a root, then fixed
// until unload) and `LibrarySearchDirs` (the root's EXE, SYSTEM and USER
// subdirectories once the root is set). Per engine: the engine keeps its own
// root text and calls the pure functions below with it.
//
// Paths use the platform's delimiter (platform/path_style.h): '\' on Windows,
// '/' on POSIX. Upper-casing of expanded paths and the one-letter drive rule
// apply only where file names ignore letter case and drives exist (Windows).
#pragma once

#include <string>
#include <vector>

#include "platform/dynlib.h"

namespace dizora {

using ModuleHandle = platform::ModuleHandle;

// Library start and stop: the library's load code calls Start first, its
// unload code calls Stop last. Stop destroys `ProcessRoot` and the search list
// (a later use starts empty again); it runs while no thread is inside.
void RootPathModuleStart();
void RootPathModuleStop() noexcept;

// Current process root ("" before SetProcessRoot), ending with a delimiter.
std::string ProcessRoot();

// Current library search directories, in search order (EXE, SYSTEM, USER).
std::vector<std::string> LibrarySearchDirs();

// Sets the process root to `path` with a trailing delimiter. A second call with
// the same directory (exact letters, with or without the trailing delimiter)
// changes nothing; any other directory raises dizora::Exception with the text
// "Could not set ZRNRoot to '<path>'. Already set to '<ProcessRoot>'.".
// Where the loader honours it, the "Path" variable gets the three directories
// in front (see ExtendSearchPath).
void SetProcessRoot(const std::string& path);

// Where a library of this name is loaded from: a name with a directory part
// unchanged; else the first of these directories where the file exists: the
// executable's, each of LibrarySearchDirs, then the system's own
// (platform::SystemLibraryDirs: on Windows also "Path" as SetProcessRoot
// extended it). The current directory never takes part, so a library planted
// beside a document is never loaded. "" when the file is nowhere.
std::string ResolveLibraryPath(const std::string& name);

// Loads the library at ResolveLibraryPath(name); null on failure.
ModuleHandle LoadLibrarySearched(const std::string& name);

// LoadLibrarySearched(name); when that fails, the same name in the directory of
// a loaded module named "Korvane.dll", or, when none is loaded, in the
// directory of the engine library and then of the executable. Null on failure.
// A test override for `name` (below) replaces the whole search.
ModuleHandle LoadLibraryWithFallback(const std::string& name);

// Text with a trailing delimiter ensured; "" becomes the delimiter alone.
std::string EnsureTrailingDelimiter(const std::string& text);

// The engine's root as AssignRootPath stores it, and the regeneration directory
// as SetRemoteGeneratePath stores it (applied to ExpandRootPath of the text):
// a delimiter appended when missing; "" stays "".
std::string NormalizeRootPath(const std::string& path);

// `text` with a leading "%ZRNRoot%" (any letter case, one delimiter after it
// dropped) replaced by `root`; upper-cased on case-insensitive file systems.
// Other texts are returned unchanged.
std::string ExpandRootPath(const std::string& root, const std::string& text);

// ExpandRootPath with a trailing delimiter ensured on a non-empty result; on
// platforms with drive letters a lone letter "a" becomes "a:\".
std::string ExpandRootDir(const std::string& root, const std::string& text);

// The value of the library search variable after the root's directories are
// put in front of `old_value`: USER;SYSTEM;EXE[;old_value].
std::string ExtendSearchPath(const std::vector<std::string>& dirs, const std::string& old_value);

// For tests only.
namespace testing {
// Clears the process root and the search list, as unload followed by load.
void ResetRootPathForTesting();
// LoadLibraryWithFallback(name) loads `path` instead; an empty path removes the
// override of `name`.
void SetLibraryOverrideForTesting(const std::string& name, const std::string& path);
void ClearLibraryOverridesForTesting();
}  // namespace testing

}  // namespace dizora
