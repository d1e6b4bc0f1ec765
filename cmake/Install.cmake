# Install rules and the Debian package.
# Only the program, its English translation, desktop entry, AppStream
# metainfo, icon, man page and command list are installed; tools, benchmarks and tests have no install rules and stay in
# the build tree.

include(GNUInstallDirs)

# Installing needs only the program: "make install" and cpack do not build
# the tests and tools first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(RASMIK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# Debian keeps a package's documents under its package name.
set(RASMIK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/rasmik)

install(TARGETS rasmik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${RASMIK_PACKAGING_DIR}/rasmik.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The software centre's description, named after its AppStream id.
configure_file(${RASMIK_PACKAGING_DIR}/rasmik.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/packaging/io.github.rasmik.rasmik.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/io.github.rasmik.rasmik.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${RASMIK_ENGLISH_QM} DESTINATION ${CMAKE_INSTALL_DATADIR}/rasmik/translations)
install(FILES ${RASMIK_PACKAGING_DIR}/rasmik.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/docs/commands.md ${CMAKE_SOURCE_DIR}/docs/install.md
  DESTINATION ${RASMIK_DOC_DIR})

# The man page carries the version. It is made at configure time, so that an
# install after a build of the rasmik target alone finds it; gzip -n keeps its
# bytes the same from one build to the next.
configure_file(${RASMIK_PACKAGING_DIR}/rasmik.1.in ${CMAKE_BINARY_DIR}/packaging/rasmik.1 @ONLY)
find_program(RASMIK_GZIP gzip)
if(RASMIK_GZIP)
  execute_process(COMMAND ${RASMIK_GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/packaging/rasmik.1
    OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/rasmik.1.gz
    RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip of the man page failed: ${gzip_result}")
  endif()
  install(FILES ${CMAKE_BINARY_DIR}/packaging/rasmik.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${CMAKE_BINARY_DIR}/packaging/rasmik.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# ---- Debian package (cpack -G DEB) ----
set(RASMIK_PACKAGE_MAINTAINER "Rasmik maintainers <maintainers@rasmik.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

# The licence in Debian's machine-readable form, and the package's change
# log, compressed as Debian wants it (gzip -9n: same bytes every build). The
# package is native (its version has no Debian revision), so the log is
# changelog.gz, not changelog.Debian.gz.
install(FILES ${RASMIK_PACKAGING_DIR}/copyright DESTINATION ${RASMIK_DOC_DIR})
configure_file(${RASMIK_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
if(NOT RASMIK_GZIP)
  message(FATAL_ERROR "gzip is needed for the package's change log")
endif()
execute_process(COMMAND ${RASMIK_GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/packaging/changelog
  OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip of the change log failed: ${gzip_result}")
endif()
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${RASMIK_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rasmik)
set(CPACK_PACKAGE_VENDOR Rasmik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${RASMIK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "viewer and light editor for Persian tables kept as plain text files")
set(CPACK_PACKAGE_DESCRIPTION "\
Rasmik shows a table kept as a plain text file (one row a line, fields cut
at TAB characters or at fixed widths, Windows-1256 text) as a right-to-left
grid with a fixed header row, for Persian-speaking users. Columns and rows
can be moved, blanked and deleted, rows searched by words, columns summed
and extracted, tables pasted from other programs, printed as ruled reports
and exported to .xlsx workbooks.
.
rasmik --convert writes a table as text, workbook or PDF report without a
window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Libraries: dpkg-shlibdeps reads them off the binary, with versions. The
# fonts (Persian glyphs), xdg-utils (opening files in other programs) and
# Qt's translations (Persian words in Qt's own dialogs) are needed at run time
# without being linked. The xcb and offscreen platform plugins ship in
# libqt6gui6 on Debian 12.
find_program(RASMIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
set(rasmik_runtime_depends "fonts-noto-core | fonts-dejavu-core, xdg-utils, qt6-translations-l10n")
if(RASMIK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${rasmik_runtime_depends}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6, libqt6xml6, libzip4, libexpat1, libfreexl1, libicu72, libfribidi0, libfontconfig1, zlib1g, libx11-6, ${rasmik_runtime_depends}")
endif()

include(CPack)
