// keygen and key list|include|remove|refresh|export|import|save|uid|report.
#include <cctype>

#include "diagnose.h"
#include "errors.h"
#include "files.h"
#include "handlers.h"
#include "keys.h"
#include "print.h"
#include "sys.h"
#include "text.h"
#include "transfer.h"

namespace dztool {

namespace {

namespace fs = std::filesystem;

std::vector<char> Buffer(int32_t size) { return std::vector<char>(static_cast<size_t>(size) + 1, 0); }

// A UID typed by the user, in Windows-1251.
std::string UidText(const std::string& uid) {
  const std::string text = ToCp1251(uid, "UID " + Quoted(uid));
  if (text.empty() || text.size() > kMaxUidSize) throw UsageError("UID " + Quoted(uid) + ": 1 to 254 characters");
  return text;
}

std::string UidArgument(const Invocation& call, size_t index) { return UidText(call.Operand(index)); }

std::string Relative(const Medium& medium, const fs::path& path) {
  const fs::path relative = path.lexically_relative(medium.root);
  return PathText(relative.empty() || *relative.begin() == ".." ? path : relative);
}

// Why storing a correspondent's key file (-19) may have failed.
std::string StoreFailure(const Medium& medium, const std::string& uid) {
  std::string text = ": cannot write it into " + Quoted(PathText(medium.correspondents));
  const size_t name = uid.size() + 4;  // the file is named after the UID, plus ".pub"
  if (name > 200)
    text += " (its file name, the UID and \".pub\", has " + std::to_string(name) +
            " bytes: likely too long for the file system)";
  return text;
}

std::string KeySummary(const Session& s, const KeyRecord& record) {
  return AlgorithmName(record.algorithm) + ", fingerprint " + Fingerprint(s.engine, record);
}

// Keygen's outputs: two different files, outside the key directories, and
// not the working pair or the previous one unless --self asks for the pair.
void CheckGenerationTargets(const Medium& medium, bool self) {
  if (SameFile(medium.generated_public, medium.generated_secret))
    throw UsageError("the public and the secret key would go to the same file " +
                     Quoted(PathText(medium.generated_public)));
  Medium others = medium;
  others.generated_public.clear();
  others.generated_secret.clear();
  if (self) others.public_key.clear(), others.secret_key.clear();
  for (const fs::path& target : {medium.generated_public, medium.generated_secret}) CheckNotKeyFile(others, target);
}

// "UID=...", "PKeyAlg=...", "SPKey=" and "EPKey=" with their dumps. The UID
// runs up to the algorithm line, so line breaks in it cannot fake a line.
struct Report {
  std::string uid, algorithm, signature_key, exchange_key;
};

std::string HexDigits(const std::string& text) {
  std::string hex;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  return hex;
}

Report ParseReport(const std::string& text) {
  Report r;
  const size_t alg = text.rfind("\r\nPKeyAlg=");
  const size_t spkey = text.find("SPKey=", alg == std::string::npos ? text.size() : alg);
  const size_t epkey = text.find("EPKey=", spkey == std::string::npos ? text.size() : spkey);
  if (text.rfind("UID=", 0) != 0 || epkey == std::string::npos) return r;
  r.uid = text.substr(4, alg - 4);
  r.algorithm = text.substr(alg + 10, text.find("\r\n", alg + 10) - (alg + 10));
  r.signature_key = HexDigits(text.substr(spkey + 6, epkey - spkey - 6));
  r.exchange_key = HexDigits(text.substr(epkey + 6));
  return r;
}

}  // namespace

int RunKeygen(const Invocation& call) {
  const bool self = call.Has("--self");
  if (self && (call.Has("--pub") || call.Has("--sec"))) throw UsageError("--self names the outputs itself");
  const std::string alg = call.Value("--alg");
  if (call.Has("--alg") && alg != "2001" && alg != "1994") throw UsageError("--alg takes 2001 or 1994");
  Session s(call.global);
  Engine& e = s.engine;
  if (call.Has("--alg")) e.SetSetting(kKeyGenAlgorithm, alg);
  if (call.Has("--uid")) e.SetSetting(kKeyGenUid, UidText(call.Value("--uid")));
  if (self) {
    e.SetSetting(kKeyGenPublicPath, e.SettingValue(kPublicKeyPath));
    e.SetSetting(kKeyGenSecretPath, e.SettingValue(kSecretKeyPath));
  }
  if (call.Has("--pub")) e.SetSetting(kKeyGenPublicPath, EnginePath(PathOf(call.Value("--pub"))));
  if (call.Has("--sec")) e.SetSetting(kKeyGenSecretPath, EnginePath(PathOf(call.Value("--sec"))));
  s.RefreshMedium();
  const fs::path& pub = s.medium.generated_public;
  const fs::path& sec = s.medium.generated_secret;
  CheckGenerationTargets(s.medium, self);
  std::error_code ec;
  for (const fs::path& path : {pub, sec})
    if (fs::exists(fs::symlink_status(path, ec)) && !call.Has("--force"))
      throw Failure(kExitFile, Quoted(PathText(path)) + " already exists (give --force to replace it)");
  const int32_t r = GenerateNewSEK(e.get());
  if (r != DZ_OK)
    EngineFailure(s, "generating a key pair into " + Quoted(PathText(pub)) + " and " + Quoted(PathText(sec)), r);
  KeepPrivate(sec);
  if (self) {
    const int32_t made = CreateDirStructure(e.get(), e.SettingValue(kPublicKeyPath).c_str(), 0);
    if (made != DZ_OK) EngineFailure(s, "creating ABONENTS/ and CA/ in " + Quoted(PathText(s.medium.root)), made);
  }
  Print("generated a GOST R 34.10-" + e.SettingValue(kKeyGenAlgorithm) + " key pair for " +
        Printable(ToUtf8(e.SettingValue(kKeyGenUid))) + ": " + Printable(PathText(pub)) + ", " +
        Printable(PathText(sec)));
  return kExitOk;
}

int RunKeyList(const Invocation& call) {
  Session s(call.global);
  std::string problem;
  const std::vector<KeyFile> files = ScanKeyDirectory(s.medium.correspondents, problem);
  if (!problem.empty()) throw Failure(kExitFile, problem);
  std::vector<JsonObject> keys, damaged;
  for (const KeyFile& f : files) {
    const std::string file = Relative(s.medium, f.path);
    if (!f.problem.empty()) {
      damaged.push_back(JsonObject().Str("file", file).Str("reason", f.problem));
      if (!call.Json()) Print("damaged  " + Printable(file) + ": " + f.problem);
      continue;
    }
    const std::string uid = ToUtf8(f.record.uid);
    const std::string fingerprint = Fingerprint(s.engine, f.record);
    const std::string algorithm = AlgorithmName(f.record.algorithm);
    keys.push_back(
        JsonObject().Str("uid", uid).Str("algorithm", algorithm).Str("fingerprint", fingerprint).Str("file", file));
    if (!call.Json()) Print(fingerprint + "  " + algorithm + "  " + Printable(uid) + "  " + Printable(file));
  }
  if (call.Json())
    PrintJson(JsonObject().Str("directory", PathText(s.medium.correspondents)).Arr("keys", keys).Arr("damaged", damaged));
  return kExitOk;
}

int RunKeyInclude(const Invocation& call) {
  const std::string file = call.Operand(0);
  Session s(call.global);
  std::vector<uint8_t> bytes;
  const KeyRecord record = RequireKeyFile(file, bytes);
  // The engine deletes the file it included: it gets a copy, the file stays.
  const ScratchFile copy(s.medium.root, bytes);
  const int32_t r = IncludePublicKey(s.engine.get(), EnginePath(copy.path()).c_str());
  if (r != DZ_OK) {
    std::string what = "including the key of " + Quoted(ToUtf8(record.uid)) + " from " + Quoted(file);
    if (r == DZ_E_PUBLIC_KEY) what += "; " + WhyNoPublicKey(s, {});
    if (r == DZ_E_PUBLIC_KEY_FILE) what += StoreFailure(s.medium, record.uid);
    EngineFailure(s, what, r);
  }
  Print("included the key of " + Printable(ToUtf8(record.uid)) + " (" + KeySummary(s, record) + ") from " +
        Printable(file));
  return kExitOk;
}

namespace {

// key remove and key refresh: one engine call on a correspondent's UID.
int OnCorrespondent(const Invocation& call, int32_t(DIZORA_API* operation)(DizoraEngine, const char*), const char* doing,
                    const char* done) {
  const std::string uid = UidArgument(call, 0);
  Session s(call.global);
  const int32_t r = operation(s.engine.get(), uid.c_str());
  if (r == DZ_E_PUBLIC_KEY) EngineFailure(s, WhyNoPublicKey(s, {uid}), r);
  if (r != DZ_OK) EngineFailure(s, std::string(doing) + " the key of " + Quoted(ToUtf8(uid)), r);
  Print(std::string(done) + " the key of " + Printable(call.Operand(0)));
  return kExitOk;
}

}  // namespace

int RunKeyRemove(const Invocation& call) { return OnCorrespondent(call, RemoveCertificate, "removing", "removed"); }

int RunKeyRefresh(const Invocation& call) {
  return OnCorrespondent(call, UpdateCertificateCash, "re-reading", "refreshed");
}

int RunKeyExport(const Invocation& call) {
  const std::string uid = call.operands.empty() ? "" : UidArgument(call, 0);
  Session s(call.global);
  std::vector<char> transfer = Buffer(GetMaxPublicKeyTransferSize(s.engine.get()));
  const int32_t r = uid.empty() ? ExcludeSelfPublicKeyTransfer(s.engine.get(), transfer.data())
                                : GetPublicKeyTransfer(s.engine.get(), uid.c_str(), transfer.data());
  if (r == DZ_E_PUBLIC_KEY) EngineFailure(s, WhyNoPublicKey(s, uid.empty() ? std::vector<std::string>{} : std::vector{uid}), r);
  if (r != DZ_OK) EngineFailure(s, "making the transfer", r);
  Print(transfer.data());
  return kExitOk;
}

int RunKeyImport(const Invocation& call) {
  const std::optional<std::string> from = RequiredUid(call, "--from");
  Session s(call.global);
  const SignedTransfer t = OpenTransfer(s, call.Operand(0));
  RequireSigner(from, t.text.source, t.signer);
  const int32_t r = IncludePublicKeyTransfer(s.engine.get(), t.text.text.c_str());
  if (r != DZ_OK)
    EngineFailure(s, "including the key of " + Quoted(ToUtf8(t.transfer.key_uid)) + " from " + t.text.source +
                         (r == DZ_E_PUBLIC_KEY_FILE ? StoreFailure(s.medium, t.transfer.key_uid) : ""),
                  r);
  Print("included the key of " + Printable(ToUtf8(t.transfer.key_uid)) + ", signed by " + Printable(ToUtf8(t.signer)));
  return kExitOk;
}

int RunKeySave(const Invocation& call) {
  const fs::path dir = fs::absolute(PathOf(call.Operand(0)));
  Session s(call.global);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw Failure(kExitFile, Quoted(call.Operand(0)) + ": no such directory");
  CheckNotKeyFile(s.medium, dir / "tran.pub");
  const SignedTransfer t = OpenTransfer(s, call.Operand(1));
  // The engine writes under the name the transfer carries and replaces what
  // is there: it writes into a directory of its own, the tool moves the file.
  const ScratchDir scratch(dir);
  const int32_t r = SavePublicKeyFromTransfer(s.engine.get(), EnginePath(scratch.path()).c_str(), t.text.text.c_str());
  if (r != DZ_OK) EngineFailure(s, "saving the key of " + Quoted(ToUtf8(t.transfer.key_uid)), r);
  fs::directory_iterator written(scratch.path(), ec);
  if (ec || written == fs::directory_iterator()) throw Failure(kExitFile, "the engine wrote no key file");
  const fs::path target = dir / written->path().filename();
  CheckNotKeyFile(s.medium, target);
  const bool force = call.Has("--force");
  if (fs::exists(fs::symlink_status(target, ec)) && !force)
    throw Failure(kExitFile, Quoted(PathText(target)) + " already exists (give --force to replace it)");
  std::string reason;
  if (!sys::Rename(written->path(), target, force, reason))
    throw Failure(kExitFile, "cannot write " + Quoted(PathText(target)) + ": " + reason);
  Print("saved the key of " + Printable(ToUtf8(t.transfer.key_uid)) + ", signed by " + Printable(ToUtf8(t.signer)) +
        ", in " + Printable(PathText(target)));
  return kExitOk;
}

int RunKeyUid(const Invocation& call) {
  Session s(call.global);
  Print(Printable(ToUtf8(OpenTransfer(s, call.Operand(0)).transfer.key_uid)));
  return kExitOk;
}

int RunKeyReport(const Invocation& call) {
  if (call.Has("--file") + call.Has("--transfer") + !call.operands.empty() > 1)
    throw UsageError("give one of UID, --file and --transfer");
  const std::string uid = call.operands.empty() ? "" : UidArgument(call, 0);
  Session s(call.global);
  std::vector<char> report = Buffer(GetMaxReportSize(s.engine.get()));
  int32_t r = DZ_OK;
  std::string subject;
  if (call.Has("--file")) {
    subject = Quoted(call.Value("--file"));
    r = GetPublicKeyPropertiesByFile(s.engine.get(), EnginePath(PathOf(call.Value("--file"))).c_str(), report.data());
    if (r != DZ_OK) {
      const KeyFile file = ReadKeyFile(PathOf(call.Value("--file")));
      if (!file.problem.empty()) subject += ": " + file.problem;
    }
  } else if (call.Has("--transfer")) {
    const SignedTransfer t = OpenTransfer(s, call.Value("--transfer"));
    subject = t.text.source;
    r = GetPublicKeyPropertiesByTransfer(s.engine.get(), t.text.text.c_str(), report.data());
  } else if (!uid.empty()) {
    r = GetReport(s.engine.get(), uid.c_str(), report.data());
    if (r == DZ_E_PUBLIC_KEY) subject = WhyNoPublicKey(s, {uid});
  } else {
    // Without a UID the engine reports the key pending in the regeneration directory.
    subject = "no regeneration pending in " + Quoted(PathText(s.medium.regen));
    r = GetReport(s.engine.get(), nullptr, report.data());
  }
  if (r != DZ_OK) EngineFailure(s, subject.empty() ? "the report" : subject, r);
  const Report parsed = ParseReport(report.data());
  if (call.Json()) {
    PrintJson(JsonObject()
                  .Str("uid", ToUtf8(parsed.uid))
                  .Str("algorithm", ToUtf8(parsed.algorithm))
                  .Str("signature_key", parsed.signature_key)
                  .Str("exchange_key", parsed.exchange_key));
    return kExitOk;
  }
  const std::string text = report.data();
  const size_t rest = text.rfind("\r\nPKeyAlg=");
  std::string out = "UID=" + Printable(ToUtf8(parsed.uid)) + "\n";
  for (size_t at = rest + 2; rest != std::string::npos && at < text.size();) {
    const size_t end = std::min(text.find("\r\n", at), text.size());
    out += Printable(ToUtf8(text.substr(at, end - at))) + (end < text.size() ? "\n" : "");
    at = end + 2;
  }
  Write(out);
  return kExitOk;
}

}  // namespace dztool
