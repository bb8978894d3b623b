// The public-key transfer openers on arbitrary text: GetUIDByPublicKeyTransfer,
// GetPublicKeyPropertiesByTransfer, IncludePublicKeyTransfer and
// SavePublicKeyFromTransfer into a scratch directory. After every input the
// user's own key files must be unchanged and nothing may exist outside the
// places the operations may write (the correspondents' directory, out/).
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "media.h"

using namespace dzfuzz;
namespace fs = std::filesystem;

static Bytes g_own_pub, g_own_sec;

static void Seeds(const std::string& dir) {
  Media& m = TheMedia();
  auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  WriteSeed(dir, "peer_by_user", text(Transfer(m.user, kPeer)));
  WriteSeed(dir, "user_by_peer", text(Transfer(m.peer, kUser)));
  WriteSeed(dir, "user_by_user", text(Transfer(m.user, kUser)));
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(Seeds);
  Media& m = TheMedia();
  g_own_pub = ReadFile(m.Path("user/self.pub"));
  g_own_sec = ReadFile(m.Path("user/self.sec"));
  return 0;
}

// Everything under the scratch directory must be one of the media's files
// (a medium's lock file included: it stays once made), a file in a
// correspondents' directory or a file in out/. An intent record left behind
// would be a change half done.
static void CheckScratch(Media& m) {
  const std::set<std::string> fixed = {"user", "peer", "out", "user/self.pub", "user/self.sec",
                                       "user/ABONENTS", "user/CA", "peer/self.pub", "peer/self.sec",
                                       "peer/ABONENTS", "peer/CA", "peer/ABONENTS/user.pub",
                                       "user/.dizora.lock", "peer/.dizora.lock"};
  for (const auto& entry : fs::recursive_directory_iterator(m.scratch)) {
    const std::string rel = fs::relative(entry.path(), m.scratch).string();
    if (fixed.count(rel)) continue;
    const std::string parent = fs::relative(entry.path().parent_path(), m.scratch).string();
    if ((parent == "user/ABONENTS" || parent == "out") && entry.is_regular_file()) continue;
    std::fprintf(stderr, "unexpected entry: %s\n", rel.c_str());
    Fail("a transfer wrote outside its directories");
  }
  if (ReadFile(m.Path("user/self.pub")) != g_own_pub || ReadFile(m.Path("user/self.sec")) != g_own_sec)
    Fail("a transfer changed the user's own key files");
}

// Keeps the directories small: back to the media's state now and then.
static void Tidy(Media& m) {
  size_t count = 0;
  for (const auto& e : fs::directory_iterator(m.Path("user/ABONENTS"))) count += e.is_regular_file();
  if (count <= 16) return;
  for (const auto& e : fs::directory_iterator(m.Path("user/ABONENTS"))) fs::remove_all(e.path());
  fs::copy_file(m.Path("peer/self.pub"), m.Path("user/ABONENTS/peer.pub"));
  ClearCash(m.user);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size > 1 << 16) return 0;
  Media& m = TheMedia();
  auto text = std::make_unique<char[]>(size + 1);
  std::memcpy(text.get(), input, size);
  text[size] = 0;
  auto uid = std::make_unique<char[]>(255);
  auto report = std::make_unique<char[]>(static_cast<size_t>(GetMaxPublicKeyPropertiesLength(m.user)) + 1);
  GetUIDByPublicKeyTransfer(m.user, text.get(), uid.get());
  GetPublicKeyPropertiesByTransfer(m.user, text.get(), report.get());
  SavePublicKeyFromTransfer(m.user, m.Path("out").c_str(), text.get());
  IncludePublicKeyTransfer(m.user, text.get());
  CheckScratch(m);
  for (const auto& e : fs::directory_iterator(m.Path("out"))) fs::remove(e.path());
  Tidy(m);
  return 0;
}
