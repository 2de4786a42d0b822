# Runs one example and checks it: its exit code, its standard output against the lines
# of an expected file (each must appear, in that order), and that nothing of the engine
# was left alive at shutdown (our engine names what it still holds on standard error).
# Writes a test report for the summary of the test command.
#   cmake -DPROGRAM=... [-DEMULATOR=...] [-DARGS=a|b] -DEXPECTED=file -DEXIT=0
#         -DREPORT=dir/name.xml -P check_output.cmake
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
                RESULT_VARIABLE exit_code OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")
message("${out}")
if(err)
  message("standard error:\n${err}")
endif()

set(problems "")
if(NOT exit_code STREQUAL "${EXIT}")
  string(APPEND problems "exit code ${exit_code}, expected ${EXIT}\n")
endif()
file(STRINGS ${EXPECTED} expected_lines)
set(rest "${out}${err}")
foreach(line IN LISTS expected_lines)
  string(FIND "${rest}" "${line}" at)
  if(at EQUAL -1)
    string(APPEND problems "missing (in this order): ${line}\n")
    break()
  endif()
  string(LENGTH "${line}" length)
  math(EXPR at "${at} + ${length}")
  string(SUBSTRING "${rest}" ${at} -1 rest)
endforeach()
if(err MATCHES "still alive")
  string(APPEND problems "engine objects left alive at shutdown\n")
endif()

get_filename_component(name ${REPORT} NAME_WE)
if(problems)
  string(REPLACE "&" "&amp;" text "${problems}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(failure "<failure message=\"${text}\"/>")
endif()
file(WRITE ${REPORT}
  "<?xml version=\"1.0\"?>\n<testsuites><testsuite name=\"examples\">"
  "<testcase name=\"${name}\" classname=\"examples\">${failure}</testcase></testsuite></testsuites>\n")
if(problems)
  message(FATAL_ERROR "${problems}")
endif()
