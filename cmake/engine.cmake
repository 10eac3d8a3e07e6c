# Options every engine source is compiled with: no exceptions, no RTTI, the
# sources see each other from src/.
function(lumbo_engine_target target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

# One static library per subsystem, so a subsystem's tests build without the
# subsystems above it. Sources are picked up from the folder.
function(lumbo_subsystem name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(lumbo_${name} STATIC ${sources} ${ARGN})
  lumbo_engine_target(lumbo_${name})
endfunction()
