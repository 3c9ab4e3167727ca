# The release target: make_release.cmake, run from the source folder with this version, leaves
# the site to publish in build/dist/site: the page, the pictures, and the packages with their
# SHA256SUMS in downloads/.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
option(ULVENA_RELEASE_TESTS
  "Test both programs and the page before packaging them (OFF: build and package them only)" ON)
add_custom_target(release ALL
  COMMAND "${CMAKE_COMMAND}" -D "VERSION=${PROJECT_VERSION}" -D "PYTHON=${Python3_EXECUTABLE}"
          -D "TESTS=${ULVENA_RELEASE_TESTS}" -D "DESTINATION=${CMAKE_BINARY_DIR}/site"
          -P "${CMAKE_CURRENT_LIST_DIR}/make_release.cmake"
  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
  USES_TERMINAL
  VERBATIM)
