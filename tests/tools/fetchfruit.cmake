# Fetches test/fruit.mdb from the npm package mdb 0.1.0 into DEST.
#
# Without npm or without a registry that answers, the sample cannot be had: the
# script then prints a line starting with "SKIPPED:" and the reason, which CTest
# reports as a skipped test, and the tests that need the file skip their cases.
# Under CI (the CI variable set) a missing sample is a failure instead, so the
# cases that use it are never silently dropped there.
if(EXISTS ${DEST}/fruit.mdb)
  return()
endif()

function(give_up reason)
  if(DEFINED ENV{CI} AND NOT "$ENV{CI}" STREQUAL "" AND NOT "$ENV{CI}" STREQUAL "false")
    message(FATAL_ERROR "The Jet sample is needed under CI: ${reason}")
  endif()
  message(NOTICE "SKIPPED: ${reason}")
  # A partial download must not pass for the sample on the next run.
  file(REMOVE ${DEST}/fruit.mdb)
  file(REMOVE_RECURSE ${DEST}/package)
endfunction()

file(MAKE_DIRECTORY ${DEST})
find_program(NPM npm)
if(NOT NPM)
  give_up("npm is not installed, so the sample mdb@0.1.0 cannot be fetched")
  return()
endif()

# A registry that does not answer at once gets two more tries; npm's own retries
# and time-out are kept short so that a machine without network skips within a
# minute or two instead of waiting for minutes per try.
foreach(attempt RANGE 1 3)
  execute_process(COMMAND ${NPM} pack mdb@0.1.0 --loglevel=error
            --fetch-retries=1 --fetch-retry-mintimeout=2000 --fetch-retry-maxtimeout=5000
            --fetch-timeout=30000
    WORKING_DIRECTORY ${DEST}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE tarball
    ERROR_VARIABLE npm_error
    OUTPUT_STRIP_TRAILING_WHITESPACE
    TIMEOUT 90)
  if(result EQUAL 0 AND NOT tarball STREQUAL "" AND EXISTS ${DEST}/${tarball})
    break()
  endif()
  if(attempt LESS 3)
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 5)
  endif()
endforeach()
if(NOT result EQUAL 0 OR tarball STREQUAL "" OR NOT EXISTS ${DEST}/${tarball})
  string(REGEX MATCH "code [A-Z_0-9]+" npm_code "${npm_error}")
  string(REGEX MATCH "reason: [^\n]*" npm_reason "${npm_error}")
  give_up("npm pack mdb@0.1.0 failed three times (${result}, ${npm_code}, ${npm_reason})")
  return()
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball} package/test/fruit.mdb
  WORKING_DIRECTORY ${DEST}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS ${DEST}/package/test/fruit.mdb)
  message(FATAL_ERROR "package/test/fruit.mdb missing from ${tarball}")
endif()
file(RENAME ${DEST}/package/test/fruit.mdb ${DEST}/fruit.mdb)
file(REMOVE_RECURSE ${DEST}/package ${DEST}/${tarball})
