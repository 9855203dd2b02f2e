# Cross build of the 32-bit Windows DLL (the primary Windows target: stdcall
# exports) with the mingw-w64 toolchain of the Debian/Ubuntu packages
# g++-mingw-w64-i686 (g++-mingw-w64).
#
#   cmake -S . -B build-win32 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake
set(KDX2XML_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
