# cmake -DEXE=... -DEXPECT=regex [-DARGS=a;b] -P run_example.cmake: runs an
# example; it must exit with 0 and print a line matching EXPECT.
execute_process(COMMAND ${EXE} ${ARGS} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "exit status ${rc}")
endif()
if(NOT out MATCHES "${EXPECT}")
  message(FATAL_ERROR "no output matching '${EXPECT}'")
endif()
