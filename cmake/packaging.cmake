# Installation and packages.
#
#   cmake --install <build> [--prefix P]   program in bin/, diagram and docs in share/doc/zepa4-07/,
#                                          help page in share/zepa4-07/ (where the program looks),
#                                          man pages in share/man/man1/ and
#                                          share/man/pt_BR/man1/
#   package target (cpack)                 Debian package of this build (not on Windows)
#   package_windows target                 Windows .zip from an existing mingw build of the program
include(GNUInstallDirs)

# README.md, LEIAME.md and the reference are installed by cmake/install_docs.cmake, with the
# man pages.
set(ZEPA_DOC_FILES
  ${PROJECT_SOURCE_DIR}/docs/generated/Esquema.png
  ${PROJECT_SOURCE_DIR}/docs/Esquema.svg
  ${PROJECT_SOURCE_DIR}/packaging/debian/copyright)

install(TARGETS zepa4-07 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (`cmake --install --strip`, and CPack's) also drops the compilers' notes.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"${CMAKE_OBJCOPY}\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zepa4-07\")
  endif()")
# CMAKE_INSTALL_DOCDIR is share/doc/<project name>.
install(FILES ${ZEPA_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZEPA_HELP_PAGE} DESTINATION ${CMAKE_INSTALL_DATADIR}/zepa4-07)

# Debian ships man pages and changelogs compressed; without gzip they are installed as they are.
find_program(ZEPA_GZIP gzip)
install(CODE "
  set(ZEPA_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(ZEPA_STAGE_DIR \"${PROJECT_BINARY_DIR}/install-docs\")
  set(ZEPA_DOC_DIR \"${CMAKE_INSTALL_DOCDIR}\")
  set(ZEPA_DATA_DIR \"${CMAKE_INSTALL_DATADIR}\")
  set(ZEPA_MAN_DIR \"${CMAKE_INSTALL_MANDIR}/man1\")
  set(ZEPA_GZIP \"${ZEPA_GZIP}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/install_docs.cmake\")")

# The Windows zip: zepa4-07.exe, stripped, with the files below side by side at the top of
# the archive, so that "extract all" and a double-click are all a Windows user needs. The
# program comes from the mingw build (`make windows`), which this build cannot produce itself.
set(ZEPA_WINDOWS_EXE ${PROJECT_SOURCE_DIR}/build-windows/zepa4-07.exe
  CACHE FILEPATH "The Windows program that goes into the Windows zip")
find_program(ZEPA_MINGW_STRIP x86_64-w64-mingw32-strip)
# Copied as they are.
# The help page stands beside the program, where its help answer looks for it.
set(ZEPA_WINDOWS_FILES ${PROJECT_SOURCE_DIR}/docs/generated/Esquema.png ${ZEPA_HELP_PAGE})
# Texts with LF line ends, each packed as <name>.txt with CR LF line ends.
set(ZEPA_WINDOWS_TEXTS ${PROJECT_SOURCE_DIR}/packaging/windows/LEIAME.txt ${PROJECT_SOURCE_DIR}/LICENSE)
file(WRITE ${PROJECT_BINARY_DIR}/windows_zip_files.cmake
  "set(EXE \"${ZEPA_WINDOWS_EXE}\")\n"
  "set(STRIP \"${ZEPA_MINGW_STRIP}\")\n"
  "set(FILES \"${ZEPA_WINDOWS_FILES}\")\n"
  "set(TEXTS \"${ZEPA_WINDOWS_TEXTS}\")\n"
  "set(OUTPUT \"${PROJECT_BINARY_DIR}/zepa4-07-${PROJECT_VERSION}-win64.zip\")\n")
add_custom_target(package_windows
  COMMAND ${CMAKE_COMMAND} -DLIST=${PROJECT_BINARY_DIR}/windows_zip_files.cmake
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
  # Lines within 80 columns, as Debian's control files want them.
  set(CPACK_PACKAGE_DESCRIPTION
    "Given the semi-chord c and the sagitta f of a circular segment, zepa4-07
shows the radius, the semi-arc and the half-angle at the centre, and appends
a calculation memo of each case to mc-zepa4-07.txt in the current directory.
The dialogue is in Portuguese.")
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
