# Builds the Windows zip (run with cmake -P): -DLIST=<file> names a file that sets
#   EXE      zepa4-07.exe, from the mingw build
#   STRIP    mingw-w64's strip, or empty (then the program goes in as built)
#   FILES    files copied into the zip as they are
#   TEXTS    texts kept with LF line ends in the source tree; each goes in as <name>.txt
#            with CR LF line ends, as Notepad and the Windows console expect
#   OUTPUT   the zip to write
if(NOT DEFINED LIST)
  message(FATAL_ERROR "windows_zip.cmake: -DLIST=... is missing")
endif()
include("${LIST}")
if(NOT EXISTS "${EXE}")
  message(FATAL_ERROR "${EXE} does not exist; build it first with `make windows`")
endif()

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
set(stage "${output_dir}/windows-zip")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")

set(members zepa4-07.exe)
configure_file("${EXE}" "${stage}/zepa4-07.exe" COPYONLY)
if(STRIP)
  execute_process(COMMAND "${STRIP}" "${stage}/zepa4-07.exe" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${STRIP} failed on zepa4-07.exe")
  endif()
endif()

foreach(file ${FILES})
  get_filename_component(name "${file}" NAME)
  configure_file("${file}" "${stage}/${name}" COPYONLY)
  list(APPEND members "${name}")
endforeach()

foreach(file ${TEXTS})
  get_filename_component(name "${file}" NAME_WE)
  file(READ "${file}" text)
  if(text MATCHES "\r")
    message(FATAL_ERROR "${file} must have LF line ends; CR LF is added here")
  endif()
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${stage}/${name}.txt" "${text}")
  list(APPEND members "${name}.txt")
endforeach()

file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf "${OUTPUT}" --format=zip ${members}
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not write ${OUTPUT}")
endif()
file(REMOVE_RECURSE "${stage}")
message(STATUS "Windows package: ${OUTPUT}")
