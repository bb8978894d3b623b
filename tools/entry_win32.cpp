// Windows entry point: the command line in UTF-16 (wmain), passed on in
// UTF-8; the ANSI command line would already have lost what code page 1251
// cannot hold.
#include <windows.h>

#include <cstdio>

#include "main.h"

namespace {

bool ToUtf8(const wchar_t* wide, std::string& out) {
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out.assign(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminating zero
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string arg;
    if (argv[i][0] != L'\0' && !ToUtf8(argv[i], arg)) {
      std::fprintf(stderr, "dizora: argument %d is not valid Unicode\n", i);
      return 2;
    }
    args.push_back(arg);
  }
  return dztool::Main(args);
}
