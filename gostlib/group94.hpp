// The GOST R 34.10-94 CryptoPro-A group (p 1024 bits, q 256 bits, a of
// order q), shared by the 94 signatures and the Diffie-Hellman agreement.
#pragma once

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

}  // namespace gost
