# Writes a documentation file for a package, at build time:
#   FORMAT=gz   gzipped as Debian wants it (-9, no name or time stamp)
#   FORMAT=txt  a man page as plain ASCII text, for Windows
#
#   cmake -DINPUT=... -DOUTPUT=... -DFORMAT=gz|txt [-DGROFF=...] -P doc_file.cmake

if(FORMAT STREQUAL "gz")
  set(command gzip -9nc)
elseif(FORMAT STREQUAL "txt")
  # -P-cbou: no escape sequences and no overstriking, so plain text.
  set(command "${GROFF}" -man -ww -Tascii -P-cbou)
else()
  message(FATAL_ERROR "FORMAT must be gz or txt")
endif()
execute_process(COMMAND ${command} INPUT_FILE "${INPUT}" OUTPUT_FILE "${OUTPUT}.new"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
  file(REMOVE "${OUTPUT}.new")
  message(FATAL_ERROR "${command} <${INPUT}: ${result}\n${errors}")
endif()
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
