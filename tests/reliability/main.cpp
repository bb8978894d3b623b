// Test program entry. The engine is linked statically here (to reach the
// platform layer's test seams), so its stop code would run after the
// program's own static objects are gone; the program therefore ends with
// _Exit once the tests (and, under AddressSanitizer, the leak check) are done.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
  __lsan_do_leak_check();
#endif
  std::fflush(nullptr);
  std::_Exit(result);
}
