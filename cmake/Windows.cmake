# A Windows build: every program and DLL in one folder, with the compiler's
# runtime DLLs beside them, so that each program finds all it loads; the
# installed package carries the same runtime DLLs in bin/.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

if(MINGW)
  set(QTX_RUNTIME_DLLS)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
      list(APPEND QTX_RUNTIME_DLLS ${path})
    endif()
  endforeach()
  file(COPY ${QTX_RUNTIME_DLLS} DESTINATION ${PROJECT_BINARY_DIR})
  install(FILES ${QTX_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
