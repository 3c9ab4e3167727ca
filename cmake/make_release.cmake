# Makes release VERSION from the source folder: builds and tests the Linux program, the .exe and
# the page through their presets (TESTS off: builds them only), packages both programs, checks
# the zip, and makes DESTINATION the site to publish: the page's site folder, with the zip, the
# Debian package and their SHA256SUMS, alone, in its downloads/ folder, where the page links to
# them.
function(run)
  string(JOIN " " command ${ARGV})
  message(STATUS "== ${command}")
  execute_process(COMMAND ${ARGV} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# Every file's time in the packages is this one, so that the same source gives the same bytes
# wherever and whenever it is built: the caller's, or the last commit's.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct OUTPUT_VARIABLE epoch
    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No git history to date the release from: set SOURCE_DATE_EPOCH.")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
message(STATUS "SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}")

if(TESTS)
  run("${CMAKE_COMMAND}" --workflow --preset test)
  run("${CMAKE_COMMAND}" --workflow --preset windows-test)
  run("${CMAKE_COMMAND}" --workflow --preset web)
else()
  foreach(preset IN ITEMS windows web)
    run("${CMAKE_COMMAND}" --preset ${preset})
    run("${CMAKE_COMMAND}" --build --preset ${preset})
  endforeach()
endif()
# A zip holds its files' times as local times too: in UTC, they are the same wherever it is made.
run("${CMAKE_COMMAND}" -E env TZ=UTC "${CMAKE_CPACK_COMMAND}" --preset zip)

# The Debian package, built by debhelper (debian/rules), which runs the tests again on the
# program as Debian's flags build it. dpkg-buildpackage writes beside the source folder it is
# given: a copy of the files that git tracks, under build/debian.
set(debian build/debian)
set(source "${debian}/ulvenareader-${VERSION}")
file(REMOVE_RECURSE "${debian}")
file(MAKE_DIRECTORY "${source}")
execute_process(COMMAND git ls-files -z COMMAND xargs -0 cp --parents -t "${source}"
  COMMAND_ERROR_IS_FATAL ANY)
run("${CMAKE_COMMAND}" -E chdir "${source}" dpkg-buildpackage -b -us -uc)

set(zip "build/windows/packages/ulvenareader-${VERSION}-windows-x86_64.zip")
run("${PYTHON}" tests/package/check_package.py zip "${zip}" "${VERSION}")
file(GLOB deb "${debian}/ulvenareader_${VERSION}_*.deb")
list(LENGTH deb debs)
if(NOT debs EQUAL 1)
  message(FATAL_ERROR "expected one Debian package of version ${VERSION}, found: ${deb}")
endif()

# The page names the files from the version; each of its links must reach one.
set(names SHA256SUMS)
foreach(package IN ITEMS "${zip}" ${deb})
  get_filename_component(name "${package}" NAME)
  list(APPEND names "${name}")
endforeach()
file(STRINGS build/web/site/index.html links REGEX "href=\"downloads/")
foreach(link IN LISTS links)
  string(REGEX MATCH "href=\"downloads/([^\"]+)\"" link "${link}")
  list(FIND names "${CMAKE_MATCH_1}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the page links to downloads/${CMAKE_MATCH_1}, which the release lacks")
  endif()
endforeach()

file(REMOVE_RECURSE "${DESTINATION}")
file(COPY build/web/site/ DESTINATION "${DESTINATION}")
set(downloads "${DESTINATION}/downloads")
file(MAKE_DIRECTORY "${downloads}")
set(sums "")
foreach(package IN ITEMS "${zip}" ${deb})
  file(COPY "${package}" DESTINATION "${downloads}")
  file(SHA256 "${package}" hash)
  get_filename_component(name "${package}" NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${downloads}/SHA256SUMS" "${sums}")

message(STATUS "Release ${VERSION} in ${DESTINATION}, its files in downloads/:\n${sums}")
