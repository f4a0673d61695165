# Cross-compiling the 64-bit Windows build with Debian's mingw-w64 packages.
# It is the Windows code's test vehicle, run under wine64 where a machine
# cannot execute 32-bit programs; the shipped DLLs come from mingw-i686.cmake.
#
#   cmake -S . -B build/windows64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(NCCORE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
