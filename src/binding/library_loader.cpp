// TCryptoC_DLL: library load, entry-point table, library state, random fill,
// parameter block; the process-wide library handle; the UID comparison.
#include "binding/crypto_c_dll.h"

#include <algorithm>
#include <cstring>

#include "support/root_path.h"
#include "platform/dynlib.h"
#include "platform/process_state.h"
#include "platform/text_compare.h"
#include "support/secure.h"

namespace dizora {

namespace {

// The library module of the process, loaded by the first binding object that
// succeeds and freed at module stop. LibraryLock guards the check-and-load.
struct ProcessLibrary {
  platform::CriticalSection LibraryLock;
  platform::ModuleHandle Handle = nullptr;
};

// Created by the module's start (or first use), destroyed by its stop.
constinit platform::ProcessState<ProcessLibrary> g_library;

// Returns the shared module handle, loading the library when no earlier load
// succeeded; null when it cannot be loaded (not remembered).
platform::ModuleHandle AcquireLibraryHandle() {
  ProcessLibrary& library = g_library.Get();
  platform::CriticalSectionGuard guard(library.LibraryLock);
  if (library.Handle == nullptr) library.Handle = LoadLibraryWithFallback(rurov::kLibraryName);
  return library.Handle;
}

// Substitution table of the GOST R 34.11-94 test parameter set, rows K8 down to K1.
constexpr uint8_t kTestSubstitutionTable[rurov::kSubstitutionTableSize] = {
    1,  15, 13, 0,  5,  7,  10, 4,  9,  2,  3,  14, 6,  11, 8,  12,  // K8
    13, 11, 4,  1,  3,  15, 5,  9,  0,  10, 14, 7,  6,  8,  2,  12,  // K7
    4,  11, 10, 0,  7,  2,  1,  13, 3,  6,  8,  5,  9,  12, 15, 14,  // K6
    6,  12, 7,  1,  5,  15, 13, 8,  4,  10, 9,  14, 0,  3,  11, 2,   // K5
    7,  13, 10, 1,  0,  8,  9,  15, 14, 4,  6,  12, 11, 2,  5,  3,   // K4
    5,  8,  1,  13, 10, 3,  4,  2,  14, 15, 12, 7,  6,  0,  9,  11,  // K3
    14, 11, 4,  12, 6,  13, 15, 10, 2,  3,  8,  1,  0,  7,  5,  9,   // K2
    4,  10, 9,  2,  13, 8,  0,  14, 6,  11, 1,  12, 7,  15, 5,  3,   // K1
};

// Lower case of a Windows-1251 byte: ASCII and Cyrillic letters.
unsigned char FoldCp1251(unsigned char c) noexcept {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 0x20);  // А..Я
  switch (c) {
    case 0x80: return 0x90;  // Ђ
    case 0x81: return 0x83;  // Ѓ
    case 0x8A: return 0x9A;  // Љ
    case 0x8C: return 0x9C;  // Њ
    case 0x8D: return 0x9D;  // Ќ
    case 0x8E: return 0x9E;  // Ћ
    case 0x8F: return 0x9F;  // Џ
    case 0xA1: return 0xA2;  // Ў
    case 0xA3: return 0xBC;  // Ј
    case 0xA5: return 0xB4;  // Ґ
    case 0xA8: return 0xB8;  // Ё
    case 0xAA: return 0xBA;  // Є
    case 0xAF: return 0xBF;  // Ї
    case 0xB2: return 0xB3;  // І
    case 0xBD: return 0xBE;  // Ѕ
    default: return c;
  }
}

}  // namespace

const char* const kRuroVEntryPointNames[rurov::kEntryPointCount] = {
#define DZ_RUROV_NAME(name, type) #name,
    DZ_RUROV_ENTRY_POINTS(DZ_RUROV_NAME)
#undef DZ_RUROV_NAME
};

bool SameUIDIgnoreCase(std::string_view a, std::string_view b) noexcept {
  // The system's comparison in the user's locale where there is one (Windows);
  // elsewhere Windows-1251 letters are folded here.
  if (const std::optional<bool> equal = platform::SystemTextsEqualIgnoringCase(a, b)) return *equal;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCp1251(static_cast<unsigned char>(a[i])) != FoldCp1251(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string UIDFoldKey(std::string_view uid) {
  if (std::optional<std::string> key = platform::SystemIgnoringCaseKey(uid)) return std::move(*key);
  std::string key(uid);
  for (char& c : key) c = static_cast<char>(FoldCp1251(static_cast<unsigned char>(c)));
  return key;
}

void TWipingDelete::operator()(TSecretKeyBlock* block) const noexcept { support::DeleteSecretBlock(block); }

void TWipingDelete::operator()(TKeyMaskBlock* block) const noexcept { support::DeleteSecretBlock(block); }

TCryptoC_CashNode::~TCryptoC_CashNode() { support::WipeMemory(MutualKey.data(), MutualKey.size()); }

TCryptoC_DLL::TCryptoC_DLL() {
  platform::ModuleHandle module = AcquireLibraryHandle();
  if (module == nullptr) return;
  Loaded = true;
  ResolveEntryPoints(module);
}

TCryptoC_DLL::~TCryptoC_DLL() { ReleaseKeys(); }

void TCryptoC_DLL::Attach(DizoraCallback passwordRequest, std::string medium) {
  PasswordRequestFunc = passwordRequest;
  Medium = std::move(medium);
}

void TCryptoC_DLL::ResolveEntryPoints(void* module) {
  int32_t found = 0;
#define DZ_RUROV_RESOLVE(name, type)                                                  \
  name = reinterpret_cast<type>(platform::FindModuleSymbol(module, #name)); \
  if (name != nullptr) ++found;
  DZ_RUROV_ENTRY_POINTS(DZ_RUROV_RESOLVE)
#undef DZ_RUROV_RESOLVE
  Complete = (found == rurov::kEntryPointCount);
}

void TCryptoC_DLL::SnapshotState(TLibraryState& copy) {
  TGuard guard(StateLock);
  copy = LibraryState;
}

void TCryptoC_DLL::CommitState(const TLibraryState& copy) {
  TGuard guard(StateLock);
  LibraryState = copy;
}

int32_t TCryptoC_DLL::RandomFill(void* buffer, int32_t length) {
  TLibraryState state;
  SnapshotState(state);
  const int32_t result = RuroV_Random_Fill(state.data(), buffer, length);
  CommitState(state);
  return result;
}

namespace {

constexpr TParameterBlock MakeParameterBlock() {
  TParameterBlock block{};
  for (size_t i = 0; i < sizeof(kTestSubstitutionTable); ++i) block[i] = kTestSubstitutionTable[i];
  return block;
}

// Made by the compiler, read-only: the library takes the block as const, so
// one copy serves every call and thread and nothing is filled per call.
constexpr TParameterBlock kParameterBlock = MakeParameterBlock();

}  // namespace

const TParameterBlock& TCryptoC_DLL::ParameterBlock() { return kParameterBlock; }

void RurovModuleStart() { (void)g_library.Get(); }

// Runs when no binding object is left and no thread is inside the library, so
// the lock is not taken: a stop must not block or throw.
void RurovModuleStop() noexcept {
  const std::unique_ptr<ProcessLibrary> library = g_library.Take();
  if (library && library->Handle != nullptr) platform::FreeModule(library->Handle);
}

void* RurovLibraryHandleForTesting() {
  ProcessLibrary& library = g_library.Get();
  platform::CriticalSectionGuard guard(library.LibraryLock);
  return library.Handle;
}

}  // namespace dizora
