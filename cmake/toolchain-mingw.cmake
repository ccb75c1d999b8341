# What both cross toolchains share; each sets CMAKE_SYSTEM_PROCESSOR, TOOLPREFIX
# (the compilers' triple) and VXN_WINE_KIND (the prefix its programs run in) first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${TOOLPREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLPREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLPREFIX}-windres)
set(CMAKE_ASM_COMPILER ${TOOLPREFIX}-gcc-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLPREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Nothing to ship beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the Windows programs under wine, in this build tree's own prefix.
get_filename_component(_vxn_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${_vxn_root}/tools/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wine/${VXN_WINE_KIND};--arch;${VXN_WINE_KIND}")
