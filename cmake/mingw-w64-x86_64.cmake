# Cross-compile for 64-bit Windows with the POSIX-threads flavour of MinGW-w64
# (the win32 flavour's GCC 12 library has no std::thread or std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under Wine unchanged.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
# Debian ships both libz.a and libz.dll.a; the .exe files link the static one.
set(ZLIB_USE_STATIC_LIBS ON)
# -O2, not -O3: at -O3 GCC 12 inlines libstdc++'s string and vector code far enough to report
# false -Wrestrict and -Warray-bounds warnings, and the .exe files gain nothing from it.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
