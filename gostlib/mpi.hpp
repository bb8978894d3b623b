// Thin RAII layer over libgcrypt: one-time initialisation, multi-precision
// integers, S-expressions and byte-order conversion.
#pragma once

#include <gcrypt.h>

#include <cstddef>
#include <cstdint>

namespace gost {

// Initialises libgcrypt once per process (thread-safe), with secure memory
// for secret values. False when the library is unusable.
bool ensure_gcrypt();

class Mpi {
 public:
  Mpi() = default;
  explicit Mpi(gcry_mpi_t m) : m_(m) {}
  ~Mpi() { gcry_mpi_release(m_); }
  Mpi(Mpi&& o) noexcept : m_(o.m_) { o.m_ = nullptr; }
  Mpi& operator=(Mpi&& o) noexcept {
    if (this != &o) {
      gcry_mpi_release(m_);
      m_ = o.m_;
      o.m_ = nullptr;
    }
    return *this;
  }
  Mpi(const Mpi&) = delete;
  Mpi& operator=(const Mpi&) = delete;

  static Mpi make() { return Mpi(gcry_mpi_new(0)); }
  static Mpi make_secure() { return Mpi(gcry_mpi_snew(0)); }

  gcry_mpi_t get() const { return m_; }
  gcry_mpi_t* out() {
    gcry_mpi_release(m_);
    m_ = nullptr;
    return &m_;
  }
  explicit operator bool() const { return m_ != nullptr; }

 private:
  gcry_mpi_t m_ = nullptr;
};

class Sexp {
 public:
  Sexp() = default;
  ~Sexp() { gcry_sexp_release(s_); }
  Sexp(const Sexp&) = delete;
  Sexp& operator=(const Sexp&) = delete;
  gcry_sexp_t get() const { return s_; }
  gcry_sexp_t* out() {
    gcry_sexp_release(s_);
    s_ = nullptr;
    return &s_;
  }

 private:
  gcry_sexp_t s_ = nullptr;
};

// Unsigned integers from and to byte strings. Secret values go through
// secure memory. to_* fails (false) when the value needs more than n bytes.
Mpi mpi_from_le(const uint8_t* p, size_t n, bool secret);
Mpi mpi_from_be(const uint8_t* p, size_t n, bool secret);
bool mpi_to_le(gcry_mpi_t m, uint8_t* out, size_t n);
bool mpi_to_be(gcry_mpi_t m, uint8_t* out, size_t n);
Mpi mpi_from_hex(const char* hex);

// A uniformly random integer in [1, bound - 1] from the strong generator
// (keys included: the very-strong level keeps an entropy buffer that is
// never released, which leak checkers report in every caller).
Mpi random_below(gcry_mpi_t bound);

// The digest read as a little-endian integer reduced mod q; 0 becomes 1.
Mpi digest_mod(const uint8_t digest[32], gcry_mpi_t q);

}  // namespace gost
