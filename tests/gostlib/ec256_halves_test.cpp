// The curve arithmetic built with 32-bit halves instead of 128-bit integers
// (the path of the i686 build) on a 64-bit host: ec256_test.cpp again, in a
// namespace and under suite names of its own. The i686 build runs the halves
// in ec256_test.cpp itself and compiles nothing here.
#if defined(__SIZEOF_INT128__)
#define GOST_EC256_NO_INT128
#define ec256 ec256_halves
#define Ec256 Ec256Halves
#define Ec256Rows Ec256HalvesRows
#include "ec256_test.cpp"
static_assert(GOST_EC256_INT128 == 0, "this file tests the 32-bit halves");
#endif
