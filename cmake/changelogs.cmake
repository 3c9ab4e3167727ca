# The version is the one given to project(). CHANGELOG.md says what each release changed;
# debian/changelog, the Debian package's changelog, says it again in Debian's form. Both must
# name the same releases, newest first, with the same dates, the newest being this version: the
# configure stops otherwise. Also run by itself, by the tests:
#   cmake -D VERSION=... -D CHANGELOG=... -D DEBIAN_CHANGELOG=... -P changelogs.cmake

# "VERSION YYYY-MM-DD" for every release in CHANGELOG.md, newest first.
function(released_in_changelog changelog out)
  file(STRINGS "${changelog}" headings REGEX "^## \\[[0-9]")
  set(releases "")
  foreach(heading IN LISTS headings)
    if(NOT heading MATCHES "^## \\[([^]]+)\\] - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
      message(FATAL_ERROR "${changelog}: \"${heading}\" is not \"## [VERSION] - YYYY-MM-DD\"")
    endif()
    list(APPEND releases "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
  endforeach()
  set(${out} "${releases}" PARENT_SCOPE)
endfunction()

# The same of debian/changelog: each entry's version, and the date of its closing line
# (" -- name <address>  Tue, 08 Dec 2026 12:00:00 +0000").
function(released_in_debian_changelog changelog out)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  file(STRINGS "${changelog}" lines REGEX "^(ulvenareader \\(| -- )")
  set(releases "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^ulvenareader \\(([^)]+)\\)")
      set(version "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ -- .*>  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
      list(FIND months "${CMAKE_MATCH_2}" month)
      math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
      if(month LESS 10)
        set(month "0${month}")
      endif()
      list(APPEND releases "${version} ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
    else()
      message(FATAL_ERROR "${changelog}: \"${line}\" is not the closing line of an entry")
    endif()
  endforeach()
  set(${out} "${releases}" PARENT_SCOPE)
endfunction()

function(check_changelogs version changelog debian_changelog)
  released_in_changelog("${changelog}" releases)
  released_in_debian_changelog("${debian_changelog}" debian_releases)
  if(NOT releases STREQUAL debian_releases)
    string(REPLACE ";" ", " releases "${releases}")
    string(REPLACE ";" ", " debian_releases "${debian_releases}")
    message(FATAL_ERROR "CHANGELOG.md and debian/changelog name different releases or dates:\n"
      "  CHANGELOG.md:     ${releases}\n  debian/changelog: ${debian_releases}\n"
      "A release adds its entry to both (CONTRIBUTING.md, \"Making a release\").")
  endif()
  list(GET releases 0 newest)
  string(REGEX REPLACE " .*" "" newest "${newest}")
  if(NOT newest STREQUAL version)
    message(FATAL_ERROR "The program is version ${version}, but the newest release in "
      "CHANGELOG.md and debian/changelog is ${newest}.")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  check_changelogs("${VERSION}" "${CHANGELOG}" "${DEBIAN_CHANGELOG}")
endif()
