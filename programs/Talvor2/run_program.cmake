# Runs the built Talvor2 as a process with standard input at end of file:
# the pauses and the name prompt must return; the exit status is 0 for the
# help text and a processed file, 1 after an error.
# Arguments: -DPROGRAM=<Talvor2> -DWORK=<scratch folder>
# SPDX-License-Identifier: BSD-3-Clause
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/one.tv2 "_IndexingStrategy\n2\n_PrintComputationTime\n1\n_PatternData\npattern 1\n3\n1 0 0\n0 1 0\n0 0 1\n")

file(WRITE ${WORK}/typo.tv2 "_IndexingStrategi\n2\n_PatternData\n")

foreach(case "h=0" "=1" "one.tv2=0" "a.tv2;b.tv2=1" "typo.tv2=1" "missing.tv2=1")
  string(REGEX REPLACE "=.*" "" args "${case}")
  string(REGEX REPLACE ".*=" "" expected "${case}")
  execute_process(COMMAND ${PROGRAM} ${args} WORKING_DIRECTORY ${WORK} INPUT_FILE /dev/null
                  OUTPUT_VARIABLE out RESULT_VARIABLE status TIMEOUT 20)
  if(NOT status EQUAL expected)
    message(FATAL_ERROR "Talvor2 ${args}: exit status ${status}, expected ${expected}\n${out}")
  endif()
endforeach()

file(READ ${WORK}/one_tv2.res results)
if(NOT results MATCHES "          1 +[0-9.]+ +[0-9.]+ +[0-9.]+     3   3   0.000\n$")
  message(FATAL_ERROR "unexpected results file:\n${results}")
endif()
