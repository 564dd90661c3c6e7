# Fails when the repository tracks a libFuzzer artifact or would track a new one.
foreach(kind crash leak timeout slow-unit oom)
  execute_process(COMMAND ${GIT} -C ${SOURCE} ls-files "${kind}-*" "*/${kind}-*" OUTPUT_VARIABLE tracked)
  execute_process(COMMAND ${GIT} -C ${SOURCE} check-ignore -q --no-index "${kind}-0123" RESULT_VARIABLE ignored)
  if(NOT tracked STREQUAL "" OR NOT ignored EQUAL 0)
    message(FATAL_ERROR "libFuzzer's ${kind}-* files: tracked '${tracked}', ignored: ${ignored} (0 is yes)")
  endif()
endforeach()
