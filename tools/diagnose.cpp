// What a failed engine call means on this medium.
#include "diagnose.h"

#include "errors.h"
#include "files.h"
#include "keys.h"
#include "text.h"

namespace dztool {

namespace {

constexpr uintmax_t kSecretKeySize = 164;

std::string Named(const std::string& what, const std::filesystem::path& path) {
  return what + " " + Quoted(PathText(path));
}

std::string SecretKeyCause(const Medium& medium) {
  const std::string name = Named("the secret key", medium.secret_key);
  const SmallFile file = ReadSmallFile(medium.secret_key, kSecretKeySize + 1);
  if (!file.ok) return "cannot read " + name + ": " + file.reason;
  if (file.size != kSecretKeySize) return name + " is " + std::to_string(file.size) + " bytes, not 164";
  return name + " is damaged or does not belong to the public key";
}

std::string OwnPublicKeyCause(const Medium& medium) {
  const KeyFile own = ReadKeyFile(medium.public_key);
  return own.problem.empty() ? "" : Named("the medium's public key", medium.public_key) + ": " + own.problem;
}

std::string DamagedCorrespondentsCause(const Medium& medium) {
  std::string problem;
  const std::string damaged = DescribeDamaged(ScanKeyDirectory(medium.correspondents, problem), medium.correspondents);
  if (damaged.empty()) return "";
  return "damaged files in the correspondents' directory make the first key lookup of every run fail: " + damaged;
}

std::string Cause(const Session& session, int32_t code) {
  const Medium& m = session.medium;
  switch (code) {
    case DZ_E_SECRET_KEY:
      return SecretKeyCause(m);
    case DZ_E_KEY_MISMATCH:
      return Named("the secret key", m.secret_key) + " and " + Named("the public key", m.public_key) +
             " do not belong together";
    case DZ_E_LIBRARY_NOT_LOADED:
    case DZ_E_LIBRARY_INCOMPLETE:
      return "libcrypt.dll is looked for beside the engine library and the executable";
    default:
      return "";
  }
}

// Whether the engine knows a public key of the UID.
bool KnowsKey(const Session& session, const std::string& uid) {
  std::vector<char> report(static_cast<size_t>(GetMaxReportSize(session.engine.get())) + 1, 0);
  // A failed first filling of the key cache still caches the good files: ask again.
  for (int attempt = 0; attempt < 2; ++attempt)
    if (GetReport(session.engine.get(), uid.c_str(), report.data()) == DZ_OK) return true;
  return false;
}

}  // namespace

void EngineFailure(const Session& session, const std::string& what, int32_t code, const JsonObject& details,
                   int exit_status) {
  const std::string cause = Cause(session, code);
  Failure failure(exit_status >= 0 ? exit_status : ExitForCode(code),
                  what + (cause.empty() ? "" : ": " + cause) + ": " + std::to_string(code) + ": " +
                      session.engine.Message(code),
                  code);
  failure.details = details;
  throw failure;
}

std::string WhyNoPublicKey(const Session& session, const std::vector<std::string>& uids, const std::string& note) {
  std::string unknown;
  for (const std::string& uid : uids)
    if (!KnowsKey(session, uid)) unknown += (unknown.empty() ? "" : ", ") + Quoted(ToUtf8(uid));
  std::vector<std::string> causes;
  if (!unknown.empty())
    causes.push_back("no public key of " + unknown + " in " + PathText(session.medium.correspondents) + note);
  bool medium_problem = false;
  for (const std::string& cause : {OwnPublicKeyCause(session.medium), DamagedCorrespondentsCause(session.medium)}) {
    if (cause.empty()) continue;
    causes.push_back(cause);
    medium_problem = true;
  }
  if (causes.empty()) return "the public key could not be used" + note + " (see: dizora medium check)";
  std::string text;
  for (const std::string& cause : causes) text += (text.empty() ? "" : "; ") + cause;
  return text + (medium_problem ? " (see: dizora medium check)" : "");
}

std::optional<std::string> RequiredUid(const Invocation& call, const std::string& option) {
  if (!call.Has(option)) return std::nullopt;
  return ToCp1251(call.Value(option), option + " " + Quoted(call.Value(option)));
}

void RequireSigner(const std::optional<std::string>& required, const std::string& subject, const std::string& signer,
                   const JsonObject& details) {
  if (!required || *required == signer) return;
  Failure failure(kExitRefused, subject + ": signed by " + Quoted(ToUtf8(signer)) + ", not by " +
                                    Quoted(ToUtf8(*required)));
  failure.details = details;
  throw failure;
}

namespace {

std::string TransferSigner(const Session& session, const Transfer& transfer, const std::string& source) {
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(session.engine.get())) + 1, 0);
  const int32_t r = VerifyData(session.engine.get(), transfer.bytes.data(), static_cast<int32_t>(transfer.data_size),
                               transfer.signature(), static_cast<int32_t>(transfer.signature_size()), uid.data());
  if (r == DZ_OK) return uid.data();
  const std::string signer = uid[0] != '\0' ? std::string(uid.data()) : transfer.claimed_signer;
  const std::string by = " by " + Quoted(ToUtf8(signer));
  std::string what = source + ": the transfer's signature" + by + " does not verify (the transfer was altered)";
  if (r == DZ_E_PUBLIC_KEY)
    what = source + ": the transfer is signed" + by + "; " + WhyNoPublicKey(session, {signer}) +
           " (a correspondent's first key comes as a file: dizora key include)";
  else if (r == DZ_E_SIGNATURE_FORMAT || r == DZ_E_BAD_ARGUMENT)
    what = source + " holds no valid transfer";
  EngineFailure(session, what, r, {}, r == DZ_E_BAD_ARGUMENT ? kExitRefused : -1);
}

}  // namespace

SignedTransfer OpenTransfer(const Session& session, const std::string& arg) {
  SignedTransfer opened{ReadTransfer(arg), {}, {}};
  opened.transfer = DecodeTransfer(opened.text);
  opened.signer = TransferSigner(session, opened.transfer, opened.text.source);
  return opened;
}

std::string OwnUid(const Session& session) {
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(session.engine.get())) + 1, 0);
  return GetCurrentUserUID(session.engine.get(), uid.data()) == DZ_OK ? std::string(uid.data()) : std::string();
}

}  // namespace dztool
