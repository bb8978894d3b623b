// TSyncExceptStr: the last-error text guarded by a reader-writer lock.
#include "engine/last_error.h"

#include <utility>

namespace dizora {

std::string TSyncExceptStr::GetText() const {
  TReadLockGuard read(Lock);
  return Text;
}

void TSyncExceptStr::SetText(std::string text) {
  TWriteLockGuard write(Lock);
  Text = std::move(text);
}

}  // namespace dizora
