# Cross build for 32-bit Windows with Debian's mingw-w64 (posix thread model,
# everything linked statically so that the DLLs import system DLLs only).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DZ_MINGW_PREFIX i686-w64-mingw32)

# The win32 thread model of GCC 12 lacks std::thread and std::mutex.
set(CMAKE_C_COMPILER ${DZ_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DZ_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DZ_MINGW_PREFIX}-windres)
set(CMAKE_AR ${DZ_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${DZ_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${DZ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static keeps libwinpthread, libgcc and libstdc++ out of the import lists.
set(DZ_MINGW_STATIC "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${DZ_MINGW_STATIC}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${DZ_MINGW_STATIC}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${DZ_MINGW_STATIC}")

# CTest runs the Windows programs through Wine when it is installed.
find_program(DZ_WINE_EXECUTABLE NAMES wine)
if(DZ_WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DZ_WINE_EXECUTABLE})
endif()
