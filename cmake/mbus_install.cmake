# Installing the library: the shared library with its SONAME (the DLL and its import library on
# Windows), the static library, the public headers under <prefix>/include/mbus, a generated
# version header, a CMake package with the exported targets Mbus::mbus (shared) and
# Mbus::mbus_static, a pkg-config file, the tools that are built, and a Debian package (CPack).
#
#   cmake --install build --prefix /opt/mbus
#   find_package(Mbus 2.9 REQUIRED)  +  target_link_libraries(app PRIVATE Mbus::mbus)
#   pkg-config --cflags --libs mbus
#
# Included once from the top-level CMakeLists.txt after the library targets exist.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MBUS_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/mbus)
set(MBUS_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Mbus)
set(MBUS_GENERATED_INCLUDE ${PROJECT_BINARY_DIR}/generated/include)

# libmbus.so.2 -> libmbus.so.2.9.0; the static library keeps the plain name libmbus.a.
set_target_properties(mbus_shared PROPERTIES
  OUTPUT_NAME mbus
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME mbus)
set_target_properties(mbus PROPERTIES EXPORT_NAME mbus_static)
add_library(Mbus::mbus ALIAS mbus_shared)
add_library(Mbus::mbus_static ALIAS mbus)

# The version at compile time: mbus_version.h, from project(VERSION).
configure_file(${CMAKE_CURRENT_LIST_DIR}/mbus_version.h.in ${MBUS_GENERATED_INCLUDE}/mbus_version.h @ONLY)

# The library folders whose headers a C++ user includes, with their paths below the source root
# ("protocol/master_functions.h"), so that an installed header finds the ones it includes. They
# are the parts the libraries are made of, plus the folders the library is known to grow.
set(MBUS_HEADER_DIRS)
foreach(part IN LISTS MBUS_PARTS)
  if(part MATCHES "TARGET_OBJECTS:mbus_([A-Za-z0-9_]+)>")
    list(APPEND MBUS_HEADER_DIRS ${CMAKE_MATCH_1})
  endif()
endforeach()
foreach(dir protocol codec capi ip serial)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} AND NOT dir IN_LIST MBUS_SKIP_DIRS)
    list(APPEND MBUS_HEADER_DIRS ${dir})
  endif()
endforeach()
list(REMOVE_DUPLICATES MBUS_HEADER_DIRS)

# Usage requirements: the source folders while building, the one include folder once installed.
foreach(lib mbus mbus_shared)
  get_target_property(dirs ${lib} INTERFACE_INCLUDE_DIRECTORIES)
  if(NOT dirs)
    set(dirs)
  endif()
  set(wrapped)
  foreach(dir IN LISTS dirs)
    if(dir AND NOT dir MATCHES "^\\$<")
      set(dir "$<BUILD_INTERFACE:${dir}>")
    endif()
    list(APPEND wrapped "${dir}")
  endforeach()
  set_target_properties(${lib} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
  target_include_directories(${lib} PUBLIC
    $<BUILD_INTERFACE:${MBUS_GENERATED_INCLUDE}>
    $<INSTALL_INTERFACE:${MBUS_INSTALL_INCLUDEDIR}>)
endforeach()

install(TARGETS mbus_shared mbus EXPORT MbusTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ ${MBUS_GENERATED_INCLUDE}/
  DESTINATION ${MBUS_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h")
foreach(dir IN LISTS MBUS_HEADER_DIRS)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}
    DESTINATION ${MBUS_INSTALL_INCLUDEDIR} COMPONENT development
    FILES_MATCHING PATTERN "*.h"
    PATTERN "posix" EXCLUDE
    PATTERN "windows" EXCLUDE)
endforeach()

# The CMake package.
install(EXPORT MbusTargets NAMESPACE Mbus:: DESTINATION ${MBUS_INSTALL_CMAKEDIR}
  COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/MbusConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MbusConfig.cmake
  INSTALL_DESTINATION ${MBUS_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MbusConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MbusConfig.cmake ${PROJECT_BINARY_DIR}/MbusConfigVersion.cmake
  DESTINATION ${MBUS_INSTALL_CMAKEDIR} COMPONENT development)

# The pkg-config file names its prefix relative to its own folder, so the tree can be installed
# anywhere (cmake --install --prefix) and moved.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(MBUS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(MBUS_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH MBUS_PC_UP "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" MBUS_PC_UP "${MBUS_PC_UP}")
  set(MBUS_PC_PREFIX "\${pcfiledir}/${MBUS_PC_UP}")
  set(MBUS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(MBUS_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/mbus")
else()
  set(MBUS_PC_INCLUDEDIR "\${prefix}/${MBUS_INSTALL_INCLUDEDIR}")
endif()
# What a static link needs besides the library: the C++ runtime, and the platform's libraries.
set(MBUS_PC_LIBS_PRIVATE "-lstdc++")
foreach(lib IN LISTS MBUS_PLATFORM_LIBS)
  string(APPEND MBUS_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/mbus.pc.in ${PROJECT_BINARY_DIR}/mbus.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mbus.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# The tools that this build makes (mbus_cli is the command-line master, installed as mbus).
# xophost loads Zorvane.xop from its own folder.
foreach(tool mbus_cli mbsim xophost mbbench)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()
if(TARGET xophost AND TARGET zorvane_module)
  install(TARGETS zorvane_module LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# The function reference: cmake --build build --target docs (build/docs/html/index.html).
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/docs/Doxyfile.in)
  set(MBUS_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${MBUS_DOCS_OUTPUT}/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND ${DOXYGEN_EXECUTABLE} ${MBUS_DOCS_OUTPUT}/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Function reference in ${MBUS_DOCS_OUTPUT}/html"
    VERBATIM)
endif()

# The Debian package: cmake --build build --target package (build/mbus_2.9.0_amd64.deb).
set(CPACK_PACKAGE_NAME mbus)
set(CPACK_PACKAGE_VENDOR "the Zorvane developers")
set(CPACK_PACKAGE_CONTACT "the Zorvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Modbus master library (TCP, UDP, RTU, ASCII) with its C and C++ headers and tools")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_INSTALL_DIRECTORY mbus)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
