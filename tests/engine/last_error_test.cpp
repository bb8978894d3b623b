// TSyncExceptStr: the last-error text, on one thread and under concurrent use.
#include "engine/last_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace dizora {
namespace {

// Starts empty; each text replaces the whole previous one, byte for byte.
TEST(SyncExceptStr, KeepsTheWholeLastTextByteForByte) {
  TSyncExceptStr text;
  EXPECT_EQ(text.GetText(), "");
  text.SetText("TCryptoCEngine.SignData: EInOutError: Cannot open file");
  text.SetText("short");
  EXPECT_EQ(text.GetText(), "short");
  const std::string bytes("a\0\xC1\xF8\xE8\xE1\xEA\xE0\xFF", 9);  // embedded zero, Windows-1251 letters
  text.SetText(bytes);
  EXPECT_EQ(text.GetText(), bytes);
  const std::string large(1 << 20, 'x');
  text.SetText(large);
  EXPECT_EQ(text.GetText(), large);
}

// Writers store whole texts of distinct uniform characters and lengths;
// readers must only ever see one of those texts (or the initial empty one).
TEST(SyncExceptStrConcurrency, ReadersSeeOnlyWholeTexts) {
  TSyncExceptStr text;
  constexpr int kWriters = 3;
  constexpr int kReaders = 3;
  constexpr int kRounds = 20000;
  auto text_of = [](int writer, int round) {
    return std::string(static_cast<size_t>(64 + 97 * writer + round % 13), static_cast<char>('A' + writer));
  };
  auto whole = [&](const std::string& s) {
    if (s.empty()) return true;
    const int writer = s[0] - 'A';
    if (writer < 0 || writer >= kWriters) return false;
    if (s.find_first_not_of(s[0]) != std::string::npos) return false;
    const int extra = static_cast<int>(s.size()) - 64 - 97 * writer;
    return extra >= 0 && extra < 13;
  };
  std::atomic<int> broken{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < kRounds; ++i) text.SetText(text_of(w, i));
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string seen = text.GetText();
        if (!whole(seen)) broken.fetch_add(1);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(broken.load(), 0);
  const std::string last = text.GetText();
  EXPECT_FALSE(last.empty());
  EXPECT_TRUE(whole(last));
  EXPECT_EQ(last.size() - 64 - 97 * (last[0] - 'A'), static_cast<size_t>((kRounds - 1) % 13))
      << "the last text stored by some writer is the one kept";
}

}  // namespace
}  // namespace dizora
