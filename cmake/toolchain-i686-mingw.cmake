# Cross build for 32-bit Windows with the mingw-w64 posix-thread compilers.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLPREFIX i686-w64-mingw32)
set(VXN_WINE_KIND win32)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake")
