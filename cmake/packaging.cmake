# Installation and packages.
#
#   cmake --install <build> [--prefix P]   program in bin/, diagram and docs in share/doc/zepa4-07/,
#                                          help page in share/zepa4-07/ (where the program looks),
#                                          man page in share/man/man1/
#   package target (cpack)                 Debian package of this build (not on Windows)
#   package_windows target                 Windows .zip from an existing mingw build of the program
include(GNUInstallDirs)

set(ZEPA_DOC_FILES
  ${PROJECT_SOURCE_DIR}/docs/Esquema.png
  ${PROJECT_SOURCE_DIR}/docs/Esquema.svg
  ${PROJECT_SOURCE_DIR}/README.md
  ${PROJECT_SOURCE_DIR}/LEIAME.md)
set(ZEPA_MAN_PAGE ${PROJECT_SOURCE_DIR}/docs/zepa4-07.1)

install(TARGETS zepa4-07 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# CMAKE_INSTALL_DOCDIR is share/doc/<project name>.
install(FILES ${ZEPA_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZEPA_HELP_PAGE} DESTINATION ${CMAKE_INSTALL_DATADIR}/zepa4-07)

# Debian ships man pages compressed; without gzip the page is installed as it is.
find_program(ZEPA_GZIP gzip)
if(ZEPA_GZIP)
  set(zepa_man_gz ${PROJECT_BINARY_DIR}/zepa4-07.1.gz)
  add_custom_command(OUTPUT ${zepa_man_gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${ZEPA_MAN_PAGE} ${PROJECT_BINARY_DIR}/zepa4-07.1
    # -n leaves the name and time out of the header, so the bytes depend on the page alone.
    COMMAND ${ZEPA_GZIP} -9nf ${PROJECT_BINARY_DIR}/zepa4-07.1
    DEPENDS ${ZEPA_MAN_PAGE}
    VERBATIM)
  add_custom_target(zepa_man_page ALL DEPENDS ${zepa_man_gz})
  install(FILES ${zepa_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${ZEPA_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The Windows zip: zepa4-07.exe, its help page, Esquema.png and LEIAME.txt side by side at the top of the
# archive, so that "extract all" and a double-click are all a Windows user needs. The program
# comes from the mingw build (`make windows`), which this build cannot produce itself.
set(ZEPA_WINDOWS_EXE ${PROJECT_SOURCE_DIR}/build-windows/zepa4-07.exe
  CACHE FILEPATH "The Windows program that goes into the Windows zip")
add_custom_target(package_windows
  COMMAND ${CMAKE_COMMAND}
    -DEXE=${ZEPA_WINDOWS_EXE}
    -DDIAGRAM=${PROJECT_SOURCE_DIR}/docs/Esquema.png
    -DHELP_PAGE=${ZEPA_HELP_PAGE}
    -DREADME=${PROJECT_SOURCE_DIR}/docs/LEIAME.txt
    -DOUTPUT=${PROJECT_BINARY_DIR}/zepa4-07-${PROJECT_VERSION}-win64.zip
    -P ${PROJECT_SOURCE_DIR}/cmake/windows_zip.cmake
  DEPENDS zepa_help_page
  VERBATIM)

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME zepa4-07)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "Marta Zepa Lins")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "console calculator for the circular segment cut off by a chord")
  set(CPACK_PACKAGE_DESCRIPTION
    "Given the semi-chord c and the sagitta f of a circular segment, zepa4-07 shows the radius,
the semi-arc and the half-angle at the centre, and appends a calculation memo of each case
to mc-zepa4-07.txt in the current directory. The dialogue is in Portuguese.")
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marta Zepa Lins <contato@zepa.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION math)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.zepa.example")
  # The help question opens a web page through xdg-open, when it is there.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS xdg-utils)
  find_program(ZEPA_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(ZEPA_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
  include(CPack)
endif()
