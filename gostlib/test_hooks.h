/* Test hook of the fault-injecting build of the GOST library
 * (libcrypt_faulty.dll). The normal build does not export these names.
 * Both functions use the C calling convention. */
#ifndef GOSTLIB_TEST_HOOKS_H
#define GOSTLIB_TEST_HOOKS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Makes the entry point `name` (for example "RuroV_Random_Fill" or
 * "RuroV_LR34_10_2001_verify") return `code` without doing its work, for its
 * next `count` calls (count < 0: until reset). A forced call still advances
 * the counter of a state block it receives. code 0 removes the forcing.
 * Returns 0, 15 for a null name, 14 for a name that is not an entry point. */
int32_t RuroV_TestHook_ForceResult(const char* name, int32_t code, int32_t count);
typedef int32_t (*RuroV_TestHook_ForceResult_t)(const char* name, int32_t code, int32_t count);

/* Removes every forced result. */
void RuroV_TestHook_Reset(void);
typedef void (*RuroV_TestHook_Reset_t)(void);

#ifdef __cplusplus
}
#endif

#endif
