// Marks a function as exported from the shared library (C linkage).
#pragma once

#if defined(_WIN32)
#define GOSTLIB_EXPORT extern "C" __declspec(dllexport)
#else
#define GOSTLIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
