# The Linux layout, under the GNU directories: the program, its manual pages in English and in
# French, and its documents. `cmake --install` lays it out; debian/ makes the package of it.

# Debian wants a package's documents in a folder named after the package.
set(CMAKE_INSTALL_DOCDIR "share/doc/ulvenareader" CACHE PATH
  "Documentation (share/doc/ulvenareader)")
include(GNUInstallDirs)

install(TARGETS ulvenaReader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/ulvenaReader.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES man/fr/ulvenaReader.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/fr/man1)
install(FILES README.md CHANGELOG.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What the read-me links to.
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
