# Run by cpack on the tree it is about to pack: what a Debian package holds beyond
# what "cmake --install" puts in place. Manual pages are compressed, and the
# documentation folder gets the copyright file and the changelog in Debian's form.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${root}/share/doc/velmor")
  set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
set(doc "${root}/share/doc/velmor")
if(NOT IS_DIRECTORY "${doc}")
  message(FATAL_ERROR "No se encuentra la documentación en ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()

function(compress path)
  execute_process(COMMAND gzip -9nf "${path}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "No se puede comprimir ${path}")
  endif()
endfunction()

file(GLOB_RECURSE pages "${root}/share/man/*.1")
foreach(page IN LISTS pages)
  compress("${page}")
endforeach()

# The licence in the machine-readable copyright format, which takes the place of
# LICENSE: its text indented, empty lines as a dot.
file(READ "${CPACK_VELMOR_LICENSE}" licence)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" terms "${licence}")
string(REGEX REPLACE "\n+$" "" terms "${terms}")
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms " ${terms}")
file(WRITE "${doc}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: velmor\n\n"
  "Files: *\n"
  "Copyright: 2026 ${CPACK_PACKAGE_VENDOR}\n"
  "License: Expat\n"
  "${terms}\n")
file(REMOVE "${doc}/LICENSE")

# CHANGELOG.md tells the changes; the package's own changelog points there.
file(WRITE "${doc}/changelog"
  "velmor (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Version ${CPACK_PACKAGE_VERSION}; the changes are in CHANGELOG.md.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${CPACK_VELMOR_RELEASED}\n")
compress("${doc}/changelog")
