#include "support/secure.h"

#include <cstring>
#include <new>
#include <utility>

#include "platform/secret_memory.h"
#include "support/alloc_fault.h"

namespace dizora::support {

void WipeMemory(void* data, std::size_t size) noexcept { platform::ZeroSecret(data, size); }

bool ConstantTimeEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) noexcept {
  // The accumulator is volatile so that the compiler cannot turn the loop
  // into an early exit once a difference is seen.
  volatile std::uint8_t difference = 0;
  for (std::size_t i = 0; i < size; ++i) difference = difference | static_cast<std::uint8_t>(a[i] ^ b[i]);
  return difference == 0;
}

std::uint8_t* AllocateWorkingBuffer(std::size_t size) {
  if (size == 0) return nullptr;
  if (fault::AllocationFails()) throw std::bad_alloc();
  return new std::uint8_t[size]();
}

void ReleaseWorkingBuffer(std::uint8_t* data, std::size_t size) noexcept {
  WipeMemory(data, size);
  delete[] data;
}

std::uint8_t* AllocateSecretBuffer(std::size_t size) {
  if (size == 0) return nullptr;
  if (fault::AllocationFails()) throw std::bad_alloc();
  void* data = platform::AllocateSecretPages(size);
  if (data == nullptr) throw std::bad_alloc();
  return static_cast<std::uint8_t*>(data);
}

void ReleaseSecretBuffer(std::uint8_t* data, std::size_t size) noexcept { platform::FreeSecretPages(data, size); }

SecureBuffer::SecureBuffer(std::size_t size) : data_(AllocateWorkingBuffer(size)), size_(size) {}

SecureBuffer::SecureBuffer(const void* data, std::size_t size) : SecureBuffer(size) {
  if (size != 0) std::memcpy(data_, data, size);
}

SecureBuffer::~SecureBuffer() { Reset(); }

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SecureBuffer::Reset() noexcept {
  ReleaseWorkingBuffer(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace dizora::support
