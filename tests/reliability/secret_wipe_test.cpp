// Wiped secrets. The secret-key file holds the signature secret (bytes 4..35)
// and the exchange secret (bytes 36..163) in plain. While the scanner is
// armed, every heap block the program frees is searched for them before it
// is released (operator new/delete of this program are the seam), and after
// the operations the stack area they used is searched too. Any hit is memory
// that held a secret and was released or abandoned without being zeroed.
#include <gtest/gtest.h>
#include <malloc.h>
#ifdef _WIN32
#define malloc_usable_size _msize  // the Windows C library's name
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <tuple>

#include "reliability_util.h"

namespace {

struct Patterns {
  uint8_t sign[16];
  uint8_t exchange[16];
};

std::atomic<bool> g_armed{false};
std::atomic<int> g_heap_hits{0};
Patterns g_patterns{};

bool Contains(const uint8_t* block, size_t size, const uint8_t* pattern) {
  if (size < 16) return false;
  for (size_t i = 0; i + 16 <= size; ++i) {
    if (block[i] == pattern[0] && std::memcmp(block + i, pattern, 16) == 0) return true;
  }
  return false;
}

// A freed block that still held a secret (a breakpoint here shows who).
__attribute__((noinline)) void ReportHit() { g_heap_hits++; }

void ScanFreed(void* p) {
  if (p == nullptr || !g_armed.load(std::memory_order_relaxed)) return;
  const auto* block = static_cast<const uint8_t*>(p);
  const size_t size = malloc_usable_size(p);
  if (Contains(block, size, g_patterns.sign) || Contains(block, size, g_patterns.exchange)) ReportHit();
}

// Blocks start zeroed (the whole usable size), so that what a scan finds was
// written during the block's own life, not left by an earlier user of the
// memory.
void* Allocate(size_t size) noexcept {
  void* p = std::malloc(size ? size : 1);
  if (p != nullptr) std::memset(p, 0, malloc_usable_size(p));
  return p;
}

void* AllocateOrThrow(size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept {
  ScanFreed(p);
  std::free(p);
}
void operator delete[](void* p) noexcept {
  ScanFreed(p);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  ScanFreed(p);
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  ScanFreed(p);
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  ScanFreed(p);
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  ScanFreed(p);
  std::free(p);
}

namespace dz_reliability {
namespace {

// Searches the stack below the caller's frame, where the operations just
// returned from kept their locals.
__attribute__((noinline)) int StackHits() {
  constexpr size_t kDepth = 128 * 1024;
  uint8_t area[kDepth];
  // The area is read as it was left: through a volatile pointer, so the
  // compiler neither assumes nor changes its content.
  volatile uint8_t* view = area;
  static uint8_t copy[kDepth];
  for (size_t i = 0; i < kDepth; ++i) copy[i] = view[i];
  return int(Contains(copy, kDepth, g_patterns.sign)) + int(Contains(copy, kDepth, g_patterns.exchange));
}

class SecretWipe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(user_.Generate(), 0);
    ASSERT_EQ(peer_.Generate(), 0);
    {
      Bytes sec = ReadFileBytes(user_.SecretKey());
      ASSERT_EQ(sec.size(), 164u);
      std::memcpy(g_patterns.sign, sec.data() + 4, 16);
      std::memcpy(g_patterns.exchange, sec.data() + 36, 16);
      std::fill(sec.begin(), sec.end(), 0);  // the test's own copy, wiped
    }
    user_.Configure(u_);
    peer_.Configure(p_);
    for (auto [e, m, key] : {std::tuple{&u_, &user_, &peer_}, std::tuple{&p_, &peer_, &user_}}) {
      const fs::path copy = m->dir() / "in.pub";
      fs::copy_file(key->PublicKey(), copy);
      ASSERT_EQ(IncludePublicKey(*e, copy.string().c_str()), 0);
    }
    g_heap_hits = 0;
    g_armed = true;
  }
  void TearDown() override { g_armed = false; }

  Medium user_{"Wipe U", "wu"}, peer_{"Wipe P", "wp"};
  Engine u_, p_;
};

TEST_F(SecretWipe, NoFreedBlockOrStackAreaKeepsTheSecretKeys) {
  const Bytes data(500, 0x61);
  // Signing loads the secret key (signature key unmasked for the call),
  // encryption and decryption use the exchange key and mutual keys.
  EXPECT_EQ(SignAndVerify(u_, data), 0);
  EXPECT_EQ(StackHits(), 0) << "after signing";
  EXPECT_EQ(EncryptRoundTrip(u_, p_, peer_.uid(), data), 0);
  EXPECT_EQ(EncryptRoundTrip(p_, u_, user_.uid(), data), 0);
  EXPECT_EQ(StackHits(), 0) << "after encryption and decryption";
  EXPECT_EQ(g_heap_hits.load(), 0) << "blocks freed while the key stays loaded";

  // DropSecretKey and ReleaseKeys, through ClearCash; then a reload and the
  // engine's end.
  ClearCash(u_);
  EXPECT_EQ(g_heap_hits.load(), 0) << "released key blocks not wiped";
  EXPECT_EQ(SignAndVerify(u_, data), 0);
  EXPECT_EQ(GenerateNewSEK(p_), 0);
  EXPECT_EQ(StackHits(), 0) << "after reload and generation";
  ClearCash(u_);
  EXPECT_EQ(g_heap_hits.load(), 0);
}

// Keeps the compiler from dropping or shrinking memory the test leaves
// behind on purpose (clang would at -O3: the memory is never read again).
void KeepMemory(const void* p) { asm volatile("" : : "r"(p) : "memory"); }

// Leaves the exchange-key pattern in a stack frame it does not wipe.
__attribute__((noinline)) void LeaveOnStack() {
  uint8_t frame[4096];
  volatile uint8_t* view = frame;
  for (size_t i = 0; i < 16; ++i) view[2048 + i] = g_patterns.exchange[i];
  KeepMemory(frame);
}

TEST_F(SecretWipe, ScannerSeesAnUnwipedStackFrame) {
  LeaveOnStack();
  EXPECT_GE(StackHits(), 1);
}

TEST_F(SecretWipe, ScannerSeesAnUnwipedBlock) {
  // The seam itself: a block holding the key and freed unwiped is found.
  auto* leak = new uint8_t[64]();
  std::memcpy(leak + 8, g_patterns.exchange, 16);
  KeepMemory(leak);
  delete[] leak;
  EXPECT_EQ(g_heap_hits.load(), 1);
  g_heap_hits = 0;
}

}  // namespace
}  // namespace dz_reliability
