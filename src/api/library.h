// Library start and stop: the modules in their one fixed order. Called on
// load and unload of the engine library (constructor and destructor functions
// on POSIX, DllMain on Windows).
//
// Every export that reaches the library's state runs inside a LibraryCall.
// The stop tears the state down only when no call is inside: a call still
// running when the stop comes means the process is ending under a host thread
// (a host that unloads the library waits for its own calls), and the system
// reclaims everything then. Calls that arrive after the stop are refused.
#pragma once

namespace dizora::api {

void StartLibrary();
void StopLibrary() noexcept;

// Admission of one call into the library; false once the library has stopped.
bool EnterLibrary() noexcept;
void LeaveLibrary() noexcept;

// Holds one admitted call for its scope.
class LibraryCall {
 public:
  LibraryCall() noexcept : admitted_(EnterLibrary()) {}
  ~LibraryCall() {
    if (admitted_) LeaveLibrary();
  }
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;
  explicit operator bool() const noexcept { return admitted_; }

 private:
  bool admitted_;
};

}  // namespace dizora::api
