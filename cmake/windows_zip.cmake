# Builds the Windows zip (run with cmake -P):
#   -DEXE=<zepa4-07.exe> -DDIAGRAM=<Esquema.png> -DHELP_PAGE=<ajuda-zepa4-07.html>
#   -DREADME=<LEIAME.txt> -DOUTPUT=<zip>
# The help page stands beside the program, where its help answer looks for it.
# LEIAME.txt is kept with LF line ends in the source tree and gets CR LF here, as Notepad
# and the Windows console expect.
foreach(var EXE DIAGRAM HELP_PAGE README OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "windows_zip.cmake: -D${var}=... is missing")
  endif()
endforeach()
if(NOT EXISTS "${EXE}")
  message(FATAL_ERROR "${EXE} does not exist; build it first with `make windows`")
endif()

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
set(stage "${output_dir}/windows-zip")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
configure_file("${EXE}" "${stage}/zepa4-07.exe" COPYONLY)
configure_file("${DIAGRAM}" "${stage}/Esquema.png" COPYONLY)
configure_file("${HELP_PAGE}" "${stage}/ajuda-zepa4-07.html" COPYONLY)

file(READ "${README}" text)
if(text MATCHES "\r")
  message(FATAL_ERROR "${README} must have LF line ends; CR LF is added here")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${stage}/LEIAME.txt" "${text}")

file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf "${OUTPUT}" --format=zip
    zepa4-07.exe ajuda-zepa4-07.html Esquema.png LEIAME.txt
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not write ${OUTPUT}")
endif()
file(REMOVE_RECURSE "${stage}")
message(STATUS "Windows package: ${OUTPUT}")
