# cmake --install: the library (liblumbo.so with its soname, or lumbo.dll
# with its import library), the header, the lumbo tool, a CMake package
# (find_package(lumbo) gives lumbo::lumbo) and a pkg-config file (lumbo.pc).
# Every installed file finds the others relative to itself, so a prefix given
# at install time (cmake --install BUILD --prefix DIR) works as well as
# CMAKE_INSTALL_PREFIX.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(lumbo_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/lumbo)

if(NOT WIN32)
  # liblumbo.so -> liblumbo.so.0 (the soname) -> liblumbo.so.0.1.0
  set_target_properties(lumbo_library PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
# A host sees only the header; the engine's sources stay private to the build.
set_target_properties(lumbo_library PROPERTIES
  EXPORT_NAME lumbo
  INTERFACE_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>;$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")

install(TARGETS lumbo_library EXPORT lumboTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # A 32-bit host compiled with the header calls play@24, the __stdcall name,
  # while the DLL exports plain names; the linker's import library knows only
  # the plain ones. This one links the first to the second, and is installed
  # in its place.
  set(lumbo_import_library ${PROJECT_BINARY_DIR}/stdcall/lumbo.dll.a)
  add_custom_command(OUTPUT ${lumbo_import_library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/stdcall
    COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${CMAKE_CURRENT_LIST_DIR}/lumbo-stdcall.def
            --output-lib ${lumbo_import_library}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/lumbo-stdcall.def VERBATIM)
  add_custom_target(lumbo_stdcall_import_library ALL DEPENDS ${lumbo_import_library})
  add_dependencies(lumbo_library lumbo_stdcall_import_library)
  install(FILES ${lumbo_import_library} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/lumbo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET lumbo)
  install(TARGETS lumbo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT lumboTargets NAMESPACE lumbo:: DESTINATION ${lumbo_cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/lumboConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/lumboConfig.cmake INSTALL_DESTINATION ${lumbo_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lumboConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lumboConfig.cmake ${PROJECT_BINARY_DIR}/lumboConfigVersion.cmake
        DESTINATION ${lumbo_cmake_dir})

# lumbo.pc lies in LIBDIR/pkgconfig; the prefix is found from there.
file(RELATIVE_PATH lumbo_pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" lumbo_pc_to_prefix "${lumbo_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/lumbo.pc.in ${PROJECT_BINARY_DIR}/lumbo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lumbo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
