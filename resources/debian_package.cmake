# Run by CPack on the files staged for the Debian package (CPACK_PRE_BUILD_SCRIPTS), before
# it makes the package of them: the programs and the media module lose the sections that
# Debian's packaging strips besides the symbols (the compilers' notes), the package depends
# on the libraries they load, as dpkg-shlibdeps reads them off the staged files, and it
# carries its answers to lintian's false alarms (which an installation elsewhere has no use
# for).
find_program(SORVIK_SHLIBDEPS dpkg-shlibdeps)
if(NOT SORVIK_SHLIBDEPS)
  message(FATAL_ERROR "Making the Debian package needs dpkg-shlibdeps (the package dpkg-dev).")
endif()

file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
set(binaries)
foreach(file ${staged})
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    list(APPEND binaries "${file}")
  endif()
endforeach()
if(NOT binaries)
  message(FATAL_ERROR "No program was staged for the package in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}.")
endif()

foreach(file ${binaries})
  execute_process(
    COMMAND "${CPACK_SORVIK_OBJCOPY}" --remove-section=.comment --remove-section=.note "${file}"
    RESULT_VARIABLE failed ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "objcopy could not strip ${file}:\n${error}")
  endif()
endforeach()

# dpkg-shlibdeps works in a source package: it wants a debian/control, which may be empty.
# The folder lies beside the staged files, never among them.
get_filename_component(work "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/../sorvik-shlibdeps" ABSOLUTE)
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "")
execute_process(COMMAND "${SORVIK_SHLIBDEPS}" -O ${binaries}
  WORKING_DIRECTORY "${work}"
  OUTPUT_VARIABLE variables ERROR_VARIABLE warnings RESULT_VARIABLE failed)
file(REMOVE_RECURSE "${work}")
if(failed OR NOT variables MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps could not read the libraries of the package:\n${warnings}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${CMAKE_MATCH_1}")

file(MAKE_DIRECTORY
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides")
file(COPY_FILE "${CPACK_SORVIK_LINTIAN_OVERRIDES}"
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides/sorvik")
