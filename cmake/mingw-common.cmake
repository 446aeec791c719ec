# Shared part of the two mingw-w64 toolchain files. The "-posix" compilers are the ones
# whose C++ library has std::thread and std::mutex.
set(CMAKE_C_COMPILER ${HV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages too: the build machine's own (Linux) GoogleTest must never be taken for Windows'.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything is linked statically: Horavane.exe and the test programs need no runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The programs run under Debian's Wine, whose binaries live off the PATH.
set(HV_WINE /usr/lib/wine/wine64)
