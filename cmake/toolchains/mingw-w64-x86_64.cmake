# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix),
# tests run under Wine (Debian: wine64):
#
#   cmake -S . -B build-win --toolchain cmake/toolchains/mingw-w64-x86_64.cmake
#   cmake --build build-win -j2 && ctest --test-dir build-win -j2
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QTX_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix flavour: std::thread and std::mutex need its threads model.
set(CMAKE_C_COMPILER ${QTX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QTX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QTX_MINGW_TRIPLET}-windres)

# Headers, libraries and packages of the target only; programs of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QTX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs built here run under Wine: Debian keeps wine64 out of PATH.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(QTX_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(QTX_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QTX_WINE64})
  endif()
endif()
