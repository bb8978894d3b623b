#include "cipher.hpp"

#include "common.hpp"
#include "gost28147.hpp"
#include "sbox.hpp"
#include "state.hpp"

namespace gost {

namespace {

// Counter-mode constants of the standard: N3 += C2 mod 2^32, N4 += C1 mod 2^32 - 1.
constexpr uint32_t kC1 = 0x01010104;
constexpr uint32_t kC2 = 0x01010101;

struct BlockState {
  static constexpr uint32_t kTag = 0x4B4C4247;  // "GBLK"
  uint32_t tag;
  uint32_t sbox;
  uint32_t key[8];
};

struct GammaState {
  static constexpr uint32_t kTag = 0x4D4D4147;  // "GAMM"
  uint32_t tag;
  uint32_t sbox;
  uint32_t key[8];
  uint32_t n3;
  uint32_t n4;
  uint8_t gamma[8];
  uint32_t used;  // bytes of gamma already consumed, 8 = none left
};

struct CfbState {
  static constexpr uint32_t kTag = 0x42464347;  // "GCFB"
  uint32_t tag;
  uint32_t sbox;
  uint32_t key[8];
  uint8_t reg[8];  // gamma being consumed; consumed bytes replaced by ciphertext
  uint32_t used;
};

struct MacState {
  static constexpr uint32_t kTag = 0x43414D47;  // "GMAC"
  uint32_t tag;
  uint32_t sbox;
  uint32_t key[8];
  uint32_t n1;
  uint32_t n2;
  uint8_t buf[8];
  uint32_t buffered;
  uint32_t finished;
  uint64_t blocks;
};

using BlockView = ContextView<BlockState, kBlockContextSize>;
using GammaView = ContextView<GammaState, kGammaContextSize>;
using CfbView = ContextView<CfbState, kGammaOfbContextSize>;
using MacView = ContextView<MacState, kMacContextSize>;

uint64_t to_u64(Block b) { return uint64_t(b.n1) | uint64_t(b.n2) << 32; }
Block from_u64(uint64_t v) { return {uint32_t(v), uint32_t(v >> 32)}; }

// Common start of every initialisation: pointers, table, state block, then a
// fresh context holding the key. A failure leaves the context zero-filled.
template <class View>
int32_t start_context(View& view, void* ctx, const void* params, void* state, const void* key) {
  if (ctx == nullptr || params == nullptr || state == nullptr || key == nullptr) {
    if (ctx != nullptr) view.erase();
    return kErrNullPointer;
  }
  uint32_t index = 0;
  const int32_t rc = acquire_sbox(static_cast<const uint8_t*>(params), &index);
  if (rc != kOk) {
    view.erase();
    return rc;
  }
  touch_state(state);
  view.reset();
  view->sbox = index;
  load_key(static_cast<const uint8_t*>(key), view->key);
  return kOk;
}

// Checks a running context and the data arguments of a crypt call.
template <class View>
int32_t check_crypt(View& view, const void* src, const void* dst, int32_t length,
                    const ExpandedSbox** sbox) {
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (length < 0) return kErrArgument;
  if (length > 0 && (src == nullptr || dst == nullptr)) return kErrNullPointer;
  *sbox = sbox_at(view->sbox);
  return *sbox == nullptr ? kErrNoContext : kOk;
}

Block next_counter(GammaState& st) {
  st.n3 += kC2;
  const uint32_t sum = st.n4 + kC1;
  st.n4 = sum < kC1 ? sum + 1 : sum;  // end-around carry: addition mod 2^32 - 1
  return {st.n3, st.n4};
}

Block next_counter_gamma(const ExpandedSbox& s, GammaState& st) {
  return encrypt_block(s, st.key, next_counter(st));
}

}  // namespace

int32_t block_init(void* ctx, const void* params, void* state, const void* key) {
  BlockView view(ctx);
  const int32_t rc = start_context(view, ctx, params, state, key);
  if (rc == kOk) view.commit();
  return rc;
}

int32_t block_crypt(void* ctx, const void* src, void* dst, int32_t length, bool decrypt) {
  BlockView view(ctx);
  const ExpandedSbox* s = nullptr;
  if (const int32_t rc = check_crypt(view, src, dst, length, &s); rc != kOk) return rc;
  if (length % 8 != 0) return kErrArgument;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (int32_t i = 0; i < length; i += 8) {
    const Block b = load_block(in + i);
    store_block(out + i, decrypt ? decrypt_block(*s, view->key, b) : encrypt_block(*s, view->key, b));
  }
  return kOk;
}

int32_t block_clear(void* ctx) { return clear_context<BlockView>(ctx); }

int32_t gamma_init(void* ctx, const void* params, void* state, const void* key, const void* iv) {
  GammaView view(ctx);
  if (iv == nullptr) {
    if (ctx != nullptr) view.erase();
    return kErrNullPointer;
  }
  const int32_t rc = start_context(view, ctx, params, state, key);
  if (rc != kOk) return rc;
  const ExpandedSbox* s = sbox_at(view->sbox);
  if (s == nullptr) {
    view.erase();
    return kErrNoContext;
  }
  const Block start = encrypt_block(*s, view->key, load_block(static_cast<const uint8_t*>(iv)));
  view->n3 = start.n1;
  view->n4 = start.n2;
  view->used = 8;
  view.commit();
  return kOk;
}

int32_t gamma_crypt(void* ctx, const void* src, void* dst, int32_t length) {
  GammaView view(ctx);
  const ExpandedSbox* s = nullptr;
  if (const int32_t rc = check_crypt(view, src, dst, length, &s); rc != kOk) return rc;
  if (view->used > 8) return kErrNoContext;
  GammaState& st = *view;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  const size_t n = size_t(length);
  size_t i = 0;
  while (i < n && st.used < 8) out[i] = in[i] ^ st.gamma[st.used++], ++i;
  for (; n - i >= 16; i += 16) {
    Block a = next_counter(st);
    Block b = next_counter(st);
    encrypt_pair(*s, st.key, a, st.key, b);
    store_le64(out + i, load_le64(in + i) ^ to_u64(a));
    store_le64(out + i + 8, load_le64(in + i + 8) ^ to_u64(b));
  }
  for (; n - i >= 8; i += 8) {
    store_le64(out + i, load_le64(in + i) ^ to_u64(next_counter_gamma(*s, st)));
  }
  if (i < n) {
    store_block(st.gamma, next_counter_gamma(*s, st));
    st.used = 0;
    while (i < n) out[i] = in[i] ^ st.gamma[st.used++], ++i;
  }
  view.commit();
  return kOk;
}

int32_t gamma_clear(void* ctx) { return clear_context<GammaView>(ctx); }

int32_t cfb_init(void* ctx, const void* params, void* state, const void* key, const void* iv) {
  CfbView view(ctx);
  if (iv == nullptr) {
    if (ctx != nullptr) view.erase();
    return kErrNullPointer;
  }
  const int32_t rc = start_context(view, ctx, params, state, key);
  if (rc != kOk) return rc;
  std::memcpy(view->reg, iv, 8);
  view->used = 8;
  view.commit();
  return kOk;
}

int32_t cfb_crypt(void* ctx, const void* src, void* dst, int32_t length, bool decrypt) {
  CfbView view(ctx);
  const ExpandedSbox* s = nullptr;
  if (const int32_t rc = check_crypt(view, src, dst, length, &s); rc != kOk) return rc;
  if (view->used > 8) return kErrNoContext;
  CfbState& st = *view;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  const size_t n = size_t(length);
  size_t i = 0;
  // Each output byte's ciphertext (the input when decrypting) feeds back.
  auto step_byte = [&](size_t j) {
    const uint8_t c_in = in[j];
    const uint8_t o = c_in ^ st.reg[st.used];
    out[j] = o;
    st.reg[st.used++] = decrypt ? c_in : o;
  };
  while (i < n && st.used < 8) step_byte(i++);
  if (n - i >= 8) {
    uint64_t reg = load_le64(st.reg);
    // Decryption knows every feedback block in advance: two at a time.
    for (; decrypt && n - i >= 16; i += 16) {
      const uint64_t x0 = load_le64(in + i);
      const uint64_t x1 = load_le64(in + i + 8);
      Block g0 = from_u64(reg);
      Block g1 = from_u64(x0);
      encrypt_pair(*s, st.key, g0, st.key, g1);
      store_le64(out + i, x0 ^ to_u64(g0));
      store_le64(out + i + 8, x1 ^ to_u64(g1));
      reg = x1;
    }
    // Encryption is one chain: each block's ciphertext is the next input.
    const ExpandedSbox& sbox = *s;
    uint32_t key[8];
    std::memcpy(key, st.key, sizeof key);
    for (; n - i >= 8; i += 8) {
      const uint64_t x = load_le64(in + i);
      const uint64_t o = x ^ to_u64(encrypt_block(sbox, key, from_u64(reg)));
      store_le64(out + i, o);
      reg = decrypt ? x : o;
    }
    wipe(key, sizeof key);
    store_le64(st.reg, reg);
  }
  if (i < n) {
    store_block(st.reg, encrypt_block(*s, st.key, load_block(st.reg)));
    st.used = 0;
    while (i < n) step_byte(i++);
  }
  view.commit();
  return kOk;
}

int32_t cfb_clear(void* ctx) { return clear_context<CfbView>(ctx); }

int32_t mac_init(void* ctx, const void* params, void* state, const void* key) {
  MacView view(ctx);
  const int32_t rc = start_context(view, ctx, params, state, key);
  if (rc == kOk) view.commit();
  return rc;
}

namespace {

void mac_block(const ExpandedSbox& s, MacState& st, uint64_t data) {
  const Block r = mac_rounds(s, st.key, from_u64(to_u64({st.n1, st.n2}) ^ data));
  st.n1 = r.n1;
  st.n2 = r.n2;
  ++st.blocks;
}

}  // namespace

int32_t mac_update(void* ctx, const void* data, int32_t length) {
  MacView view(ctx);
  const ExpandedSbox* s = nullptr;
  if (const int32_t rc = check_crypt(view, data, data, length, &s); rc != kOk) return rc;
  MacState& st = *view;
  if (st.buffered > 8 || st.finished > 1) return kErrNoContext;
  if (st.finished != 0) return kErrSequence;
  const auto* in = static_cast<const uint8_t*>(data);
  const size_t n = size_t(length);
  size_t i = 0;
  // A full buffer is processed only when more data arrives, so that the
  // final block is always known at mac_final.
  while (i < n) {
    if (st.buffered == 8) {
      mac_block(*s, st, load_le64(st.buf));
      st.buffered = 0;
    }
    if (st.buffered == 0) {
      for (; n - i > 8; i += 8) mac_block(*s, st, load_le64(in + i));
    }
    while (i < n && st.buffered < 8) st.buf[st.buffered++] = in[i++];
  }
  view.commit();
  return kOk;
}

int32_t mac_final(void* ctx, void* mac) {
  MacView view(ctx);
  const ExpandedSbox* s = nullptr;
  if (const int32_t rc = check_crypt(view, nullptr, nullptr, 0, &s); rc != kOk) return rc;
  if (mac == nullptr) return kErrNullPointer;
  MacState& st = *view;
  if (st.buffered > 8 || st.finished > 1) return kErrNoContext;
  if (st.finished != 0) return kErrSequence;
  // The data is zero-padded to whole blocks; a message of one block is
  // followed by one zero block. The empty message runs no block and its MAC
  // is zero, as in libgcrypt's IMIT and the other GOST implementations.
  if (st.buffered > 0) {
    std::memset(st.buf + st.buffered, 0, 8 - st.buffered);
    mac_block(*s, st, load_le64(st.buf));
  }
  if (st.blocks == 1) mac_block(*s, st, 0);
  auto* out = static_cast<uint8_t*>(mac);
  store_le32(out, st.n1);
  store_le32(out + 4, st.n2);
  wipe(st.buf, sizeof st.buf);
  st.buffered = 0;
  st.finished = 1;
  view.commit();
  return kOk;
}

int32_t mac_clear(void* ctx) { return clear_context<MacView>(ctx); }

}  // namespace gost
