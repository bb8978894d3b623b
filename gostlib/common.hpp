// Shared helpers of libcrypt.dll: result codes, byte order, wiping, and the
// mapping of caller-owned context memory onto typed state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace gost {

// Result codes returned by every entry point.
enum Result : int32_t {
  kOk = 0,
  kErrNoContext = 1,     // context not initialised, corrupted or of another kind
  kErrSequence = 2,      // operation out of order (no key yet, already finished)
  kErrBadKey = 3,        // key value unusable (out of range, not on the curve, bad peer)
  kErrKeyPresent = 4,    // a key of this kind is already set in the context
  kErrSignature = 5,     // signature does not match
  kErrZeroR = 6,
  kErrZeroS = 7,
  kErrRangeR = 8,
  kErrRangeS = 9,
  kErrArgument = 14,     // unusable argument: table, parameters, length, buffer size
  kErrNullPointer = 15,
  kErrSelfTest = 16,     // a known-answer self-test failed
  kErrInternal = 17,     // the arithmetic library failed or an exception was caught
};

// Caller-reserved context sizes.
inline constexpr size_t kHashContextSize = 120;
inline constexpr size_t kGammaContextSize = 100;
inline constexpr size_t kGammaOfbContextSize = 124;
inline constexpr size_t kMacContextSize = 100;
inline constexpr size_t kBlockContextSize = 100;
inline constexpr size_t kSign1994ContextSize = 1148;
inline constexpr size_t kSign2001ContextSize = 748;
inline constexpr size_t kPkaContextSize = 1300;
inline constexpr size_t kStateSize = 76;
inline constexpr size_t kParameterBlockSize = 4228;

inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void store_le32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

inline uint64_t load_le64(const uint8_t* p) {
  return uint64_t(load_le32(p)) | uint64_t(load_le32(p + 4)) << 32;
}

inline void store_le64(uint8_t* p, uint64_t v) {
  store_le32(p, uint32_t(v));
  store_le32(p + 4, uint32_t(v >> 32));
}

// Zero-fills memory in a way the optimiser cannot drop.
void wipe(void* p, size_t n) noexcept;

// True when all n bytes are zero; runs in time independent of the content.
bool all_zero(const uint8_t* p, size_t n) noexcept;

// Typed view of a caller-owned context: the bytes are copied into a local
// State (the caller's memory may be unaligned), checked for the kind tag,
// and written back by commit(). The local copy is wiped on destruction.
template <class State, size_t Capacity>
class ContextView {
  static_assert(std::is_trivially_copyable_v<State>);
  static_assert(sizeof(State) <= Capacity, "state does not fit the caller's context");

 public:
  explicit ContextView(void* ctx) : ctx_(ctx) {
    if (ctx_ != nullptr) std::memcpy(&state_, ctx_, sizeof state_);
  }
  ~ContextView() { wipe(&state_, sizeof state_); }
  ContextView(const ContextView&) = delete;
  ContextView& operator=(const ContextView&) = delete;

  // kOk when the context exists and carries this kind's tag.
  int32_t check() const {
    if (ctx_ == nullptr) return kErrNullPointer;
    return state_.tag == State::kTag ? kOk : kErrNoContext;
  }
  State& operator*() { return state_; }
  State* operator->() { return &state_; }
  void commit() const { std::memcpy(ctx_, &state_, sizeof state_); }
  // Starts a fresh state of this kind, wiping the caller's whole context.
  void reset() {
    wipe(ctx_, Capacity);
    wipe(&state_, sizeof state_);
    state_.tag = State::kTag;
  }
  // Wipes the caller's whole context (clear calls, failed initialisation).
  void erase() {
    wipe(ctx_, Capacity);
    wipe(&state_, sizeof state_);
  }

 private:
  void* ctx_;
  State state_{};
};

// The clear entry point of every context kind: wipes the caller's whole
// context; safe on a zero-filled context and when called twice.
template <class View>
int32_t clear_context(void* ctx) {
  if (ctx == nullptr) return kErrNullPointer;
  View view(ctx);
  view.erase();
  return kOk;
}

// Wipes one key of a key-holding context (the given members of its state)
// and drops the flag that said the key was set.
template <class View, class... Members>
int32_t clear_key(void* ctx, uint32_t flag, Members... members) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  (wipe(&((*view).*members), sizeof((*view).*members)), ...);
  view->flags &= ~flag;
  view.commit();
  return kOk;
}

}  // namespace gost
