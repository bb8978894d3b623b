// TSyncExceptStr: an engine's last-error text, safe to write and read from
// any number of threads at once. Writers replace the whole text under the
// write lock; readers copy it under the read lock, so a reader sees either the
// old text or the new one, never a mixture.
#pragma once

#include <string>

#include "engine/rw_lock.h"

namespace dizora {

class TSyncExceptStr {
 public:
  TSyncExceptStr() = default;
  TSyncExceptStr(const TSyncExceptStr&) = delete;
  TSyncExceptStr& operator=(const TSyncExceptStr&) = delete;

  // A copy of the current text; empty until the first SetText.
  std::string GetText() const;
  void SetText(std::string text);

 private:
  mutable TRWCriticalSection Lock;
  std::string Text;
};

}  // namespace dizora
