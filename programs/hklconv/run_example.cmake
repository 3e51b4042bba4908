# Runs hklconv in a fresh copy of the example folder and compares reflects.kik
# with the expected file kept beside the inputs.
# SPDX-License-Identifier: BSD-3-Clause
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(f list.hkl symmetry.prp basis.kik)
  file(COPY ${EXAMPLE}/${f} DESTINATION ${WORK})
endforeach()
execute_process(COMMAND ${PROGRAM} WORKING_DIRECTORY ${WORK} INPUT_FILE /dev/null
                OUTPUT_VARIABLE console RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT console STREQUAL "")
  message(FATAL_ERROR "hklconv failed (${rc}): ${console}")
endif()
file(READ ${WORK}/reflects.kik got)
file(READ ${EXAMPLE}/expected_reflects.kik want)
if(NOT got STREQUAL want)
  message(FATAL_ERROR "reflects.kik differs from the expected file:\n${got}")
endif()
