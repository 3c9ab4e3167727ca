# CTest says only "Skipped" of a test that skipped itself, not why. Every run of the tests writes
# their results in JUnit's form to Testing/results.xml (the test presets' outputJUnitFile, and
# the arguments below for the build's `test` target, which `dh_auto_test` runs), and CTest then
# runs tests/skip_reasons.py, which prints what each skipped test said.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(results "${CMAKE_BINARY_DIR}/Testing/results.xml")
list(APPEND CMAKE_CTEST_ARGUMENTS --output-on-failure --output-junit "${results}")
# A run without results (a plain `ctest`) must not show the skips of an earlier one.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/CTestCustom.cmake" @ONLY CONTENT [[
set(CTEST_CUSTOM_PRE_TEST "\"@CMAKE_COMMAND@\" -E rm -f \"@results@\"")
set(CTEST_CUSTOM_POST_TEST
  "\"@Python3_EXECUTABLE@\" \"@PROJECT_SOURCE_DIR@/tests/skip_reasons.py\" \"@results@\"")
]])
