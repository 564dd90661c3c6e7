# Installs the build tree to a scratch prefix, then builds and runs the
# consumer program twice: once through find_package(QTX), once through
# pkg-config (when pkg-config is on the machine). The find_package build also
# compiles the README's writing example; the installed qtx, which must find
# the installed library by itself, reads back what it wrote.
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${result}): ${command}\n${out}\n${err}")
  endif()
  set(RUN_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${QTX_WORK_DIR}/prefix)
file(REMOVE_RECURSE ${QTX_WORK_DIR})
if(QTX_CONFIG)
  run(${CMAKE_COMMAND} --install ${QTX_BINARY_DIR} --prefix ${prefix} --config ${QTX_CONFIG})
else()
  run(${CMAKE_COMMAND} --install ${QTX_BINARY_DIR} --prefix ${prefix})
endif()

# The README's one complete program: the cpp block with a main.
file(READ ${QTX_README} readme)
if(NOT readme MATCHES "```cpp\n([^`]*int main\\([^`]*)```")
  message(FATAL_ERROR "README.md has no complete writing example (a cpp block with int main)")
endif()
file(WRITE ${QTX_WORK_DIR}/readme_writer.cpp "${CMAKE_MATCH_1}")

# find_package(QTX) gives QTX::qtx.
run(${CMAKE_CTEST_COMMAND} --build-and-test ${QTX_CONSUMER_SOURCE} ${QTX_WORK_DIR}/cmake-build
    --build-generator ${QTX_GENERATOR} --build-makeprogram ${QTX_MAKE_PROGRAM}
    --build-options -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${QTX_CXX_COMPILER}
      -DQTX_README_WRITER=${QTX_WORK_DIR}/readme_writer.cpp
    --test-command ${QTX_WORK_DIR}/cmake-build/consumer ${QTX_SAMPLE})
message(STATUS "find_package consumer: ${RUN_OUTPUT}")

execute_process(COMMAND ${QTX_WORK_DIR}/cmake-build/readme_writer WORKING_DIRECTORY ${QTX_WORK_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the README's writing example failed (${result})")
endif()
if(QTX_INSTALLED_TOOL)
  run(${prefix}/${QTX_INSTALLED_TOOL} --version)
  message(STATUS "installed tool: ${RUN_OUTPUT}")
  run(${prefix}/${QTX_INSTALLED_TOOL} dump ${QTX_WORK_DIR}/run.qtx)
  if(NOT RUN_OUTPUT STREQUAL "Time,In1,In2\n0,0.5,0.1\n0.001,0.6,0.2\n0.002,0.7,0.3\n")
    message(FATAL_ERROR "the README's writing example reads back as\n${RUN_OUTPUT}")
  endif()
endif()

# pkg-config --cflags --libs qtx gives what a plain compiler line needs.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  file(GLOB_RECURSE pc_files ${prefix}/*/qtx.pc)
  list(GET pc_files 0 pc_file)
  get_filename_component(pc_dir ${pc_file} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  run(${PKG_CONFIG} --cflags --libs qtx)
  string(STRIP "${RUN_OUTPUT}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  get_filename_component(libdir ${pc_dir} DIRECTORY)
  run(${QTX_CXX_COMPILER} -std=c++17 ${QTX_CONSUMER_SOURCE}/main.cpp ${flags} -Wl,-rpath,${libdir}
      -o ${QTX_WORK_DIR}/pkg-consumer)
  run(${QTX_WORK_DIR}/pkg-consumer ${QTX_SAMPLE})
  message(STATUS "pkg-config consumer: ${RUN_OUTPUT}")
endif()
