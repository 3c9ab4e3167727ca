# Makes the documents installed beside the program, in OUTPUT_DIR, from the repository's own:
#   changelog.gz  Debian's changelog, from CHANGELOG.md (Keep a Changelog form)
#   copyright     Debian's machine-readable copyright file, from LICENSE (MIT)
#   man/...1.gz   the manual pages of man/, compressed
# Run as: cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DUPSTREAM_NAME=... -DPACKAGE=... -DVERSION=...
#   -DMAINTAINER=... -DMAN_PAGES=<paths under man/> -P installed_docs.cmake
# Everything is compressed with gzip -9n, as Debian asks: smallest, and no name or time stamp,
# so that two builds of one source give the same bytes.
cmake_minimum_required(VERSION 3.25)

find_program(GZIP gzip REQUIRED)

function(gzip_to input output)
  get_filename_component(folder "${output}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  execute_process(COMMAND "${GZIP}" -9n -c INPUT_FILE "${input}" OUTPUT_FILE "${output}"
    COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# Appends TEXT to the variable OUT as lines of at most 80 columns, the first starting with FIRST
# and the others with REST. Words are cut out by position, not as a CMake list, so that brackets
# and semicolons in the text stay as they are.
function(append_wrapped out text first rest)
  string(REGEX REPLACE "[ \n]+" " " text "${text}")
  string(STRIP "${text}" text)
  set(line "${first}")
  set(line_is_empty TRUE)
  while(NOT text STREQUAL "")
    string(FIND "${text}" " " space)
    if(space EQUAL -1)
      set(word "${text}")
      set(text "")
    else()
      string(SUBSTRING "${text}" 0 ${space} word)
      math(EXPR space "${space} + 1")
      string(SUBSTRING "${text}" ${space} -1 text)
    endif()
    string(LENGTH "${line} ${word}" length)
    if(line_is_empty)
      string(APPEND line "${word}")
      set(line_is_empty FALSE)
    elseif(length GREATER 80)
      string(APPEND ${out} "${line}\n")
      set(line "${rest}${word}")
    else()
      string(APPEND line " ${word}")
    endif()
  endwhile()
  string(APPEND ${out} "${line}\n")
  set(${out} "${${out}}" PARENT_SCOPE)
endfunction()

# "Tue, 08 Dec 2026 12:00:00 +0000" for 2026-12-08 and TIME 12:00:00; Debian checks the day of
# the week.
function(debian_date iso time out)
  string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" valid "${iso}")
  if(NOT valid)
    message(FATAL_ERROR "CHANGELOG.md: \"${iso}\" is not a date written YYYY-MM-DD")
  endif()
  math(EXPR year "${CMAKE_MATCH_1}")
  math(EXPR month "1${CMAKE_MATCH_2} - 100")
  math(EXPR day "1${CMAKE_MATCH_3} - 100")
  # Sakamoto's method: 0 is Sunday.
  set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET month_offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  set(${out} "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} ${time} +0000" PARENT_SCOPE)
endfunction()

# Debian's changelog: one entry per released version, newest first; a "### Added" heading becomes
# "* Added:" and each "- item" under it a "- item" wrapped at 80 columns. CHANGELOG.md gives only
# the day of a release, but Debian wants a time too, later in each newer entry: a release is put
# at noon, and each older one of the same day a minute earlier than the one after it.
function(debian_changelog markdown_file out)
  file(READ "${markdown_file}" markdown)
  set(changelog "")
  set(entry "")
  set(item "")
  set(trailer "")
  set(first_version "")
  set(newer_date "")
  set(minutes_before_noon 0)
  string(APPEND markdown "\n## end\n")
  while(NOT markdown STREQUAL "")
    string(FIND "${markdown}" "\n" end)
    string(SUBSTRING "${markdown}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${markdown}" ${end} -1 markdown)

    # An item goes on until a line that does not continue it.
    if(NOT item STREQUAL "" AND NOT line MATCHES "^  +[^ ]")
      string(REPLACE "`" "" item "${item}")
      append_wrapped(entry "${item}" "    - " "      ")
      set(item "")
    endif()

    if(line MATCHES "^## ")
      if(NOT trailer STREQUAL "")
        string(APPEND changelog "${entry}\n${trailer}")
      endif()
      set(trailer "")
      if(line MATCHES "^## \\[([0-9][^]]*)\\] - (.*)$")
        set(version "${CMAKE_MATCH_1}")
        if(first_version STREQUAL "")
          set(first_version "${version}")
        endif()
        set(day "${CMAKE_MATCH_2}")
        if(NOT newer_date STREQUAL "" AND day STRGREATER newer_date)
          message(FATAL_ERROR "CHANGELOG.md: ${version} is dated after the version above it")
        endif()
        if(day STREQUAL newer_date)
          math(EXPR minutes_before_noon "${minutes_before_noon} + 1")
        else()
          set(minutes_before_noon 0)
        endif()
        set(newer_date "${day}")
        math(EXPR minutes "12 * 60 - ${minutes_before_noon}")
        math(EXPR hour "${minutes} / 60")
        math(EXPR minute "${minutes} % 60")
        string(REGEX REPLACE "^([0-9])$" "0\\1" hour "${hour}")
        string(REGEX REPLACE "^([0-9])$" "0\\1" minute "${minute}")
        debian_date("${day}" "${hour}:${minute}:00" date)
        set(entry "${PACKAGE} (${version}) unstable; urgency=medium\n")
        set(trailer " -- ${MAINTAINER}  ${date}\n\n")
      endif()
    elseif(trailer STREQUAL "")
      # Before the first release, or in the unreleased part: not in a package.
    elseif(line MATCHES "^### (.+)$")
      string(APPEND entry "\n  * ${CMAKE_MATCH_1}:\n")
    elseif(line MATCHES "^- (.+)$")
      set(item "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  +([^ ].*)$")
      string(APPEND item " ${CMAKE_MATCH_1}")
    endif()
  endwhile()

  if(NOT first_version STREQUAL VERSION)
    message(FATAL_ERROR "CHANGELOG.md: the newest version is \"${first_version}\", but the "
      "program is version ${VERSION}: add its entry")
  endif()
  string(REGEX REPLACE "\n+$" "\n" changelog "${changelog}")
  set(${out} "${changelog}" PARENT_SCOPE)
endfunction()

# Debian's copyright file in the machine-readable form; MIT is called Expat there.
function(debian_copyright license_file out)
  file(READ "${license_file}" license)
  if(NOT license MATCHES "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(.*)$")
    message(FATAL_ERROR "LICENSE: expected the MIT licence, with its copyright line third")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "\n+$" "" text "${CMAKE_MATCH_2}")
  string(REPLACE "\n\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " text "${text}")
  string(CONCAT copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${UPSTREAM_NAME}\n"
    "Upstream-Contact: ${MAINTAINER}\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holders}\n"
    "License: Expat\n"
    " ${text}\n")
  set(${out} "${copyright}" PARENT_SCOPE)
endfunction()

debian_changelog("${SOURCE_DIR}/CHANGELOG.md" changelog)
file(WRITE "${OUTPUT_DIR}/changelog" "${changelog}")
gzip_to("${OUTPUT_DIR}/changelog" "${OUTPUT_DIR}/changelog.gz")

debian_copyright("${SOURCE_DIR}/LICENSE" copyright)
file(WRITE "${OUTPUT_DIR}/copyright" "${copyright}")

foreach(page IN LISTS MAN_PAGES)
  gzip_to("${SOURCE_DIR}/man/${page}" "${OUTPUT_DIR}/man/${page}.gz")
endforeach()
