# Regenerates the Weickenmeier-Kohl coefficient header from the source table
# and compares it, byte for byte, with the committed header.
# Arguments: -DPYTHON=<python3> -DSOURCE_DIR=<simulator/scattering> -DWORK=<scratch folder>
# SPDX-License-Identifier: BSD-3-Clause
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/generate_weickenmeier_kohl_table.py
                        ${SOURCE_DIR}/weickenmeier_kohl.tsv
                OUTPUT_FILE ${WORK}/weickenmeier_kohl_table.hpp
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the generator failed (${rc}): ${err}")
endif()
file(READ ${WORK}/weickenmeier_kohl_table.hpp generated)
file(READ ${SOURCE_DIR}/weickenmeier_kohl_table.hpp committed)
if(NOT generated STREQUAL committed)
  message(FATAL_ERROR "weickenmeier_kohl_table.hpp differs from what "
                      "generate_weickenmeier_kohl_table.py makes of weickenmeier_kohl.tsv; "
                      "regenerate it (see the script)")
endif()
