# Cross-build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The -posix compilers have std::thread and std::mutex. Everything is linked fully static, so the
# module and the programs need no DLL besides the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MBUS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MBUS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MBUS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MBUS_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW tree only; programs run during the build are the
# build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${MBUS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# CTest runs the test programs under Wine (Debian keeps wine64 off PATH).
find_program(MBUS_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT MBUS_WINE64)
  find_program(MBUS_WINE64 NAMES wine64 wine)
endif()
if(MBUS_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MBUS_WINE64})
endif()
