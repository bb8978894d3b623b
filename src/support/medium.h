// The key medium shared by processes: its lock, and changes of several files
// that a killed process leaves for the next one to complete or undo.
//
// The medium is the directory of the user's secret-key file. Two files of the
// engine's own lie there beside the keys, both named with a leading "." (so no
// key scan ever reads them) and without the "pub" ending of public keys:
// - ".dizora.lock": the lock file. It stays; it is never removed (a removed
//   lock file would let two processes lock two different files).
// - ".dizora.intent": the intent record, present only while a change of
//   several files is under way or was interrupted.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/fs.h"

namespace dizora::support {

inline constexpr char kMediumLockName[] = ".dizora.lock";
inline constexpr char kIntentRecordName[] = ".dizora.intent";

// The medium of a secret-key path: its directory with the trailing
// delimiter ("" for a bare file name: the current directory).
std::string MediumOfSecretKey(const std::string& secretKeyPath);

// Holds the medium's lock for its lifetime: shared for reading key files,
// exclusive for changing anything on the medium. Waits as long as another
// process (or another thread) holds it in the other mode. Before it returns,
// an intent record left by a killed process is acted on under the exclusive
// lock (RecoverChange). A thread that already holds the medium's lock enters
// again without waiting. A medium whose lock file can be neither opened nor
// created (read-only) is used without the lock.
class MediumLock {
 public:
  using Mode = platform::FileLock::Mode;

  // `medium`: as MediumOfSecretKey gives it.
  MediumLock(std::string medium, Mode mode) noexcept;
  ~MediumLock();
  MediumLock(const MediumLock&) = delete;
  MediumLock& operator=(const MediumLock&) = delete;

  // An interrupted change was completed or undone while the lock was taken:
  // key files may differ from what was read before.
  bool Recovered() const noexcept { return recovered_; }

 private:
  bool HeldByThisThread() const noexcept;
  void TakeAndRecover() noexcept;

  std::string medium_;
  Mode mode_;
  platform::FileLock file_;
  const MediumLock* outer_ = nullptr;
  bool pushed_ = false;
  bool recovered_ = false;
};

// One file of a change: `size` bytes at `data` put at `target`.
struct Placement {
  std::string target;
  const void* data = nullptr;
  std::size_t size = 0;
  platform::FileAccess access = platform::FileAccess::kShared;
  std::string permissionsOf;  // as for WriteWholeFile
  // An existing target is first moved here (replacing what is there).
  std::string backup;
  // Non-empty ("pk*.pub"): the target is never replaced; when its name is
  // taken, the file gets the next free name of this mask in its directory.
  std::string numberedMask;
  // Removed just before this file is put in place.
  std::vector<std::string> removeFirst;
  // Out: where the file was put.
  std::string placedAt;
};

enum class ChangeResult {
  kDone,
  kNotMade,       // refused or failed before any file of the medium changed
  kInterrupted,   // failed half-way; the intent record is left for the next lock
};

// Makes the change, the placements in their order, so that a kill at any
// instant leaves it either not made or completed by the next MediumLock:
// 1. the intent record (every name below and the order) is written and
//    flushed;
// 2. each new file is written beside its target under a temporary name,
//    flushed, and renamed to a second temporary name, which therefore exists
//    only complete;
// 3. for each file in turn: the files to remove first are removed, an
//    existing target moved to its backup, and the file renamed into place;
// 4. the record is removed.
// Every rename, removal and record is flushed with its directory. A target
// that is read-only or a directory, or a backup or file to remove that is,
// refuses the change.
// The caller holds the medium's exclusive lock.
ChangeResult ApplyChange(const std::string& medium, std::vector<Placement>& placements) noexcept;

// Puts one new file in place without replacing anything: written beside
// `placement.target` under a temporary name, flushed, then renamed to the
// target or, when taken, to the next free name of the numbered mask. A kill
// leaves at most the temporary file, which no key scan reads.
bool ClaimNewFile(Placement& placement) noexcept;

// Acts on the intent record of `medium`, if any: when every new file of
// step 2 exists, or step 3 has begun, the change is completed; otherwise it is
// undone (its temporary files removed). The record is removed afterwards; a
// damaged record is removed as it is. False when there was no record. The
// caller holds the exclusive lock.
bool RecoverChange(const std::string& medium) noexcept;

}  // namespace dizora::support
