# Options every engine source is compiled with: no exceptions, no RTTI, the
# sources see each other from src/.
function(lumbo_engine_target target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  # Only the library's four exports are visible outside it.
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# One static library per subsystem, so a subsystem's tests build without the
# subsystems above it. Sources are picked up from the folder.
function(lumbo_subsystem name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(lumbo_${name} STATIC ${sources} ${ARGN})
  lumbo_engine_target(lumbo_${name})
endfunction()

