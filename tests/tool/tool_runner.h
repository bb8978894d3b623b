// Runs the built dizora tool as a user would, in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "json_parse.h"
#include "support/temp_dir.h"
#include "spawn.h"

namespace tool_test {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Exit status `rc` with every one of `messages` in the error output.
template <class... Texts>
::testing::AssertionResult Failed(const Result& r, int rc, const Texts&... messages) {
  if (r.rc == rc && (Contains(r.err, messages) && ...)) return ::testing::AssertionSuccess();
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "expected exit " << rc;
  ((failure << ", \"" << messages << "\""), ...);
  return failure << "\n" << r;
}

// A relative path as the tool shows it: with the system's separator.
inline std::string Native(std::string path) {
  if (kWindows) std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Readable and writable by its owner only (always true where files have no modes).
inline bool OwnerOnly(const fs::path& path) {
  return kWindows || (fs::status(path).permissions() & fs::perms::all) == (fs::perms::owner_read | fs::perms::owner_write);
}

using dz_test::TempDir;

// A path from UTF-8 text (the narrow form is the ANSI code page on Windows).
inline fs::path U8(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

inline fs::path ToolPath() { return SelfDirectory() / (kWindows ? "dizora.exe" : "dizora"); }

// A working directory with key media made by the tool itself.
class ToolTest : public ::testing::Test {
 protected:
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    return Spawn(ToolPath(), args, dir_.path(), input);
  }
  // `dizora --medium NAME ARGS...`
  Result On(const std::string& medium, std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--medium", medium});
    return Run(args, input);
  }
  // The one JSON object of a --json run.
  Json JsonOf(const Result& r) {
    try {
      return ParseJson(r.out);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what() << "\n" << r;
      return Json();
    }
  }
  fs::path Path(const std::string& name) const { return dir_.path() / U8(name); }

  // A medium directory with a key pair for `uid`.
  void MakeMedium(const std::string& name, const std::string& uid, const std::string& alg = "2001") {
    fs::create_directories(Path(name));
    const Result r = On(name, {"keygen", "--self", "--uid", uid, "--alg", alg});
    ASSERT_EQ(r.rc, 0) << r;
  }
  // `receiver` takes `sender`'s public-key file (the in-person registration).
  void Register(const std::string& receiver, const std::string& sender) {
    const Result r = On(receiver, {"key", "include", sender + "/self.pub"});
    ASSERT_EQ(r.rc, 0) << r;
  }
  // Alice and the bank, each knowing the other.
  void TwoParties() {
    MakeMedium("alice", "Alice");
    MakeMedium("bank", "Bank");
    Register("alice", "bank");
    Register("bank", "alice");
  }
  // Entries of a directory, sorted; in lower case where names ignore it (the
  // engine upper-cases the paths it expands there).
  std::vector<std::string> Entries(const std::string& name) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Path(name))) {
      std::string entry = e.path().filename().string();
      if (kWindows) std::transform(entry.begin(), entry.end(), entry.begin(), [](char c) { return std::tolower(c); });
      names.push_back(entry);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // Expected names as Entries reports them.
  static std::vector<std::string> AsEntries(std::vector<std::string> names) {
    for (std::string& name : names)
      if (kWindows) std::transform(name.begin(), name.end(), name.begin(), [](char c) { return std::tolower(c); });
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
};

}  // namespace tool_test
