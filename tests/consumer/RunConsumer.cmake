# Installs the build tree to a scratch prefix, then builds and runs the
# consumer programs: through find_package(QTX), and through pkg-config (when
# pkg-config is on the machine and the build is native). The find_package
# build also compiles the writing example of docs/cpp-api.md; the installed qtx, which
# must find the installed library by itself, reads back what it wrote. A cross
# build uses its toolchain file, runs the programs through its emulator and
# puts the package's DLLs beside them, as a Windows host ships them.
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

# The one complete program of docs/cpp-api.md: the cpp block with a main.
file(READ ${QTX_WRITING_EXAMPLE_DOC} doc)
if(NOT doc MATCHES "```cpp\n([^`]*int main\\([^`]*)```")
  message(FATAL_ERROR "${QTX_WRITING_EXAMPLE_DOC} has no complete writing example (a cpp block with int main)")
endif()
file(WRITE ${QTX_WORK_DIR}/readme_writer.cpp "${CMAKE_MATCH_1}")

# find_package(QTX) gives QTX::qtx.
set(build ${QTX_WORK_DIR}/cmake-build)
set(options -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${QTX_CXX_COMPILER} -DCMAKE_C_COMPILER=${QTX_C_COMPILER})
if(QTX_TOOLCHAIN_FILE)
  # A toolchain file may confine find_package to the target's root: name the package's folder.
  file(GLOB_RECURSE config ${prefix}/*/QTXConfig.cmake)
  get_filename_component(config_dir "${config}" DIRECTORY)
  list(APPEND options -DCMAKE_TOOLCHAIN_FILE=${QTX_TOOLCHAIN_FILE} -DQTX_DIR=${config_dir})
endif()
run(${CMAKE_CTEST_COMMAND} --build-and-test ${QTX_CONSUMER_SOURCE} ${build}
    --build-generator ${QTX_GENERATOR} --build-makeprogram ${QTX_MAKE_PROGRAM} --build-options ${options} -DQTX_README_WRITER=${QTX_WORK_DIR}/readme_writer.cpp)
if(QTX_EMULATOR)
  file(GLOB dlls ${prefix}/bin/*.dll)
  file(COPY ${dlls} DESTINATION ${build})
endif()
foreach(program consumer consumer_c)
  run(${QTX_EMULATOR} ${build}/${program}${QTX_EXECUTABLE_SUFFIX} ${QTX_SAMPLE})
  message(STATUS "find_package ${program}: ${RUN_OUTPUT}")
endforeach()

execute_process(COMMAND ${QTX_EMULATOR} ${build}/readme_writer${QTX_EXECUTABLE_SUFFIX}
  WORKING_DIRECTORY ${QTX_WORK_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the writing example of docs/cpp-api.md failed (${result})")
endif()
if(QTX_INSTALLED_TOOL)
  run(${QTX_EMULATOR} ${prefix}/${QTX_INSTALLED_TOOL} --version)
  message(STATUS "installed tool: ${RUN_OUTPUT}")
  run(${QTX_EMULATOR} ${prefix}/${QTX_INSTALLED_TOOL} dump ${QTX_WORK_DIR}/run.qtx)
  string(REPLACE "\r\n" "\n" RUN_OUTPUT "${RUN_OUTPUT}")  # a Windows tool's text output
  if(NOT RUN_OUTPUT STREQUAL "Time,In1,In2\n0,0.5,0.1\n0.001,0.6,0.2\n0.002,0.7,0.3\n")
    message(FATAL_ERROR "the writing example of docs/cpp-api.md reads back as\n${RUN_OUTPUT}")
  endif()
endif()

# pkg-config --cflags --libs qtx gives what a plain compiler line needs.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG AND NOT QTX_EMULATOR)
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
  run(${QTX_C_COMPILER} -std=c99 ${QTX_CONSUMER_SOURCE}/main.c ${flags} -Wl,-rpath,${libdir}
      -o ${QTX_WORK_DIR}/pkg-consumer-c)
  foreach(program pkg-consumer pkg-consumer-c)
    run(${QTX_WORK_DIR}/${program} ${QTX_SAMPLE})
    message(STATUS "pkg-config ${program}: ${RUN_OUTPUT}")
  endforeach()
endif()
