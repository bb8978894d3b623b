// Test-only fault injection for the file primitives of fs.h. While armed,
// every open, create, write, rename, delete and directory change is counted,
// and the n-th one fails as the platform would report it (a failing write
// may first write half of its bytes, as on a full disk). Disarmed, which is
// the state unless a test arms it, each primitive pays one relaxed atomic
// load and behaves exactly as without the seam.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dizora::platform::fault {

// Makes the `n`-th counted file operation from now fail (1-based). With
// `short_write` a failing write puts half of its bytes on disk first.
void ArmFileFault(std::int64_t n, bool short_write) noexcept;

// Counts operations without failing any (n = 0), to learn how many an
// operation performs.
void CountFileOperations() noexcept;

// Stops counting and failing.
void DisarmFileFault() noexcept;

// Operations counted since the last Arm/Count.
std::int64_t FileOperationCount() noexcept;

// True once the armed fault has fired.
bool FileFaultFired() noexcept;

// Called by the primitives before they act: counts this operation and says
// whether it must fail.
bool FileOperationFails() noexcept;

// For a failing write of `size` bytes: how many to write before failing.
std::size_t ShortWriteLength(std::size_t size) noexcept;

// While on, every rename that the seam lets through reports that its paths
// lie on different file systems (as a move to another mount would), so that
// the copy-based moves can be tested on one file system. Off by default.
void SimulateOtherFileSystem(bool on) noexcept;

// Asked by the rename primitive: whether to report another file system.
bool OtherFileSystemSimulated() noexcept;

// Called by every primitive that changes a file or directory (create, write,
// rename, delete, directory change) before it acts. Test builds only
// (DZ_TEST_SEAMS): when the environment variable DZ_TEST_KILL_AT holds a
// number N, the N-th such call of the process kills it at once, as a SIGKILL
// or a power cut would stop it, so that tests can stop an operation between
// any two of its steps. Product builds have no such hook.
#ifdef DZ_TEST_SEAMS
void BeforeFileChange() noexcept;
// Ends the process at once, running nothing (fs_posix.cpp, fs_win32.cpp).
[[noreturn]] void KillThisProcess() noexcept;
#else
inline void BeforeFileChange() noexcept {}
#endif

}  // namespace dizora::platform::fault
