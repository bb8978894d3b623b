#include "mpi.hpp"

#include <cstring>

#include "common.hpp"

namespace gost {

bool ensure_gcrypt() {
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) == 0) {
      // First user in the process: set up secure memory that grows on demand.
      gcry_control(GCRYCTL_DISABLE_SECMEM_WARN);
      gcry_control(GCRYCTL_AUTO_EXPAND_SECMEM, 65536u);
      gcry_control(GCRYCTL_INIT_SECMEM, 65536, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
    return true;
  }();
  return ready;
}

namespace {

// A byte buffer in secure memory, wiped and freed on scope exit.
class SecureBytes {
 public:
  explicit SecureBytes(size_t n) : p_(static_cast<uint8_t*>(gcry_malloc_secure(n ? n : 1))), n_(n) {}
  ~SecureBytes() {
    if (p_ != nullptr) {
      wipe(p_, n_);
      gcry_free(p_);
    }
  }
  SecureBytes(const SecureBytes&) = delete;
  SecureBytes& operator=(const SecureBytes&) = delete;
  uint8_t* get() const { return p_; }

 private:
  uint8_t* p_;
  size_t n_;
};

}  // namespace

Mpi mpi_from_be(const uint8_t* p, size_t n, bool secret) {
  Mpi m;
  if (secret) {
    // gcry_mpi_scan allocates a secure integer when the input is secure.
    SecureBytes tmp(n);
    if (tmp.get() == nullptr) return m;
    std::memcpy(tmp.get(), p, n);
    if (gcry_mpi_scan(m.out(), GCRYMPI_FMT_USG, tmp.get(), n, nullptr) != 0) return Mpi();
    return m;
  }
  if (gcry_mpi_scan(m.out(), GCRYMPI_FMT_USG, p, n, nullptr) != 0) return Mpi();
  return m;
}

Mpi mpi_from_le(const uint8_t* p, size_t n, bool secret) {
  SecureBytes tmp(n);
  if (tmp.get() == nullptr) return Mpi();
  for (size_t i = 0; i < n; ++i) tmp.get()[i] = p[n - 1 - i];
  return mpi_from_be(tmp.get(), n, secret);
}

bool mpi_to_be(gcry_mpi_t m, uint8_t* out, size_t n) {
  const unsigned nbits = gcry_mpi_get_nbits(m);
  const size_t need = (nbits + 7) / 8;
  if (need > n) return false;
  std::memset(out, 0, n);
  if (need == 0) return true;
  size_t written = 0;
  if (gcry_mpi_print(GCRYMPI_FMT_USG, out + (n - need), need, &written, m) != 0) return false;
  return written == need;
}

bool mpi_to_le(gcry_mpi_t m, uint8_t* out, size_t n) {
  if (!mpi_to_be(m, out, n)) return false;
  for (size_t i = 0; i < n / 2; ++i) {
    const uint8_t t = out[i];
    out[i] = out[n - 1 - i];
    out[n - 1 - i] = t;
  }
  return true;
}

Mpi mpi_from_hex(const char* hex) {
  Mpi m;
  if (gcry_mpi_scan(m.out(), GCRYMPI_FMT_HEX, hex, 0, nullptr) != 0) return Mpi();
  return m;
}

Mpi random_below(gcry_mpi_t bound) {
  const unsigned nbits = gcry_mpi_get_nbits(bound);
  const size_t nbytes = (nbits + 7) / 8;
  SecureBytes buf(nbytes);
  if (buf.get() == nullptr || nbits < 2) return Mpi();
  // Rejection sampling: draw nbits-bit numbers until one lies in [1, bound-1].
  for (;;) {
    gcry_randomize(buf.get(), nbytes, GCRY_STRONG_RANDOM);
    if (nbits % 8 != 0) buf.get()[0] &= uint8_t((1u << (nbits % 8)) - 1);
    Mpi x = mpi_from_be(buf.get(), nbytes, true);
    if (!x) return Mpi();
    if (gcry_mpi_cmp_ui(x.get(), 0) != 0 && gcry_mpi_cmp(x.get(), bound) < 0) return x;
  }
}

Mpi digest_mod(const uint8_t digest[32], gcry_mpi_t q) {
  Mpi e = mpi_from_le(digest, 32, false);
  if (!e) return e;
  gcry_mpi_mod(e.get(), e.get(), q);
  if (gcry_mpi_cmp_ui(e.get(), 0) == 0) gcry_mpi_set_ui(e.get(), 1);
  return e;
}

}  // namespace gost
