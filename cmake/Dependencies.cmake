# Third-party libraries, all from Debian packages. The native build uses their CMake packages; the
# Windows cross build uses nlohmann/json, {fmt} and RapidJSON header-only and builds GoogleTest from the
# sources that Debian's googletest package installs.

if(CMAKE_CROSSCOMPILING AND WIN32)
  # Make only these header trees visible to the cross compiler, not all of /usr/include.
  set(snh_host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${snh_host_headers})
  foreach(dir nlohmann fmt rapidjson)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/setup.sh")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${snh_host_headers}/${dir} SYMBOLIC)
  endforeach()

  add_library(snh_json INTERFACE)
  target_include_directories(snh_json SYSTEM INTERFACE ${snh_host_headers})
  add_library(snh_fmt INTERFACE)
  target_include_directories(snh_fmt SYSTEM INTERFACE ${snh_host_headers})
  target_compile_definitions(snh_fmt INTERFACE FMT_HEADER_ONLY=1)
  add_library(snh_rapidjson INTERFACE)
  target_include_directories(snh_rapidjson SYSTEM INTERFACE ${snh_host_headers})

  if(BUILD_TESTING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    # GoogleTest defines the GTest:: aliases itself.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  find_package(fmt 9 REQUIRED)
  add_library(snh_json INTERFACE)
  target_link_libraries(snh_json INTERFACE nlohmann_json::nlohmann_json)
  add_library(snh_fmt INTERFACE)
  target_link_libraries(snh_fmt INTERFACE fmt::fmt)
  # RapidJSON's package names no target; its headers are in /usr/include, which is searched already.
  find_package(RapidJSON 1.1 REQUIRED)
  add_library(snh_rapidjson INTERFACE)
  if(BUILD_TESTING)
    find_package(GTest REQUIRED)
  endif()
endif()

# Clang's UBSan would stop on one harmless spot in RapidJSON 1.1.0 (the list says which).
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_FLAGS MATCHES "undefined")
  target_compile_options(snh_rapidjson INTERFACE
    -fsanitize-ignorelist=${CMAKE_CURRENT_LIST_DIR}/rapidjson-ubsan.ignorelist)
endif()
