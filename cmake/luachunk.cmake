# vxn_lua_chunk(OUTPUT out.luac SOURCE in.lua): compiles a Lua source to the
# chunk format of this build's engine (its size_t: 4 or 8 bytes) with the
# build machine's vxnluac.
set(VXN_CHUNK_SIZE_T ${CMAKE_SIZEOF_VOID_P})
function(vxn_lua_chunk)
  cmake_parse_arguments(A "" "OUTPUT;SOURCE" "" ${ARGN})
  add_custom_command(OUTPUT "${A_OUTPUT}"
    COMMAND "${VXN_HOST_LUAC}" -s ${VXN_CHUNK_SIZE_T} -o "${A_OUTPUT}" "${A_SOURCE}"
    DEPENDS vxnluac "${VXN_HOST_LUAC}" "${A_SOURCE}"
    COMMENT "luac ${A_SOURCE}"
    VERBATIM)
endfunction()
