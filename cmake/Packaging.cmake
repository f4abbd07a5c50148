# The Debian package: `cmake --build --preset release --target package` writes
# trawlex_<version>_<arch>.deb into the build directory, with everything the install rules
# install under /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trawlex)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Trawlex")
set(TRAWLEX_PACKAGE_MAINTAINER
    "Seed 0d18067e maintainers <maintainers@users.noreply.c-seed-0d18067e.example>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")
set(CPACK_PACKAGE_CONTACT "${TRAWLEX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search and replace text in the files of a directory tree")
# Lines of the extended description; CPack indents them as the control file wants.
set(CPACK_PACKAGE_DESCRIPTION
    "Trawlex searches a directory, or a whole directory tree, for a term in
every file whose name matches a mask such as *.htm, and writes an HTML
report of the files with a hit: where the first hit stands, how often
the term occurs, the page title, the date and the length. It replaces
terms, control characters and line endings in the same files, with a
preview of every change and an undo, and takes regular expressions
(PCRE2) and lists of terms from profile files. Files in UTF-8, UTF-16
and Windows-1252 are read and written back in their own encoding.

The window (trawlex) and every message are in German (Suchen und
Ersetzen in Dateien). The same commands run from a shell with
trawlex-cli, which can also print its results as JSON Lines or as a list
of paths.")

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link are found by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no library names: Qt's German texts for the file dialogs and message-box buttons, and
# the desktop's program that opens the help page and the report when no browser is named.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")

include(CPack)

# Checks of the packaged files that need no package: they run with the other tests.
if(TRAWLEX_BUILD_TESTS)
  find_program(TRAWLEX_APPSTREAMCLI appstreamcli)
  if(TRAWLEX_APPSTREAMCLI)
    add_test(NAME packaging.metainfo_valid
             COMMAND "${TRAWLEX_APPSTREAMCLI}" validate --no-net
                     "${PROJECT_SOURCE_DIR}/data/de.trawlex.Trawlex.metainfo.xml")
  endif()
  find_program(TRAWLEX_DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(TRAWLEX_DESKTOP_FILE_VALIDATE)
    add_test(NAME packaging.desktop_entry_valid
             COMMAND "${TRAWLEX_DESKTOP_FILE_VALIDATE}"
                     "${PROJECT_SOURCE_DIR}/data/de.trawlex.Trawlex.desktop")
  endif()
  # Every option `trawlex-cli --help` names is in the manual page and the completion.
  add_test(NAME packaging.options_documented
           COMMAND "${CMAKE_COMMAND}" "-DCLI=$<TARGET_FILE:trawlex-cli>"
                   "-DDOCUMENTS=${PROJECT_SOURCE_DIR}/data/man/trawlex-cli.1;${PROJECT_SOURCE_DIR}/data/trawlex-cli.bash-completion"
                   -P "${PROJECT_SOURCE_DIR}/cmake/CheckDocumentedOptions.cmake")
endif()
