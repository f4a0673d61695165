# Cross-compiling the 64-bit Windows build with Debian's mingw-w64 packages.
# It is the Windows code's test vehicle, run under wine64 where a machine
# cannot execute 32-bit programs; the shipped DLLs come from mingw-i686.cmake.
# The POSIX-thread variant of the compilers is used so that std::thread and
# std::mutex work (the win32 variant lacks them).
#
#   cmake -S . -B build/windows64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(NCCORE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NCCORE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NCCORE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NCCORE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${NCCORE_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${NCCORE_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers and libraries (libgcrypt, libgpg-error) come from the target's
# sysroot only; programs (iconv, windres) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${NCCORE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
