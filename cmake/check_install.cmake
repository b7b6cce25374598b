# Installs a build into a scratch prefix and checks what lands there: exactly
# each program and its man page, the man pages as written and free of groff
# warnings, and programs that run (when they are built for this host).
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPROGRAMS=d88cut[,NAME...]
#         -DMAN_SOURCE_DIR=doc -DBINDIR=bin -DMANDIR=share/man
#         [-DEXECUTABLE_SUFFIX=.exe] [-DRUN_PROGRAMS=ON] [-DGROFF=/usr/bin/groff]
#         -P check_install.cmake

foreach(variable BUILD_DIR PREFIX PROGRAMS MAN_SOURCE_DIR BINDIR MANDIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
string(REPLACE "," ";" programs "${PROGRAMS}")

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected)
foreach(program IN LISTS programs)
  list(APPEND expected "${BINDIR}/${program}${EXECUTABLE_SUFFIX}" "${MANDIR}/man1/${program}.1")
endforeach()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: ${installed}\nexpected: ${expected}")
endif()

foreach(program IN LISTS programs)
  set(man_page "${PREFIX}/${MANDIR}/man1/${program}.1")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${MAN_SOURCE_DIR}/${program}.1" "${man_page}"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the installed ${program}.1 differs from ${MAN_SOURCE_DIR}/${program}.1")
  endif()

  if(GROFF)
    execute_process(COMMAND "${GROFF}" -man -ww -z "${man_page}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT output STREQUAL "")
      message(FATAL_ERROR "groff -man -ww -z ${program}.1: ${result}\n${output}")
    endif()
  endif()

  if(RUN_PROGRAMS)
    # Without arguments each program prints its usage line and fails: d88cut
    # with status 1, d88info with 2 after saying what is missing.
    execute_process(COMMAND "${PREFIX}/${BINDIR}/${program}" RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE usage)
    if(NOT result MATCHES "^[12]$" OR NOT usage MATCHES "(^|\n)Usage: [^\n]*${program} ")
      message(FATAL_ERROR "installed ${program} without arguments: status ${result}, stderr: ${usage}")
    endif()
  endif()
endforeach()
if(NOT GROFF)
  message(STATUS "groff not found: man pages not checked for warnings")
endif()
