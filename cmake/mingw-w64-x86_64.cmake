# Cross build for 64-bit Windows with Debian's mingw-w64 compilers:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The -posix compilers are the ones whose C++ library has std::thread. Programs are linked
# statically (the C++ runtime and the thread library included), so that a station needs no DLL
# besides the system's own. Tests run through Wine: ctest starts each test program with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KRM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KRM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KRM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KRM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KRM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KRM_WINE NAMES wine wine64 wine-stable)
if(KRM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KRM_WINE})
endif()
