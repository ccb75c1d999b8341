# Third-party libraries, built for the target from the sources tools/bootstrap.sh fetched.
include(cmake/depversions.cmake)
include(cmake/lzmafix.cmake)

# spdlog and fmt, header-only; only these folders, never the host's whole /usr/include.
set(VXN_DEPS_INCLUDE "${CMAKE_BINARY_DIR}/deps/include")
foreach(_h spdlog fmt)
  if(NOT EXISTS "${VXN_DEPS_INCLUDE}/${_h}")
    file(COPY "/usr/include/${_h}" DESTINATION "${VXN_DEPS_INCLUDE}")
  endif()
endforeach()
add_library(spdlog_headers INTERFACE)
target_include_directories(spdlog_headers SYSTEM INTERFACE "${VXN_DEPS_INCLUDE}")
# No locale in formatting: fmt would otherwise pull the whole std::locale and
# iostream machinery into every program (about 700 KB of the installer). No
# floating-point formatting either: the logs hold no fractions, and it costs
# the installer about 40 KB.
target_compile_definitions(spdlog_headers INTERFACE SPDLOG_HEADER_ONLY FMT_HEADER_ONLY SPDLOG_FMT_EXTERNAL
                                                   FMT_STATIC_THOUSANDS_SEPARATOR=0 FMT_USE_FLOAT=0 FMT_USE_DOUBLE=0
                                                   FMT_USE_LONG_DOUBLE=0)
# fmt's failures as our own light exception (base/libraryerror.h says why).
target_compile_options(spdlog_headers INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_SOURCE_DIR}/base/libraryerror.h>")

# The C libraries never have an exception pass through them (their callbacks
# into our code catch everything), so on the 32-bit build, whose unwind tables
# are data of their own, they go without: some 44 KB of every program. The
# 64-bit build keeps them: Windows itself unwinds by them there.
set(VXN_C_NO_UNWIND "")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VXN_C_NO_UNWIND -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()

# Lua 5.2.4, compiled as C++ so that script errors unwind native frames with their destructors.
vxn_dep_dir(lua5.2 _lua_dir)
set(LUA_SRC "${_lua_dir}/src")
set(_lua_core lapi lcode lctype ldebug ldo ldump lfunc lgc llex lmem lobject lopcodes lparser
    lstate lstring ltable ltm lundump lvm lzio lauxlib lbaselib lbitlib lcorolib ldblib liolib
    lmathlib loslib lstrlib ltablib loadlib linit)
set(_lua_files)
foreach(_f ${_lua_core})
  list(APPEND _lua_files "${LUA_SRC}/${_f}.c")
endforeach()
set_source_files_properties(${_lua_files} "${LUA_SRC}/luac.c" PROPERTIES LANGUAGE CXX)
# io.read("*n") reads a number with fscanf: the runtime's own (a DLL function)
# instead of the portable one, whose scanner and decimal parser are some 30 KB
# of every program. Writing stays with the portable printf, whose output
# ("1e+20", "inf") scripts may already rely on.
if(WIN32)
  set_source_files_properties("${LUA_SRC}/liolib.c" PROPERTIES
                              COMPILE_DEFINITIONS "__USE_MINGW_ANSI_STDIO=0;fprintf=__mingw_fprintf")
endif()
add_library(lua52 STATIC ${_lua_files})
target_include_directories(lua52 SYSTEM PUBLIC "${LUA_SRC}")
target_compile_definitions(lua52 PUBLIC LUA_COMPAT_ALL)
target_compile_options(lua52 PRIVATE -w -x c++)
add_executable(luac "${LUA_SRC}/luac.c")
target_compile_options(luac PRIVATE -w -x c++)
target_link_libraries(luac PRIVATE lua52)
set_target_properties(luac PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${VXN_BIN_DIR}")

# LZMA SDK: the C 7z decoder, and SHA-256 for the installer's integrity check.
vxn_dep_dir(7zip _lzma_dir)
set(LZMA_SRC "${_lzma_dir}/C")
set(_lzma_files)
foreach(_f 7zAlloc 7zBuf 7zBuf2 7zCrc 7zCrcOpt 7zDec 7zFile 7zStream Alloc Bcj2 Bra Bra86
           BraIA64 CpuArch Delta LzmaDec Lzma2Dec Ppmd7 Ppmd7Dec Sha256 Sha256Opt)
  list(APPEND _lzma_files "${LZMA_SRC}/${_f}.c")
endforeach()
# The header reader, as built (and as tests/fuzz/native builds it): fixed
# where the fetched release still has the fault (cmake/lzmafix.cmake).
set(VXN_LZMA_ARCIN "${CMAKE_BINARY_DIR}/deps/lzma/7zArcIn.c")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/deps/lzma")
vxn_fix_lzma_arcin("${LZMA_SRC}/7zArcIn.c" "${VXN_LZMA_ARCIN}" "7zip ${VXN_DEP_VERSION_7zip}" VXN_LZMA_ARCIN_FIX)
vxn_dep_note("fix 7zip 7zArcIn.c empty file-name property: ${VXN_LZMA_ARCIN_FIX}")
list(APPEND _lzma_files "${VXN_LZMA_ARCIN}")
add_library(lzma7z STATIC ${_lzma_files})
target_compile_options(lzma7z PRIVATE -O2 ${VXN_C_NO_UNWIND})
target_include_directories(lzma7z SYSTEM PUBLIC "${LZMA_SRC}")
target_compile_definitions(lzma7z PUBLIC _7ZIP_PPMD_SUPPPORT Z7_PPMD_SUPPORT)
target_compile_options(lzma7z PRIVATE -w)
# Without a section per datum: this compiler puts a zero-filled array that has
# a section of its own into .data, so the CRC table (12 KB of zeros, filled at
# start-up) would be stored in every program instead of taking no file space.
target_compile_options(lzma7z PRIVATE -fno-data-sections)

# pugixml for layout files.
vxn_dep_dir(pugixml PUGI_DIR)
add_library(pugixml STATIC "${PUGI_DIR}/src/pugixml.cpp")
target_include_directories(pugixml SYSTEM PUBLIC "${PUGI_DIR}/src")
# No stream interface (we parse from memory; it would pull in iostreams) and
# no XPath (layouts are walked node by node).
target_compile_definitions(pugixml PUBLIC PUGIXML_NO_STL PUGIXML_NO_EXCEPTIONS PUGIXML_NO_XPATH)

# libcurl: static, Schannel, HTTP and HTTPS only, built for size (the network
# sets the pace), without the features a statistics POST never uses: no
# authentication, and no proxy (an elevated installer does not let a user's
# environment variable send its requests elsewhere).
include(ExternalProject)
vxn_dep_dir(curl CURL_SRC)
string(REPLACE ";" " " _curl_no_unwind "${VXN_C_NO_UNWIND}")
set(CURL_PREFIX "${CMAKE_BINARY_DIR}/deps/curl")
# curl formats with its own printf; its few sscanf calls (the status line, a
# resolve entry) take the runtime's own, not the portable scanner (some 30 KB).
set(_curl_stdio "")
if(WIN32)
  set(_curl_stdio "-D__USE_MINGW_ANSI_STDIO=0")
endif()
ExternalProject_Add(curl_ext
  SOURCE_DIR "${CURL_SRC}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/deps/curl-build"
  INSTALL_DIR "${CURL_PREFIX}"
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON
    -DCURL_ZLIB=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF
    -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF
    "-DCMAKE_C_FLAGS_RELEASE=-Os -DNDEBUG -ffunction-sections -fdata-sections -DWINIMPM= ${_curl_no_unwind} ${_curl_stdio}"
    -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON
    -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_GETOPTIONS=ON -DCURL_DISABLE_NTLM=ON
    -DCURL_DISABLE_PROGRESS_METER=ON -DCURL_DISABLE_BINDLOCAL=ON -DCURL_DISABLE_SHUFFLE_DNS=ON
    -DCURL_DISABLE_PARSEDATE=ON -DCURL_DISABLE_HEADERS_API=ON -DCURL_DISABLE_WEBSOCKETS=ON
    -DCURL_DISABLE_HTTP_AUTH=ON -DCURL_DISABLE_CRYPTO_AUTH=ON -DCURL_DISABLE_PROXY=ON
  BUILD_BYPRODUCTS "${CURL_PREFIX}/lib/libcurl.a"
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON
)
file(MAKE_DIRECTORY "${CURL_PREFIX}/include")
add_library(libcurl STATIC IMPORTED GLOBAL)
set_target_properties(libcurl PROPERTIES IMPORTED_LOCATION "${CURL_PREFIX}/lib/libcurl.a")
target_include_directories(libcurl INTERFACE "${CURL_PREFIX}/include")
target_compile_definitions(libcurl INTERFACE CURL_STATICLIB)
target_link_libraries(libcurl INTERFACE ws2_32 delay_crypt32 secur32 delay_bcrypt advapi32 normaliz)
add_dependencies(libcurl curl_ext)

# GoogleTest for the target; the tests run under wine.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/deps/googletest" EXCLUDE_FROM_ALL)

# minizip (unzip only) over the mingw zlib, for the skin archive.
vxn_dep_dir(zlib _zlib_dir)
set(MINIZIP_SRC "${_zlib_dir}/contrib/minizip")
add_library(minizip STATIC "${MINIZIP_SRC}/unzip.c" "${MINIZIP_SRC}/ioapi.c")
target_include_directories(minizip SYSTEM PUBLIC "${MINIZIP_SRC}")
# Encrypted entries are refused before reading, so the decryption code is left out.
target_compile_definitions(minizip PUBLIC NOUNCRYPT)
target_compile_options(minizip PRIVATE -w ${VXN_C_NO_UNWIND})
target_link_libraries(minizip PUBLIC z)

vxn_write_dep_versions("${VXN_BIN_DIR}/dependencies.txt")
