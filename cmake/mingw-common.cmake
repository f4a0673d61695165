# What both Windows toolchains share, for the target NCCORE_MINGW_TRIPLE set
# by the including toolchain file (mingw-i686.cmake, mingw-x86_64.cmake).
# The POSIX-thread variant of the compilers is used so that std::thread and
# std::mutex work (the win32 variant lacks them).
set(CMAKE_SYSTEM_NAME Windows)

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
