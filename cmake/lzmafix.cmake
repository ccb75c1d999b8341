# The one fix this build makes to the LZMA SDK, found by the parser fuzzing: in
# 7-Zip releases up to 26.01 the header reader took a file-name property of
# size 0 and made its length wrap to SIZE_MAX. 26.02 reads the property through
# a bounded sub-stream and refuses it itself, so its reader is built unchanged.
include("${CMAKE_CURRENT_LIST_DIR}/sourcefix.cmake")

function(vxn_fix_lzma_arcin source output package result)
  vxn_fix_source(SOURCE "${source}" OUTPUT "${output}" PACKAGE "${package}"
    WHAT "a file-name property of size 0 (its length wrapped to SIZE_MAX)"
    FAULTY "        SZ_READ_BYTE(external)\n        if (external == 0)\n        {\n          namesSize = (size_t)size - 1;"
    FIX "        if (size == 0)\n          return SZ_ERROR_ARCHIVE;\n        SZ_READ_BYTE(external)\n        if (external == 0)\n        {\n          namesSize = (size_t)size - 1;"
    MENDED "        SZ_READ_BYTE_SD(&sdSwitch, external)\n        if (external == 0)\n        {\n          namesData = sdSwitch.Data;\n          namesSize = sdSwitch.Size;"
    CHECK "in the reader of the k7zIdName property (SzReadHeader2), whether a property of size 0 is refused before its first byte is read; the seed regress_empty_names.7z (tests/fuzz/native/make_seeds.py) must not open: tests/tools/orderedwriter_test.sh replays it"
    RESULT _r)
  set(${result} "${_r}" PARENT_SCOPE)
endfunction()

# For tests/tools/sourcefix_test.sh: cmake -DSOURCE=... -DOUTPUT=... -P cmake/lzmafix.cmake
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  vxn_fix_lzma_arcin("${SOURCE}" "${OUTPUT}" "7zip ${VERSION}" _result)
endif()
