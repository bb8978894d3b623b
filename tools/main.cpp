// dizora: the command-line host of the Dizora-V engine.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tool.h"

namespace {

constexpr const char* kVersion = "0.1.0";

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: dizora [GLOBAL OPTIONS] COMMAND [ARGS]\n"
      "\n"
      "global options:\n"
      "  --medium DIR            key medium: DIR holds self.pub, self.sec, ABONENTS/, CA/\n"
      "  --set \"NAME=VALUE\"      set an engine setting by name (repeatable; see `settings`)\n"
      "  --regen-dir DIR         regeneration directory (default: REGEN in the medium)\n"
      "  --help, --version\n"
      "\n"
      "commands:\n"
      "  settings                              the 13 settings: values, kinds, info\n"
      "  keygen [--alg 2001|1994] [--uid UID] [--pub F --sec F | --self] [--force]\n"
      "  whoami                                UID of the medium's key pair\n"
      "  sign FILE [-o SIG]                    detached signature (default FILE.sig)\n"
      "  verify FILE SIG                       check it, print the signer\n"
      "  attach FILE [-o OUT]                  data + signature + trailer (default FILE.signed)\n"
      "  detach FILE [-o OUT]                  check, print the signer, write the data back\n"
      "  encrypt FILE [--to \"UID1;UID2\"] [-o OUT]   (default FILE.enc)\n"
      "  decrypt FILE [-o OUT]                 (default FILE without .enc)\n"
      "  hash FILE [--form raw|base64|hex]     GOST R 34.11-94 (default hex)\n"
      "  key include FILE.pub | remove UID | refresh UID | export [UID]\n"
      "  key import T | save DIR T | uid T | report [UID | --file F | --transfer T]\n"
      "                                        T: transfer text, a file holding it, or - (stdin)\n"
      "  medium init PUBFILE                   copy PUBFILE to the medium, create ABONENTS/ and CA/\n"
      "  regen start [--uid UID]               begin regeneration; prints the transfer for the bank\n"
      "  regen finish T                        install the new key pair from the bank's answer\n"
      "  error CODE                            the message of a result code\n"
      "  demo [--dir DIR] [--alg 2001|1994]    a complete client-bank exchange\n"
      "\n"
      "exit status: 0 success, 1 failure (engine code and message printed), 2 usage error\n"
      "(output - writes to standard output for sign, attach, detach, encrypt, decrypt)\n",
      out);
}

// Global options come first; returns the index of the command word.
size_t ParseGlobal(const std::vector<std::string>& args, dztool::GlobalOptions& options) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a != "--medium" && a != "--set" && a != "--regen-dir") break;
    if (i + 1 == args.size()) throw dztool::UsageError("option " + a + " needs a value");
    const std::string& value = args[++i];
    if (a == "--medium") {
      options.medium = value;
    } else if (a == "--regen-dir") {
      options.regen_dir = value;
    } else {
      const size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) throw dztool::UsageError("--set takes \"NAME=VALUE\"");
      options.sets.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    }
  }
  return i;
}

int Dispatch(const std::string& command, const dztool::GlobalOptions& o, const std::vector<std::string>& rest) {
  using namespace dztool;
  if (command == "settings") {
    ParseArgs(rest, {}, {}, 0, 0);
    return CmdSettings(o);
  }
  if (command == "error") return CmdError(o, rest);
  if (command == "whoami") return CmdWhoami(o, rest);
  if (command == "keygen") return CmdKeygen(o, rest);
  if (command == "sign") return CmdSign(o, rest);
  if (command == "verify") return CmdVerify(o, rest);
  if (command == "attach") return CmdAttach(o, rest);
  if (command == "detach") return CmdDetach(o, rest);
  if (command == "encrypt") return CmdEncrypt(o, rest);
  if (command == "decrypt") return CmdDecrypt(o, rest);
  if (command == "hash") return CmdHash(o, rest);
  if (command == "key") return CmdKey(o, rest);
  if (command == "medium") return CmdMedium(o, rest);
  if (command == "regen") return CmdRegen(o, rest);
  if (command == "demo") {
    if (!o.medium.empty() || !o.sets.empty() || !o.regen_dir.empty())
      throw UsageError("demo makes its own media; it takes no global options");
    return CmdDemo(rest);
  }
  throw UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    PrintUsage(stdout);
    return dztool::kExitOk;
  }
  if (!args.empty() && args[0] == "--version") {
    std::printf("dizora %s\n", kVersion);
    return dztool::kExitOk;
  }
  try {
    dztool::GlobalOptions options;
    const size_t at = ParseGlobal(args, options);
    if (at == args.size()) throw dztool::UsageError("missing command");
    return Dispatch(args[at], options, std::vector<std::string>(args.begin() + static_cast<long>(at) + 1, args.end()));
  } catch (const dztool::UsageError& e) {
    std::fprintf(stderr, "dizora: %s\n(see: dizora --help)\n", e.what());
    return dztool::kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dizora: %s\n", e.what());
    return dztool::kExitFailure;
  }
}
