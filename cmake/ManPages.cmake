# Man pages for the three programs, made at build time by help2man from their --help and --version, so
# that they never disagree with the programs, with the EXAMPLES and SEE ALSO of resources/man/. Not in the cross build: Windows has no man, and its
# programs would need Wine to run.
include(GNUInstallDirs)

if(WIN32 OR SNH_FUZZ)
  return()
endif()
find_program(SNH_HELP2MAN help2man)
find_program(SNH_GZIP gzip)
if(NOT SNH_HELP2MAN OR NOT SNH_GZIP)
  message(STATUS "help2man or gzip not found: no man pages (scripts/setup.sh installs them)")
  return()
endif()

set(snh_man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${snh_man_dir})
set(snh_man_pages)
foreach(page
        "ssh-native-host|browser native messaging host that runs SSH clients"
        "ssh-native-host-cli|terminal session through ssh-native-host"
        "ssh-native-host-register|register ssh-native-host with browsers")
  string(REPLACE "|" ";" page "${page}")
  list(GET page 0 program)
  list(GET page 1 name)
  set(out ${snh_man_dir}/${program}.1)
  # gzip -n: no name or time stamp inside, so the same build gives the same bytes.
  add_custom_command(
    OUTPUT ${out}.gz
    COMMAND ${SNH_HELP2MAN} --no-info --name=${name} --source=ssh-native-host
            --include=${PROJECT_SOURCE_DIR}/resources/man/${program}.h2m --output=${out} $<TARGET_FILE:${program}>
    COMMAND ${SNH_GZIP} -9nf ${out}
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/resources/man/${program}.h2m
    COMMENT "Man page for ${program}"
    VERBATIM)
  list(APPEND snh_man_pages ${out}.gz)
endforeach()
add_custom_target(snh_man_pages ALL DEPENDS ${snh_man_pages})
install(FILES ${snh_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
