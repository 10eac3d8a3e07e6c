# Runs the composer into a scratch folder and checks that it writes the
# committed songs byte for byte.
#   cmake -DCOMPOSER=... -DCOMMITTED=src/data -DSCRATCH=... -P reproduce_songs.cmake
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${COMPOSER}" "${SCRATCH}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the composer failed: ${result}")
endif()
foreach(song song1.xm song2.xm)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SCRATCH}/${song}" "${COMMITTED}/${song}"
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${song}: the composer's output differs from the committed file "
                        "(run lumbo_compose src/data and commit the result)")
  endif()
  message(STATUS "${song}: reproduced byte for byte")
endforeach()
