// POSIX side of the tool's platform split: iconv, file modes, signals.
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "sys.h"

namespace dztool::sys {

namespace {

namespace fs = std::filesystem;

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; false with `stopped_at` when a character cannot be.
  bool Convert(std::string_view in, std::string& out, size_t& stopped_at) {
    out.assign(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    const bool ok = iconv(cd_, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
    out.resize(out.size() - dst_left);
    stopped_at = in.size() - src_left;
    return ok;
  }

 private:
  iconv_t cd_;
};

std::string Reason() { return std::strerror(errno); }

void SyncDirectory(const fs::path& dir) {
  const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool RenameNoReplace(const fs::path& from, const fs::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A file system without the flag: a hard link fails on an existing name too.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP) return false;
  // No hard links either (FAT): the name is checked just before the rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

// The interrupted run's temporary file; the handler may only read it.
char g_interrupt_path[4096];
volatile sig_atomic_t g_interrupt_path_set = 0;

void OnInterrupt(int signal_number) {
  if (g_interrupt_path_set) unlink(g_interrupt_path);
  std::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
  Iconv converter("UTF-8", "CP1251");
  std::string out;
  size_t stopped = 0;
  if (!converter.valid() || !converter.Convert(cp1251, out, stopped)) return std::string(cp1251);
  return out;
}

bool Utf8ToCp1251(std::string_view utf8, std::string& out, size_t& bad_offset) {
  Iconv converter("CP1251", "UTF-8");
  if (!converter.valid()) {
    bad_offset = 0;
    return false;
  }
  return converter.Convert(utf8, out, bad_offset);
}

bool Utf8ToEnginePath(const std::string& utf8, std::string& out, size_t&) {
  out = utf8;
  return true;
}

std::string EnginePathToUtf8(const std::string& engine_path) { return engine_path; }

void PrepareStandardStreams() {}

void WriteText(std::FILE* stream, std::string_view utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stream); }

std::FILE* OpenForReading(const fs::path& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* CreateExclusive(const fs::path& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

bool CommitAndClose(std::FILE* file, bool shared, std::string& reason) {
  bool ok = std::fflush(file) == 0;
  if (ok && shared) {
    const mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fileno(file), 0666 & ~mask) == 0;
  }
  ok = ok && fsync(fileno(file)) == 0;
  if (!ok) reason = Reason();
  if (std::fclose(file) != 0 && ok) {
    reason = Reason();
    ok = false;
  }
  return ok;
}

bool Rename(const fs::path& from, const fs::path& to, bool replace, std::string& reason) {
  const bool ok = replace ? rename(from.c_str(), to.c_str()) == 0 : RenameNoReplace(from, to);
  if (!ok) {
    reason = Reason();
    return false;
  }
  SyncDirectory(to.parent_path());
  return true;
}

std::string LooseMode(const fs::path& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || (st.st_mode & 077) == 0) return "";
  char text[32];
  std::snprintf(text, sizeof text, "mode %04o", static_cast<unsigned>(st.st_mode & 07777));
  return text;
}

bool CaseInsensitiveFileNames() { return false; }

TemporaryLease::TemporaryLease(const fs::path& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {
  if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

TemporaryLease::~TemporaryLease() {
  if (fd_ >= 0) close(fd_);
}

namespace {

bool IsTemporaryName(const std::string& name) {
  if (name.size() != 16 || name.rfind(".dz-", 0) != 0 || name.compare(12, 4, ".tmp") != 0) return false;
  return name.find_first_not_of("0123456789abcdef", 4) == 12;
}

}  // namespace

void RemoveAbandonedTemporaries(const fs::path& dir) {
  // A live run takes its lease a moment after it creates the file: only a
  // file that has existed for a while is probed, so a probe never takes a
  // lock that a live run is about to take.
  const auto settled = fs::file_time_type::clock::now() - std::chrono::seconds(30);
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
    if (!IsTemporaryName(entry.path().filename().string())) continue;
    const auto written = fs::last_write_time(entry.path(), ec);
    if (ec || written > settled) continue;
    const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    // Lockable: its run is over (a live run holds the lease while it lives).
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) fs::remove_all(entry.path(), ec);
    close(fd);
  }
}

void RemoveOnInterrupt(const fs::path& path) {
  static const bool installed = [] {
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, OnInterrupt);
    return true;
  }();
  (void)installed;
  g_interrupt_path_set = 0;
  const std::string& text = path.native();
  if (text.empty() || text.size() >= sizeof g_interrupt_path) return;
  std::memcpy(g_interrupt_path, text.c_str(), text.size() + 1);
  g_interrupt_path_set = 1;
}

}  // namespace dztool::sys
