# Install rules for D88CUT_PROGRAMS: bin/NAME and the man page doc/NAME.1 in
# share/man/man1. With the tests, the InstallLayout test checks what a plain
# cmake --install puts there.

install(TARGETS ${D88CUT_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(program IN LISTS D88CUT_PROGRAMS)
  install(FILES ${PROJECT_SOURCE_DIR}/doc/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

if(D88CUT_BUILD_TESTS)
  find_program(D88CUT_GROFF groff)
  # A list cannot pass through add_test intact: commas instead of semicolons.
  list(JOIN D88CUT_PROGRAMS "," programs)
  add_test(NAME InstallLayout
           COMMAND ${CMAKE_COMMAND}
                   -DBUILD_DIR=${CMAKE_BINARY_DIR}
                   -DPREFIX=${CMAKE_BINARY_DIR}/install-check
                   -DPROGRAMS=${programs}
                   -DMAN_SOURCE_DIR=${PROJECT_SOURCE_DIR}/doc
                   -DBINDIR=${CMAKE_INSTALL_BINDIR}
                   -DMANDIR=${CMAKE_INSTALL_MANDIR}
                   -DEXECUTABLE_SUFFIX=${CMAKE_EXECUTABLE_SUFFIX}
                   -DRUN_PROGRAMS=$<NOT:$<BOOL:${CMAKE_CROSSCOMPILING}>>
                   -DGROFF=${D88CUT_GROFF}
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_install.cmake)
endif()
