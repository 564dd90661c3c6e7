# qtx convert: three conversions checked with qtx info, and each failure as
# one line on stderr. Included from tests/CMakeLists.txt after
# qtx_add_tool_test is defined; the tests run in the source directory.
set(CONVERT_IN tests/tools/convert)
set(CONVERT_OUT ${CMAKE_CURRENT_BINARY_DIR}/convert)
file(MAKE_DIRECTORY ${CONVERT_OUT})

# Each conversion is a fixture that the info test of its output requires.
foreach(mode one multi no)
  set(extra)
  if(mode STREQUAL "no")
    set(extra --x0 -1.5 --step 0.25)
  endif()
  qtx_add_tool_test(convert_${mode} ARGS convert ${CONVERT_IN}/${mode}.csv ${CONVERT_OUT}/${mode}.qtx --mode ${mode} ${extra}
    EXIT_CODE 0 STDOUT_FILE ${CMAKE_CURRENT_SOURCE_DIR}/tools/convert/no_output.txt)
  set_tests_properties(tool.convert_${mode} PROPERTIES FIXTURES_SETUP convert_${mode})
  configure_file(tools/convert/${mode}_info.txt.in ${CONVERT_OUT}/${mode}_info.txt @ONLY)
  qtx_add_tool_test(convert_${mode}_info ARGS info ${CONVERT_OUT}/${mode}.qtx EXIT_CODE 0
    STDOUT_FILE ${CONVERT_OUT}/${mode}_info.txt)
  set_tests_properties(tool.convert_${mode}_info PROPERTIES FIXTURES_REQUIRED convert_${mode})
endforeach()

qtx_add_tool_test(convert_missing_input ARGS convert ${CONVERT_IN}/no-such-file.csv ${CONVERT_OUT}/missing.qtx
  EXIT_CODE 2 STDERR_REGEX "^qtx: cannot open ${CONVERT_IN}/no-such-file.csv: ${QTX_NO_FILE_TEXT}$")
qtx_add_tool_test(convert_ragged_row ARGS convert ${CONVERT_IN}/ragged.csv ${CONVERT_OUT}/ragged.qtx
  EXIT_CODE 2 STDERR_REGEX "^qtx: ${CONVERT_IN}/ragged.csv:4: 2 cells, but the header row has 3$")
qtx_add_tool_test(convert_not_a_number ARGS convert ${CONVERT_IN}/not_a_number.csv ${CONVERT_OUT}/nan.qtx
  EXIT_CODE 2 STDERR_REGEX "^qtx: ${CONVERT_IN}/not_a_number.csv:3: column 2 \\(In1\\): 'n/a' is not a number$")
qtx_add_tool_test(convert_no_header_row ARGS convert ${CONVERT_IN}/blank.csv ${CONVERT_OUT}/blank.qtx
  EXIT_CODE 2 STDERR_REGEX "^qtx: ${CONVERT_IN}/blank.csv: no header row$")
qtx_add_tool_test(convert_unclosed_quote ARGS convert ${CONVERT_IN}/unclosed_quote.csv ${CONVERT_OUT}/quote.qtx
  EXIT_CODE 2 STDERR_REGEX "^qtx: ${CONVERT_IN}/unclosed_quote.csv:1: a quoted cell is not closed$")
qtx_add_tool_test(convert_odd_columns_in_multi ARGS convert ${CONVERT_IN}/one.csv ${CONVERT_OUT}/odd.qtx --mode multi
  EXIT_CODE 2 STDERR_REGEX "^qtx: mode multi needs the columns in X,Y pairs. ${CONVERT_IN}/one.csv has 3 columns$")
qtx_add_tool_test(convert_unwritable_output ARGS convert ${CONVERT_IN}/one.csv ${CONVERT_OUT}/no-such-dir/out.qtx
  EXIT_CODE 2 STDERR_REGEX "^qtx: cannot write .*/no-such-dir/out.qtx: No such file or directory$")
if(NOT WIN32)  # a device that is always full
  qtx_add_tool_test(convert_full_device ARGS convert ${CONVERT_IN}/one.csv /dev/full
    EXIT_CODE 2 STDERR_REGEX "^qtx: cannot write /dev/full: No space left on device$")
endif()
# The input must survive being named as the output too.
configure_file(tools/convert/one.csv ${CONVERT_OUT}/same.csv COPYONLY)
qtx_add_tool_test(convert_output_is_input ARGS convert ${CONVERT_OUT}/same.csv ${CONVERT_OUT}/same.csv
  EXIT_CODE 2 STDERR_REGEX "^qtx: .*/same.csv is the input file. give another output file$")
file(WRITE ${CONVERT_OUT}/tabs.tsv "t\tA\n0\t1\n")
qtx_add_tool_test(convert_tabs_as_csv ARGS convert ${CONVERT_OUT}/tabs.tsv ${CONVERT_OUT}/tabs.qtx EXIT_CODE 2
  STDERR_REGEX "^qtx: .*tabs.tsv:1: column 1: the heading holds a tab. tab-separated input needs --format tsv$")
qtx_add_tool_test(convert_unknown_mode ARGS convert ${CONVERT_IN}/one.csv ${CONVERT_OUT}/mode.qtx --mode two
  EXIT_CODE 2 STDERR_REGEX "^qtx convert: option --mode must be no, one or multi, not 'two'\nusage: qtx convert")
qtx_add_tool_test(convert_step_beyond_header_digits ARGS convert ${CONVERT_IN}/no.csv ${CONVERT_OUT}/step.qtx
  --mode no --step 0.123456789 EXIT_CODE 2
  STDERR_REGEX "^qtx convert: option --step 0.123456789 would be stored as 1.234568e-01. give at most 7 significant digits\n")

# The command in process, read back through the library: every number of the
# CSV comes back bit for bit.
qtx_add_unit_test(tool_tests tools/convert_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/cli/Tool.cpp ${PROJECT_SOURCE_DIR}/tools/commands/ConvertCommand.cpp
  ${PROJECT_SOURCE_DIR}/tools/cli/OutputFile.cpp ${PROJECT_SOURCE_DIR}/tools/sections/Sections.cpp
  ${PROJECT_SOURCE_DIR}/tools/sections/WallClock.cpp ${PROJECT_SOURCE_DIR}/tools/sections/Zone.cpp)
target_include_directories(tool_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools)
target_compile_definitions(tool_tests PRIVATE QTX_TOOL_TESTS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tools")

# Round trip a user can see: qtx dump of the converted multi file gives back
# the CSV byte for byte.
qtx_add_tool_test(convert_multi_dump ARGS dump ${CONVERT_OUT}/multi.qtx EXIT_CODE 0
  STDOUT_FILE ${CMAKE_CURRENT_SOURCE_DIR}/tools/convert/multi.csv)
set_tests_properties(tool.convert_multi_dump PROPERTIES FIXTURES_REQUIRED convert_multi)

# What qtx dump writes reads back: NaN and the infinities in every mode, as a
# dump of the converted file that gives the same text again.
foreach(mode one multi no)
  set(extra)
  set(expected ${CONVERT_IN}/nonfinite_${mode}.csv)
  if(mode STREQUAL "no")
    set(extra --x0 0 --step 0.5)
    set(expected ${CONVERT_IN}/nonfinite_no_dump.csv)
  endif()
  qtx_add_tool_test(convert_nonfinite_${mode} ARGS convert ${CONVERT_IN}/nonfinite_${mode}.csv
    ${CONVERT_OUT}/nonfinite_${mode}.qtx --mode ${mode} ${extra} EXIT_CODE 0)
  set_tests_properties(tool.convert_nonfinite_${mode} PROPERTIES FIXTURES_SETUP convert_nonfinite_${mode})
  qtx_add_tool_test(convert_nonfinite_${mode}_dump ARGS dump ${CONVERT_OUT}/nonfinite_${mode}.qtx EXIT_CODE 0
    STDOUT_FILE ${PROJECT_SOURCE_DIR}/${expected})
  set_tests_properties(tool.convert_nonfinite_${mode}_dump PROPERTIES FIXTURES_REQUIRED convert_nonfinite_${mode})
endforeach()
# A spreadsheet's CSV: another delimiter (a semicolon would split the
# arguments here), decimal commas, an empty cell inside a column.
qtx_add_tool_test(convert_spreadsheet ARGS convert ${CONVERT_IN}/spreadsheet.csv ${CONVERT_OUT}/spreadsheet.qtx
  --delimiter | --decimal , --empty nan EXIT_CODE 0)
set_tests_properties(tool.convert_spreadsheet PROPERTIES FIXTURES_SETUP convert_spreadsheet)
qtx_add_tool_test(convert_spreadsheet_dump ARGS dump ${CONVERT_OUT}/spreadsheet.qtx EXIT_CODE 0
  STDOUT_FILE ${PROJECT_SOURCE_DIR}/${CONVERT_IN}/spreadsheet_dump.csv)
set_tests_properties(tool.convert_spreadsheet_dump PROPERTIES FIXTURES_REQUIRED convert_spreadsheet)
qtx_add_tool_test(convert_decimal_comma_needs_delimiter ARGS convert ${CONVERT_IN}/spreadsheet.csv
  ${CONVERT_OUT}/x.qtx --decimal , EXIT_CODE 2 STDERR_REGEX "^qtx convert: --decimal , needs another delimiter")
# dump --all names each section on a line of its own, and convert reads that
# back into as many sections.
qtx_add_tool_test(convert_two_sections ARGS convert ${CONVERT_IN}/two_sections.csv ${CONVERT_OUT}/two.qtx EXIT_CODE 0)
set_tests_properties(tool.convert_two_sections PROPERTIES FIXTURES_SETUP convert_two_sections)
qtx_add_tool_test(convert_two_sections_dump ARGS dump ${CONVERT_OUT}/two.qtx --all EXIT_CODE 0
  STDOUT_FILE ${PROJECT_SOURCE_DIR}/${CONVERT_IN}/two_sections.csv)
set_tests_properties(tool.convert_two_sections_dump PROPERTIES FIXTURES_REQUIRED convert_two_sections)
