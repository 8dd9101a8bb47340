# Puts the help page together, or checks a copy of it (run with cmake -P).
#
#   -DMODE=page  -DSOURCE_DIR=<tree> -DSCRIPT=<calculator .js> -DOUTPUT=<page>
#       the page template with the diagram and the calculator inlined, and the fingerprint of
#       the sources it was built from
#   -DMODE=check -DSOURCE_DIR=<tree> -DPAGE=<page>
#       fails unless the page carries the fingerprint of the sources as they are now
#
# The fingerprint covers every file the page is built from: the template, this script, the
# calculator's entry points, the program's sources that go into it, and the diagram. A committed
# page whose fingerprint differs was built from other sources and must be built again.

function(sources_fingerprint out)
  file(GLOB files RELATIVE "${SOURCE_DIR}"
    "${SOURCE_DIR}/web/*"
    "${SOURCE_DIR}/src/calc/*" "${SOURCE_DIR}/src/console/*" "${SOURCE_DIR}/src/sys/*"
    "${SOURCE_DIR}/src/platform/*.h" "${SOURCE_DIR}/src/platform/platform.cpp"
    "${SOURCE_DIR}/src/platform/file_url.cpp" "${SOURCE_DIR}/src/platform/cp1252.cpp"
    "${SOURCE_DIR}/src/startup.h" "${SOURCE_DIR}/src/startup.cpp"
    "${SOURCE_DIR}/docs/Esquema.svg")
  list(SORT files)
  set(listing "")
  foreach(name ${files})
    file(SHA256 "${SOURCE_DIR}/${name}" sum)
    string(APPEND listing "${name} ${sum}\n")
  endforeach()
  string(SHA256 fingerprint "${listing}")
  set(${out} "${fingerprint}" PARENT_SCOPE)
endfunction()

sources_fingerprint(fingerprint)

if(MODE STREQUAL "check")
  file(READ "${PAGE}" page)
  if(NOT page MATCHES "<meta name=\"zepa-fontes\" content=\"${fingerprint}\">")
    message(FATAL_ERROR "${PAGE} was not built from the current sources (fingerprint "
      "${fingerprint}): run `make help-page` where emcc is installed and commit the page")
  endif()
  return()
endif()

file(READ "${SOURCE_DIR}/web/ajuda-zepa4-07.html.in" page)
file(READ "${SOURCE_DIR}/docs/Esquema.svg" svg)
file(READ "${SCRIPT}" script)
# The diagram without its XML declaration and leading comment, labelled for screen readers. On
# narrow screens the page hides it and shows its two figures alone (class esquema-largo).
string(FIND "${svg}" "<svg" start)
string(SUBSTRING "${svg}" ${start} -1 svg)
string(REPLACE "<svg " "<svg class=\"esquema-largo\" role=\"img\" aria-label=\"Esquema do setor circular, o segmento entre a corda e o arco. À esquerda, com f menor que c: a semi corda c vai do ponto médio M da corda a uma ponta; a flecha f vai de M ao ponto médio T do arco; o raio r vai do centro O a essa ponta; o semi arco a vai de T a essa ponta; Alfa é o ângulo em O entre os raios que vão a T e a essa ponta. À direita, com f maior que c: o centro fica dentro do segmento e Alfa passa de 90 graus. Abaixo, as fórmulas.\" " svg "${svg}")
string(STRIP "${svg}" svg)
string(STRIP "${script}" script)
string(REPLACE "<!-- @ESQUEMA@ -->" "${svg}" page "${page}")
string(REPLACE "/* @CALCULADORA@ */" "${script}" page "${page}")
string(REPLACE "@FONTES@" "${fingerprint}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
