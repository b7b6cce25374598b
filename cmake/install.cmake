# Install rules for D88CUT_PROGRAMS and their man pages doc/NAME.1, in the
# layout that D88CUT_PACKAGE names:
#   (empty)  bin/NAME and share/man/man1/NAME.1, for a plain cmake --install;
#            with the tests, the InstallLayout test checks it
#   deb      the same with the man pages gzipped, and the copyright file and
#            changelog in share/doc/d88cut; CPack makes the .deb
#   zip      NAME.exe, NAME.txt (the man page as text), README.txt and
#            LICENSE.txt in one folder; CPack makes the .zip for Windows

set(D88CUT_PACKAGE "" CACHE STRING "Install layout and package: empty (plain cmake --install), deb or zip")
set_property(CACHE D88CUT_PACKAGE PROPERTY STRINGS "" deb zip)
if(NOT D88CUT_PACKAGE MATCHES "^(|deb|zip)$")
  message(FATAL_ERROR "D88CUT_PACKAGE is ${D88CUT_PACKAGE}: empty, deb or zip")
endif()
find_program(D88CUT_GROFF groff)

if(D88CUT_PACKAGE STREQUAL "")
  install(TARGETS ${D88CUT_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(program IN LISTS D88CUT_PROGRAMS)
    install(FILES ${PROJECT_SOURCE_DIR}/doc/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()

  if(D88CUT_BUILD_TESTS)
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
  return()
endif()

# Packages: documentation files are made at build time in <build>/package-doc.
set(doc_dir ${CMAKE_BINARY_DIR}/package-doc)
set(doc_files)
function(d88cut_doc_file input output format)
  add_custom_command(OUTPUT ${doc_dir}/${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${doc_dir}/${output} -DFORMAT=${format}
            -DGROFF=${D88CUT_GROFF} -P ${PROJECT_SOURCE_DIR}/cmake/doc_file.cmake
    DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/doc_file.cmake
    VERBATIM)
  set(doc_files ${doc_files} ${doc_dir}/${output} PARENT_SCOPE)
endfunction()
file(MAKE_DIRECTORY ${doc_dir})

file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.+)$")
  message(FATAL_ERROR "LICENSE: no copyright line followed by the licence text")
endif()
set(copyright_holder ${CMAKE_MATCH_1})
set(license_text ${CMAKE_MATCH_2})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the d88cut authors")
set(CPACK_PACKAGE_CONTACT "d88cut authors <d88cut@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut the data files of a two-disk set out of D88 disk images")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/check_package.cmake)
# For check_package.cmake, which sees only CPACK_ variables.
set(CPACK_D88CUT_PROGRAMS ${D88CUT_PROGRAMS})
set(CPACK_D88CUT_OBJDUMP ${CMAKE_OBJDUMP})

if(D88CUT_PACKAGE STREQUAL "deb")
  # The changelog's latest entry names the version being packaged.
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog first_line LIMIT_COUNT 1)
  if(NOT first_line MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog begins with \"${first_line}\", not version ${PROJECT_VERSION}")
  endif()

  install(TARGETS ${D88CUT_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(program IN LISTS D88CUT_PROGRAMS)
    d88cut_doc_file(${PROJECT_SOURCE_DIR}/doc/${program}.1 ${program}.1.gz gz)
    install(FILES ${doc_dir}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  d88cut_doc_file(${PROJECT_SOURCE_DIR}/packaging/changelog changelog.gz gz)

  # Debian's machine-readable copyright format; Debian calls the MIT licence Expat.
  string(STRIP "${license_text}" license_text)
  string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
  string(REPLACE "\n" "\n " license_text "${license_text}")
  file(WRITE ${doc_dir}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${PROJECT_NAME}\n"
    "\n"
    "Files: *\n"
    "Copyright: ${copyright_holder}\n"
    "License: Expat\n"
    " ${license_text}\n")
  install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION [=[
d88cut reads a D88 file, the container of floppy disk images used by
emulators of Japanese personal computers of the 1980s, and recognises the
two disks of one particular two-disk set by a mark in their boot sectors.
From each it copies fixed runs of 256-byte sectors, raw, into files of
fixed names in the current directory: four files from Disk A and two from
Disk B. Each file is written to a temporary file and renamed into place, so
an existing file is either replaced whole or left as it was. The D88 file
may come from a pipe, straight out of a zip archive.
.
d88info shows what the disk images of a D88 file are: offset, size, media
type, tracks present, name, and whether d88cut recognises the image and
why not; for a recognised disk, how much of each file d88cut would write
and where a short file stops; and on request the sector IDs of each track.]=])
else()
  install(TARGETS ${D88CUT_PROGRAMS} RUNTIME DESTINATION .)
  if(NOT D88CUT_GROFF)
    message(FATAL_ERROR "groff (Debian's groff-base) is needed to turn the man pages into text")
  endif()
  foreach(program IN LISTS D88CUT_PROGRAMS)
    d88cut_doc_file(${PROJECT_SOURCE_DIR}/doc/${program}.1 ${program}.txt txt)
    install(FILES ${doc_dir}/${program}.txt DESTINATION .)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
endif()

add_custom_target(package_doc ALL DEPENDS ${doc_files})
include(CPack)
