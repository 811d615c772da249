# SPDX-License-Identifier: MIT
# What makes pelc an installable product: the shared library's version, the
# version header and resource, the install rules (components Runtime and
# Development), the CMake and pkg-config packages, and the CPack packages.
# The project version is the one number all of them take.

include(CMakePackageConfigHelpers)

set(PELC_DESCRIPTION "Raster images in memory in the device-independent bitmap layout")
set(PELC_VENDOR "the pelc authors")
set(PELC_COPYRIGHT "Copyright (c) ${PELC_VENDOR}; MIT licence")
set(pelc_templates ${CMAKE_CURRENT_LIST_DIR}/install)
set(pelc_generated ${PROJECT_BINARY_DIR}/include)
set(pelc_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/pelc)

configure_file(${pelc_templates}/pelc_version.h.in ${pelc_generated}/pelc_version.h @ONLY)

# Headers: the source tree while building, the include directory once installed.
set(pelc_public_targets pelc)
if(TARGET pelc_winstub)
  list(APPEND pelc_public_targets pelc_winstub)
  set_target_properties(pelc_winstub PROPERTIES EXPORT_NAME winstub)
endif()
foreach(target IN LISTS pelc_public_targets)
  set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES
               $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
               $<BUILD_INTERFACE:${pelc_generated}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  # The name a parent project that adds this tree uses, as after find_package.
  get_target_property(export_name ${target} EXPORT_NAME)
  if(NOT export_name)
    set(export_name ${target})
  endif()
  add_library(pelc::${export_name} ALIAS ${target})
  # ELF: libpelc.so.1 (the SONAME) -> libpelc.so.1.1.0; PE: the image version.
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION})
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
endforeach()
target_include_directories(pelc_internal PUBLIC ${pelc_generated})

if(WIN32)
  enable_language(RC)
  configure_file(${pelc_templates}/pelc.rc.in ${PROJECT_BINARY_DIR}/pelc.rc @ONLY)
  target_sources(pelc PRIVATE ${PROJECT_BINARY_DIR}/pelc.rc)
endif()

# ---- Install rules ------------------------------------------------------------

install(TARGETS ${pelc_public_targets} EXPORT pelcTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
                NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

set(pelc_headers include/pelc.h include/pelc.hpp ${pelc_generated}/pelc_version.h)
if(TARGET pelc_winstub)
  list(APPEND pelc_headers include/pelc_winstub.h)
endif()
install(FILES ${pelc_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
if(WIN32)
  # The list of exports, for callers that make their own import library.
  install(FILES src/pelc.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
endif()

install(FILES LICENSE README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)
install(FILES docs/guide.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Development)

# CMake package: the exported targets locate themselves from their own file,
# so the installed tree can move.
install(EXPORT pelcTargets NAMESPACE pelc:: DESTINATION ${pelc_cmake_dir} COMPONENT Development)
configure_package_config_file(${pelc_templates}/pelcConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/pelcConfig.cmake
                              INSTALL_DESTINATION ${pelc_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pelcConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pelcConfig.cmake ${PROJECT_BINARY_DIR}/pelcConfigVersion.cmake
        DESTINATION ${pelc_cmake_dir} COMPONENT Development)

# pkg-config: the prefix is found from the .pc file's own place for the same
# reason.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(PELC_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  set(PELC_PC_PREFIX "\${pcfiledir}")
  string(REPLACE "/" ";" pelc_pc_steps "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  foreach(step IN LISTS pelc_pc_steps)
    string(APPEND PELC_PC_PREFIX "/..")
  endforeach()
endif()
set(PELC_PC_REQUIRES "")
set(pelc_pc_files ${PROJECT_BINARY_DIR}/pelc.pc)
if(TARGET pelc_winstub)
  # pelc's handles come from and go to the stand-in library's calls.
  set(PELC_PC_REQUIRES pelc-winstub)
  configure_file(${pelc_templates}/pelc-winstub.pc.in ${PROJECT_BINARY_DIR}/pelc-winstub.pc @ONLY)
  list(APPEND pelc_pc_files ${PROJECT_BINARY_DIR}/pelc-winstub.pc)
endif()
configure_file(${pelc_templates}/pelc.pc.in ${PROJECT_BINARY_DIR}/pelc.pc @ONLY)
install(FILES ${pelc_pc_files} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# ---- Packages -------------------------------------------------------------------

set(CPACK_PACKAGE_NAME pelc)
set(CPACK_PACKAGE_VENDOR "${PELC_VENDOR}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PELC_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Shared library, tools and licence")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Headers, CMake and pkg-config files, guide")
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)

if(WIN32)
  # One zip per architecture with everything: DLL, import library, .def,
  # headers, packages and documents.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_PACKAGE_FILE_NAME pelc-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  # Two Debian packages: libpelc1 (what programs run with) and libpelc-dev
  # (what programs are built with).
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELC_VENDOR}")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "86")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
  endif()
  set(pelc_runtime_package libpelc${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${pelc_runtime_package})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${pelc_templates}/triggers)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libpelc-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
      "${pelc_runtime_package} (= ${PROJECT_VERSION})")
endif()
include(CPack)
