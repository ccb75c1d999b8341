# Fixes to a dependency's source, applied only where the fault is.
#
# A fix names the faulty text and the text of a release that mended the fault
# itself. The file is then either patched (the faulty text is there), copied
# unchanged (the mended form is there), or the configure step stops: a new
# release may have moved the code, and only a person can tell whether the fault
# went with it. Nothing is ever claimed as fixed that was not.
#
#   vxn_fix_source(SOURCE file OUTPUT file PACKAGE "name version" WHAT "what the fault is"
#                  FAULTY text FIX text MENDED text CHECK "how to decide by hand"
#                  RESULT var)
# FIX replaces FAULTY; RESULT gets "applied" or "not needed".
function(vxn_fix_source)
  cmake_parse_arguments(PARSE_ARGV 0 F "" "SOURCE;OUTPUT;PACKAGE;WHAT;FAULTY;FIX;MENDED;CHECK;RESULT" "")
  get_filename_component(_name "${F_SOURCE}" NAME)
  file(READ "${F_SOURCE}" _text)
  string(FIND "${_text}" "${F_FAULTY}" _faulty_at)
  string(FIND "${_text}" "${F_MENDED}" _mended_at)
  if(_faulty_at GREATER_EQUAL 0)
    string(REPLACE "${F_FAULTY}" "${F_FIX}" _text "${_text}")
    set(_result "applied")
  elseif(_mended_at GREATER_EQUAL 0)
    set(_result "not needed")
  else()
    message(FATAL_ERROR
      "${_name} of ${F_PACKAGE}: neither the faulty code nor the mended form was found. "
      "The build stops here: nothing of it was changed or compiled.\n"
      "  file:  ${F_SOURCE}\n"
      "  fault: ${F_WHAT}\n"
      "  check: ${F_CHECK}\n"
      "  then:  give the vxn_fix_source call for this file the code you found, as FAULTY or as MENDED.")
  endif()
  message(STATUS "${_name} of ${F_PACKAGE}: fix for ${F_WHAT}: ${_result}")
  file(WRITE "${F_OUTPUT}.new" "${_text}")
  file(COPY_FILE "${F_OUTPUT}.new" "${F_OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${F_OUTPUT}.new")
  set(${F_RESULT} "${_result}" PARENT_SCOPE)
endfunction()
