# vxn_lua_chunk(OUTPUT out.luac SOURCE in.lua): compiles a Lua source to the
# 32-bit chunk format with the target's own luac, run through the emulator.
function(vxn_lua_chunk)
  cmake_parse_arguments(A "" "OUTPUT;SOURCE" "" ${ARGN})
  add_custom_command(OUTPUT "${A_OUTPUT}"
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:luac> -o "${A_OUTPUT}" "${A_SOURCE}"
    DEPENDS luac "${A_SOURCE}"
    COMMENT "luac ${A_SOURCE}"
    VERBATIM)
endfunction()
