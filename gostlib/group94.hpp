// The GOST R 34.10-94 CryptoPro-A group (p 1024 bits, q 256 bits, a of
// order q), shared by the 94 signatures and the Diffie-Hellman agreement.
#pragma once

#include "common.hpp"
#include "keyio.hpp"
#include "mpi.hpp"

namespace gost {

inline constexpr size_t kP94Bytes = 128;
inline constexpr size_t kQ94Bytes = 32;

struct Group94 {
  Mpi p;
  Mpi q;
  Mpi a;
  bool ok() const { return p && q && a; }
};

// A fresh copy of the group per call, so no integer is shared between threads.
Group94 load_group94();

// y = base^e mod p.
Mpi powm(gcry_mpi_t base, gcry_mpi_t e, gcry_mpi_t mod, bool secret);

// 1 < y < p - 1 and y^q = 1 mod p: an element of the order-q subgroup.
bool in_subgroup94(const Group94& g, gcry_mpi_t y);

// Key generation in the group, shared by the 94 signature and Diffie-Hellman
// contexts: a State has `flags`, the secret `x` and the public `y`, both
// little-endian. The caller commits the state when the result is kOk.

// x drawn uniformly from [1, q-1].
template <class State>
int32_t group94_gen_secret(State& st) {
  if (st.flags & kHasSecret) return kErrKeyPresent;
  const Group94 g = load_group94();
  const Mpi x = g.ok() ? random_below(g.q.get()) : Mpi();
  if (!x || !mpi_to_le(x.get(), st.x, sizeof st.x)) return kErrInternal;
  st.flags |= kHasSecret;
  return kOk;
}

// y = a^x mod p.
template <class State>
int32_t group94_gen_public(State& st) {
  if (!(st.flags & kHasSecret)) return kErrSequence;
  const Group94 g = load_group94();
  const Mpi x = mpi_from_le(st.x, sizeof st.x, true);
  if (!g.ok() || !x) return kErrInternal;
  const Mpi y = powm(g.a.get(), x.get(), g.p.get(), false);
  if (!mpi_to_le(y.get(), st.y, sizeof st.y)) return kErrInternal;
  st.flags |= kHasPublic;
  return kOk;
}

}  // namespace gost
