#include "hash.hpp"

#include "common.hpp"
#include "gost28147.hpp"
#include "sbox.hpp"
#include "state.hpp"

namespace gost {

namespace {

// 256-bit values are four 64-bit words, least significant first, matching
// the little-endian byte order of the digest and the message blocks.
using Word256 = uint64_t[4];

struct HashState {
  static constexpr uint32_t kTag = 0x48313347;  // "G31H"
  uint32_t tag;
  uint32_t sbox;
  uint64_t bytes;     // message length so far
  uint32_t buffered;  // bytes waiting in buf
  uint32_t finished;
  uint8_t h[32];
  uint8_t sigma[32];  // sum of the blocks mod 2^256
  uint8_t buf[32];
};
static_assert(sizeof(HashState) == 120);

using HashView = ContextView<HashState, kHashContextSize>;

// Constant C3 of the key generation; C2 and C4 are zero.
constexpr uint64_t kC3[4] = {0xff00ff00ff00ff00ull, 0x00ff00ff00ff00ffull, 0xff0000ff00ffff00ull,
                             0xff00ffff000000ffull};

void load256(const uint8_t* p, Word256 w) {
  for (int i = 0; i < 4; ++i) w[i] = load_le64(p + 8 * i);
}

void store256(uint8_t* p, const Word256 w) {
  for (int i = 0; i < 4; ++i) store_le64(p + 8 * i, w[i]);
}

// A(y4 || y3 || y2 || y1) = (y1 ^ y2) || y4 || y3 || y2.
void transform_a(Word256 y) {
  const uint64_t t = y[0] ^ y[1];
  y[0] = y[1];
  y[1] = y[2];
  y[2] = y[3];
  y[3] = t;
}

// P: key byte i + 4k takes byte 8i + k of w, so key word k gathers byte k
// of each 64-bit word of w.
void transform_p(const Word256 w, uint32_t key[8]) {
  for (int k = 0; k < 8; ++k) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t((w[i] >> (8 * k)) & 0xFF) << (8 * i);
    key[k] = v;
  }
}

void to_words16(const Word256 v, uint16_t* w) {
  for (int i = 0; i < 16; ++i) w[i] = uint16_t(v[i / 4] >> (16 * (i % 4)));
}

void from_words16(const uint16_t* w, Word256 v) {
  for (int i = 0; i < 4; ++i) {
    v[i] = uint64_t(w[4 * i]) | uint64_t(w[4 * i + 1]) << 16 | uint64_t(w[4 * i + 2]) << 32 |
           uint64_t(w[4 * i + 3]) << 48;
  }
}

// psi shifts the sixteen 16-bit words down by one and puts
// w1^w2^w3^w4^w13^w16 on top, so psi^n is a window of a linear recurrence.
void psi_power(Word256 v, int n) {
  uint16_t w[16 + 64];
  to_words16(v, w);
  for (int t = 0; t < n; ++t) {
    w[16 + t] = w[t] ^ w[t + 1] ^ w[t + 2] ^ w[t + 3] ^ w[t + 12] ^ w[t + 15];
  }
  from_words16(w + n, v);
}

// The step function: H := psi^61(H ^ psi(M ^ psi^12(S))), S the four
// halves of H encrypted under keys derived from H and M.
void compress(const ExpandedSbox& sbox, uint8_t* h_bytes, const uint8_t* m_bytes) {
  Word256 h, u, v, w, s, m;
  load256(h_bytes, h);
  load256(m_bytes, m);
  for (int i = 0; i < 4; ++i) u[i] = h[i], v[i] = m[i];
  uint32_t key[4][8];
  for (int j = 0; j < 4; ++j) {
    if (j > 0) {
      transform_a(u);
      if (j == 2) {
        for (int i = 0; i < 4; ++i) u[i] ^= kC3[i];
      }
      transform_a(v);
      transform_a(v);
    }
    for (int i = 0; i < 4; ++i) w[i] = u[i] ^ v[i];
    transform_p(w, key[j]);
  }
  // s_j = E_Kj(h_j), two encryptions at a time.
  Block half[4];
  for (int j = 0; j < 4; ++j) half[j] = {uint32_t(h[j]), uint32_t(h[j] >> 32)};
  encrypt_pair(sbox, key[0], half[0], key[1], half[1]);
  encrypt_pair(sbox, key[2], half[2], key[3], half[3]);
  for (int j = 0; j < 4; ++j) s[j] = uint64_t(half[j].n1) | uint64_t(half[j].n2) << 32;
  psi_power(s, 12);
  for (int i = 0; i < 4; ++i) s[i] ^= m[i];
  psi_power(s, 1);
  for (int i = 0; i < 4; ++i) s[i] ^= h[i];
  psi_power(s, 61);
  store256(h_bytes, s);
  wipe(key, sizeof key);
  wipe(u, sizeof u);
  wipe(v, sizeof v);
  wipe(w, sizeof w);
  wipe(m, sizeof m);
}

void add256(uint8_t* sum, const uint8_t* block) {
  unsigned carry = 0;
  for (int i = 0; i < 32; ++i) {
    const unsigned t = unsigned(sum[i]) + block[i] + carry;
    sum[i] = uint8_t(t);
    carry = t >> 8;
  }
}

void absorb(const ExpandedSbox& sbox, HashState& st, const uint8_t* block) {
  compress(sbox, st.h, block);
  add256(st.sigma, block);
}

}  // namespace

int32_t hash_init(void* ctx, const void* params, void* state, const void* start_vector) {
  HashView view(ctx);
  if (ctx == nullptr) return kErrNullPointer;
  if (params == nullptr || state == nullptr || start_vector == nullptr) {
    view.erase();
    return kErrNullPointer;
  }
  uint32_t index = 0;
  if (const int32_t rc = acquire_sbox(static_cast<const uint8_t*>(params), &index); rc != kOk) {
    view.erase();
    return rc;
  }
  touch_state(state);
  view.reset();
  view->sbox = index;
  std::memcpy(view->h, start_vector, 32);
  view.commit();
  return kOk;
}

int32_t hash_update(void* ctx, const void* data, int32_t length) {
  HashView view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (length < 0) return kErrArgument;
  if (length > 0 && data == nullptr) return kErrNullPointer;
  HashState& st = *view;
  const ExpandedSbox* sbox = sbox_at(st.sbox);
  if (sbox == nullptr || st.buffered >= 32 || st.finished > 1) return kErrNoContext;
  if (st.finished != 0) return kErrSequence;
  const auto* in = static_cast<const uint8_t*>(data);
  size_t n = size_t(length);
  st.bytes += n;
  if (st.buffered > 0) {
    const size_t take = n < 32 - st.buffered ? n : 32 - st.buffered;
    std::memcpy(st.buf + st.buffered, in, take);
    st.buffered += uint32_t(take);
    in += take;
    n -= take;
    if (st.buffered < 32) {
      view.commit();
      return kOk;
    }
    absorb(*sbox, st, st.buf);
    st.buffered = 0;
  }
  for (; n >= 32; n -= 32, in += 32) absorb(*sbox, st, in);
  if (n > 0) std::memcpy(st.buf, in, n);
  st.buffered = uint32_t(n);
  view.commit();
  return kOk;
}

int32_t hash_final(void* ctx, void* digest) {
  HashView view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (digest == nullptr) return kErrNullPointer;
  HashState& st = *view;
  const ExpandedSbox* sbox = sbox_at(st.sbox);
  if (sbox == nullptr || st.buffered >= 32 || st.finished > 1) return kErrNoContext;
  if (st.finished != 0) return kErrSequence;
  // A partial last block is zero-padded; an empty tail adds no block.
  if (st.buffered > 0) {
    std::memset(st.buf + st.buffered, 0, 32 - st.buffered);
    absorb(*sbox, st, st.buf);
  }
  uint8_t length_block[32] = {};
  store_le64(length_block, st.bytes << 3);
  store_le64(length_block + 8, st.bytes >> 61);
  compress(*sbox, st.h, length_block);
  compress(*sbox, st.h, st.sigma);
  std::memcpy(digest, st.h, 32);
  wipe(st.buf, sizeof st.buf);
  wipe(st.sigma, sizeof st.sigma);
  st.finished = 1;
  view.commit();
  return kOk;
}

int32_t hash_clear(void* ctx) { return clear_context<HashView>(ctx); }

}  // namespace gost
