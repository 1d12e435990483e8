# Cross build for 32-bit Windows with Debian's mingw-w64 compilers (g++-mingw-w64-i686), posix-thread
# variant: Qt for Windows is built with it, and its C++ runtime must be the one Qt's DLLs use.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_PREFIX_PATH="QT_PREFIX;LIB_PREFIX" ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# Libraries, headers and packages come from the MinGW sysroot and the prefixes named in CMAKE_PREFIX_PATH
# (Qt for Windows, libraries built for Windows), never from the Linux host; programs (Qt's moc, uic and
# rcc are Linux programs) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's pkg-config would answer with the Linux libraries' .pc files: look only in the prefixes.
set(pavko_pkgconfig_dirs "")
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
    list(APPEND pavko_pkgconfig_dirs ${prefix}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" pavko_pkgconfig_dirs "${pavko_pkgconfig_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pavko_pkgconfig_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
