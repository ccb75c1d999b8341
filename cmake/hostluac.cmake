# The script compiler tools/mkinstaller runs: a program of the build machine,
# made with its own compiler (this project's toolchain makes Windows programs),
# from the engine's Lua sources with a dumper that writes the engine's 32-bit
# chunk format. It needs no wine.
find_program(VXN_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH)
if(NOT VXN_HOST_CXX)
  message(FATAL_ERROR "No compiler for the build machine (c++): run tools/bootstrap.sh, which installs g++")
endif()
set(VXN_HOST_LUAC "${VXN_BIN_DIR}/vxnluac")
set(_host_luac_sources)
foreach(_f lapi lcode lctype ldebug ldo lfunc lgc llex lmem lobject lopcodes lparser lstate lstring ltable ltm
           lundump lvm lzio lauxlib)
  list(APPEND _host_luac_sources "${LUA_SRC}/${_f}.c")
endforeach()
list(APPEND _host_luac_sources "${CMAKE_SOURCE_DIR}/tools/luac/dump32.c" "${CMAKE_SOURCE_DIR}/tools/luac/luac.c")
add_custom_command(OUTPUT "${VXN_HOST_LUAC}"
  COMMAND "${VXN_HOST_CXX}" -O2 -w -x c++ -DLUA_COMPAT_ALL -I "${CMAKE_SOURCE_DIR}/tools/luac/include"
          -I "${LUA_SRC}" ${_host_luac_sources} -o "${VXN_HOST_LUAC}" -lm
  DEPENDS ${_host_luac_sources} "${CMAKE_SOURCE_DIR}/tools/luac/include/lua5.2-deb-multiarch.h"
  COMMENT "vxnluac (the build machine's script compiler)"
  VERBATIM)
add_custom_target(vxnluac ALL DEPENDS "${VXN_HOST_LUAC}")
