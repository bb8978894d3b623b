/*
 * A host of dizora.dll as a banking client uses it: loads the library with
 * LoadLibraryA, resolves every export by name and by ordinal, calls the
 * engine through __stdcall pointers (sign, verify, encrypt, decrypt), and
 * checks that unloading stops the library and a second load starts it again.
 *
 *   dizora_host           the whole run above, ending with FreeLibrary
 *   dizora_host exit      a session, then main returns without FreeLibrary
 *                         while a second thread is still signing
 *   dizora_host planted   a libcrypt.dll in the current directory (beside a
 *                         document the user opened) is never loaded: a copy
 *                         of this program and the engine without it run as
 *                         "planted-child" in a directory that holds one
 *
 * Run from the directory that holds dizora.dll and libcrypt.dll. Prints one
 * line per failed check and a closing "N passed, N failed" line; the exit
 * code is 0 only when every check passed.
 */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef void *Engine;

typedef Engine(__stdcall *GetCryptObj_t)(intptr_t);
typedef void(__stdcall *DoneEngine_t)(Engine);
typedef int32_t(__stdcall *SizeQuery_t)(Engine);
typedef int32_t(__stdcall *GetMaxAdditionEx_t)(Engine, const char *);
typedef int32_t(__stdcall *SetCryptoParamValue_t)(Engine, int32_t, const char *);
typedef void(__stdcall *GetCryptoErrorString_t)(Engine, int32_t, char *);
typedef int32_t(__stdcall *GetCurrentUserUID_t)(Engine, char *);
typedef int32_t(__stdcall *GenerateNewSEK_t)(Engine);
typedef int32_t(__stdcall *SignData_t)(Engine, const void *, int32_t, void *, int32_t *, intptr_t);
typedef int32_t(__stdcall *VerifyData_t)(Engine, const void *, int32_t, const void *, int32_t, char *);
typedef int32_t(__stdcall *EncodeData_t)(Engine, void *, int32_t *, const char *);
typedef int32_t(__stdcall *DecodeData_t)(Engine, void *, int32_t *, intptr_t);
typedef void(__stdcall *SetRootPath_t)(Engine, const char *);

struct ExportInfo {
  const char *name;
  int ordinal;
  int arguments; /* 32-bit arguments: the callee removes 4 bytes each */
};

static const struct ExportInfo kExports[] = {
    {"GetCryptObj", 1, 1},
    {"DoneEngine", 2, 1},
    {"GetMaxEncodeAddition", 3, 1},
    {"GetMaxSignatureLength", 4, 1},
    {"GetMaxUIDLength", 5, 1},
    {"GetMaxCryptoParamNameLength", 6, 1},
    {"GetMaxCryptoParamValueLength", 7, 1},
    {"GetMaxErrorStringLength", 8, 1},
    {"GetCryptoParamNumber", 9, 1},
    {"GetCryptoParamName", 10, 3},
    {"GetCryptoParamValue", 11, 3},
    {"SetCryptoParamValue", 12, 3},
    {"GetEncodeUIDBySignUID", 13, 3},
    {"GetCryptoErrorString", 14, 3},
    {"EncodeData", 15, 4},
    {"DecodeData", 16, 4},
    {"SignData", 17, 6},
    {"VerifyData", 18, 6},
    {"GetCurrentUserUID", 19, 2},
    {"GenerateNewSSK", 20, 1},
    {"GenerateNewSEK", 21, 1},
    {"IsDifferentKeys", 22, 1},
    {"SetPasswordRequestFunc", 23, 2},
    {"GetMaxPasswordLength", 24, 1},
    {"IncludePublicKey", 25, 2},
    {"IncludePublicEncodeKey", 26, 2},
    {"SignFile", 27, 2},
    {"VerifyFile", 28, 3},
    {"RemoveSignaturesFromFile", 29, 2},
    {"GetLastErrorMessage", 30, 2},
    {"SetRootPath", 31, 2},
    {"TransSignatureFromFileToTM", 32, 1},
    {"TransPrivateKeyFromFileToTM", 33, 1},
    {"SetTMRequestFunc", 34, 2},
    {"ClearCash", 35, 1},
    {"RemoteGenerateStart", 36, 2},
    {"SetRemoteGeneratePath", 37, 2},
    {"AddSign", 38, 4},
    {"RemoveSign", 39, 4},
    {"GetMaxSignAddition", 40, 1},
    {"GetPublicKeyTransfer", 41, 3},
    {"RemoteGenerateFinish", 42, 2},
    {"SavePublicKeyFromTransfer", 43, 3},
    {"GetMaxPublicKeyTransferSize", 44, 1},
    {"IncludePublicKeyTransfer", 45, 2},
    {"ExcludeSelfPublicKeyTransfer", 46, 2},
    {"GetMaxFilePathLength", 47, 1},
    {"GetRemoteGenType", 48, 1},
    {"SaveSignedDataToFile", 49, 6},
    {"GetPublicKeyTransferByFile", 50, 3},
    {"GetMaxReportSize", 51, 1},
    {"GetReport", 52, 3},
    {"GetMaxAdditionEx", 53, 2},
    {"GetUIDByPublicKeyTransfer", 54, 3},
    {"UpdateCertificateCash", 55, 2},
    {"GetMaxPublicKeyPropertiesLength", 56, 1},
    {"GetPublicKeyProperties", 57, 3},
    {"RemoteGenerateStartEx", 58, 4},
    {"RemoteGenerateFinishEx", 59, 3},
    {"GetPublicKeyPropertiesByTransfer", 60, 3},
    {"GetPublicKeyPropertiesByFile", 61, 3},
    {"IncludeCACertificateFromTransfer", 62, 2},
    {"CreateDirStructure", 63, 3},
    {"RemoveCertificate", 64, 2},
    {"VerifySignWOCheckValidity", 65, 6},
    {"CertAndRequestTransferMatch", 66, 4},
    {"IncludeCRL", 67, 2},
    {"ConvertTransferToSignedRequest", 68, 2},
    {"HashData", 69, 6},
    {"ShowCertificate", 70, 2},
    {"GetPureSign", 71, 6},
    {"GetUIDByCertIdent", 72, 3},
    {"InstallCertsInMyStore", 73, 2},
    {"RegisterOIDInfo", 74, 3},
    {"GetParamInfo", 75, 5},
};

enum { kExportCount = sizeof kExports / sizeof kExports[0] };

enum {
  kPublicKey = 1,
  kSecretKey = 2,
  kAbonentsDir = 3,
  kCADir = 4,
  kKeyRequestTimeOut = 7,
  kLastOpTimeOut = 8,
  kKeyGenGost = 9,
  kKeyGenUID = 10,
  kKeyGenPublic = 11,
  kKeyGenSecret = 12
};

static int passed, failed;

static void Check(int ok, const char *what, long detail) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    printf("FAILED: %s (%ld)\n", what, detail);
  }
}

static FARPROC ByName(HMODULE dll, const char *name) { return GetProcAddress(dll, name); }

static FARPROC ByOrdinal(HMODULE dll, int ordinal) {
  return GetProcAddress(dll, MAKEINTRESOURCEA((WORD)ordinal));
}

/* The address of an export as a data pointer, for comparisons. */
static void *Address(FARPROC p) {
  void *a;
  memcpy(&a, &p, sizeof a);
  return a;
}

/* Resolves an export by name as a function pointer of the caller's type. */
#define RESOLVE(dll, type, name) ((type)(void *)ByName((dll), #name))

/*
 * Calls fn(engine) and returns how many bytes of arguments the caller would
 * still have to remove afterwards: 0 for __stdcall (the callee removed the
 * argument), 4 for a cdecl function.
 */
static int CallerCleanup(FARPROC fn, Engine engine) {
  int left;
  __asm__ volatile(
      "movl %%esp, %%ebx\n\t"
      "pushl %%edi\n\t"
      "call *%%esi\n\t"
      "subl %%esp, %%ebx\n\t"
      "addl %%ebx, %%esp\n\t"
      : "=&b"(left)
      : "S"(fn), "D"(engine)
      : "eax", "ecx", "edx", "memory", "cc");
  return left;
}

static void CheckExportTable(HMODULE dll) {
  int i, same = 0;
  for (i = 0; i < kExportCount; ++i) {
    FARPROC by_name = ByName(dll, kExports[i].name);
    FARPROC by_ordinal = ByOrdinal(dll, kExports[i].ordinal);
    int ok = by_name != NULL && Address(by_name) == Address(by_ordinal);
    if (!ok) printf("export %s at ordinal %d: by name %p, by ordinal %p\n", kExports[i].name,
                    kExports[i].ordinal, Address(by_name), Address(by_ordinal));
    same += ok;
  }
  Check(same == kExportCount, "every export resolves by name and by its ordinal to one address", same);
  Check(ByOrdinal(dll, kExportCount + 1) == NULL, "no ordinal past the table", kExportCount + 1);
  Check(ByName(dll, "GetCryptObj@4") == NULL && ByName(dll, "_GetCryptObj@4") == NULL &&
            ByName(dll, "SignData@24") == NULL,
        "no decorated names", 0);
  Check(ByName(dll, "DllMain") == NULL && ByName(dll, "DllMain@12") == NULL, "DllMain is not exported", 0);
}

static void CheckStdcall(HMODULE dll, Engine engine) {
  Check(CallerCleanup(ByName(dll, "GetMaxUIDLength"), engine) == 0, "GetMaxUIDLength removes its argument",
        CallerCleanup(ByName(dll, "GetMaxUIDLength"), engine));
  Check(CallerCleanup(ByName(dll, "GetMaxFilePathLength"), NULL) == 0,
        "GetMaxFilePathLength removes its argument", 0);
}

/* ---- A scratch key medium under the system's temporary directory ---------- */

static char g_dir[MAX_PATH];

static void PathIn(char *out, const char *name) { snprintf(out, MAX_PATH, "%s\\%s", g_dir, name); }

static int MakeScratchDir(void) {
  char temp[MAX_PATH];
  char sub[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return 0;
  snprintf(g_dir, sizeof g_dir, "%sdz_host_%lu", temp, (unsigned long)GetCurrentProcessId());
  if (!CreateDirectoryA(g_dir, NULL)) return 0;
  PathIn(sub, "ABONENTS");
  if (!CreateDirectoryA(sub, NULL)) return 0;
  PathIn(sub, "CA");
  return CreateDirectoryA(sub, NULL) != 0;
}

static void RemoveTree(const char *dir) {
  char mask[MAX_PATH];
  char path[MAX_PATH];
  WIN32_FIND_DATAA found;
  HANDLE h;
  snprintf(mask, sizeof mask, "%s\\*", dir);
  h = FindFirstFileA(mask, &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
      snprintf(path, sizeof path, "%s\\%s", dir, found.cFileName);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path);
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(dir);
}

/* ---- The round trip ---------------------------------------------------- */

struct Api {
  GetCryptObj_t GetCryptObj;
  DoneEngine_t DoneEngine;
  SetCryptoParamValue_t SetCryptoParamValue;
  GetCryptoErrorString_t GetCryptoErrorString;
  GetCurrentUserUID_t GetCurrentUserUID;
  GenerateNewSEK_t GenerateNewSEK;
  SizeQuery_t GetMaxSignatureLength;
  GetMaxAdditionEx_t GetMaxAdditionEx;
  SignData_t SignData;
  VerifyData_t VerifyData;
  EncodeData_t EncodeData;
  DecodeData_t DecodeData;
  SetRootPath_t SetRootPath;
};

static int Resolve(HMODULE dll, struct Api *api) {
  api->GetCryptObj = RESOLVE(dll, GetCryptObj_t, GetCryptObj);
  api->DoneEngine = RESOLVE(dll, DoneEngine_t, DoneEngine);
  api->SetCryptoParamValue = RESOLVE(dll, SetCryptoParamValue_t, SetCryptoParamValue);
  api->GetCryptoErrorString = RESOLVE(dll, GetCryptoErrorString_t, GetCryptoErrorString);
  api->GetCurrentUserUID = RESOLVE(dll, GetCurrentUserUID_t, GetCurrentUserUID);
  api->GenerateNewSEK = RESOLVE(dll, GenerateNewSEK_t, GenerateNewSEK);
  api->GetMaxSignatureLength = RESOLVE(dll, SizeQuery_t, GetMaxSignatureLength);
  api->GetMaxAdditionEx = RESOLVE(dll, GetMaxAdditionEx_t, GetMaxAdditionEx);
  api->SignData = RESOLVE(dll, SignData_t, SignData);
  api->VerifyData = RESOLVE(dll, VerifyData_t, VerifyData);
  api->EncodeData = RESOLVE(dll, EncodeData_t, EncodeData);
  api->DecodeData = RESOLVE(dll, DecodeData_t, DecodeData);
  api->SetRootPath = RESOLVE(dll, SetRootPath_t, SetRootPath);
  return api->GetCryptObj && api->DoneEngine && api->SetCryptoParamValue && api->GetCryptoErrorString &&
         api->GetCurrentUserUID && api->GenerateNewSEK && api->GetMaxSignatureLength && api->GetMaxAdditionEx &&
         api->SignData && api->VerifyData && api->EncodeData && api->DecodeData && api->SetRootPath;
}

static void Report(const struct Api *api, Engine e, const char *what, int32_t code) {
  char text[256] = "";
  if (code == -3) api->GetCryptoErrorString(e, code, text);
  if (code != 0) printf("%s: result %ld %s\n", what, (long)code, text);
}

static int Set(const struct Api *api, Engine e, int32_t index, const char *value) {
  return api->SetCryptoParamValue(e, index, value) == 0;
}

/* Points the engine at the scratch medium and generates its key pair. */
static int MakeKeys(const struct Api *api, Engine e, const char *uid) {
  char pub[MAX_PATH], sec[MAX_PATH], abonents[MAX_PATH], ca[MAX_PATH];
  int32_t r;
  PathIn(pub, "self.pub");
  PathIn(sec, "self.sec");
  PathIn(abonents, "ABONENTS");
  PathIn(ca, "CA");
  if (!(Set(api, e, kPublicKey, pub) && Set(api, e, kSecretKey, sec) && Set(api, e, kAbonentsDir, abonents) &&
        Set(api, e, kCADir, ca) && Set(api, e, kKeyRequestTimeOut, "86400") &&
        Set(api, e, kLastOpTimeOut, "86400") && Set(api, e, kKeyGenGost, "2001") &&
        Set(api, e, kKeyGenUID, uid) && Set(api, e, kKeyGenPublic, pub) && Set(api, e, kKeyGenSecret, sec))) {
    return 0;
  }
  r = api->GenerateNewSEK(e);
  Report(api, e, "GenerateNewSEK", r);
  return r == 0;
}

static void SignAndVerify(const struct Api *api, Engine e, const char *uid) {
  static const char kData[] = "Payment order 17: 1000.00 to account 40702810900000000001";
  unsigned char signature[512];
  char signer[256];
  int32_t size = (int32_t)sizeof signature;
  int32_t r;
  Check(api->GetMaxSignatureLength(e) <= (int32_t)sizeof signature, "signature fits the buffer", 0);
  r = api->SignData(e, kData, (int32_t)strlen(kData), signature, &size, 0);
  Report(api, e, "SignData", r);
  Check(r == 0 && size > 64, "SignData", r);
  memset(signer, 'x', sizeof signer);
  r = api->VerifyData(e, kData, (int32_t)strlen(kData), signature, size, signer);
  Report(api, e, "VerifyData", r);
  Check(r == 0, "VerifyData of the signed data", r);
  Check(strcmp(signer, uid) == 0, "VerifyData names the signer", 0);
  r = api->VerifyData(e, "Payment order 17: 9000.00", 25, signature, size, signer);
  Check(r != 0, "VerifyData refuses other data", r);
}

static void EncryptAndDecrypt(const struct Api *api, Engine e, const char *uid) {
  static unsigned char plain[3000];
  static unsigned char block[3000 + 32768];
  int32_t size = (int32_t)sizeof plain;
  int32_t addition;
  int32_t r;
  int i;
  for (i = 0; i < (int)sizeof plain; ++i) plain[i] = (unsigned char)(i * 7 + 3);
  addition = api->GetMaxAdditionEx(e, uid);
  Check(addition > 0 && (int32_t)sizeof plain + addition <= (int32_t)sizeof block, "GetMaxAdditionEx", addition);
  memcpy(block, plain, sizeof plain);
  r = api->EncodeData(e, block, &size, uid);
  Report(api, e, "EncodeData", r);
  Check(r == 0 && size > (int32_t)sizeof plain, "EncodeData for the own UID", r);
  Check(memcmp(block, plain, sizeof plain) != 0, "the block does not hold the plain text", 0);
  r = api->DecodeData(e, block, &size, 0);
  Report(api, e, "DecodeData", r);
  Check(r == 0 && size == (int32_t)sizeof plain && memcmp(block, plain, sizeof plain) == 0,
        "DecodeData gives the plain text back", r);
}

/* SetRootPath puts the root's USER, SYSTEM and EXE directories in front of "Path". */
static void CheckSearchPath(const struct Api *api, Engine e) {
  static const char kExpected[] = "C:\\DzHostRoot\\USER\\;C:\\DzHostRoot\\SYSTEM\\;C:\\DzHostRoot\\EXE\\";
  char value[32768];
  DWORD n;
  api->SetRootPath(e, "C:\\DzHostRoot");
  n = GetEnvironmentVariableA("Path", value, sizeof value);
  Check(n > 0 && n < sizeof value && strncmp(value, kExpected, strlen(kExpected)) == 0 &&
            (value[strlen(kExpected)] == ';' || value[strlen(kExpected)] == '\0'),
        "SetRootPath extends Path", (long)n);
}

static void RunSession(HMODULE dll, int first) {
  struct Api api;
  Engine e;
  char uid[256] = "";
  if (!Resolve(dll, &api)) {
    Check(0, "resolving the round-trip exports", 0);
    return;
  }
  e = api.GetCryptObj(0);
  Check(e != NULL, "GetCryptObj", 0);
  if (e == NULL) return;
  if (first) {
    CheckStdcall(dll, e);
    Check(MakeKeys(&api, e, "HostUser"), "key generation", 0);
  } else {
    char pub[MAX_PATH], sec[MAX_PATH];
    PathIn(pub, "self.pub");
    PathIn(sec, "self.sec");
    Check(Set(&api, e, kPublicKey, pub) && Set(&api, e, kSecretKey, sec), "settings", 0);
  }
  Check(api.GetCurrentUserUID(e, uid) == 0 && strcmp(uid, "HostUser") == 0, "GetCurrentUserUID", 0);
  SignAndVerify(&api, e, "HostUser");
  EncryptAndDecrypt(&api, e, "HostUser");
  if (!first) CheckSearchPath(&api, e);
  api.DoneEngine(e);
}

/* ---- Leaving while a second thread is still inside the engine ------------ */

struct Signer {
  const struct Api *api;
  Engine engine;
  volatile LONG calls;
};

static DWORD WINAPI SignForever(LPVOID argument) {
  struct Signer *signer = argument;
  static unsigned char data[4 << 20];
  unsigned char signature[512];
  memset(data, 0x42, sizeof data);
  for (;;) {
    int32_t size = 0;
    InterlockedIncrement(&signer->calls);
    signer->api->SignData(signer->engine, data, (int32_t)sizeof data, signature, &size, 0);
  }
  return 0;
}

/* Returns from main without FreeLibrary while the thread signs: the system
 * ends the thread, and the library must not be torn down under it. */
static int ExitWhileSigning(void) {
  static struct Api api;
  static struct Signer signer;
  HMODULE dll = LoadLibraryA("dizora.dll");
  Check(dll != NULL, "LoadLibraryA(dizora.dll)", (long)GetLastError());
  if (dll == NULL || !Resolve(dll, &api)) return 1;
  signer.api = &api;
  signer.engine = api.GetCryptObj(0);
  Check(signer.engine != NULL && MakeKeys(&api, signer.engine, "HostUser"), "key generation", 0);
  SignAndVerify(&api, signer.engine, "HostUser");
  Check(CreateThread(NULL, 0, SignForever, &signer, 0, NULL) != NULL, "CreateThread", (long)GetLastError());
  while (signer.calls < 2) Sleep(1); /* the first call is done, the second running */
  Sleep(5);
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

/* ---- A libcrypt.dll planted in the current directory -------------------- */

static void DirectoryOfModule(HMODULE module, char *dir) {
  char *slash;
  GetModuleFileNameA(module, dir, MAX_PATH);
  slash = strrchr(dir, '\\');
  if (slash != NULL) slash[1] = '\0';
}

/* The child: its own directory holds dizora.dll but no libcrypt.dll; the
 * current directory holds one. The engine must not load it, and loads the
 * library once it is in the program's directory. */
static int PlantedChild(void) {
  struct Api api;
  char own[MAX_PATH], source[MAX_PATH], target[MAX_PATH], cwd[MAX_PATH];
  unsigned char signature[512];
  int32_t size = 0, r;
  HMODULE dll;
  Engine e;
  DirectoryOfModule(NULL, own);
  GetCurrentDirectoryA(sizeof cwd, cwd);
  snprintf(source, sizeof source, "%s\\libcrypt.dll", cwd);
  snprintf(target, sizeof target, "%slibcrypt.dll", own);
  Check(GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES, "libcrypt.dll is in the current directory", 0);
  Check(GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES, "no libcrypt.dll beside the program", 0);
  dll = LoadLibraryA("dizora.dll");
  Check(dll != NULL, "LoadLibraryA(dizora.dll)", (long)GetLastError());
  if (dll == NULL || !Resolve(dll, &api)) return 1;
  e = api.GetCryptObj(0);
  r = api.SignData(e, "order", 5, signature, &size, 0);
  Check(r == -29, "the engine does not load the planted libcrypt.dll", r);
  Check(GetModuleHandleA("libcrypt.dll") == NULL, "no libcrypt.dll in the process", 0);
  /* The same library beside the program is found (the check above was not
   * passed for want of a loadable library). */
  Check(CopyFileA(source, target, FALSE) != 0, "copying libcrypt.dll beside the program", (long)GetLastError());
  r = api.SignData(e, "order", 5, signature, &size, 0);
  Check(r != -29 && GetModuleHandleA("libcrypt.dll") != NULL, "libcrypt.dll beside the program is loaded", r);
  api.DoneEngine(e);
  FreeLibrary(dll);
  printf("planted-child: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

static int CopyInto(const char *from_dir, const char *name, const char *to_dir) {
  char from[MAX_PATH], to[MAX_PATH];
  snprintf(from, sizeof from, "%s%s", from_dir, name);
  snprintf(to, sizeof to, "%s\\%s", to_dir, name);
  return CopyFileA(from, to, FALSE) != 0;
}

static int Planted(void) {
  char own[MAX_PATH], app[MAX_PATH], documents[MAX_PATH], program[MAX_PATH], command[] = "dizora_host.exe planted-child";
  STARTUPINFOA startup;
  PROCESS_INFORMATION child;
  DWORD status = 1;
  DirectoryOfModule(NULL, own);
  snprintf(app, sizeof app, "%s\\app", g_dir);
  snprintf(documents, sizeof documents, "%s\\documents", g_dir);
  Check(CreateDirectoryA(app, NULL) && CreateDirectoryA(documents, NULL), "scratch directories", 0);
  Check(CopyInto(own, "dizora_host.exe", app) && CopyInto(own, "dizora.dll", app) &&
            CopyInto(own, "libcrypt.dll", documents),
        "copies of the program, the engine and the library", (long)GetLastError());
  snprintf(program, sizeof program, "%s\\dizora_host.exe", app);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (CreateProcessA(program, command, NULL, NULL, TRUE, 0, NULL, documents, &startup, &child)) {
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  } else {
    Check(0, "CreateProcessA", (long)GetLastError());
  }
  Check(status == 0, "the child refused the planted libcrypt.dll", (long)status);
  RemoveTree(g_dir);
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

/* ---- The whole run -------------------------------------------------------- */

int main(int argc, char **argv) {
  HMODULE dll;
  if (argc > 1 && strcmp(argv[1], "planted-child") == 0) return PlantedChild();
  Check(GetModuleHandleA("libcrypt.dll") == NULL, "libcrypt.dll is not loaded before the engine", 0);
  if (!MakeScratchDir()) {
    printf("cannot create a scratch directory\n");
    return 2;
  }
  if (argc > 1 && strcmp(argv[1], "exit") == 0) return ExitWhileSigning();
  if (argc > 1 && strcmp(argv[1], "planted") == 0) return Planted();

  dll = LoadLibraryA("dizora.dll");
  Check(dll != NULL, "LoadLibraryA(dizora.dll)", (long)GetLastError());
  if (dll != NULL) {
    CheckExportTable(dll);
    RunSession(dll, 1);
    Check(GetModuleHandleA("libcrypt.dll") != NULL, "the engine loaded libcrypt.dll", 0);
    Check(FreeLibrary(dll) != 0, "FreeLibrary(dizora.dll)", 0);
    Check(GetModuleHandleA("dizora.dll") == NULL, "dizora.dll unloaded", 0);
    Check(GetModuleHandleA("libcrypt.dll") == NULL, "unloading the engine freed libcrypt.dll", 0);
  }

  /* A second load starts the library afresh and finds the keys on the medium. */
  dll = LoadLibraryA("dizora.dll");
  Check(dll != NULL, "second LoadLibraryA(dizora.dll)", (long)GetLastError());
  if (dll != NULL) {
    RunSession(dll, 0);
    FreeLibrary(dll);
  }

  RemoveTree(g_dir);
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
