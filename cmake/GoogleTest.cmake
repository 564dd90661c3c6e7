# GoogleTest as installed, or built here from its sources (a cross build
# finds no GoogleTest of its target installed: Debian ships the sources).
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(QTX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build when none is installed")
  if(NOT EXISTS ${QTX_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest not found: install it, or set QTX_GOOGLETEST_SOURCE to its sources")
  endif()
  set(shared ${BUILD_SHARED_LIBS})
  set(BUILD_SHARED_LIBS OFF)  # linked into each test program
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QTX_GOOGLETEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(BUILD_SHARED_LIBS ${shared})
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
endif()
