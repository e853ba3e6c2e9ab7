# Run by cpack once the package's files are staged, before the package is made: adds the libraries
# the staged binaries link, as dpkg-shlibdeps finds them, to the package's Depends.
# CPack's own search (CPACK_DEBIAN_PACKAGE_SHLIBDEPS) would find the same, but it also gives the
# package maintainer scripts that run ldconfig for any library in a folder below /usr/lib; Ulvex
# lies in the program's private folder, which the linker cache never reads, so those scripts would
# do nothing and the package needs none.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

find_program(VORMATIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT VORMATIK_DPKG_SHLIBDEPS)
  # The libraries the binaries link on Debian 12, without versions.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
         ", libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6,"
         " libsqlite3-0, libusb-1.0-0, libudev1")
  return()
endif()

set(staged "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE files LIST_DIRECTORIES false "${staged}/*")
set(binaries "")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    list(APPEND binaries "${file}")
  endif()
endforeach()
if(NOT binaries)
  message(FATAL_ERROR "no binary found in ${staged}")
endif()

# dpkg-shlibdeps wants a debian/control beside it; an empty one serves, outside the staged tree.
set(work "${staged}.shlibdeps")
file(REMOVE_RECURSE "${work}")
file(WRITE "${work}/debian/control" "")
execute_process(COMMAND "${VORMATIK_DPKG_SHLIBDEPS}" -O ${binaries}
                WORKING_DIRECTORY "${work}"
                RESULT_VARIABLE status OUTPUT_VARIABLE found ERROR_VARIABLE errors)
file(REMOVE_RECURSE "${work}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${errors}")
endif()
if(NOT found MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps found no dependency: ${found} ${errors}")
endif()
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
