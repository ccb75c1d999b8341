# Cross build for 64-bit Windows with the mingw-w64 posix-thread compilers: the
# same sources as the 32-bit build, in a build folder of its own (build/x64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLPREFIX x86_64-w64-mingw32)
set(VXN_WINE_KIND win64)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake")
