# Fetches test/fruit.mdb from the npm package mdb 0.1.0 into DEST.
if(EXISTS ${DEST}/fruit.mdb)
  return()
endif()
file(MAKE_DIRECTORY ${DEST})
find_program(NPM npm REQUIRED)
# A registry that does not answer at once gets two more tries.
foreach(attempt RANGE 1 3)
  execute_process(COMMAND ${NPM} pack mdb@0.1.0 --silent
    WORKING_DIRECTORY ${DEST}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE tarball
    OUTPUT_STRIP_TRAILING_WHITESPACE
    TIMEOUT 90)
  if(result EQUAL 0 AND EXISTS ${DEST}/${tarball})
    break()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 5)
endforeach()
if(NOT result EQUAL 0 OR NOT EXISTS ${DEST}/${tarball})
  message(FATAL_ERROR "npm pack mdb@0.1.0 failed (${result})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball} package/test/fruit.mdb
  WORKING_DIRECTORY ${DEST}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS ${DEST}/package/test/fruit.mdb)
  message(FATAL_ERROR "package/test/fruit.mdb missing from ${tarball}")
endif()
file(RENAME ${DEST}/package/test/fruit.mdb ${DEST}/fruit.mdb)
file(REMOVE_RECURSE ${DEST}/package ${DEST}/${tarball})
