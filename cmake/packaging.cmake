# The Linux layout and its Debian package. `cmake --install` puts the program, its manual pages
# and its documents under the GNU directories, so that a distribution can package it without
# CPack; `cpack --preset deb` packages the same files, with Debian's copyright and changelog,
# made from LICENSE and CHANGELOG.md, in place of those two.

# Debian wants a package's documents in a folder named after the package.
set(CMAKE_INSTALL_DOCDIR "share/doc/${CPACK_PACKAGE_NAME}" CACHE PATH
  "Documentation (share/doc/${CPACK_PACKAGE_NAME})")
include(GNUInstallDirs)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ulvenaReader developers <dev@ulvenareader.org>")

set(man_pages ulvenaReader.1 fr/ulvenaReader.1)
set(docs "${CMAKE_CURRENT_BINARY_DIR}/docs")
set(made_docs "${docs}/changelog.gz" "${docs}/copyright")
set(man_sources "")
foreach(page IN LISTS man_pages)
  list(APPEND made_docs "${docs}/man/${page}.gz")
  list(APPEND man_sources "${PROJECT_SOURCE_DIR}/man/${page}")
endforeach()
add_custom_command(OUTPUT ${made_docs}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${docs}
    -DUPSTREAM_NAME=${PROJECT_NAME} -DPACKAGE=${CPACK_PACKAGE_NAME} -DVERSION=${PROJECT_VERSION}
    "-DMAINTAINER=${CPACK_DEBIAN_PACKAGE_MAINTAINER}" "-DMAN_PAGES=${man_pages}"
    -P ${CMAKE_CURRENT_LIST_DIR}/installed_docs.cmake
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/installed_docs.cmake ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${PROJECT_SOURCE_DIR}/LICENSE ${man_sources}
  COMMENT "Making the changelog, the copyright file and the manual pages"
  VERBATIM)
add_custom_target(installed_docs ALL DEPENDS ${made_docs})

# Both layouts: the program, its manual pages, the read-me.
install(TARGETS ulvenaReader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES "${docs}/man/ulvenaReader.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT program)
install(FILES "${docs}/man/fr/ulvenaReader.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/fr/man1
  COMPONENT program)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)
# `cmake --install` only: the licence and the changelog as the repository holds them.
install(FILES LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT upstream_docs)
# The package only: the same two in Debian's forms.
install(FILES "${docs}/copyright" "${docs}/changelog.gz" DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT debian_docs EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL program debian_docs)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Follows the summary line; CPack indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Players of the game Ulvena paste the game's French pillage reports into a
text file and give the file to ulvenaReader. It takes the first three
numbers of each line as the metal, crystal and deuterium brought home by
one raid, shows them with the running totals, prints the totals grouped by
thousands, and appends them to the end of the same file as a green,
centred BBCode block, ready to be pasted into a forum post.

The text already in the file is never changed: at most one block is added
at its end, and none when the file is not a text file, could not be read
whole, or changed while it was being read. Blocks added by earlier runs
are not counted again.]])
