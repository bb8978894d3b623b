// keygen, key ..., medium init, regen start|finish.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tool.h"

namespace dztool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kRootVariable = "%ZRNRoot%";

// A setting path as the engine expands it: "%ZRNRoot%" (any case) stands for
// the medium, or the current directory when no medium is named.
std::string ExpandRoot(const GlobalOptions& options, const std::string& value) {
  const std::string var = kRootVariable;
  if (value.size() < var.size()) return value;
  for (size_t i = 0; i < var.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(value[i])) != std::tolower(static_cast<unsigned char>(var[i])))
      return value;
  std::string rest = value.substr(var.size());
  if (!rest.empty() && (rest[0] == '/' || rest[0] == '\\')) rest.erase(0, 1);
  const fs::path root = options.medium.empty() ? fs::current_path() : fs::absolute(options.medium);
  return (root / rest).lexically_normal().string();
}

std::string Text(const std::vector<char>& buffer) { return std::string(buffer.data()); }

std::vector<char> TransferBuffer(const Engine& e) {
  return std::vector<char>(static_cast<size_t>(GetMaxPublicKeyTransferSize(e.get())) + 1, 0);
}

std::vector<char> ReportBuffer(const Engine& e) {
  return std::vector<char>(static_cast<size_t>(GetMaxReportSize(e.get())) + 1, 0);
}

std::vector<char> UidBuffer(const Engine& e) {
  return std::vector<char>(static_cast<size_t>(GetMaxUIDLength(e.get())) + 1, 0);
}

// The UID of a transfer (its signature is checked on the way), in UTF-8.
std::string TransferUid(const Engine& e, const std::string& transfer) {
  std::vector<char> uid = UidBuffer(e);
  e.Check("GetUIDByPublicKeyTransfer", GetUIDByPublicKeyTransfer(e.get(), transfer.c_str(), uid.data()));
  return ToUtf8(Text(uid));
}

// The UID line of a report ("UID=..."), in UTF-8; "" when there is none.
std::string ReportUid(const std::string& report) {
  const std::string prefix = "UID=";
  if (report.compare(0, prefix.size(), prefix) != 0) return "";
  return ToUtf8(report.substr(prefix.size(), report.find_first_of("\r\n") - prefix.size()));
}

int KeyInclude(Engine& e, const Args& a) {
  const std::string& file = a.positional[1];
  std::vector<char> report = ReportBuffer(e);
  const bool known = GetPublicKeyPropertiesByFile(e.get(), file.c_str(), report.data()) == DZ_OK;
  e.Check("IncludePublicKey " + file, IncludePublicKey(e.get(), file.c_str()));
  std::printf("included the key of %s; %s was moved into the correspondents' directory\n",
              known ? ReportUid(Text(report)).c_str() : "?", file.c_str());
  return kExitOk;
}

int KeyExport(Engine& e, const Args& a) {
  std::vector<char> transfer = TransferBuffer(e);
  if (a.positional.size() > 1) {
    const std::string uid = ToCp1251(a.positional[1]);
    e.Check("GetPublicKeyTransfer", GetPublicKeyTransfer(e.get(), uid.c_str(), transfer.data()));
  } else {
    e.Check("ExcludeSelfPublicKeyTransfer", ExcludeSelfPublicKeyTransfer(e.get(), transfer.data()));
  }
  std::printf("%s\n", transfer.data());
  return kExitOk;
}

int KeyImport(Engine& e, const Args& a) {
  const std::string transfer = ReadTransferArg(a.positional[1]);
  const std::string uid = TransferUid(e, transfer);
  e.Check("IncludePublicKeyTransfer", IncludePublicKeyTransfer(e.get(), transfer.c_str()));
  std::printf("included the key of %s\n", uid.c_str());
  return kExitOk;
}

int KeySave(Engine& e, const Args& a) {
  const std::string& dir = a.positional[1];
  const std::string transfer = ReadTransferArg(a.positional[2]);
  const std::string uid = TransferUid(e, transfer);
  e.Check("SavePublicKeyFromTransfer", SavePublicKeyFromTransfer(e.get(), dir.c_str(), transfer.c_str()));
  std::printf("saved the key of %s in %s\n", uid.c_str(), dir.c_str());
  return kExitOk;
}

int KeyReport(Engine& e, const Args& a) {
  std::vector<char> report = ReportBuffer(e);
  if (a.Has("--file")) {
    e.Check("GetPublicKeyPropertiesByFile",
            GetPublicKeyPropertiesByFile(e.get(), a.Value("--file").c_str(), report.data()));
  } else if (a.Has("--transfer")) {
    const std::string transfer = ReadTransferArg(a.Value("--transfer"));
    e.Check("GetPublicKeyPropertiesByTransfer",
            GetPublicKeyPropertiesByTransfer(e.get(), transfer.c_str(), report.data()));
  } else {
    // Without a UID the engine reports the key pending in the regeneration directory.
    const std::string uid = a.positional.size() > 1 ? ToCp1251(a.positional[1]) : "";
    e.Check("GetReport", GetReport(e.get(), uid.empty() ? nullptr : uid.c_str(), report.data()));
  }
  std::fputs(ToTerminal(Text(report)).c_str(), stdout);
  return kExitOk;
}

}  // namespace

int CmdKeygen(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"--alg", "--uid", "--pub", "--sec"}, {"--self", "--force"}, 0, 0);
  Engine e;
  Configure(e, options);
  if (a.Has("--alg")) {
    const std::string alg = a.Value("--alg");
    if (alg != "2001" && alg != "1994") throw UsageError("--alg takes 2001 or 1994");
    e.SetSetting(kKeyGenAlgorithm, alg);
  }
  if (a.Has("--uid")) e.SetSetting(kKeyGenUid, ToCp1251(a.Value("--uid")));
  if (a.Has("--self") && (a.Has("--pub") || a.Has("--sec"))) throw UsageError("--self names the outputs itself");
  if (a.Has("--self")) {
    e.SetSetting(kKeyGenPublicPath, e.SettingValue(kPublicKeyPath));
    e.SetSetting(kKeyGenSecretPath, e.SettingValue(kSecretKeyPath));
  }
  if (a.Has("--pub")) e.SetSetting(kKeyGenPublicPath, a.Value("--pub"));
  if (a.Has("--sec")) e.SetSetting(kKeyGenSecretPath, a.Value("--sec"));
  const std::string pub = ExpandRoot(options, e.SettingValue(kKeyGenPublicPath));
  const std::string sec = ExpandRoot(options, e.SettingValue(kKeyGenSecretPath));
  // A secret key is never overwritten by accident.
  std::error_code ec;
  for (const std::string& path : {pub, sec})
    if (fs::exists(path, ec) && !a.Has("--force"))
      throw FileError(path + " already exists (use --force to replace it)");
  e.Check("GenerateNewSEK", GenerateNewSEK(e.get()));
  if (a.Has("--self"))
    e.Check("CreateDirStructure", CreateDirStructure(e.get(), e.SettingValue(kPublicKeyPath).c_str(), 0));
  std::printf("generated a GOST R 34.10-%s key pair for %s: %s, %s\n", e.SettingValue(kKeyGenAlgorithm).c_str(),
              ToUtf8(e.SettingValue(kKeyGenUid)).c_str(), pub.c_str(), sec.c_str());
  return kExitOk;
}

int CmdKey(const GlobalOptions& options, const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("key: missing subcommand");
  const std::string& sub = args[0];
  Args a;
  if (sub == "include" || sub == "remove" || sub == "refresh" || sub == "import" || sub == "uid")
    a = ParseArgs(args, {}, {}, 2, 2);
  else if (sub == "export")
    a = ParseArgs(args, {}, {}, 1, 2);
  else if (sub == "save")
    a = ParseArgs(args, {}, {}, 3, 3);
  else if (sub == "report")
    a = ParseArgs(args, {"--file", "--transfer"}, {}, 1, 2);
  else
    throw UsageError("key: unknown subcommand " + sub);
  if (sub == "report" && (a.Has("--file") + a.Has("--transfer") + (a.positional.size() > 1) > 1))
    throw UsageError("key report takes one of UID, --file and --transfer");

  Engine e;
  Configure(e, options);
  if (sub == "include") return KeyInclude(e, a);
  if (sub == "export") return KeyExport(e, a);
  if (sub == "import") return KeyImport(e, a);
  if (sub == "save") return KeySave(e, a);
  if (sub == "report") return KeyReport(e, a);
  if (sub == "uid") {
    std::printf("%s\n", TransferUid(e, ReadTransferArg(a.positional[1])).c_str());
    return kExitOk;
  }
  const std::string uid = ToCp1251(a.positional[1]);
  if (sub == "remove") {
    e.Check("RemoveCertificate", RemoveCertificate(e.get(), uid.c_str()));
    std::printf("removed the key of %s\n", a.positional[1].c_str());
  } else {
    e.Check("UpdateCertificateCash", UpdateCertificateCash(e.get(), uid.c_str()));
    std::printf("refreshed the key of %s\n", a.positional[1].c_str());
  }
  return kExitOk;
}

int CmdMedium(const GlobalOptions& options, const std::vector<std::string>& args) {
  if (args.empty() || args[0] != "init") throw UsageError("medium: the subcommand is init PUBFILE");
  const Args a = ParseArgs(args, {}, {}, 2, 2);
  Engine e;
  Configure(e, options);
  const std::string& pub = a.positional[1];
  e.Check("CreateDirStructure " + pub, CreateDirStructure(e.get(), pub.c_str(), 0));
  std::printf("key medium ready: %s, %s, %s\n", ExpandRoot(options, e.SettingValue(kPublicKeyPath)).c_str(),
              ExpandRoot(options, e.SettingValue(kAbonentsDir)).c_str(),
              ExpandRoot(options, e.SettingValue(kCaDir)).c_str());
  return kExitOk;
}

int CmdRegen(const GlobalOptions& options, const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("regen: missing subcommand (start or finish)");
  const std::string& sub = args[0];
  const std::string dir = RegenDir(options);
  if (sub == "start") {
    const Args a = ParseArgs(args, {"--uid"}, {}, 1, 1);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw FileError("cannot create " + dir + ": " + ec.message());
    Engine e;
    Configure(e, options);
    const std::string uid = ToCp1251(a.Value("--uid"));
    std::vector<char> transfer = TransferBuffer(e);
    int32_t state = DZ_REGEN_ACT;
    e.Check("RemoteGenerateStartEx",
            RemoteGenerateStartEx(e.get(), uid.empty() ? nullptr : uid.c_str(), transfer.data(), &state));
    if (state == DZ_REGEN_NO_KEY_PAIR) throw FileError("no key pair on this medium: nothing to regenerate");
    std::vector<char> report = ReportBuffer(e);
    const bool reported = GetReport(e.get(), nullptr, report.data()) == DZ_OK;
    std::fprintf(stderr, "new key pair of %s pending in %s; send this transfer to the bank:\n",
                 reported ? ReportUid(Text(report)).c_str() : "?", dir.c_str());
    std::printf("%s\n", transfer.data());
    return kExitOk;
  }
  if (sub == "finish") {
    const Args a = ParseArgs(args, {}, {}, 2, 2);
    Engine e;
    Configure(e, options);
    const std::string transfer = ReadTransferArg(a.positional[1]);
    int32_t state = DZ_REGEN_ACT;
    e.Check("RemoteGenerateFinishEx", RemoteGenerateFinishEx(e.get(), transfer.c_str(), &state));
    if (state == DZ_REGEN_NO_KEY_PAIR) throw FileError("no key pair on this medium: nothing to regenerate");
    std::vector<char> uid = UidBuffer(e);
    e.Check("GetCurrentUserUID", GetCurrentUserUID(e.get(), uid.data()));
    std::printf("new key pair installed: %s\n", ToUtf8(Text(uid)).c_str());
    return kExitOk;
  }
  throw UsageError("regen: unknown subcommand " + sub);
}

}  // namespace dztool
