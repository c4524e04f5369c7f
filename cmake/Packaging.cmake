# The Debian package of the Linux programs (cpack -G DEB, driven by packaging/linux/build.sh):
# the programs, the desktop entry, icons and AppStream metadata (installed by their own folders),
# the manual pages, the copyright file and the changelog. Dependencies come from the binaries (dpkg-shlibdeps);
# only what is loaded at run time without being linked is named here.
set(packaging ${PROJECT_SOURCE_DIR}/packaging/linux)
set(QUILLET_MAINTAINER "Quillet developers <quillet@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

# The changelog's newest entry must be this version: a release edits both in the same change.
file(STRINGS ${packaging}/changelog changelogTop LIMIT_COUNT 1)
if(NOT changelogTop MATCHES "^quillet \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/linux/changelog starts with '${changelogTop}', "
                      "not an entry for version ${PROJECT_VERSION}")
endif()

find_program(QUILLET_HELP2MAN help2man REQUIRED)
find_program(QUILLET_GZIP gzip REQUIRED)
set(pages ${CMAKE_CURRENT_BINARY_DIR}/packaging)
# quillet-report's page is made from its --help and --version, so it cannot drift from them;
# in a UTF-8 locale, or help2man writes the Japanese captions as question marks.
add_custom_command(OUTPUT ${pages}/quillet-report.1.gz ${pages}/quillet.1.gz ${pages}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pages}
  COMMAND ${QUILLET_HELP2MAN} --no-info --section=1 --locale=C.UTF-8
          "--name=measure folders and print their size, files and folders"
          --output=${pages}/quillet-report.1 $<TARGET_FILE:quillet-report>
  COMMAND ${QUILLET_GZIP} -9nf ${pages}/quillet-report.1
  COMMAND ${QUILLET_GZIP} -9nc ${packaging}/quillet.1 > ${pages}/quillet.1.gz
  COMMAND ${QUILLET_GZIP} -9nc ${packaging}/changelog > ${pages}/changelog.gz
  DEPENDS quillet-report ${packaging}/quillet.1 ${packaging}/changelog
  VERBATIM)
add_custom_target(quillet_package_pages ALL
  DEPENDS ${pages}/quillet-report.1.gz ${pages}/quillet.1.gz ${pages}/changelog.gz)

install(FILES ${pages}/quillet.1.gz ${pages}/quillet-report.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/copyright ${pages}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillet)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUILLET_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measure the size, files and folders below a list of folders")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quillet gathers folders in a list (the subfolders of a folder, or folders\n\
dropped on its window), measures each one's total size, files and folders,\n\
and shows them in a sortable list with the totals of the selected rows. It\n\
selects empty folders, moves folders to the trash and lists every file below\n\
the selected rows. Its interface text is Japanese.\n\
.\n\
quillet-report measures the same way from the command line, printing a\n\
table, CSV or JSON for scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugin at run time (no binary links it). Every caption is Japanese,
# and a system with only Latin fonts shows boxes: one of Debian's fonts with Japanese glyphs is
# needed (the first is what apt picks where none is installed). xdg-open starts what a
# double-click opens, and dbus-send reaches the file manager where the desktop would open folders
# with Quillet itself; Qt's own Japanese texts are a wish, not a need.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-noto-cjk | fonts-ipafont-gothic | \
fonts-ipaexfont-gothic | fonts-vlgothic | fonts-takao-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, dbus-bin, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
include(CPack)
