// POSIX child processes: fork, exec, and poll over the three pipes.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "spawn.h"

namespace tool_test {

namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) std::abort();
  }
  ~Pipe() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  int Take(int end) {
    const int f = fd[end];
    fd[end] = -1;
    return f;
  }
};

// The program's argument and environment vectors, made before the fork: the
// child of a process with other threads (the multi-process test spawns from
// several) may call only async-signal-safe functions until exec, and an
// allocation there can wait forever on a lock another thread held.
struct ExecImage {
  std::vector<std::string> strings;
  std::vector<char*> argv;
  std::vector<char*> envp;

  ExecImage(const std::filesystem::path& program, const std::vector<std::string>& args, const Environment& env) {
    strings.push_back(program.string());
    strings.insert(strings.end(), args.begin(), args.end());
    const size_t argc = strings.size();
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      const std::string name = entry.substr(0, entry.find('='));
      bool replaced = false;
      for (const auto& added : env) replaced = replaced || added.first == name;
      if (!replaced) strings.push_back(entry);
    }
    for (const auto& [name, value] : env) strings.push_back(name + "=" + value);
    for (size_t i = 0; i < strings.size(); ++i) (i < argc ? argv : envp).push_back(strings[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
  }
};

[[noreturn]] void RunChild(const ExecImage& image, const std::filesystem::path& cwd, int in, int out, int err) {
  if (chdir(cwd.c_str()) != 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  execve(image.argv[0], image.argv.data(), image.envp.data());
  _exit(127);
}

}  // namespace

Result Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::filesystem::path& cwd, const std::string& input, const Environment& env) {
  std::signal(SIGPIPE, SIG_IGN);
  const ExecImage image(program, args, env);
  Pipe in, out, err;
  const pid_t pid = fork();
  if (pid == 0) RunChild(image, cwd, in.fd[0], out.fd[1], err.fd[1]);
  close(in.Take(0));
  close(out.Take(1));
  close(err.Take(1));
  Result r;
  int to_child = in.Take(1);
  fcntl(to_child, F_SETFL, O_NONBLOCK);
  size_t written = 0;
  if (input.empty()) close(to_child), to_child = -1;
  pollfd fds[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {to_child, POLLOUT, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 3, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[65536];
      const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) sinks[i]->append(chunk, static_cast<size_t>(n));
      else fds[i].fd = -1;
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t n = write(to_child, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == input.size()) close(to_child), fds[2].fd = to_child = -1;
    }
  }
  if (to_child >= 0) close(to_child);
  int status = 0;
  waitpid(pid, &status, 0);
  r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

std::filesystem::path SelfDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

}  // namespace tool_test
