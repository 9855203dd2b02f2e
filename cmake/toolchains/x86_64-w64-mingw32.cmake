# Cross build of the 64-bit Windows DLL with the mingw-w64 toolchain of the
# Debian/Ubuntu packages g++-mingw-w64-x86-64 (g++-mingw-w64).
#
#   cmake -S . -B build-win64 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake
set(KDX2XML_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
