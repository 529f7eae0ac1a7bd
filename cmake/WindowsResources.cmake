# The version resource, manifest and icon of a Windows executable, from resources/ssh-native-host.rc.in.
function(snh_windows_resources target description)
  set(SNH_RC_NAME ${target})
  set(SNH_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/ssh-native-host.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/resources/ssh-native-host.manifest;${PROJECT_SOURCE_DIR}/resources/ssh-native-host.ico")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources)
endfunction()
