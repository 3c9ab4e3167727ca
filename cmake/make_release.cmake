# Makes release VERSION from the source folder: builds and tests the Linux program and the .exe
# through their presets, packages both, checks the zip, and puts the zip, the Debian package and
# their SHA256SUMS, alone, in DESTINATION.
function(run)
  string(JOIN " " command ${ARGV})
  message(STATUS "== ${command}")
  execute_process(COMMAND ${ARGV} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

run("${CMAKE_COMMAND}" --workflow --preset test)
run("${CMAKE_COMMAND}" --workflow --preset windows-test)
run("${CMAKE_CPACK_COMMAND}" --preset deb)
run("${CMAKE_CPACK_COMMAND}" --preset zip)

set(zip "build/windows/packages/ulvenareader-${VERSION}-windows-x86_64.zip")
run("${PYTHON}" tests/package/check_package.py zip "${zip}" "${VERSION}")
file(GLOB deb "build/release/packages/ulvenareader_${VERSION}_*.deb")
list(LENGTH deb debs)
if(NOT debs EQUAL 1)
  message(FATAL_ERROR "expected one Debian package of version ${VERSION}, found: ${deb}")
endif()

file(REMOVE_RECURSE "${DESTINATION}")
file(MAKE_DIRECTORY "${DESTINATION}")
set(sums "")
foreach(package IN ITEMS "${zip}" ${deb})
  file(COPY "${package}" DESTINATION "${DESTINATION}")
  file(SHA256 "${package}" hash)
  get_filename_component(name "${package}" NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${DESTINATION}/SHA256SUMS" "${sums}")
message(STATUS "Release ${VERSION} in ${DESTINATION}:\n${sums}")
