# Starts (ACTION start) or stops (ACTION stop) the Wine server of the prefix
# WINEPREFIX. Starting also boots the prefix. Output goes to a log beside the
# prefix, so that nothing Wine leaves running holds the caller's pipes.
cmake_minimum_required(VERSION 3.25)
set(ENV{WINEPREFIX} ${WINEPREFIX})
set(ENV{WINEDEBUG} -all)
set(log ${WINEPREFIX}.log)

function(run)
  execute_process(COMMAND ${ARGN} INPUT_FILE /dev/null OUTPUT_FILE ${log}.out ERROR_FILE ${log}.err
    RESULT_VARIABLE result)
  file(READ ${log}.out out)
  file(READ ${log}.err err)
  string(REPLACE ";" " " command "${ARGN}")
  file(APPEND ${log} "$ ${command}\n${out}${err}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${command}\n${out}${err}")
  endif()
endfunction()

if(ACTION STREQUAL "start")
  file(MAKE_DIRECTORY ${WINEPREFIX})
  file(REMOVE ${log})
  # A server left over from an interrupted run of this build's tests.
  execute_process(COMMAND ${WINESERVER} -k INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
  run(${WINESERVER} -p)
  run(${WINE} wineboot)
elseif(ACTION STREQUAL "stop")
  run(${WINESERVER} -k)
else()
  message(FATAL_ERROR "ACTION is start or stop")
endif()
