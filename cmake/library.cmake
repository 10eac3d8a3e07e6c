# The finished library: the four classic exports and the public API over the
# engine, the songs and the system's audio device.
#   Linux:   liblumbo.so, exporting exactly the functions of lumbo.h.
#   Windows: lumbo.dll, module name and ordinals from lumbo.def, no C runtime,
#            importing only KERNEL32 and WINMM.
# The exported functions are compiled into the library itself (from a static
# library the linker would take only what something else calls).
# -DLUMBO_PUBLIC_API=OFF builds the four classic exports alone, to measure
# what the public API adds.
option(LUMBO_PUBLIC_API "Export the public API beside the four classic functions" ON)
set(exports ${PROJECT_SOURCE_DIR}/src/control/exports.cpp)
set(def_file ${PROJECT_SOURCE_DIR}/src/lumbo.def)
set(map_file ${PROJECT_SOURCE_DIR}/src/lumbo.map)
if(LUMBO_PUBLIC_API)
  list(APPEND exports ${PROJECT_SOURCE_DIR}/src/control/host_player.cpp
       ${PROJECT_SOURCE_DIR}/src/control/device_player.cpp ${PROJECT_SOURCE_DIR}/src/control/module_info.cpp
       ${PROJECT_SOURCE_DIR}/src/control/player_controls.cpp ${PROJECT_SOURCE_DIR}/src/control/channel_levels.cpp
       ${PROJECT_SOURCE_DIR}/src/control/status_text.cpp)
else()
  # The definition and version files without the lumbo_* names.
  foreach(file lumbo.def lumbo.map)
    file(READ ${PROJECT_SOURCE_DIR}/src/${file} text)
    string(REGEX REPLACE "[^\n]*lumbo_[^\n]*\n" "" text "${text}")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/classic-${file} "${text}")
  endforeach()
  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/classic-lumbo.def)
  set(map_file ${CMAKE_CURRENT_BINARY_DIR}/classic-lumbo.map)
endif()

if(WIN32)
  add_library(lumbo_library SHARED ${exports} ${PROJECT_SOURCE_DIR}/src/control/dll_main.cpp
              ${PROJECT_SOURCE_DIR}/src/platform/crt_win.cpp ${def_file})
  # The exports and the entry point are named only by lumbo.def, which the
  # link-time optimiser does not read, and the compiler's helpers must exist
  # when it emits calls to them: these stay ordinary objects. (The linker,
  # binutils 2.40, crashes when it has to fetch a helper from libgcc after the
  # link-time compile: crt_win.cpp defines every one the engine calls.)
  set_source_files_properties(${exports} ${PROJECT_SOURCE_DIR}/src/control/dll_main.cpp PROPERTIES
                              COMPILE_OPTIONS "-fno-lto")
  set_source_files_properties(${PROJECT_SOURCE_DIR}/src/platform/crt_win.cpp PROPERTIES
                              COMPILE_OPTIONS "-fno-builtin;-fno-tree-loop-distribute-patterns;-fno-lto")
  set_target_properties(lumbo_library PROPERTIES OUTPUT_NAME lumbo PREFIX "" IMPORT_PREFIX "" LINKER_LANGUAGE CXX)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry _DllMain@12)
  else()
    set(entry DllMain)
  endif()
  target_link_options(lumbo_library PRIVATE -nostdlib -nostartfiles -Wl,-e,${entry}
                      -Wl,--enable-stdcall-fixup -Wl,--gc-sections -s
                      -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/lumbo.map)
  target_link_libraries(lumbo_library PRIVATE lumbo_control lumbo_engine)
else()
  add_library(lumbo_library SHARED ${exports})
  set_target_properties(lumbo_library PROPERTIES OUTPUT_NAME lumbo
                        LINK_DEPENDS ${map_file})
  target_link_options(lumbo_library PRIVATE -Wl,--version-script=${map_file})
  # Clang links its sanitizer runtimes into programs only: an instrumented
  # library takes them from the (equally instrumented) program that loads it,
  # so only there may its symbols stay undefined at link time.
  if(NOT (CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND (LUMBO_SANITIZE OR LUMBO_FUZZ OR LUMBO_TSAN)))
    target_link_options(lumbo_library PRIVATE -Wl,--no-undefined)
  endif()
  target_link_libraries(lumbo_library PRIVATE lumbo_control lumbo_engine)
endif()
lumbo_engine_target(lumbo_library)
target_include_directories(lumbo_library PUBLIC ${PROJECT_SOURCE_DIR}/include)
