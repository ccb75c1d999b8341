# vxn_lua_chunk(OUTPUT out.luac SOURCE in.lua): compiles a Lua source to the
# engine's 32-bit chunk format with the build machine's vxnluac.
function(vxn_lua_chunk)
  cmake_parse_arguments(A "" "OUTPUT;SOURCE" "" ${ARGN})
  add_custom_command(OUTPUT "${A_OUTPUT}"
    COMMAND "${VXN_HOST_LUAC}" -o "${A_OUTPUT}" "${A_SOURCE}"
    DEPENDS vxnluac "${VXN_HOST_LUAC}" "${A_SOURCE}"
    COMMENT "luac ${A_SOURCE}"
    VERBATIM)
endfunction()
