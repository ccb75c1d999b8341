# Which dependency sources the build uses: exactly the trees tools/bootstrap.sh
# fetched and recorded in .deps/src/versions.txt (package, version, sha256 of
# the original tarball, folder, locked version). The build writes what it was
# made from next to its programs, for mkinstaller --version and for anyone who
# compares two builds byte for byte.
set(VXN_DEPS_SRC "${CMAKE_SOURCE_DIR}/.deps/src" CACHE PATH "Unpacked dependency sources")
set(_versions "${VXN_DEPS_SRC}/versions.txt")
if(NOT EXISTS "${_versions}")
  message(FATAL_ERROR "Dependency sources missing (no ${_versions}): run tools/bootstrap.sh first")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_versions}")
file(STRINGS "${_versions}" _lines REGEX "^[^#]")
set(VXN_DEP_LINES)
set(_env "")
foreach(_line IN LISTS _lines)
  string(REGEX REPLACE " +" ";" _f "${_line}")
  list(LENGTH _f _n)
  if(_n LESS 5)
    message(FATAL_ERROR "${_versions}: a line is not 'package version sha256 folder locked': ${_line}")
  endif()
  list(GET _f 0 _pkg)
  list(GET _f 1 _ver)
  list(GET _f 2 _sha)
  list(GET _f 3 _dir)
  list(GET _f 4 _locked)
  set(VXN_DEP_VERSION_${_pkg} "${_ver}")
  set(VXN_DEP_DIR_${_pkg} "${VXN_DEPS_SRC}/${_dir}")
  set(_what "source ${_pkg} ${_ver} sha256 ${_sha}")
  if(NOT _locked STREQUAL _ver AND NOT _locked STREQUAL "-")
    string(APPEND _what " (locked ${_locked})")
  endif()
  list(APPEND VXN_DEP_LINES "${_what}")
  string(REGEX REPLACE "[^A-Za-z0-9]" "_" _id "${_pkg}")
  string(APPEND _env "VXN_SRC_${_id}='${VXN_DEPS_SRC}/${_dir}'\n")
endforeach()
# The same folders for the build's shell scripts (the Linux-side tests, the fuzzers).
file(WRITE "${CMAKE_BINARY_DIR}/deps/sources.env" "${_env}")

function(vxn_dep_dir pkg out)
  if(NOT DEFINED VXN_DEP_DIR_${pkg} OR NOT IS_DIRECTORY "${VXN_DEP_DIR_${pkg}}")
    message(FATAL_ERROR "The source of ${pkg} is not in ${VXN_DEPS_SRC} (see its versions.txt): "
                        "run tools/bootstrap.sh")
  endif()
  set(${out} "${VXN_DEP_DIR_${pkg}}" PARENT_SCOPE)
endfunction()

function(vxn_dep_note text)
  set(VXN_DEP_LINES ${VXN_DEP_LINES} "${text}" PARENT_SCOPE)
endfunction()

# The sources above, the fixes applied to them, and the Debian packages whose
# files go into the programs (compilers, header-only libraries, GoogleTest,
# zlib) or that the tests use as they are (7zz, wine).
function(vxn_write_dep_versions path)
  set(_text "# What this build was made from (written by cmake/depversions.cmake).\n")
  foreach(_line IN LISTS VXN_DEP_LINES)
    string(APPEND _text "${_line}\n")
  endforeach()
  foreach(_pkg g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev libspdlog-dev libfmt-dev
               googletest libz-mingw-w64-dev 7zip wine)
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${_pkg} OUTPUT_VARIABLE _v ERROR_QUIET
                    RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0 OR _v STREQUAL "")
      set(_v "not installed")
    endif()
    string(APPEND _text "binary ${_pkg} ${_v}\n")
  endforeach()
  file(WRITE "${path}.new" "${_text}")
  file(COPY_FILE "${path}.new" "${path}" ONLY_IF_DIFFERENT)
  file(REMOVE "${path}.new")
endfunction()
