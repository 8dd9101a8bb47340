# The help page, ajuda-zepa4-07.html, built into the build tree beside the program, where the
# help answer finds it. With Emscripten the calculator in it is built from the program's own
# sources; without it, the committed copy docs/generated/ajuda-zepa4-07.html is used (`make help-page`
# refreshes that copy).
set(ZEPA_HELP_PAGE ${PROJECT_BINARY_DIR}/ajuda-zepa4-07.html)
set(ZEPA_HELP_PAGE_COMMITTED ${PROJECT_SOURCE_DIR}/docs/generated/ajuda-zepa4-07.html)

option(ZEPA_BUILD_HELP_PAGE
  "Build the help page's calculator with Emscripten where emcc is installed" ON)
find_program(ZEPA_EMCC emcc)
if(ZEPA_EMCC AND ZEPA_BUILD_HELP_PAGE)
  set(zepa_web_sources
    ${PROJECT_SOURCE_DIR}/web/calculator.cpp
    ${PROJECT_SOURCE_DIR}/src/startup.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/platform.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/cp1252.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/file_url.cpp)
  file(GLOB zepa_web_program_sources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/calc/*.cpp ${PROJECT_SOURCE_DIR}/src/console/*.cpp
    ${PROJECT_SOURCE_DIR}/src/sys/*.cpp)
  list(APPEND zepa_web_sources ${zepa_web_program_sources})
  list(SORT zepa_web_sources)
  file(GLOB zepa_web_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.h
    ${PROJECT_SOURCE_DIR}/src/*/*.h
    ${PROJECT_SOURCE_DIR}/web/*.h)
  set(zepa_web_script ${PROJECT_BINARY_DIR}/web/calculadora.js)
  # The same exact arithmetic as the program (no contraction, no fast-math). Relative source
  # paths and a fixed prefix map keep the output the same in every build tree.
  add_custom_command(OUTPUT ${zepa_web_script}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/web
    COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs
      ${ZEPA_EMCC} -std=c++20 -O2 -Wall -Wextra -Werror -ffp-contract=off -fno-fast-math
      -fno-exceptions -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
      -Isrc -include web/libcxx_compat.h ${zepa_web_sources}
      -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_NAME=zepaModule -sENVIRONMENT=web
      -sFILESYSTEM=0 -sINCOMING_MODULE_JS_API=[]
      -sEXPORTED_FUNCTIONS=_zepa_case,_zepa_decimal_comma,_zepa_c,_zepa_f,_zepa_screen,_zepa_memo,_zepa_memo_bytes,_zepa_memo_size,_malloc,_free
      -sEXPORTED_RUNTIME_METHODS=HEAPU8,HEAPU32
      -o ${zepa_web_script}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DEPENDS ${zepa_web_sources} ${zepa_web_headers}
    COMMENT "Building the help page's calculator with Emscripten"
    VERBATIM)
  file(GLOB zepa_web_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/*)
  add_custom_command(OUTPUT ${ZEPA_HELP_PAGE}
    COMMAND ${CMAKE_COMMAND} -DMODE=page -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DSCRIPT=${zepa_web_script} -DOUTPUT=${ZEPA_HELP_PAGE}
      -P ${PROJECT_SOURCE_DIR}/web/make_page.cmake
    DEPENDS ${zepa_web_script} ${zepa_web_files} ${PROJECT_SOURCE_DIR}/docs/Esquema.svg
    COMMENT "Putting the help page together"
    VERBATIM)
else()
  message(NOTICE "emcc not found or not used: the help page is the committed copy "
    "docs/generated/ajuda-zepa4-07.html")
  add_custom_command(OUTPUT ${ZEPA_HELP_PAGE}
    COMMAND ${CMAKE_COMMAND} -E copy ${ZEPA_HELP_PAGE_COMMITTED} ${ZEPA_HELP_PAGE}
    DEPENDS ${ZEPA_HELP_PAGE_COMMITTED}
    COMMENT "Using the committed help page docs/generated/ajuda-zepa4-07.html"
    VERBATIM)
endif()
add_custom_target(zepa_help_page ALL DEPENDS ${ZEPA_HELP_PAGE})
# Every build of the program puts the page beside it (`make run` builds the program alone), so
# that the help answer finds the local page in a build tree too.
add_dependencies(zepa4-07 zepa_help_page)

if(ZEPA_TESTS AND NOT CMAKE_CROSSCOMPILING)
  # The committed page must be built from the current sources; where Emscripten is installed,
  # the page built here must be that very copy, byte for byte (the build is reproducible).
  add_test(NAME help_page_committed_copy_is_current
    COMMAND ${CMAKE_COMMAND} -DMODE=check -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DPAGE=${ZEPA_HELP_PAGE_COMMITTED} -P ${PROJECT_SOURCE_DIR}/web/make_page.cmake)
  if(ZEPA_EMCC AND ZEPA_BUILD_HELP_PAGE)
    add_test(NAME help_page_build_matches_committed_copy
      COMMAND ${CMAKE_COMMAND} -E compare_files ${ZEPA_HELP_PAGE} ${ZEPA_HELP_PAGE_COMMITTED})
  endif()
endif()
