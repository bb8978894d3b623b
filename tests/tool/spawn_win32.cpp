// Windows child processes: CreateProcessW with a UTF-16 command line and
// three pipes, standard input and error served by threads of their own.
#include <windows.h>

#include <thread>

#include "spawn.h"

namespace tool_test {

namespace {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

struct Handle {
  HANDLE h = nullptr;
  ~Handle() { Close(); }
  void Close() {
    if (h != nullptr) CloseHandle(h);
    h = nullptr;
  }
};

void MakePipe(Handle& read, Handle& write, bool child_reads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  CreatePipe(&read.h, &write.h, &sa, 0);
  SetHandleInformation(child_reads ? write.h : read.h, HANDLE_FLAG_INHERIT, 0);
}

void ReadAll(HANDLE from, std::string& into) {
  char chunk[65536];
  DWORD n = 0;
  while (ReadFile(from, chunk, sizeof chunk, &n, nullptr) && n > 0) into.append(chunk, n);
}

}  // namespace

Result Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::filesystem::path& cwd, const std::string& input, const Environment&) {
  Handle in_read, in_write, out_read, out_write, err_read, err_write;
  MakePipe(in_read, in_write, true);
  MakePipe(out_read, out_write, false);
  MakePipe(err_read, err_write, false);
  std::wstring command_line = Quote(program.wstring());
  for (const std::string& a : args) command_line += L" " + Quote(Widen(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in_read.h;
  si.hStdOutput = out_write.h;
  si.hStdError = err_write.h;
  PROCESS_INFORMATION pi{};
  Result r;
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      cwd.c_str(), &si, &pi))
    return r;
  in_read.Close();
  out_write.Close();
  err_write.Close();
  std::thread writer([&] {
    DWORD n = 0;
    for (size_t at = 0; at < input.size(); at += n)
      if (!WriteFile(in_write.h, input.data() + at, static_cast<DWORD>(input.size() - at), &n, nullptr)) break;
    in_write.Close();
  });
  std::thread errors([&] { ReadAll(err_read.h, r.err); });
  ReadAll(out_read.h, r.out);
  writer.join();
  errors.join();
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  r.rc = static_cast<int>(code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return r;
}

std::filesystem::path SelfDirectory() {
  wchar_t path[MAX_PATH * 4];
  GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
  return std::filesystem::path(path).parent_path();
}

}  // namespace tool_test
