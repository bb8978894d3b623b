# Installation: the engine (libdizora.so.0 with the development link
# libdizora.so), the GOST library beside it (the engine loads it from its own
# directory), the header, the tool with its man page and bash completion, a
# pkg-config file and a CMake package (find_package(Dizora) gives the imported
# target Dizora::dizora). `cpack -G DEB` packs the same (cmake/package.cmake).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS dizora LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
get_target_property(dz_crypt_type crypt_dll TYPE)
if(dz_crypt_type STREQUAL "SHARED_LIBRARY")
  install(TARGETS crypt_dll LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/include/dizora.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET dizora_tool)
  install(TARGETS dizora_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(DZ_MAN_PAGE)
  install(FILES ${DZ_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${DZ_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
endif()

# Both files find the prefix relative to their own place, so an installed
# tree can be moved (and `cmake --install --prefix P` needs no reconfigure).
set(dz_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(dz_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Dizora)
file(RELATIVE_PATH DZ_PC_TO_PREFIX /prefix/${dz_pc_dir} /prefix)
file(RELATIVE_PATH DZ_CONFIG_TO_PREFIX /prefix/${dz_cmake_dir} /prefix)
string(REGEX REPLACE "/$" "" DZ_PC_TO_PREFIX "${DZ_PC_TO_PREFIX}")
string(REGEX REPLACE "/$" "" DZ_CONFIG_TO_PREFIX "${DZ_CONFIG_TO_PREFIX}")

configure_file(${CMAKE_SOURCE_DIR}/cmake/dizora.pc.in ${CMAKE_BINARY_DIR}/install/dizora.pc @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/DizoraConfig.cmake.in ${CMAKE_BINARY_DIR}/install/DizoraConfig.cmake
               @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/DizoraConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/dizora.pc DESTINATION ${dz_pc_dir})
install(FILES ${CMAKE_BINARY_DIR}/install/DizoraConfig.cmake ${CMAKE_BINARY_DIR}/install/DizoraConfigVersion.cmake
        DESTINATION ${dz_cmake_dir})
