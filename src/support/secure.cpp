#include "support/secure.h"

#include <cstring>
#include <new>
#include <utility>

namespace dizora::support {

namespace {
// Calling memset through a volatile pointer hides the call from the
// optimiser, which therefore cannot prove the stores dead.
void* (*const volatile g_memset)(void*, int, std::size_t) = std::memset;
}  // namespace

void WipeMemory(void* data, std::size_t size) noexcept {
  if (data != nullptr && size != 0) g_memset(data, 0, size);
}

SecureBuffer::SecureBuffer(std::size_t size) {
  if (size == 0) return;
  data_ = new std::uint8_t[size]();
  size_ = size;
}

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
  WipeMemory(data_, size_);
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace dizora::support
