/*
 * A host that loads the engine library at run time with dlopen, as a plugin
 * host or a banking client's script runtime does, and leaves in one of the
 * ways such hosts leave:
 *
 *   dlopen_host LIBRARY WORKDIR exit        a session, then main returns without dlclose
 *   dlopen_host LIBRARY WORKDIR close       a session, then dlclose: both libraries unloaded
 *   dlopen_host LIBRARY WORKDIR rounds N    N rounds of dlopen, sign and verify, dlclose
 *   dlopen_host LIBRARY WORKDIR thread      main returns while a second thread is signing
 *
 * A session sets the root to a fresh key medium in WORKDIR, generates a key
 * pair, signs and verifies (and refuses changed data), encrypts and decrypts.
 * Prints one line per failed check and "dlopen host MODE: ok" at the end;
 * the exit status is 0 only when every check passed and the process ended
 * cleanly.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "dizora.h"

/* The exports used here, resolved by name, typed after the header. */
#define DZ_EXPORTS(X)                                                                          \
  X(GetCryptObj) X(DoneEngine) X(SetRootPath) X(SetCryptoParamValue) X(GenerateNewSEK)         \
  X(SignData) X(VerifyData) X(GetMaxAdditionEx) X(EncodeData) X(DecodeData) X(GetCurrentUserUID) \
  X(GetCryptoErrorString)

struct Api {
#define DZ_FIELD(name) __typeof__(name) *name;
  DZ_EXPORTS(DZ_FIELD)
#undef DZ_FIELD
};

enum { kKeyGenUID = 10, kKeyGenPublic = 11, kKeyGenSecret = 12, kHashMethod = 13, kTimeOut = 7, kLastOp = 8 };

static int failures;

static void Check(int ok, const char *what, long detail) {
  if (ok) return;
  ++failures;
  printf("FAILED: %s (%ld)\n", what, detail);
  fflush(stdout);
}

static void *Open(const char *library, struct Api *api) {
  void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle == NULL) {
    printf("FAILED: dlopen: %s\n", dlerror());
    ++failures;
    return NULL;
  }
  int complete = 1;
#define DZ_RESOLVE(name)                             \
  *(void **)&api->name = dlsym(handle, #name);       \
  if (api->name == NULL) {                           \
    printf("FAILED: missing export %s\n", #name);    \
    complete = 0;                                    \
  }
  DZ_EXPORTS(DZ_RESOLVE)
#undef DZ_RESOLVE
  if (!complete) {
    ++failures;
    dlclose(handle);
    return NULL;
  }
  return handle;
}

static int Report(const struct Api *api, DizoraEngine e, const char *what, int32_t code) {
  if (code != 0) {
    char text[256] = "";
    api->GetCryptoErrorString(e, code, text);
    printf("%s: result %ld %s\n", what, (long)code, text);
  }
  return code;
}

/* WORKDIR emptied of an earlier run and made again, with the medium's directories. */
static void RemoveTree(const char *path) {
  DIR *dir = opendir(path);
  if (dir != NULL) {
    struct dirent *entry;
    while ((entry = readdir(dir)) != NULL) {
      if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
      char child[4096];
      snprintf(child, sizeof child, "%s/%s", path, entry->d_name);
      struct stat st;
      if (lstat(child, &st) == 0 && S_ISDIR(st.st_mode)) {
        RemoveTree(child);
      } else {
        unlink(child);
      }
    }
    closedir(dir);
  }
  rmdir(path);
}

static int MakeMedium(const char *workdir) {
  char path[4096];
  RemoveTree(workdir);
  if (mkdir(workdir, 0700) != 0) return 0;
  snprintf(path, sizeof path, "%s/ABONENTS", workdir);
  if (mkdir(path, 0700) != 0) return 0;
  snprintf(path, sizeof path, "%s/CA", workdir);
  return mkdir(path, 0700) == 0;
}

static const char kOrder[] = "Payment order 42: 925 000,00 RUB to account 40702810100000000007";

/* An engine on the medium at the process root, with its key pair made when asked. */
static DizoraEngine Engine(const struct Api *api, const char *workdir, int generate) {
  DizoraEngine e = api->GetCryptObj(0);
  Check(e != NULL, "GetCryptObj", 0);
  if (e == NULL) return NULL;
  api->SetRootPath(e, workdir);
  Check(api->SetCryptoParamValue(e, kHashMethod, "GOST") == 0, "setting Hash method", 0);
  Check(api->SetCryptoParamValue(e, kTimeOut, "86400") == 0 && api->SetCryptoParamValue(e, kLastOp, "86400") == 0,
        "setting the time-outs", 0);
  if (generate) {
    Check(api->SetCryptoParamValue(e, kKeyGenUID, "Host") == 0 &&
              api->SetCryptoParamValue(e, kKeyGenPublic, "%ZRNRoot%self.pub") == 0 &&
              api->SetCryptoParamValue(e, kKeyGenSecret, "%ZRNRoot%self.sec") == 0,
          "key generation settings", 0);
    int32_t r = Report(api, e, "GenerateNewSEK", api->GenerateNewSEK(e));
    Check(r == 0, "GenerateNewSEK", r);
  }
  return e;
}

static void SignAndVerify(const struct Api *api, DizoraEngine e) {
  unsigned char signature[512];
  int32_t size = 0;
  char signer[256];
  int32_t r = Report(api, e, "SignData", api->SignData(e, kOrder, (int32_t)strlen(kOrder), signature, &size, 0));
  Check(r == 0 && size > 64, "SignData", r);
  memset(signer, 'x', sizeof signer);
  r = Report(api, e, "VerifyData", api->VerifyData(e, kOrder, (int32_t)strlen(kOrder), signature, size, signer));
  Check(r == 0 && strcmp(signer, "Host") == 0, "VerifyData of the signed order names its signer", r);
  r = api->VerifyData(e, "Payment order 42: 125", 21, signature, size, signer);
  Check(r == 5, "VerifyData refuses another order", r);
}

static void EncryptAndDecrypt(const struct Api *api, DizoraEngine e) {
  static unsigned char block[4096];
  const int32_t length = (int32_t)strlen(kOrder);
  int32_t size = length;
  const int32_t room = length + api->GetMaxAdditionEx(e, "Host");
  Check(room > length && room <= (int32_t)sizeof block, "GetMaxAdditionEx", room);
  memcpy(block, kOrder, (size_t)length);
  int32_t r = Report(api, e, "EncodeData", api->EncodeData(e, block, &size, "Host"));
  Check(r == 0 && size > length && size <= room, "EncodeData for the own UID", r);
  r = Report(api, e, "DecodeData", api->DecodeData(e, block, &size, 0));
  Check(r == 0 && size == length && memcmp(block, kOrder, (size_t)length) == 0, "DecodeData gives the order back", r);
}

static void Session(const struct Api *api, const char *workdir) {
  DizoraEngine e = Engine(api, workdir, 1);
  if (e == NULL) return;
  char uid[256] = "";
  Check(api->GetCurrentUserUID(e, uid) == 0 && strcmp(uid, "Host") == 0, "GetCurrentUserUID", 0);
  SignAndVerify(api, e);
  EncryptAndDecrypt(api, e);
  api->DoneEngine(e);
}

/* True when a file of that name is mapped into the process. */
static int Mapped(const char *file_name) {
  FILE *maps = fopen("/proc/self/maps", "r");
  char line[8192];
  int found = 0;
  if (maps == NULL) return 0;
  while (!found && fgets(line, sizeof line, maps) != NULL) {
    const char *slash = strrchr(line, '/');
    if (slash != NULL && strncmp(slash + 1, file_name, strlen(file_name)) == 0) found = 1;
  }
  fclose(maps);
  return found;
}

static int OpenFiles(void) {
  DIR *dir = opendir("/proc/self/fd");
  int n = 0;
  if (dir == NULL) return -1;
  while (readdir(dir) != NULL) ++n;
  closedir(dir);
  return n;
}

static void CheckUnloaded(const char *library) {
  void *again = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
  Check(again == NULL, "dlclose unloaded the engine library", 0);
  if (again != NULL) dlclose(again);
  Check(!Mapped("libcrypt.dll"), "unloading the engine freed libcrypt.dll", 0);
}

static void Rounds(const char *library, const char *workdir, int rounds) {
  int files_after_first = -1;
  for (int i = 0; i < rounds && failures == 0; ++i) {
    struct Api api;
    void *handle = Open(library, &api);
    if (handle == NULL) return;
    DizoraEngine e = Engine(&api, workdir, i == 0);
    if (e != NULL) {
      SignAndVerify(&api, e);
      api.DoneEngine(e);
    }
    dlclose(handle);
    if (i == 0) files_after_first = OpenFiles();
  }
  CheckUnloaded(library);
  Check(OpenFiles() <= files_after_first, "no more open files after the rounds than after the first", OpenFiles());
}

/* ---- A second thread still signing when main returns ---------------------- */

/* The signer keeps its own copy of the entry points: main's locals are gone
 * once main returns, while this thread goes on. */
struct Signer {
  struct Api api;
  DizoraEngine engine;
  atomic_int calls;
};

static void *SignForever(void *argument) {
  struct Signer *signer = argument;
  static unsigned char data[4 << 20];
  unsigned char signature[512];
  memset(data, 0x42, sizeof data);
  for (;;) {
    int32_t size = 0;
    atomic_fetch_add(&signer->calls, 1);
    signer->api.SignData(signer->engine, data, (int32_t)sizeof data, signature, &size, 0);
  }
  return NULL;
}

static void LeaveWhileSigning(const struct Api *api, const char *workdir) {
  static struct Signer signer;
  pthread_t thread;
  signer.api = *api;
  signer.engine = Engine(api, workdir, 1);
  if (signer.engine == NULL) return;
  SignAndVerify(api, signer.engine);
  Check(pthread_create(&thread, NULL, SignForever, &signer) == 0, "pthread_create", 0);
  while (atomic_load(&signer.calls) < 2) usleep(1000);  /* the first call is done, the second running */
  usleep(5000);
}

int main(int argc, char **argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: dlopen_host LIBRARY WORKDIR exit|close|rounds N|thread\n");
    return 2;
  }
  const char *library = argv[1], *workdir = argv[2], *mode = argv[3];
  if (!MakeMedium(workdir)) {
    printf("cannot make the key medium %s\n", workdir);
    return 2;
  }
  if (strcmp(mode, "rounds") == 0) {
    Rounds(library, workdir, argc > 4 ? atoi(argv[4]) : 100);
  } else {
    struct Api api;
    void *handle = Open(library, &api);
    if (handle == NULL) return 1;
    if (strcmp(mode, "thread") == 0) {
      LeaveWhileSigning(&api, workdir);
    } else {
      Session(&api, workdir);
      Check(Mapped("libcrypt.dll"), "the engine loaded libcrypt.dll", 0);
      if (strcmp(mode, "close") == 0) {
        Check(dlclose(handle) == 0, "dlclose", 0);
        CheckUnloaded(library);
      }
    }
  }
  printf("dlopen host %s: %s\n", mode, failures == 0 ? "ok" : "FAILED");
  fflush(stdout);
  return failures == 0 ? 0 : 1;
}
