#include "fault.hpp"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "common.hpp"

#include "export.hpp"
#include "test_hooks.h"

namespace gost {

namespace {

struct Forcing {
  int32_t code;
  int32_t remaining;  // < 0: until reset
};

// The only global mutable state of the test build: which entry points fail.
class FaultTable {
 public:
  int32_t force(const char* name, int32_t code, int32_t count) {
    if (name == nullptr) return kErrNullPointer;
    if (!known(name)) return kErrArgument;
    std::lock_guard<std::mutex> lock(mutex_);
    if (code == 0 || count == 0) {
      table_.erase(std::string(name));
    } else {
      table_[name] = {code, count};
    }
    return kOk;
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    table_.clear();
  }
  bool take(const char* name, int32_t* code) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = table_.find(name);
    if (it == table_.end()) return false;
    *code = it->second.code;
    if (it->second.remaining > 0 && --it->second.remaining == 0) table_.erase(it);
    return true;
  }

 private:
  static bool known(const char* name) {
#define GOSTLIB_ENTRY(n) \
  if (std::strcmp(name, #n) == 0) return true;
#include "entry_points.inc"
#undef GOSTLIB_ENTRY
    return false;
  }

  std::mutex mutex_;
  std::map<std::string, Forcing, std::less<>> table_;
};

// Built in place on first use and never destroyed, like every process-wide
// item of the library: a call may still run while the process exits.
FaultTable& faults() {
  alignas(FaultTable) static unsigned char storage[sizeof(FaultTable)];
  static FaultTable* const instance = new (storage) FaultTable;
  return *instance;
}

}  // namespace

bool forced_result(const char* name, int32_t* code) { return faults().take(name, code); }

}  // namespace gost

GOSTLIB_EXPORT int32_t RuroV_TestHook_ForceResult(const char* name, int32_t code, int32_t count) {
  try {
    return gost::faults().force(name, code, count);
  } catch (...) {
    return gost::kErrInternal;
  }
}

GOSTLIB_EXPORT void RuroV_TestHook_Reset(void) {
  try {
    gost::faults().reset();
  } catch (...) {
  }
}
