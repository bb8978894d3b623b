// POSIX child processes: fork, exec, and poll over the three pipes.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

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

[[noreturn]] void RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                           const std::filesystem::path& cwd, const Environment& env, int in, int out, int err) {
  if (chdir(cwd.c_str()) != 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

Result Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::filesystem::path& cwd, const std::string& input, const Environment& env) {
  std::signal(SIGPIPE, SIG_IGN);
  Pipe in, out, err;
  const pid_t pid = fork();
  if (pid == 0) RunChild(program, args, cwd, env, in.fd[0], out.fd[1], err.fd[1]);
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
