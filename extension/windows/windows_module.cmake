# The Windows form of Zorvane.xop: a DLL whose only export is XOPMain, with DllMain and the
# module's resources compiled in. Included from extension/CMakeLists.txt, so that the rules
# generating the resource files belong to the module's own directory.
enable_language(RC)

# The resource bytes come from the module's own definitions (module_resources.cpp and
# message_table.cpp), dumped to files by a small program that runs on the build machine.
set(resource_dir ${CMAKE_CURRENT_BINARY_DIR}/windows/resources)
set(resource_files
  ${resource_dir}/xopi.bin ${resource_dir}/xopc.bin ${resource_dir}/str.bin
  ${resource_dir}/version.bin ${resource_dir}/manifest.xml)
set(dump_sources
  ${CMAKE_CURRENT_LIST_DIR}/resource_dump.cpp
  ${PROJECT_SOURCE_DIR}/extension/module_resources.cpp
  ${PROJECT_SOURCE_DIR}/extension/message_table.cpp)
set(dump_headers
  ${PROJECT_SOURCE_DIR}/extension/module_resources.h
  ${PROJECT_SOURCE_DIR}/extension/message_table.h)

if(CMAKE_CROSSCOMPILING)
  # The target's compiler makes programs this machine cannot run: use the build machine's.
  find_program(MBUS_BUILD_MACHINE_CXX NAMES c++ g++ clang++ REQUIRED)
  set(resource_dump ${CMAKE_CURRENT_BINARY_DIR}/windows/resource_dump)
  # Generators differ in whether they make an output's folder: make it here.
  add_custom_command(
    OUTPUT ${resource_dump}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/windows
    COMMAND ${MBUS_BUILD_MACHINE_CXX} -std=c++17 -Wall -Wextra -Werror -I${PROJECT_SOURCE_DIR}
            -o ${resource_dump} ${dump_sources}
    DEPENDS ${dump_sources} ${dump_headers}
    COMMENT "Building resource_dump for the build machine"
    VERBATIM)
else()
  add_executable(resource_dump ${dump_sources})
  target_include_directories(resource_dump PRIVATE ${PROJECT_SOURCE_DIR})
  set(resource_dump $<TARGET_FILE:resource_dump>)
endif()

add_custom_command(
  OUTPUT ${resource_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${resource_dir}
  COMMAND ${resource_dump} ${resource_dir}
  DEPENDS ${resource_dump}
  COMMENT "Writing the module's resources"
  VERBATIM)

set(resource_script ${CMAKE_CURRENT_LIST_DIR}/zorvane.rc)
set_source_files_properties(${resource_script} PROPERTIES OBJECT_DEPENDS "${resource_files}")
# windres finds the files named in the script on its include path.
target_include_directories(zorvane_module PRIVATE $<$<COMPILE_LANGUAGE:RC>:${resource_dir}>)

target_sources(zorvane_module PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dll_main.cpp
  ${resource_script}
  ${CMAKE_CURRENT_LIST_DIR}/zorvane.def)
