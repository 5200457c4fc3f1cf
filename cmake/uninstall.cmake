# cmake -DMANIFEST=BUILD/velmor-installed.txt -P uninstall.cmake
#
# Removes what the last "cmake --install" of that build put in place, links
# included, and the folders of velmor's own that are then empty. Nothing else is
# touched: the users' program folders, with their catalogues, are not installed
# files.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No se encuentra ${MANIFEST}: esta compilación no se ha instalado.")
endif()
file(STRINGS "${MANIFEST}" installed)
set(folders)
set(failed FALSE)
foreach(path IN LISTS installed)
  if(IS_SYMLINK "${path}" OR (EXISTS "${path}" AND NOT IS_DIRECTORY "${path}"))
    file(REMOVE "${path}")
    if(IS_SYMLINK "${path}" OR EXISTS "${path}")
      message(SEND_ERROR "No se puede borrar ${path}: falta permiso sobre su carpeta.")
      set(failed TRUE)
    else()
      message(STATUS "Borrado ${path}")
    endif()
  endif()
  get_filename_component(folder "${path}" DIRECTORY)
  list(APPEND folders "${folder}")
endforeach()

# lib/velmor and share/doc/velmor; shared folders such as bin stay.
list(REMOVE_DUPLICATES folders)
foreach(folder IN LISTS folders)
  get_filename_component(name "${folder}" NAME)
  file(GLOB left LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
  if(name STREQUAL "velmor" AND IS_DIRECTORY "${folder}" AND NOT left)
    file(REMOVE_RECURSE "${folder}")
    message(STATUS "Borrada la carpeta ${folder}")
  endif()
endforeach()

# Spent once everything is gone; after a failure it serves for another try.
if(NOT failed)
  file(REMOVE "${MANIFEST}")
endif()
