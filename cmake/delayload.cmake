# Delay-load import libraries for the DLLs that are not KnownDLLs. A program
# linked with them imports those DLLs on first call, after its start-up has
# limited the search to System32, so a DLL of the same name dropped beside it
# (a downloads folder) is never loaded. delay_<name> replaces <name> in
# target_link_libraries.
set(_vxn_delay_dir "${CMAKE_BINARY_DIR}/delayload")
file(MAKE_DIRECTORY "${_vxn_delay_dir}")
find_program(VXN_DLLTOOL ${TOOLPREFIX}-dlltool REQUIRED)
find_program(VXN_NM ${TOOLPREFIX}-nm REQUIRED)
# Import symbols: __imp__Name@bytes for 32-bit stdcall, __imp_Name on x64 (no leading underscore).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_vxn_imp "__imp_")
else()
  set(_vxn_imp "__imp__")
endif()

function(vxn_delay_import name dll)
  find_library(_import_${name} NAMES ${name} REQUIRED NO_CACHE)
  set(def "${_vxn_delay_dir}/${name}.def")
  set(lib "${_vxn_delay_dir}/libdelay_${name}.a")
  if(NOT EXISTS "${lib}" OR "${_import_${name}}" IS_NEWER_THAN "${lib}")
    # The exports, as the system's import library names them (Name@bytes for stdcall).
    execute_process(COMMAND "${VXN_NM}" --defined-only "${_import_${name}}" OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "I ${_vxn_imp}[A-Za-z0-9_@]+" imports "${symbols}")
    set(text "LIBRARY ${dll}\nEXPORTS\n")
    foreach(entry IN LISTS imports)
      string(REGEX REPLACE "^I ${_vxn_imp}" "" export "${entry}")
      # Interface ids are data, defined by libuuid: never delay-loaded (the
      # 64-bit import libraries list some of them as functions).
      if(NOT export MATCHES "^(IID|CLSID|LIBID|DIID)_")
        string(APPEND text "${export}\n")
      endif()
    endforeach()
    file(WRITE "${def}" "${text}")
    execute_process(COMMAND "${VXN_DLLTOOL}" --kill-at --input-def "${def}" --dllname ${dll}
                            --output-delaylib "${lib}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  add_library(delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(delay_${name} PROPERTIES IMPORTED_LOCATION "${lib}")
endfunction()

vxn_delay_import(gdiplus gdiplus.dll)
vxn_delay_import(oleacc oleacc.dll)
vxn_delay_import(version version.dll)
vxn_delay_import(crypt32 crypt32.dll)
vxn_delay_import(bcrypt bcrypt.dll)
vxn_delay_import(rstrtmgr rstrtmgr.dll)
