# Run at install time (install(CODE) sets the variables, then includes this file), when the
# prefix is known: `cmake --install --prefix`, make install's PREFIX and CPack's /usr all
# choose it then, not when the build is configured.
#
#   ZEPA_SOURCE_DIR   the source tree
#   ZEPA_STAGE_DIR    a scratch directory in the build tree
#   ZEPA_DOC_DIR      the documentation directory, relative to the prefix
#   ZEPA_MAN_DIR      the man page directory (section 1), relative to the prefix
#   ZEPA_GZIP         gzip, or empty
#
# The man pages name the documentation directory under the actual prefix. README.md, LEIAME.md
# and the reference are installed beside the diagram, so their links into docs/ lose that
# folder.
set(prefix "${CMAKE_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${ZEPA_STAGE_DIR}")

set(ZEPA_DOC_PATH "${prefix}/${ZEPA_DOC_DIR}")
# In roff a hyphen in a path is written \-, so that it is not set as a typographic hyphen.
string(REPLACE "-" "\\-" ZEPA_DOC_PATH "${ZEPA_DOC_PATH}")
set(ZEPA_PAGE_PATH "${prefix}/${ZEPA_DATA_DIR}/zepa4-07/ajuda-zepa4-07.html")
string(REPLACE "-" "\\-" ZEPA_PAGE_PATH "${ZEPA_PAGE_PATH}")
# A man page from its source, with the paths above, into `dir` (relative to the prefix).
function(install_man_page source stage dir)
  file(MAKE_DIRECTORY "${stage}")
  configure_file("${source}" "${stage}/zepa4-07.1" @ONLY)
  set(man_page "${stage}/zepa4-07.1")
  if(ZEPA_GZIP)
    # -n leaves the name and time out of the header, so the bytes depend on the page alone.
    execute_process(COMMAND "${ZEPA_GZIP}" -9nf "${man_page}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${man_page}")
    endif()
    set(man_page "${man_page}.gz")
  endif()
  file(INSTALL "${man_page}" DESTINATION "${prefix}/${dir}")
endfunction()

# The English page in man1, the Brazilian Portuguese one beside it under pt_BR (man -L pt_BR).
install_man_page("${ZEPA_SOURCE_DIR}/docs/zepa4-07.1.in" "${ZEPA_STAGE_DIR}" "${ZEPA_MAN_DIR}")
get_filename_component(man_root "${ZEPA_MAN_DIR}" DIRECTORY)
install_man_page("${ZEPA_SOURCE_DIR}/docs/zepa4-07.pt_BR.1.in" "${ZEPA_STAGE_DIR}/pt_BR"
  "${man_root}/pt_BR/man1")

foreach(name README.md LEIAME.md docs/reference.md docs/referencia.md)
  file(READ "${ZEPA_SOURCE_DIR}/${name}" text)
  string(REPLACE "](docs/generated/" "](" text "${text}")
  string(REPLACE "](docs/" "](" text "${text}")
  # The reference's links, from docs/ to the diagram and to the README.
  string(REPLACE "](generated/" "](" text "${text}")
  string(REPLACE "](../" "](" text "${text}")
  get_filename_component(base "${name}" NAME)
  file(WRITE "${ZEPA_STAGE_DIR}/${base}" "${text}")
  file(INSTALL "${ZEPA_STAGE_DIR}/${base}" DESTINATION "${prefix}/${ZEPA_DOC_DIR}")
endforeach()

# The changelog, compressed as Debian policy has it. The package is built here, from this tree
# (a native package), so its name is changelog.gz, not changelog.Debian.gz.
configure_file("${ZEPA_SOURCE_DIR}/packaging/debian/changelog" "${ZEPA_STAGE_DIR}/changelog"
  COPYONLY)
if(ZEPA_GZIP)
  execute_process(COMMAND "${ZEPA_GZIP}" -9nf "${ZEPA_STAGE_DIR}/changelog")
  file(INSTALL "${ZEPA_STAGE_DIR}/changelog.gz" DESTINATION "${prefix}/${ZEPA_DOC_DIR}")
else()
  file(INSTALL "${ZEPA_STAGE_DIR}/changelog" DESTINATION "${prefix}/${ZEPA_DOC_DIR}")
endif()
