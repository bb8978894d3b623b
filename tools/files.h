// Reading inputs whole in bounded memory, writing outputs all or nothing, and
// the medium's key files that an output never replaces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "sys.h"

namespace dztool {

// A command's data read whole, with `room` spare bytes after it for the
// engine's in-place operations. A file's size is checked before anything is
// read and the file is read once into a buffer of that size; standard input
// is read in pieces up to the limit. Secret data is wiped on release.
class InputData {
 public:
  static InputData Read(const std::string& arg, size_t room, size_t limit, bool secret);
  InputData(InputData&& other) noexcept = default;
  ~InputData();

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  // The file for messages: its name quoted, or "standard input".
  const std::string& name() const { return name_; }

 private:
  InputData(std::unique_ptr<uint8_t[]> bytes, size_t size, size_t capacity, bool secret, std::string name);
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool secret_ = false;
  std::string name_;
};

// The largest data the engine takes with `extra` bytes of its own added.
size_t EngineLimit(int32_t extra);

struct OutputRules {
  bool force = false;                // replace an existing file
  bool secret = false;               // readable by the owner only (decrypted data)
  std::vector<std::string> inputs;   // never replaced, even with force
};

// Refuses an output before any work is done: the checks of WriteOutput.
void CheckOutput(const Medium& medium, const std::string& target, const OutputRules& rules);
// Writes `data` to `target` ("-" is standard output): into a new owner-only
// file beside it, flushed to disk, then renamed into place, so the target
// holds its old content or all of the new. Refuses an existing target without
// `force` and the medium's key files always.
void WriteOutput(const Medium& medium, const std::string& target, const void* data, size_t size,
                 const OutputRules& rules);
// Refuses (exit 4) a path that is one of the medium's key files or lies in its
// correspondents', CA or regeneration directory.
void CheckNotKeyFile(const Medium& medium, const std::filesystem::path& target);
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
// Leaves a secret-key file readable and writable by its owner only (where the
// file system has modes); a file that is not there is left alone.
void KeepPrivate(const std::filesystem::path& path);

// A file made for the engine (a copy it may consume), removed on every exit.
class ScratchFile {
 public:
  // A new owner-only file in `dir` holding `data`.
  ScratchFile(const std::filesystem::path& dir, const std::vector<uint8_t>& data);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::unique_ptr<sys::TemporaryLease> lease_;  // held while the run lives
};

// A new owner-only directory in `parent`, removed with what is left in it;
// after a kill or an interruption, by the next run that writes in `parent`.
class ScratchDir {
 public:
  explicit ScratchDir(const std::filesystem::path& parent);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::unique_ptr<sys::TemporaryLease> lease_;
};

// A small file (a key file, a transfer): at most `limit` bytes of it, its
// whole size, or why it could not be read.
struct SmallFile {
  bool ok = false;
  std::vector<uint8_t> bytes;
  uintmax_t size = 0;
  std::string reason;
};
SmallFile ReadSmallFile(const std::filesystem::path& path, size_t limit);

// A transfer argument: "-" reads standard input, the name of an existing file
// reads that file, text that looks like base64 is the transfer itself.
struct TransferText {
  std::string text;
  std::string source;  // for messages: the file quoted, "standard input" or "the command line"
};
TransferText ReadTransfer(const std::string& arg);

}  // namespace dztool
