// dizora demo: a complete exchange between a client and a bank, each on its
// own key medium, through two engines in one process.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "engine.h"
#include "errors.h"
#include "handlers.h"
#include "print.h"
#include "text.h"

namespace dztool {

namespace {

namespace fs = std::filesystem;

// One side of the exchange: a key medium directory and an engine set up for it.
class Party {
 public:
  Party(const std::string& uid, const fs::path& dir, const std::string& alg) : uid_(uid), dir_(dir) {
    fs::create_directories(dir / "ABONENTS");
    fs::create_directories(dir / "CA");
    fs::create_directories(dir / "REGEN");
    e_.SetSetting(kPublicKeyPath, EnginePath(PublicKey()));
    e_.SetSetting(kSecretKeyPath, EnginePath(dir / "self.sec"));
    e_.SetSetting(kAbonentsDir, EnginePath(dir / "ABONENTS"));
    e_.SetSetting(kCaDir, EnginePath(dir / "CA"));
    e_.SetSetting(kKeyGenAlgorithm, alg);
    e_.SetSetting(kKeyGenUid, uid);
    e_.SetSetting(kKeyGenPublicPath, EnginePath(PublicKey()));
    e_.SetSetting(kKeyGenSecretPath, EnginePath(dir / "self.sec"));
    e_.SetSetting(kHashMethod, "GOST");
    SetRemoteGeneratePath(e_.get(), EnginePath(dir / "REGEN").c_str());
  }

  DizoraEngine h() const { return e_.get(); }
  const Engine& engine() const { return e_; }
  const std::string& uid() const { return uid_; }
  fs::path PublicKey() const { return dir_ / "self.pub"; }
  const fs::path& dir() const { return dir_; }

  std::string CurrentUid() const {
    std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(h())) + 1, 0);
    return GetCurrentUserUID(h(), uid.data()) == 0 ? std::string(uid.data()) : std::string();
  }

 private:
  Engine e_;
  std::string uid_;
  fs::path dir_;
};

// What a step did: the engine's result and a few words on the outcome.
struct Outcome {
  int32_t code = 0;
  std::string detail;
  bool as_expected = true;  // checks beyond the result code
};

struct Step {
  std::string what;
  int32_t expected;
  std::function<Outcome()> run;
};

using Data = std::vector<uint8_t>;

Data BytesOf(const std::string& text) { return Data(text.begin(), text.end()); }

Outcome Sign(const Party& p, const Data& data, Data& signature) {
  signature.assign(static_cast<size_t>(GetMaxSignatureLength(p.h())), 0);
  int32_t size = 0;
  const int32_t r = SignData(p.h(), data.data(), static_cast<int32_t>(data.size()), signature.data(), &size, 0);
  signature.resize(r == DZ_OK ? static_cast<size_t>(size) : 0);
  return {r, r == DZ_OK ? std::to_string(size) + "-byte signature block" : ""};
}

Outcome Verify(const Party& p, const Data& data, const Data& signature, const std::string& signer) {
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(p.h())) + 1, 0);
  const int32_t r = VerifyData(p.h(), data.data(), static_cast<int32_t>(data.size()), signature.data(),
                               static_cast<int32_t>(signature.size()), uid.data());
  return {r, std::string("signer ") + uid.data(), std::string(uid.data()) == signer};
}

Outcome Encrypt(const Party& p, const Data& plain, const std::string& to, Data& out) {
  const int32_t extra = GetMaxAdditionEx(p.h(), to.c_str());
  out = plain;
  out.resize(plain.size() + static_cast<size_t>(extra > 0 ? extra : 0));
  int32_t size = static_cast<int32_t>(plain.size());
  const int32_t r = EncodeData(p.h(), out.data(), &size, to.c_str());
  out.resize(r == DZ_OK ? static_cast<size_t>(size) : 0);
  return {r, "for " + to + ", " + std::to_string(plain.size()) + " -> " + std::to_string(out.size()) + " bytes"};
}

Outcome Decrypt(const Party& p, const Data& block, const Data& expected) {
  Data buffer = block;
  int32_t size = static_cast<int32_t>(buffer.size());
  const int32_t r = DecodeData(p.h(), buffer.data(), &size, 0);
  buffer.resize(r == DZ_OK ? static_cast<size_t>(size) : 0);
  return {r, buffer == expected ? "plain text matches" : "plain text DIFFERS", buffer == expected};
}

std::string Transfer(const Party& p, const std::string& uid, int32_t& r) {
  std::vector<char> text(static_cast<size_t>(GetMaxPublicKeyTransferSize(p.h())) + 1, 0);
  r = uid.empty() ? ExcludeSelfPublicKeyTransfer(p.h(), text.data())
                  : GetPublicKeyTransfer(p.h(), uid.c_str(), text.data());
  return text.data();
}

// `receiver` opens a transfer (its signature must verify) and includes the key.
Outcome Receive(const Party& receiver, const std::string& transfer, const std::string& expected_uid,
                std::string* uid_out = nullptr) {
  std::vector<char> uid(static_cast<size_t>(GetMaxUIDLength(receiver.h())) + 1, 0);
  int32_t r = GetUIDByPublicKeyTransfer(receiver.h(), transfer.c_str(), uid.data());
  if (r == DZ_OK) r = IncludePublicKeyTransfer(receiver.h(), transfer.c_str());
  if (uid_out) *uid_out = uid.data();
  const bool ok = expected_uid.empty() || expected_uid == uid.data();
  return {r, "key of " + std::string(uid.data()) + " included", ok};
}

// The registration visit: the public-key file handed over in person.
Outcome IncludeFile(const Party& receiver, const Party& sender) {
  const fs::path copy = receiver.dir() / (sender.uid() + ".pub");
  std::error_code ec;
  fs::copy_file(sender.PublicKey(), copy, fs::copy_options::overwrite_existing, ec);
  if (ec) return {DZ_E_PUBLIC_KEY_FILE, "copy failed: " + ec.message(), false};
  return {IncludePublicKey(receiver.h(), EnginePath(copy).c_str()), "key of " + sender.uid() + " included"};
}

fs::path FreshDir(const std::string& requested) {
  fs::path dir = PathOf(requested);
  if (dir.empty()) {
    std::random_device random;
    char name[40];
    std::snprintf(name, sizeof name, "dizora-demo-%08x", static_cast<unsigned>(random()));
    dir = fs::temp_directory_path() / name;
  }
  std::error_code ec;
  if (fs::exists(dir, ec) && !fs::is_empty(dir, ec)) throw UsageError(Quoted(PathText(dir)) + " is not empty");
  fs::create_directories(dir, ec);
  if (ec) throw Failure(kExitFile, "cannot create " + Quoted(PathText(dir)) + ": " + ec.message());
  return fs::absolute(dir);
}

}  // namespace

int RunDemo(const Invocation& call) {
  if (!call.global.medium.empty() || !call.global.sets.empty() || !call.global.regen_dir.empty())
    throw UsageError("demo makes its own media; it takes no global options");
  const std::string alg = call.Value("--alg", "2001");
  if (alg != "2001" && alg != "1994") throw UsageError("--alg takes 2001 or 1994");
  const fs::path dir = FreshDir(call.Value("--dir"));
  Print("dizora demo: a client and a bank, GOST R 34.10-" + alg + " keys, media in " + PathText(dir));

  Party client("Client", dir / "client", alg);
  Party bank("Bank", dir / "bank", alg);
  const Data order = BytesOf(ToCp1251(
      "Платёжное поручение № 42 от 01.03.2024\r\nПлательщик: ООО \"Клиент\", счёт 40702810900000000042\r\n"
      "Получатель: ООО \"Поставщик\", счёт 40702810100000000007\r\nСумма: 125 000,00 руб.\r\n"
      "Назначение: оплата по договору 7/24, НДС не облагается\r\n",
      "the order"));
  const Data answer = BytesOf(ToCp1251("Банк: поручение № 42 принято к исполнению.\r\n", "the answer"));
  Data tampered = order;
  tampered[tampered.size() / 2] ^= 1;

  Data old_signature, new_signature, for_bank, for_client;
  std::string regen_transfer, new_uid, bank_answer;
  std::vector<Step> steps = {
      {"client generates its key pair", 0, [&] { return Outcome{GenerateNewSEK(client.h()), "UID Client"}; }},
      {"bank generates its key pair", 0, [&] { return Outcome{GenerateNewSEK(bank.h()), "UID Bank"}; }},
      {"registration: bank takes the client's public-key file", 0, [&] { return IncludeFile(bank, client); }},
      {"registration: client takes the bank's public-key file", 0, [&] { return IncludeFile(client, bank); }},
      {"client sends its key as a signed transfer, bank opens it", 0,
       [&] {
         int32_t r = 0;
         const std::string t = Transfer(client, "", r);
         return r != DZ_OK ? Outcome{r, "no transfer"} : Receive(bank, t, "Client");
       }},
      {"bank sends its key as a signed transfer, client opens it", 0,
       [&] {
         int32_t r = 0;
         const std::string t = Transfer(bank, "", r);
         return r != DZ_OK ? Outcome{r, "no transfer"} : Receive(client, t, "Bank");
       }},
      {"client signs the payment order", 0, [&] { return Sign(client, order, old_signature); }},
      {"bank verifies the payment order", 0, [&] { return Verify(bank, order, old_signature, "Client"); }},
      {"bank refuses the order with one bit changed", 5, [&] { return Verify(bank, tampered, old_signature, "Client"); }},
      {"client encrypts the order for the bank and itself", 0,
       [&] { return Encrypt(client, order, "Bank;Client", for_bank); }},
      {"bank decrypts the order", 0, [&] { return Decrypt(bank, for_bank, order); }},
      {"client decrypts its own copy", 0, [&] { return Decrypt(client, for_bank, order); }},
      {"bank encrypts its answer for the client", 0, [&] { return Encrypt(bank, answer, "Client", for_client); }},
      {"client decrypts the answer", 0, [&] { return Decrypt(client, for_client, answer); }},
      {"client starts regenerating its key pair", 0,
       [&] {
         std::vector<char> t(static_cast<size_t>(GetMaxPublicKeyTransferSize(client.h())) + 1, 0);
         int32_t state = DZ_REGEN_ACT;
         const int32_t r = RemoteGenerateStartEx(client.h(), nullptr, t.data(), &state);
         regen_transfer = t.data();
         return Outcome{r, "state " + std::to_string(state), state == DZ_REGEN_DONE};
       }},
      {"bank checks the transfer with the old key, includes the new key", 0,
       [&] {
         Outcome o = Receive(bank, regen_transfer, "", &new_uid);
         o.as_expected = o.as_expected && new_uid.size() == client.uid().size() + 22 && new_uid.rfind("Client (", 0) == 0;
         return o;
       }},
      {"bank answers with its transfer of the new key", 0,
       [&] {
         int32_t r = 0;
         bank_answer = Transfer(bank, new_uid, r);
         return Outcome{r, std::to_string(bank_answer.size()) + " characters"};
       }},
      {"client finishes: the new key pair is installed", 0,
       [&] {
         int32_t state = DZ_REGEN_ACT;
         const int32_t r = RemoteGenerateFinishEx(client.h(), bank_answer.c_str(), &state);
         const std::string now = client.CurrentUid();
         return Outcome{r, "client is now " + now, state == DZ_REGEN_DONE && now == new_uid};
       }},
      {"client signs with the new key, bank verifies", 0,
       [&] {
         Outcome o = Sign(client, order, new_signature);
         return o.code != DZ_OK ? o : Verify(bank, order, new_signature, new_uid);
       }},
      {"bank still verifies the old signature with the old key", 0,
       [&] { return Verify(bank, order, old_signature, "Client"); }},
      {"client verifies its old signature as a correspondent's", 0,
       [&] { return Verify(client, order, old_signature, "Client"); }},
  };

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  size_t done = 0;
  for (const Step& step : steps) {
    const auto t0 = Clock::now();
    const Outcome o = step.run();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const bool ok = o.code == step.expected && o.as_expected;
    char head[16], time[32];
    std::snprintf(head, sizeof head, "[%2zu] %-4s ", done + 1, ok ? "ok" : "FAIL");
    std::snprintf(time, sizeof time, " [%.1f ms]", ms);
    Print(head + step.what + " (" + ToUtf8(o.detail) + "): " + std::to_string(o.code) + " " +
          client.engine().Message(o.code) + time);
    std::fflush(stdout);
    if (!ok) break;
    ++done;
  }
  const double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (done == steps.size()) {
    Print("demo passed: " + std::to_string(done) + " of " + std::to_string(steps.size()) +
          " steps did what they should in " + std::to_string(std::lround(total)) + " ms; media kept in " +
          PathText(dir));
    return kExitOk;
  }
  Print("demo FAILED at step " + std::to_string(done + 1) + " of " + std::to_string(steps.size()) + " after " +
        std::to_string(std::lround(total)) + " ms; media kept in " + PathText(dir));
  return kExitEngine;
}

}  // namespace dztool
