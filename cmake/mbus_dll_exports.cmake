# Windows: the library's DLL exports the flat functions declared in include/mbus.h and nothing
# else. A module-definition file listing them is written from the header at configure time.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/mbus.h mbus_api_lines REGEX "^MBUS_API ")
set(mbus_def "LIBRARY libmbus.dll\nEXPORTS\n")
foreach(line IN LISTS mbus_api_lines)
  if(line MATCHES "(mbus[A-Za-z0-9_]+)[ ]*\\(")
    string(APPEND mbus_def "    ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/mbus.def CONTENT "${mbus_def}")
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/include/mbus.h)
target_sources(mbus_shared PRIVATE ${CMAKE_BINARY_DIR}/mbus.def)
