// The library as a whole: its dynamic symbol table, the test-only builds,
// the self-tests, the random generator and its state block, and parallel
// use of separate contexts.
#ifndef _WIN32
#include <elf.h>
#endif

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "common/test_sync.h"
#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

// The names of the entry-point table, as the library's build reads them (the
// engine's loader, tested with the engine, holds the names it needs).
const char* const kEntryPoints[] = {
#define GOSTLIB_ENTRY(name) #name,
#include "../../gostlib/entry_points.inc"
#undef GOSTLIB_ENTRY
};
static_assert(std::size(kEntryPoints) == 60, "the table has 60 entry points");

TEST(Exports, EveryEntryPointResolves) {
  for (const char* name : kEntryPoints) EXPECT_NE(lib().raw(name), nullptr) << name;
  EXPECT_EQ(lib().raw("RuroV_TestHook_ForceResult"), nullptr);
}

// The ELF symbol tables; test-windows.sh checks the export table of the
// Windows DLL.
#ifndef _WIN32

std::set<std::string> table_names() { return std::set<std::string>(std::begin(kEntryPoints), std::end(kEntryPoints)); }

// Names of the defined, exported symbols in an ELF64 file's .dynsym.
std::set<std::string> exported_symbols(const std::string& file) {
  std::ifstream in(std::string(DZ_BIN_DIR) + "/" + file, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::set<std::string> names;
  if (image.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr eh;
  std::memcpy(&eh, image.data(), sizeof eh);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return names;
  auto section = [&](size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, image.data() + eh.e_shoff + i * eh.e_shentsize, sizeof sh);
    return sh;
  };
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr strtab = section(sh.sh_link);
    for (size_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
      Elf64_Sym sym;
      std::memcpy(&sym, image.data() + sh.sh_offset + off, sizeof sym);
      const int bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
      names.insert(image.data() + strtab.sh_offset + sym.st_name);
    }
  }
  return names;
}

TEST(Exports, ExactlyTheSixtyEntryPoints) { EXPECT_EQ(exported_symbols("libcrypt.dll"), table_names()); }

TEST(Exports, TestOnlyBuildsDifferOnlyWhereIntended) {
  std::set<std::string> incomplete = table_names();
  incomplete.erase("RuroV_TestSignFunctions_");
  EXPECT_EQ(exported_symbols("libcrypt_incomplete.dll"), incomplete);
  std::set<std::string> faulty = table_names();
  faulty.insert("RuroV_TestHook_ForceResult");
  faulty.insert("RuroV_TestHook_Reset");
  EXPECT_EQ(exported_symbols("libcrypt_faulty.dll"), faulty);
}

#endif

TEST(SelfTests, PassAndUnsupportedFunctionsReturnCodes) {
  EXPECT_EQ(lib().fn<SelfTestFn>("RuroV_TestCryptoFunctions_")(), 0);
  EXPECT_EQ(lib().fn<SelfTestFn>("RuroV_TestSignFunctions_")(), 0);
  EXPECT_EQ(lib().fn<SelfTestFn>("RuroV_G28147_1989_mac_file_const")(), 14);
}

TEST(Random, FillsAndAdvancesTheState) {
  auto fill = lib().fn<RandomFn>("RuroV_Random_Fill");
  uint8_t state[kStateSize] = {};
  Bytes a(64, 0), b(64, 0);
  ASSERT_EQ(fill(state, a.data(), 64), 0);
  uint8_t after_first[kStateSize];
  std::memcpy(after_first, state, kStateSize);
  ASSERT_EQ(fill(state, b.data(), 64), 0);
  EXPECT_NE(a, Bytes(64, 0));
  EXPECT_NE(a, b);
  EXPECT_NE(std::memcmp(after_first, state, kStateSize), 0) << "every call changes the state block";
  EXPECT_NE(std::count(state, state + kStateSize, 0), int(kStateSize));
  EXPECT_EQ(fill(state, nullptr, 0), 0);
  EXPECT_EQ(fill(state, nullptr, 8), 15);
  EXPECT_EQ(fill(nullptr, a.data(), 8), 15);
  EXPECT_EQ(fill(state, a.data(), -1), 14);
}

TEST(FaultyBuild, ForcedResultsAndReset) {
  const Library faulty("libcrypt_faulty.dll");
  ASSERT_TRUE(faulty.loaded());
  auto force = faulty.fn<int32_t (*)(const char*, int32_t, int32_t)>("RuroV_TestHook_ForceResult");
  auto reset = faulty.fn<void (*)()>("RuroV_TestHook_Reset");
  auto fill = faulty.fn<RandomFn>("RuroV_Random_Fill");
  uint8_t state[kStateSize] = {};
  uint8_t buf[8] = {};
  EXPECT_EQ(force(nullptr, 10, 1), 15);
  EXPECT_EQ(force("RuroV_NoSuchFunction", 10, 1), 14);
  ASSERT_EQ(force("RuroV_Random_Fill", 10, 2), 0);
  uint8_t before[kStateSize];
  std::memcpy(before, state, kStateSize);
  EXPECT_EQ(fill(state, buf, 8), 10);
  EXPECT_NE(std::memcmp(before, state, kStateSize), 0) << "a forced failure still advances the state";
  EXPECT_EQ(fill(state, buf, 8), 10);
  EXPECT_EQ(fill(state, buf, 8), 0) << "forcing ends after its count";
  ASSERT_EQ(force("RuroV_LR34_10_2001_verify", 5, -1), 0);
  auto verify = faulty.fn<VerifyFn>("RuroV_LR34_10_2001_verify");
  uint8_t ctx[748] = {}, digest[32] = {}, sig[64] = {};
  EXPECT_EQ(verify(ctx, digest, sig), 5);
  EXPECT_EQ(verify(ctx, digest, sig), 5);
  reset();
  EXPECT_EQ(verify(ctx, digest, sig), 1) << "after reset the real code runs (no parameters set)";
  EXPECT_EQ(faulty.fn<SelfTestFn>("RuroV_TestCryptoFunctions_")(), 0);
}

TEST(IncompleteBuild, WorksWithoutTheSignSelfTest) {
  const Library incomplete("libcrypt_incomplete.dll");
  ASSERT_TRUE(incomplete.loaded());
  EXPECT_EQ(incomplete.raw("RuroV_TestSignFunctions_"), nullptr);
  EXPECT_EQ(incomplete.fn<SelfTestFn>("RuroV_TestCryptoFunctions_")(), 0);
}

// A separate instance of the library (its own table cache): 64 tables
// besides the standard ones are accepted, the 65th is refused, and the
// standard tables are still served, so the self-test still passes.
TEST(TableCache, HoldsSixtyFourTablesAndAlwaysServesTheStandardOnes) {
  const Library instance("libcrypt_incomplete.dll");
  ASSERT_TRUE(instance.loaded());
  auto init = instance.fn<HashInitFn>("RuroV_R34_11_1994_init");
  uint8_t ctx[120] = {}, state[kStateSize] = {}, start[32] = {};
  auto other = [](int i) {  // 75 distinct tables, none of them standard
    auto table = test_params();
    std::swap(table[0], table[1 + i % 15]);
    std::swap(table[16], table[16 + i / 15]);
    return table;
  };
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(init(ctx, other(i).data(), state, start), 0) << i;
    EXPECT_EQ(init(ctx, other(i).data(), state, start), 0) << "found again " << i;
  }
  EXPECT_EQ(init(ctx, other(64).data(), state, start), 14) << "cache full";
  EXPECT_EQ(init(ctx, test_params().data(), state, start), 0);
  EXPECT_EQ(init(ctx, cryptopro_params().data(), state, start), 0);
  EXPECT_EQ(instance.fn<SelfTestFn>("RuroV_TestCryptoFunctions_")(), 0);
}

// Threads released together by a barrier hash, encrypt and sign on their
// own contexts; every result must equal the one computed alone.
TEST(Concurrency, SeparateContextsGiveTheSameResults) {
  const Bytes data = random_bytes(100000, 99);
  const Bytes expected_hash = lib_hash(data);
  auto set01 = lib().fn<Set01Fn>("RuroV_LR34_10_2001_set_parms");
  auto gen = lib().fn<GenFn>("RuroV_LR34_10_2001_gen_secret_key");
  auto genpub = lib().fn<GenFn>("RuroV_LR34_10_2001_gen_public_key");
  auto sign = lib().fn<SignFn>("RuroV_LR34_10_2001_sign");
  auto verify = lib().fn<VerifyFn>("RuroV_LR34_10_2001_verify");
  auto clear = lib().fn<ClearFn>("RuroV_LR34_10_2001_clear");
  constexpr int kThreads = 4;
  dz_test::Barrier start(kThreads);
  std::vector<Bytes> hashes(kThreads);
  std::vector<int32_t> verified(kThreads, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      uint8_t ctx[748] = {}, state[kStateSize] = {}, sig[64] = {};
      EXPECT_TRUE(start.ArriveAndWait());
      hashes[t] = lib_hash(data, 1000 + 17 * size_t(t));
      if (set01(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr) == 0 && gen(ctx) == 0 &&
          genpub(ctx) == 0 && sign(ctx, hashes[t].data(), sig) == 0) {
        verified[t] = verify(ctx, hashes[t].data(), sig);
      }
      clear(ctx);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(hashes[t], expected_hash) << t;
    EXPECT_EQ(verified[t], 0) << t;
  }
}

// Threads adding distinct tables to the cache at the same moment each get
// their own table: the digests equal those computed one after the other.
TEST(Concurrency, DistinctTablesEnterTheCacheSafely) {
  const Library instance("libcrypt_faulty.dll");  // a cache of its own
  ASSERT_TRUE(instance.loaded());
  auto init = instance.fn<HashInitFn>("RuroV_R34_11_1994_init");
  auto update = instance.fn<UpdateFn>("RuroV_R34_11_1994_update");
  auto final = instance.fn<FinalFn>("RuroV_R34_11_1994_final");
  constexpr int kThreads = 6;
  auto table_of = [](int t) {
    auto table = test_params();
    std::swap(table[32], table[33 + t]);  // row K6, a different swap per thread
    return table;
  };
  auto digest_with = [&](const std::array<uint8_t, kParamBlockSize>& table) {
    uint8_t ctx[120] = {}, state[kStateSize] = {}, start[32] = {};
    Bytes digest(32);
    EXPECT_EQ(init(ctx, table.data(), state, start), 0);
    EXPECT_EQ(update(ctx, "abc", 3), 0);
    EXPECT_EQ(final(ctx, digest.data()), 0);
    return digest;
  };
  dz_test::Barrier start(kThreads);
  std::vector<Bytes> parallel(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const auto table = table_of(t);
      EXPECT_TRUE(start.ArriveAndWait());
      parallel[size_t(t)] = digest_with(table);
    });
  }
  for (auto& th : threads) th.join();
  std::set<Bytes> distinct;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(parallel[size_t(t)], digest_with(table_of(t))) << t;
    distinct.insert(parallel[size_t(t)]);
  }
  EXPECT_EQ(distinct.size(), size_t(kThreads));
}

}  // namespace
}  // namespace gosttest
