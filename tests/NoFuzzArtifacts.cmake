# Fails when the repository tracks a libFuzzer artifact or would track a new one.
execute_process(COMMAND ${GIT} -C ${SOURCE} ls-files crash-* leak-* timeout-* slow-unit-* oom-* OUTPUT_VARIABLE tracked)
execute_process(COMMAND ${GIT} -C ${SOURCE} check-ignore --no-index crash-0 leak-0 timeout-0 slow-unit-0 oom-0
  OUTPUT_VARIABLE ignored)
if(NOT tracked STREQUAL "" OR NOT ignored STREQUAL "crash-0\nleak-0\ntimeout-0\nslow-unit-0\noom-0\n")
  message(FATAL_ERROR "libFuzzer artifacts: tracked '${tracked}', ignored only '${ignored}'")
endif()
