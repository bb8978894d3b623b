// sign, verify, attach, detach, encrypt, decrypt, hash.
#include <cstdio>
#include <vector>

#include "tool.h"

namespace dztool {

namespace {

// Engine calls take a non-null data pointer even for empty data.
const void* DataPtr(const Bytes& bytes) {
  static const uint8_t kNone = 0;
  return bytes.empty() ? &kNone : bytes.data();
}

std::string WithoutSuffix(const std::string& path, const std::string& suffix, const std::string& other) {
  if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
    return path.substr(0, path.size() - suffix.size());
  return path + other;
}

// Output "-" is standard output; status lines then go to standard error.
void Emit(const std::string& out, const void* data, size_t size) {
  if (out == "-") {
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
      throw FileError("cannot write standard output");
  } else {
    WriteFileAtomic(out, data, size);
  }
}

FILE* StatusStream(const std::string& out) { return out == "-" ? stderr : stdout; }

std::string Uid(const std::vector<char>& uid) { return ToUtf8(std::string(uid.data())); }

std::vector<char> UidBuffer(const Engine& e) {
  return std::vector<char>(static_cast<size_t>(GetMaxUIDLength(e.get())) + 1, 0);
}

// An engine failure of a verification, naming the signer when the block named one.
[[noreturn]] void VerifyFailed(const Engine& e, const std::string& what, int32_t code,
                               const std::vector<char>& uid) {
  const std::string signer = uid[0] != '\0' ? " (signer " + Uid(uid) + ")" : "";
  throw EngineError("verification of " + what + signer, code, e.Message(code));
}

}  // namespace

int CmdSign(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"-o"}, {}, 1, 1);
  const std::string& file = a.positional[0];
  const std::string out = a.Value("-o", file + ".sig");
  Engine e;
  Configure(e, options);
  const Bytes data = ReadFileBytes(file);
  std::vector<uint8_t> sig(static_cast<size_t>(GetMaxSignatureLength(e.get())), 0);
  int32_t sig_size = 0;
  e.Check("SignData", SignData(e.get(), DataPtr(data), EngineSize(file, data.size(), 0), sig.data(), &sig_size, 0));
  Emit(out, sig.data(), static_cast<size_t>(sig_size));
  const std::string signer(reinterpret_cast<const char*>(sig.data()));
  std::fprintf(StatusStream(out), "signed %s as %s: %s\n", file.c_str(), ToUtf8(signer).c_str(), out.c_str());
  return kExitOk;
}

int CmdVerify(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {}, {}, 2, 2);
  const std::string& file = a.positional[0];
  const std::string& sig_file = a.positional[1];
  Engine e;
  Configure(e, options);
  const Bytes data = ReadFileBytes(file);
  const Bytes sig = ReadFileBytes(sig_file);
  std::vector<char> uid = UidBuffer(e);
  const int32_t r = VerifyData(e.get(), DataPtr(data), EngineSize(file, data.size(), 0), DataPtr(sig),
                               EngineSize(sig_file, sig.size(), 0), uid.data());
  if (r != DZ_OK) VerifyFailed(e, file, r, uid);
  std::printf("good signature of %s by %s\n", file.c_str(), Uid(uid).c_str());
  return kExitOk;
}

int CmdAttach(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"-o"}, {}, 1, 1);
  const std::string& file = a.positional[0];
  const std::string out = a.Value("-o", file + ".signed");
  Engine e;
  Configure(e, options);
  Bytes buffer = ReadFileBytes(file);
  const int32_t extra = GetMaxSignAddition(e.get());
  int32_t size = EngineSize(file, buffer.size(), extra);
  buffer.resize(buffer.size() + static_cast<size_t>(extra));
  e.Check("AddSign", AddSign(e.get(), buffer.data(), &size, 0));
  Emit(out, buffer.data(), static_cast<size_t>(size));
  std::fprintf(StatusStream(out), "signed data of %s: %s\n", file.c_str(), out.c_str());
  return kExitOk;
}

int CmdDetach(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"-o"}, {}, 1, 1);
  const std::string& file = a.positional[0];
  const std::string out = a.Value("-o", WithoutSuffix(file, ".signed", ".data"));
  Engine e;
  Configure(e, options);
  Bytes buffer = ReadFileBytes(file);
  int32_t size = EngineSize(file, buffer.size(), 0);
  std::vector<char> uid = UidBuffer(e);
  const int32_t r = RemoveSign(e.get(), buffer.empty() ? nullptr : buffer.data(), &size, uid.data());
  if (r != DZ_OK) VerifyFailed(e, file, r, uid);
  Emit(out, DataPtr(buffer), static_cast<size_t>(size));
  std::fprintf(StatusStream(out), "good signature of %s by %s; data: %s\n", file.c_str(), Uid(uid).c_str(),
               out == "-" ? "standard output" : out.c_str());
  return kExitOk;
}

int CmdEncrypt(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"-o", "--to"}, {}, 1, 1);
  const std::string& file = a.positional[0];
  const std::string out = a.Value("-o", file + ".enc");
  Engine e;
  Configure(e, options);
  const std::string to = ToCp1251(a.Value("--to"));
  const char* recipients = to.empty() ? nullptr : to.c_str();
  SecretBytes plain(0);
  plain.bytes() = ReadFileBytes(file);
  Bytes& buffer = plain.bytes();
  const int32_t extra = GetMaxAdditionEx(e.get(), recipients);
  if (extra < 0) e.Check("GetMaxAdditionEx", extra);
  int32_t size = EngineSize(file, buffer.size(), extra);
  buffer.resize(buffer.size() + static_cast<size_t>(extra));
  e.Check("EncodeData", EncodeData(e.get(), buffer.data(), &size, recipients));
  Emit(out, buffer.data(), static_cast<size_t>(size));
  const std::string shown = to.empty() ? ToUtf8(e.SettingValue(kEncryptForUid)) : a.Value("--to");
  std::fprintf(StatusStream(out), "encrypted %s for %s: %s\n", file.c_str(), shown.c_str(), out.c_str());
  return kExitOk;
}

int CmdDecrypt(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"-o"}, {}, 1, 1);
  const std::string& file = a.positional[0];
  const std::string out = a.Value("-o", WithoutSuffix(file, ".enc", ".dec"));
  Engine e;
  Configure(e, options);
  SecretBytes plain(0);
  plain.bytes() = ReadFileBytes(file);
  Bytes& buffer = plain.bytes();
  int32_t size = EngineSize(file, buffer.size(), 0);
  e.Check("DecodeData", DecodeData(e.get(), buffer.empty() ? nullptr : buffer.data(), &size, 0));
  Emit(out, DataPtr(buffer), static_cast<size_t>(size));
  std::fprintf(StatusStream(out), "decrypted %s: %s\n", file.c_str(), out.c_str());
  return kExitOk;
}

int CmdHash(const GlobalOptions& options, const std::vector<std::string>& args) {
  const Args a = ParseArgs(args, {"--form"}, {}, 1, 1);
  const std::string& file = a.positional[0];
  const std::string form_name = a.Value("--form", "hex");
  int32_t form = 0;
  if (form_name == "base64") form = 1;
  else if (form_name == "hex") form = 2;
  else if (form_name != "raw") throw UsageError("--form takes raw, base64 or hex");
  Engine e;
  Configure(e, options);
  const Bytes data = ReadFileBytes(file);
  const int32_t n = EngineSize(file, data.size(), 0);
  int32_t size = 0;
  e.Check("HashData", HashData(e.get(), DataPtr(data), n, form, nullptr, &size));
  std::vector<uint8_t> hash(static_cast<size_t>(size) + 1, 0);
  e.Check("HashData", HashData(e.get(), DataPtr(data), n, form, hash.data(), &size));
  if (form == 0) {
    Emit("-", hash.data(), static_cast<size_t>(size));
  } else {
    std::printf("%s\n", reinterpret_cast<const char*>(hash.data()));
  }
  return kExitOk;
}

}  // namespace dztool
