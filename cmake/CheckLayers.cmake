# Fails the build on an include that breaks the layers: a folder of src/ including one above it
# (base <- codec <- platform <- output <- session <- host), or a platform's own folder
# (platform/posix/, platform/windows/) included from outside the platform layer and its tests.
#
#   cmake -DSOURCE_DIR=<project> -DSTAMP=<file touched when clean> -P CheckLayers.cmake

set(layers base codec platform output session host)

file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp"
     "${SOURCE_DIR}/tools/*.h" "${SOURCE_DIR}/tools/*.cpp"
     "${SOURCE_DIR}/bench/*.h" "${SOURCE_DIR}/bench/*.cpp"
     "${SOURCE_DIR}/tests/*.h" "${SOURCE_DIR}/tests/*.cpp"
     "${SOURCE_DIR}/fuzz/*.h" "${SOURCE_DIR}/fuzz/*.cpp")

set(faults "")
foreach(file IN LISTS files)
  # The layer a file of src/ belongs to; the programs on top (client, tools, tests, bench) may include
  # every layer.
  set(own_rank 999)
  if(file MATCHES "^src/([a-z]+)/")
    list(FIND layers "${CMAKE_MATCH_1}" own_rank)
    if(own_rank EQUAL -1)
      set(own_rank 999)
    endif()
  endif()
  set(inside_platform FALSE)
  if(file MATCHES "^(src/platform|tests|fuzz)/")
    set(inside_platform TRUE)
  endif()

  file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "\"([^\"]+)\"")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    if(NOT target MATCHES "^([a-z]+)/")
      continue()
    endif()
    list(FIND layers "${CMAKE_MATCH_1}" target_rank)
    if(target_rank GREATER own_rank)
      string(APPEND faults "\n  ${file}: includes ${target}, a layer above its own")
    endif()
    if(target MATCHES "^platform/(posix|windows)/")
      set(platform_folder "${CMAKE_MATCH_1}")
      if(NOT inside_platform)
        string(APPEND faults "\n  ${file}: includes ${target}; outside the platform layer only its contract (platform/*.h) may be included")
      elseif(file MATCHES "^src/platform/(posix|windows)/" AND NOT CMAKE_MATCH_1 STREQUAL platform_folder)
        string(APPEND faults "\n  ${file}: includes ${target}, another platform's code")
      endif()
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that break the layers (see docs/architecture.md):${faults}")
endif()
file(TOUCH "${STAMP}")
