// sign, verify, attach, detach, encrypt, decrypt, hash.
#include <optional>

#include "diagnose.h"
#include "errors.h"
#include "files.h"
#include "handlers.h"
#include "print.h"
#include "text.h"
#include "transfer.h"

namespace dztool {

namespace {

// A detached signature is at most GetMaxSignatureLength bytes; standard input
// is not read beyond this.
constexpr size_t kSignatureFileLimit = 64 * 1024;

InputData ReadData(const std::string& arg, int32_t extra, bool secret) {
  return InputData::Read(arg, static_cast<size_t>(extra > 0 ? extra : 0), EngineLimit(extra), secret);
}

void RequireData(const InputData& input, const std::string& why) {
  if (input.size() == 0) throw Failure(kExitFile, input.name() + " is empty: " + why);
}

int32_t Size32(size_t size) { return static_cast<int32_t>(size); }

std::string Shown(const std::string& file) { return file == "-" ? "standard input" : Printable(file); }
std::string ShownOutput(const std::string& file) { return file == "-" ? "standard output" : Printable(file); }

std::string DefaultOutput(const std::string& file, const std::string& added) {
  return file == "-" ? "-" : file + added;
}

std::string WithoutSuffix(const std::string& file, const std::string& suffix, const std::string& other) {
  if (file == "-") return "-";
  if (file.size() > suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
    return file.substr(0, file.size() - suffix.size());
  return file + other;
}

OutputRules Rules(const Invocation& call, bool secret) { return {call.Has("--force"), secret, call.operands}; }

std::vector<char> UidBuffer(const Session& s) {
  return std::vector<char>(static_cast<size_t>(GetMaxUIDLength(s.engine.get())) + 1, 0);
}

[[noreturn]] void VerificationFailed(const Session& s, const std::string& subject, int32_t code,
                                     const std::string& signer, const JsonObject& details) {
  const std::string by = signer.empty() ? "" : " by " + Quoted(ToUtf8(signer));
  std::string what = subject + ": verification" + by + " failed";
  if (code >= DZ_LIB_BAD_SIGNATURE && code <= DZ_LIB_SIGNATURE_S_RANGE)
    what = subject + ": the signature" + by + " does not verify (the data or the signature was altered)";
  else if (code == DZ_E_SIGNATURE_FORMAT || code == DZ_E_BAD_ARGUMENT)
    what = subject + ": no valid signature block";
  else if (code == DZ_E_PUBLIC_KEY && !signer.empty())
    what = subject + ": signed" + by + "; " + WhyNoPublicKey(s, {signer});
  EngineFailure(s, what, code, details, code == DZ_E_BAD_ARGUMENT ? kExitRefused : -1);
}

std::vector<std::string> SplitRecipients(const std::string& list) {
  std::vector<std::string> uids;
  size_t at = 0;
  for (;;) {
    const size_t end = list.find(';', at);
    uids.push_back(list.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) return uids;
    at = end + 1;
  }
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

int RunSign(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string out = call.Value("-o", DefaultOutput(file, ".sig"));
  Session s(call.global);
  CheckOutput(s.medium, out, Rules(call, false));
  const InputData data = ReadData(file, 0, false);
  RequireData(data, "there is nothing to sign");
  std::vector<uint8_t> signature(static_cast<size_t>(GetMaxSignatureLength(s.engine.get())), 0);
  int32_t size = 0;
  const int32_t r = SignData(s.engine.get(), data.data(), Size32(data.size()), signature.data(), &size, 0);
  if (r != DZ_OK) EngineFailure(s, "signing " + data.name(), r);
  WriteOutput(s.medium, out, signature.data(), static_cast<size_t>(size), Rules(call, false));
  const std::string signer = BlockSigner(signature.data(), static_cast<size_t>(size));
  Status(out, "signed " + Shown(file) + " as " + Printable(ToUtf8(signer)) + ": " + ShownOutput(out));
  return kExitOk;
}

int RunVerify(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string signature_file = call.Operand(1);
  if (file == "-" && signature_file == "-") throw UsageError("only one of FILE and SIG can be standard input");
  const std::optional<std::string> required = RequiredUid(call, "--signer");
  Session s(call.global);
  const InputData data = ReadData(file, 0, false);
  RequireData(data, "there is nothing signed");
  const auto max_size = static_cast<size_t>(GetMaxSignatureLength(s.engine.get()));
  const auto refuse = [&](uintmax_t size) {
    return Failure(kExitRefused, Quoted(signature_file) + " is no detached signature (" + std::to_string(size) +
                                     " bytes; one has at most " + std::to_string(max_size) + ")");
  };
  std::error_code ec;
  const uintmax_t file_size = signature_file == "-" ? 0 : std::filesystem::file_size(PathOf(signature_file), ec);
  if (!ec && file_size > max_size) throw refuse(file_size);
  const InputData signature = InputData::Read(signature_file, 0, kSignatureFileLimit, false);
  if (signature.size() == 0 || signature.size() > max_size) throw refuse(signature.size());
  JsonObject details;
  details.Str("file", file).Str("signature", signature_file);
  std::vector<char> uid = UidBuffer(s);
  const int32_t r = VerifyData(s.engine.get(), data.data(), Size32(data.size()), signature.data(),
                               Size32(signature.size()), uid.data());
  const std::string signer = uid.data();
  details.Str("signer", ToUtf8(signer)).Bool("valid", r == DZ_OK);
  if (r != DZ_OK) VerificationFailed(s, data.name(), r, signer, details);
  RequireSigner(required, data.name(), signer, details);
  if (call.Json()) PrintJson(details);
  else Print("good signature of " + Shown(file) + " by " + Printable(ToUtf8(signer)));
  return kExitOk;
}

int RunAttach(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string out = call.Value("-o", DefaultOutput(file, ".signed"));
  Session s(call.global);
  CheckOutput(s.medium, out, Rules(call, false));
  const int32_t extra = GetMaxSignAddition(s.engine.get());
  InputData data = ReadData(file, extra, false);
  RequireData(data, "there is nothing to sign");
  int32_t size = Size32(data.size());
  const int32_t r = AddSign(s.engine.get(), data.data(), &size, 0);
  if (r != DZ_OK) EngineFailure(s, "signing " + data.name(), r);
  WriteOutput(s.medium, out, data.data(), static_cast<size_t>(size), Rules(call, false));
  Status(out, "signed data of " + Shown(file) + ": " + ShownOutput(out));
  return kExitOk;
}

int RunDetach(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string out = call.Value("-o", WithoutSuffix(file, ".signed", ".data"));
  if (call.Json() && out == "-") throw UsageError("--json needs -o OUT: standard output would carry the data");
  const std::optional<std::string> required = RequiredUid(call, "--signer");
  Session s(call.global);
  CheckOutput(s.medium, out, Rules(call, false));
  InputData data = ReadData(file, 0, false);
  if (data.size() == 0) throw Failure(kExitRefused, data.name() + " is empty: no signed data");
  JsonObject details;
  details.Str("file", file).Str("output", out);
  int32_t size = Size32(data.size());
  std::vector<char> uid = UidBuffer(s);
  const int32_t r = RemoveSign(s.engine.get(), data.data(), &size, uid.data());
  const std::string signer = uid.data();
  details.Str("signer", ToUtf8(signer)).Bool("valid", r == DZ_OK);
  if (r != DZ_OK) VerificationFailed(s, data.name(), r, signer, details);
  RequireSigner(required, data.name(), signer, details);
  WriteOutput(s.medium, out, data.data(), static_cast<size_t>(size), Rules(call, false));
  if (call.Json()) PrintJson(details);
  else Status(out, "good signature of " + Shown(file) + " by " + Printable(ToUtf8(signer)) + "; data: " +
                       ShownOutput(out));
  return kExitOk;
}

int RunEncrypt(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string out = call.Value("-o", DefaultOutput(file, ".enc"));
  const bool given = call.Has("--to");
  std::string to = given ? ToCp1251(call.Value("--to"), "--to " + Quoted(call.Value("--to"))) : "";
  if (given && Trimmed(to).empty()) throw UsageError("--to names no recipient");
  Session s(call.global);
  if (!given) to = Trimmed(s.engine.SettingValue(kEncryptForUid));
  CheckOutput(s.medium, out, Rules(call, false));
  const char* recipients = given ? to.c_str() : nullptr;
  const int32_t extra = GetMaxAdditionEx(s.engine.get(), recipients);
  if (extra < 0) EngineFailure(s, "encrypting for " + Quoted(ToUtf8(to)), extra);
  InputData data = ReadData(file, extra, true);
  int32_t size = Size32(data.size());
  const int32_t r = EncodeData(s.engine.get(), data.data(), &size, recipients);
  if (r != DZ_OK) {
    const std::string setting = given ? "" : " (the \"Encrypt for UID\" setting; give --to)";
    std::string what = "encrypting " + data.name() + " for " + Quoted(ToUtf8(to)) + setting;
    if (r == DZ_E_PUBLIC_KEY) what = WhyNoPublicKey(s, SplitRecipients(to), setting);
    if (r == DZ_E_EMPTY_UID) what = "no recipients" + setting;
    EngineFailure(s, what, r);
  }
  WriteOutput(s.medium, out, data.data(), static_cast<size_t>(size), Rules(call, false));
  Status(out, "encrypted " + Shown(file) + " for " + Printable(ToUtf8(to)) + ": " + ShownOutput(out));
  return kExitOk;
}

int RunDecrypt(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string out = call.Value("-o", WithoutSuffix(file, ".enc", ".dec"));
  Session s(call.global);
  CheckOutput(s.medium, out, Rules(call, true));
  InputData data = ReadData(file, 0, true);
  if (data.size() == 0) throw Failure(kExitRefused, data.name() + " is empty: no encrypted data");
  int32_t size = Size32(data.size());
  const int32_t r = DecodeData(s.engine.get(), data.data(), &size, 0);
  if (r != DZ_OK) {
    std::string what = "decrypting " + data.name();
    if (r == DZ_E_NOT_RECIPIENT)
      what = data.name() + " is encrypted for other users only, not for " + Quoted(ToUtf8(OwnUid(s)));
    else if (r == DZ_E_MAC_MISMATCH)
      what = data.name() + ": the encrypted data was altered, or the keys do not belong together";
    else if (r == DZ_E_CRYPT_MODE || r == DZ_E_BAD_ARGUMENT)
      what = data.name() + " is no encrypted block, or a damaged one";
    EngineFailure(s, what, r, {}, r == DZ_E_BAD_ARGUMENT ? kExitRefused : -1);
  }
  WriteOutput(s.medium, out, data.data(), static_cast<size_t>(size), Rules(call, true));
  Status(out, "decrypted " + Shown(file) + ": " + ShownOutput(out));
  return kExitOk;
}

int RunHash(const Invocation& call) {
  const std::string file = call.Operand(0);
  const std::string form = call.Value("--form", "hex");
  if (form != "raw" && form != "base64" && form != "hex") throw UsageError("--form takes raw, base64 or hex");
  Session s(call.global);
  const InputData data = ReadData(file, 0, false);
  RequireData(data, "the engine hashes no empty data");
  uint8_t hash[64] = {};
  int32_t size = sizeof hash;
  const int32_t r = HashData(s.engine.get(), data.data(), Size32(data.size()), 0, hash, &size);
  if (r != DZ_OK) EngineFailure(s, "hashing " + data.name(), r);
  const auto n = static_cast<size_t>(size);
  if (call.Json()) {
    PrintJson(JsonObject()
                  .Str("file", file)
                  .Str("method", ToUtf8(s.engine.SettingValue(kHashMethod)))
                  .Str("hex", Hex(hash, n))
                  .Str("base64", EncodeBase64(hash, n)));
  } else if (form == "raw") {
    WriteOutput(s.medium, "-", hash, n, {});
  } else {
    Print(form == "hex" ? Hex(hash, n) : EncodeBase64(hash, n));
  }
  return kExitOk;
}

}  // namespace dztool
