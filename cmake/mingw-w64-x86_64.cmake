# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX thread model):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Every program is linked statically, so kelm.exe imports system DLLs only.
# Test programs run under Wine (ctest, and test discovery at test time).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELM_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELM_MINGW_TRIPLET}-windres)

# Look for libraries and packages of the target only, never the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${KELM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libstdc++, libgcc or winpthread DLLs to ship or to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# A release build ships without symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
# List the tests when ctest runs rather than after each link, so that building
# kelm.exe never needs Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
