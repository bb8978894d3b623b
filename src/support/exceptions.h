// Exception classes raised inside the engine. They never cross an exported
// function: an engine operation that catches one stores the last-error text
// "TCryptoCEngine." + operation + ": " + ClassName() + ": " + what() and returns
// -3; the export frame turns anything else into its fixed exception value.
//
// Mapping used throughout the engine:
//   Exception         any failure the engine raises with a message of its own
//   EAssertionFailed  a broken precondition ("Assertion failure (module, line N)")
//   EOutOfMemory      std::bad_alloc caught and reported ("Out of memory")
//   EInOutError       a file or directory operation that failed
//   EConvertError     a setting text that does not convert to a number
//   EAbstractError    an operation without a body on this engine
//   Exception-like texts for foreign std::exception types use ClassNameOf().
#pragma once

#include <exception>
#include <new>
#include <string>

namespace dizora {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(const char* module, int line)
      : Exception("Assertion failure (" + std::string(module) + ", line " + std::to_string(line) + ")") {}
  const char* ClassName() const noexcept override { return "EAssertionFailed"; }
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
  const char* ClassName() const noexcept override { return "EOutOfMemory"; }
};

class EInOutError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EInOutError"; }
};

// An operation the engine declares but does not implement.
class EAbstractError : public Exception {
 public:
  EAbstractError() : Exception("Abstract Error") {}
  const char* ClassName() const noexcept override { return "EAbstractError"; }
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

// Class name of any caught standard exception, for the last-error text.
inline const char* ClassNameOf(const std::exception& e) noexcept {
  if (auto* own = dynamic_cast<const Exception*>(&e)) return own->ClassName();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "EOutOfMemory";
  return "Exception";
}

// Message of any caught standard exception; std::bad_alloc reads as EOutOfMemory's.
inline std::string MessageOf(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "Out of memory";
  return e.what();
}

// Raises EAssertionFailed naming the module and line when the condition fails.
#define DZ_ASSERT(cond, module, line)                       \
  do {                                                      \
    if (!(cond)) throw ::dizora::EAssertionFailed(module, line); \
  } while (0)

}  // namespace dizora
