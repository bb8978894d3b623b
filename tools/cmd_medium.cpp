// medium init|check, regen start|finish.
#include <cstring>

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

constexpr uintmax_t kSecretKeySize = 164;

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string Shown(const fs::path& path) { return Quoted(PathText(path)); }

// The results of `medium check`, one line each.
class CheckList {
 public:
  void Ok(const std::string& text) { Print("ok    " + text); }
  void Problem(int status, const std::string& text) {
    Print("FAIL  " + text);
    if (status_ == kExitOk) status_ = status;
    ++problems_;
  }
  int Finish() const {
    Print(problems_ == 0 ? "medium check: no problems" : "medium check: " + std::to_string(problems_) + " problem(s)");
    return status_;
  }

 private:
  int status_ = kExitOk;
  int problems_ = 0;
};

bool CheckPublicKey(const Session& s, CheckList& list, KeyRecord& own) {
  const KeyFile file = ReadKeyFile(s.medium.public_key);
  if (!file.problem.empty()) {
    list.Problem(kExitNotFound, "public key " + Shown(file.path) + ": " + file.problem);
    return false;
  }
  own = file.record;
  list.Ok("public key " + Shown(file.path) + ": " + Quoted(ToUtf8(own.uid)) + ", " + AlgorithmName(own.algorithm) +
          ", fingerprint " + Fingerprint(s.engine, own));
  return true;
}

void CheckPrivateMode(CheckList& list, const fs::path& path) {
  const std::string mode = sys::LooseMode(path);
  if (!mode.empty())
    list.Problem(kExitFile, "secret key " + Shown(path) + " may be read by others (" + mode + "): chmod 600 it");
}

bool CheckSecretKey(const Session& s, CheckList& list) {
  const SmallFile file = ReadSmallFile(s.medium.secret_key, kSecretKeySize + 1);
  if (!file.ok) {
    list.Problem(kExitNotFound, "secret key " + Shown(s.medium.secret_key) + ": cannot read: " + file.reason);
    return false;
  }
  if (file.size != kSecretKeySize) {
    list.Problem(kExitNotFound, "secret key " + Shown(s.medium.secret_key) + ": " + std::to_string(file.size) +
                                    " bytes, not 164");
    return false;
  }
  list.Ok("secret key " + Shown(s.medium.secret_key));
  CheckPrivateMode(list, s.medium.secret_key);
  if (Exists(s.medium.old_secret())) CheckPrivateMode(list, s.medium.old_secret());
  return true;
}

// A test signature and a test encryption to the medium's own key.
void CheckKeyPair(const Session& s, CheckList& list, const KeyRecord& own) {
  const std::string probe = "dizora medium check";
  const auto* data = reinterpret_cast<const uint8_t*>(probe.data());
  const auto size = static_cast<int32_t>(probe.size());
  const DizoraEngine e = s.engine.get();
  std::vector<uint8_t> signature(static_cast<size_t>(GetMaxSignatureLength(e)), 0);
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(e)) + 1, 0);
  int32_t signature_size = 0;
  int32_t r = SignData(e, data, size, signature.data(), &signature_size, 0);
  if (r == DZ_OK) {
    r = VerifyData(e, data, size, signature.data(), signature_size, uid.data());
    // The first key lookup of a run fails while damaged files are there.
    if (r == DZ_E_PUBLIC_KEY) r = VerifyData(e, data, size, signature.data(), signature_size, uid.data());
  }
  std::vector<uint8_t> block(probe.size() + static_cast<size_t>(GetMaxAdditionEx(e, own.uid.c_str())));
  std::memcpy(block.data(), data, probe.size());
  int32_t block_size = size;
  if (r == DZ_OK) r = EncodeData(e, block.data(), &block_size, own.uid.c_str());
  if (r == DZ_OK) r = DecodeData(e, block.data(), &block_size, 0);
  if (r == DZ_OK && (block_size != size || std::memcmp(block.data(), data, probe.size()) != 0)) r = DZ_E_MAC_MISMATCH;
  if (r == DZ_OK) return list.Ok("the secret key belongs to the public key (a test signature and encryption)");
  list.Problem(kExitNotFound, "the secret key does not work with the public key: " + std::to_string(r) + ": " +
                                  s.engine.Message(r));
}

void CheckCorrespondents(const Session& s, CheckList& list) {
  std::string problem;
  const std::vector<KeyFile> files = ScanKeyDirectory(s.medium.correspondents, problem);
  if (!problem.empty()) return list.Problem(kExitFile, "correspondents' directory: " + problem);
  size_t good = 0;
  for (const KeyFile& f : files) {
    if (f.problem.empty()) ++good;
    else list.Problem(kExitNotFound, "damaged key file " + Shown(f.path) + ": " + f.problem);
  }
  list.Ok("correspondents' directory " + Shown(s.medium.correspondents) + ": " + std::to_string(good) + " key(s)");
}

void CheckRegeneration(const Session& s, CheckList& list) {
  const fs::path& dir = s.medium.regen;
  if (Exists(dir / "new.sec"))
    list.Problem(kExitFile, "an unencrypted new secret key was left in " + Shown(dir / "new.sec"));
  const bool pub = Exists(dir / "new.pub"), sec = Exists(dir / "sec.dat");
  if (pub && sec) list.Ok("a regeneration is pending in " + Shown(dir) + " (finish it: dizora regen finish)");
  else if (pub || sec)
    list.Problem(kExitNotFound, "an incomplete regeneration in " + Shown(dir) + ": " + (pub ? "sec.dat" : "new.pub") +
                                    " is missing");
}

[[noreturn]] void NoKeyPair(const Medium& medium) {
  throw Failure(kExitNotFound, "no key pair on this medium (" + Shown(medium.secret_key) + "): nothing to regenerate");
}

bool Pending(const Medium& medium) { return Exists(medium.regen / "new.pub") || Exists(medium.regen / "sec.dat"); }

}  // namespace

int RunMediumInit(const Invocation& call) {
  const std::string file = call.Operand(0);
  Session s(call.global);
  std::vector<uint8_t> bytes;
  RequireKeyFile(file, bytes);
  if (Exists(s.medium.public_key) && !SameFile(PathOf(file), s.medium.public_key) &&
      ReadSmallFile(s.medium.public_key, kMaxRecordSize + 1).bytes != bytes)
    throw Failure(kExitFile, "the medium already has another public key, " + Shown(s.medium.public_key) +
                                 ": medium init never replaces it");
  const int32_t r = CreateDirStructure(s.engine.get(), EnginePath(fs::absolute(PathOf(file))).c_str(), 0);
  if (r != DZ_OK) EngineFailure(s, "making the medium in " + Shown(s.medium.root), r);
  Print("key medium ready: " + Printable(PathText(s.medium.public_key)) + ", " +
        Printable(PathText(s.medium.correspondents)) + ", " + Printable(PathText(s.medium.ca)));
  return kExitOk;
}

int RunMediumCheck(const Invocation& call) {
  Session s(call.global);
  CheckList list;
  KeyRecord own;
  const bool have_public = CheckPublicKey(s, list, own);
  const bool have_secret = CheckSecretKey(s, list);
  if (have_public && have_secret) CheckKeyPair(s, list, own);
  CheckCorrespondents(s, list);
  std::error_code ec;
  if (!fs::is_directory(s.medium.ca, ec)) list.Problem(kExitFile, "no CA directory " + Shown(s.medium.ca));
  CheckRegeneration(s, list);
  return list.Finish();
}

int RunRegenStart(const Invocation& call) {
  const std::optional<std::string> uid = RequiredUid(call, "--uid");
  Session s(call.global);
  const fs::path& dir = s.medium.regen;
  if (Pending(s.medium) && !call.Has("--force"))
    throw Failure(kExitFile, "a regeneration is already pending in " + Shown(dir) +
                                 "; finish it with the bank's answer (dizora regen finish), or give --force to start "
                                 "over if the bank has not taken its key");
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw Failure(kExitFile, "cannot create " + Shown(dir) + ": " + ec.message());
  std::vector<char> transfer(static_cast<size_t>(GetMaxPublicKeyTransferSize(s.engine.get())) + 1, 0);
  int32_t state = DZ_REGEN_ACT;
  const int32_t r = RemoteGenerateStartEx(s.engine.get(), uid ? uid->c_str() : nullptr, transfer.data(), &state);
  if (r != DZ_OK) EngineFailure(s, "starting the regeneration in " + Shown(dir), r);
  if (state == DZ_REGEN_NO_KEY_PAIR) NoKeyPair(s.medium);
  KeepPrivate(dir / "sec.dat");
  std::vector<char> report(static_cast<size_t>(GetMaxReportSize(s.engine.get())) + 1, 0);
  std::string new_uid = "?";
  if (GetReport(s.engine.get(), nullptr, report.data()) == DZ_OK) {
    const std::string text = report.data();
    new_uid = ToUtf8(text.substr(4, text.rfind("\r\nPKeyAlg=") - 4));
  }
  sys::WriteText(stderr, "new key pair of " + Printable(new_uid) + " pending in " + Printable(PathText(dir)) +
                             "; send this transfer to the bank:\n");
  Print(transfer.data());
  return kExitOk;
}

int RunRegenFinish(const Invocation& call) {
  const std::optional<std::string> from = RequiredUid(call, "--from");
  Session s(call.global);
  const SignedTransfer t = OpenTransfer(s, call.Operand(0));
  const std::string own = OwnUid(s);
  if (!own.empty() && t.signer == own)
    throw Failure(kExitRefused, t.text.source + " is signed by the medium's own key (" + Quoted(ToUtf8(own)) +
                                    "): it is the request made by `regen start`; send it to the bank and finish with "
                                    "the transfer the bank answers");
  RequireSigner(from, t.text.source, t.signer);
  int32_t state = DZ_REGEN_ACT;
  const int32_t r = RemoteGenerateFinishEx(s.engine.get(), t.text.text.c_str(), &state);
  if (r != DZ_OK) {
    std::string what = "finishing the regeneration in " + Shown(s.medium.regen);
    if (r == DZ_E_REGEN_KEY_MISMATCH)
      what = t.text.source + " carries the key of " + Quoted(ToUtf8(t.transfer.key_uid)) + ", not the pending one";
    EngineFailure(s, what, r);
  }
  if (state == DZ_REGEN_NO_KEY_PAIR) NoKeyPair(s.medium);
  KeepPrivate(s.medium.secret_key);
  KeepPrivate(s.medium.old_secret());
  Print("new key pair installed: " + Printable(ToUtf8(OwnUid(s))) + " (the answer was signed by " +
        Printable(ToUtf8(t.signer)) + ")");
  return kExitOk;
}

}  // namespace dztool
