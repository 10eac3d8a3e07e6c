# LUMBO_SONG1 replaces the first song: a build with a small module embeds it,
# and a build with a module the loader rejects fails and says why.
#   cmake -DSOURCE=... -DSCRATCH=... -DWRITER=... -DCXX=... -P replace_songs.cmake
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${WRITER}" "${SCRATCH}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not write the test modules")
endif()

function(configure_and_build song result_var output_var)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${SCRATCH}/build" -DCMAKE_BUILD_TYPE=Debug
            -DCMAKE_CXX_COMPILER=${CXX} -DLUMBO_TESTS=OFF -DLUMBO_SONG1=${song}
    RESULT_VARIABLE configured OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT configured EQUAL 0)
    message(FATAL_ERROR "configure failed:\n${out}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${SCRATCH}/build" --target lumbo_data
                  RESULT_VARIABLE built OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result_var} ${built} PARENT_SCOPE)
  set(${output_var} "${out}" PARENT_SCOPE)
endfunction()

# An accepted module becomes the first image; the second stays the shipped song.
configure_and_build("${SCRATCH}/small.xm" built out)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "the build with a small first song failed:\n${out}")
endif()
file(SIZE "${SCRATCH}/small.xm" small_size)
file(READ "${SCRATCH}/build/src/data/song_images.cpp" generated)
string(FIND "${generated}" "from small.xm (${small_size} bytes) and\n// song2.xm" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the generated images do not hold small.xm first:\n${generated}")
endif()
math(EXPR low "${small_size} & 255" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR high "(${small_size} >> 8) & 255" OUTPUT_FORMAT HEXADECIMAL)
string(FIND "${generated}" "{\n    ${low}, ${high}, 0x0, 0x0, \n    0x45, 0x78" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the first image does not start with small.xm's length word")
endif()
message(STATUS "a small module replaces song 1")

# A rejected module stops the build with the loader's reason.
configure_and_build("${SCRATCH}/rejected.xm" built out)
if(built EQUAL 0)
  message(FATAL_ERROR "the build embedded a module the loader rejects")
endif()
if(NOT out MATCHES "song 1 \\([^)]*rejected.xm\\) is rejected by the loader: [^\n]*17")
  message(FATAL_ERROR "the failed build does not give the loader's reason:\n${out}")
endif()
string(REGEX MATCH "song 1 [^\n]*" reason "${out}")
message(STATUS "a rejected module fails the build: ${reason}")
