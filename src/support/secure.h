// Wiping of memory that held secrets (key-file images, secret keys, masks),
// and the allocator of the engine's working buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>

namespace dizora::support {

// Overwrites `size` bytes at `data` with zeros with the platform's
// guaranteed wipe (explicit_bzero, SecureZeroMemory), which the compiler
// cannot drop as a dead store even when the memory is freed right
// afterwards. A null `data` is allowed.
void WipeMemory(void* data, std::size_t size) noexcept;

// Whether `size` bytes at `a` and `b` are equal, in a time that depends on
// `size` alone: every byte is read and no branch depends on their values, so
// the time taken tells nothing about where they differ (MAC comparison).
bool ConstantTimeEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) noexcept;

// Every working buffer of the engine (data, blocks, signatures, key images)
// comes from here: `size` zero-filled bytes, or std::bad_alloc when memory
// (or the allocation fault seam of alloc_fault.h) refuses. A size of 0 gives
// null and allocates nothing. Release with ReleaseWorkingBuffer.
std::uint8_t* AllocateWorkingBuffer(std::size_t size);

// Wipes `size` bytes at `data` and frees them. A null `data` is allowed.
void ReleaseWorkingBuffer(std::uint8_t* data, std::size_t size) noexcept;

// A zero-filled fixed block of bytes (such as std::array<uint8_t, N>) from
// the working-buffer allocator; std::bad_alloc when it is refused. Free it
// with DeleteWorkingBlock, which wipes it.
template <class Block>
Block* NewWorkingBlock() {
  static_assert(std::is_trivially_destructible_v<Block> && alignof(Block) == 1);
  return new (AllocateWorkingBuffer(sizeof(Block))) Block{};
}

template <class Block>
void DeleteWorkingBlock(Block* block) noexcept {
  ReleaseWorkingBuffer(reinterpret_cast<std::uint8_t*>(block), sizeof(Block));
}

// A zero-filled fixed block for a loaded secret key, on pages of its own that
// are kept out of core dumps and swap where the platform allows
// (platform/secret_memory.h). Refused like a working buffer (the allocation
// fault seam, or no memory): std::bad_alloc. Free it with DeleteSecretBlock,
// which wipes it.
std::uint8_t* AllocateSecretBuffer(std::size_t size);
void ReleaseSecretBuffer(std::uint8_t* data, std::size_t size) noexcept;

template <class Block>
Block* NewSecretBlock() {
  static_assert(std::is_trivially_destructible_v<Block> && alignof(Block) == 1);
  return new (AllocateSecretBuffer(sizeof(Block))) Block{};
}

template <class Block>
void DeleteSecretBlock(Block* block) noexcept {
  ReleaseSecretBuffer(reinterpret_cast<std::uint8_t*>(block), sizeof(Block));
}

// A fixed-size, zero-initialised byte buffer that wipes itself before its
// memory is released (destruction, move-assignment, Reset). Move-only.
// Its memory comes from AllocateWorkingBuffer: allocation failure raises
// std::bad_alloc from the constructor.
class SecureBuffer {
 public:
  SecureBuffer() noexcept = default;
  explicit SecureBuffer(std::size_t size);
  SecureBuffer(const void* data, std::size_t size);  // copy of `size` bytes
  ~SecureBuffer();

  SecureBuffer(SecureBuffer&& other) noexcept;
  SecureBuffer& operator=(SecureBuffer&& other) noexcept;
  SecureBuffer(const SecureBuffer&) = delete;
  SecureBuffer& operator=(const SecureBuffer&) = delete;

  std::uint8_t* data() noexcept { return data_; }
  const std::uint8_t* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::uint8_t& operator[](std::size_t i) noexcept { return data_[i]; }
  const std::uint8_t& operator[](std::size_t i) const noexcept { return data_[i]; }
  std::uint8_t* begin() noexcept { return data_; }
  std::uint8_t* end() noexcept { return data_ + size_; }
  const std::uint8_t* begin() const noexcept { return data_; }
  const std::uint8_t* end() const noexcept { return data_ + size_; }
  std::span<std::uint8_t> span() noexcept { return {data_, size_}; }
  std::span<const std::uint8_t> span() const noexcept { return {data_, size_}; }

  // Zero-fills the contents, keeping the buffer.
  void Wipe() noexcept { WipeMemory(data_, size_); }
  // Wipes and frees the memory; the buffer becomes empty.
  void Reset() noexcept;

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// N bytes in the object itself (on the stack, as a local), zero-filled and
// wiped when they go out of scope: for small fixed-size secrets (a digest, an
// unmasked signature key) where a heap buffer would cost an allocation per
// call. Neither copied nor moved, so no second image is left behind.
template <std::size_t N>
class WipedArray {
 public:
  WipedArray() noexcept = default;
  ~WipedArray() { WipeMemory(bytes_, N); }
  WipedArray(const WipedArray&) = delete;
  WipedArray& operator=(const WipedArray&) = delete;

  std::uint8_t* data() noexcept { return bytes_; }
  const std::uint8_t* data() const noexcept { return bytes_; }
  static constexpr std::size_t size() noexcept { return N; }

 private:
  std::uint8_t bytes_[N] = {};
};

}  // namespace dizora::support
