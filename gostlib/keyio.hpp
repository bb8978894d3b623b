// Copying keys out of a context to the caller, with the size-query rule of
// the get_* entry points: a null output asks for the size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common.hpp"

namespace gost {

// The caller's *length is the capacity of out: too small gives kErrArgument
// with the needed size in *length.
inline int32_t copy_out_checked(const uint8_t* src, size_t size, void* out, int32_t* length) {
  if (length == nullptr) return kErrNullPointer;
  const int32_t capacity = *length;
  *length = int32_t(size);
  if (out == nullptr) return kOk;
  if (capacity < int32_t(size)) return kErrArgument;
  std::memcpy(out, src, size);
  return kOk;
}

// The output area has a fixed size by contract; *length only reports it.
inline int32_t copy_out_fixed(const uint8_t* src, size_t size, size_t area, void* out,
                              int32_t* length) {
  if (length == nullptr) return kErrNullPointer;
  *length = int32_t(area);
  if (out == nullptr) return kOk;
  std::memset(out, 0, area);
  std::memcpy(out, src, size);
  return kOk;
}

enum KeyFlags : uint32_t {
  kHasSecret = 1,
  kHasPublic = 2,
};

}  // namespace gost
