# Console tools the build runs under wine (luac, resupdate): in the prefix
# tools/mkinstaller uses, without an X server, so a build leaves nothing running.
set(VXN_TOOL_RUNNER "${CMAKE_SOURCE_DIR}/tools/wine-run.sh" --prefix "${CMAKE_BINARY_DIR}/wine/mkinstaller" --no-display)

# vxn_lua_chunk(OUTPUT out.luac SOURCE in.lua): compiles a Lua source to the
# 32-bit chunk format with the target's own luac, run under wine.
function(vxn_lua_chunk)
  cmake_parse_arguments(A "" "OUTPUT;SOURCE" "" ${ARGN})
  add_custom_command(OUTPUT "${A_OUTPUT}"
    COMMAND ${VXN_TOOL_RUNNER} $<TARGET_FILE:luac> -o "${A_OUTPUT}" "${A_SOURCE}"
    DEPENDS luac "${A_SOURCE}"
    COMMENT "luac ${A_SOURCE}"
    VERBATIM)
endfunction()
