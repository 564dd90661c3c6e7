# Tests of a Windows build under Wine, in a prefix of the build's own.
#
# Every test runs through a wrapper that sets the prefix. The first Wine
# process of a prefix boots it and starts services that inherit its output;
# a test that met them would wait on them until its timeout. So a fixture
# starts a persistent server and boots the prefix before any test, with
# output to a log, and stops the server after the last one.
set(QTX_WINEPREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
get_filename_component(wine_dir ${CMAKE_CROSSCOMPILING_EMULATOR} DIRECTORY)
find_program(QTX_WINESERVER wineserver PATHS ${wine_dir} /usr/lib/wine NO_DEFAULT_PATH)
find_program(QTX_WINESERVER wineserver REQUIRED)

set(QTX_WINE ${CMAKE_CROSSCOMPILING_EMULATOR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${PROJECT_BINARY_DIR}/wine-run
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE @ONLY)
# For the targets of this directory, which the tests run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run)

foreach(action start stop)
  add_test(NAME wine.${action} COMMAND ${CMAKE_COMMAND} -DACTION=${action} -DWINE=${QTX_WINE}
    -DWINESERVER=${QTX_WINESERVER} -DWINEPREFIX=${QTX_WINEPREFIX} -P ${PROJECT_SOURCE_DIR}/cmake/WineServer.cmake)
endforeach()
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP qtx_wine TIMEOUT 300)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP qtx_wine)

# Called at the end of the directory: every other test needs the server.
function(qtx_tests_need_wine)
  get_property(tests DIRECTORY PROPERTY TESTS)
  list(REMOVE_ITEM tests wine.start wine.stop)
  set_property(TEST ${tests} APPEND PROPERTY FIXTURES_REQUIRED qtx_wine)  # beside their own fixtures
endfunction()
