# Installs a build into a scratch prefix and checks what lands there:
# exactly the program and its man page, the man page as written and free of
# groff warnings, and a program that runs (when it is built for this host).
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DMAN_PAGE=... -DPROGRAM=bin/d88cut
#         [-DRUN_PROGRAM=ON] [-DGROFF=/usr/bin/groff] -P check_install.cmake

foreach(variable BUILD_DIR PREFIX MAN_PAGE PROGRAM)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(installed_man_page share/man/man1/d88cut.1)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
set(expected "${PROGRAM}" "${installed_man_page}")
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: ${installed}\nexpected: ${expected}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${MAN_PAGE}" "${PREFIX}/${installed_man_page}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the installed man page differs from ${MAN_PAGE}")
endif()

if(GROFF)
  execute_process(COMMAND "${GROFF}" -man -ww -z "${PREFIX}/${installed_man_page}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT output STREQUAL "")
    message(FATAL_ERROR "groff -man -ww -z: ${result}\n${output}")
  endif()
else()
  message(STATUS "groff not found: man page not checked for warnings")
endif()

if(RUN_PROGRAM)
  # Without arguments the program prints its usage line and fails.
  execute_process(COMMAND "${PREFIX}/${PROGRAM}" RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE usage)
  if(NOT result EQUAL 1 OR NOT usage MATCHES "^Usage: .*d88cut \\[d88file\\]\n$")
    message(FATAL_ERROR "installed program without arguments: status ${result}, stderr: ${usage}")
  endif()
endif()
