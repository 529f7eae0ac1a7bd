# Builds the Windows installer from an installed tree with wixl (resources/ssh-native-host.wxs). Two
# ways in:
#   by cpack, as the External generator's script (cmake/Packaging.cmake): the staged tree and the
#     version come from cpack, the .msi goes beside the .zip;
#   cmake -DSTAGE_DIR=<tree> -DMSI_VERSION=<a.b.c.d> -DOUTPUT=<file.msi> -P cmake/BuildMsi.cmake
#     (the installer test builds a lower version this way to upgrade from).
cmake_minimum_required(VERSION 3.25)

if(CPACK_TEMPORARY_DIRECTORY)
  set(STAGE_DIR ${CPACK_TEMPORARY_DIRECTORY})
  set(MSI_VERSION ${CPACK_PACKAGE_VERSION})
  set(OUTPUT ${CPACK_PACKAGE_DIRECTORY}/ssh-native-host-${CPACK_PACKAGE_VERSION}-x64.msi)
  set(CPACK_EXTERNAL_BUILT_PACKAGES ${OUTPUT})
endif()
foreach(required STAGE_DIR MSI_VERSION OUTPUT)
  if(NOT ${required})
    message(FATAL_ERROR "BuildMsi.cmake: ${required} is not set")
  endif()
endforeach()

find_program(WIXL wixl REQUIRED)
find_program(WIXL_HEAT wixl-heat REQUIRED)
find_program(MSIBUILD msibuild REQUIRED)
get_filename_component(snh_source_dir ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# Every file under doc/, installed beside the programs: the README and what it links to, and the
# example extension, whose file list changes with its npm packages.
file(GLOB_RECURSE doc_files LIST_DIRECTORIES false RELATIVE ${STAGE_DIR} ${STAGE_DIR}/doc/*)
if(NOT "doc/README.md" IN_LIST doc_files)
  message(FATAL_ERROR "BuildMsi.cmake: ${STAGE_DIR}/doc holds no README.md")
endif()
list(SORT doc_files)
list(JOIN doc_files "\n" doc_list)
set(work_dir ${OUTPUT}.work)
file(MAKE_DIRECTORY ${work_dir})
file(WRITE ${work_dir}/doc-files.txt "${doc_list}\n")
execute_process(
  COMMAND ${WIXL_HEAT} --directory-ref INSTALLDIR --component-group Documentation --var var.DocSource -p doc/
          --win64
  INPUT_FILE ${work_dir}/doc-files.txt
  OUTPUT_FILE ${work_dir}/documentation.wxs
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl-heat failed (${status})")
endif()

execute_process(
  COMMAND ${WIXL} -a x64 -D Version=${MSI_VERSION} -D DocSource=doc -D Win64=yes -o ${OUTPUT}
          ${snh_source_dir}/resources/ssh-native-host.wxs ${work_dir}/documentation.wxs
  WORKING_DIRECTORY ${STAGE_DIR}
  RESULT_VARIABLE status)
file(REMOVE_RECURSE ${work_dir})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl failed (${status})")
endif()

# What wixl cannot say: HKMU (its Root 4 is none; -1 is HKLM for the machine, HKCU for a user), a
# component's condition, properties passed to the elevated part of the install, and RemoveFile rows (the manifests that write-manifests makes, and their folders, go with
# their registration's component; InstallMode 2: when the component is removed).
set(queries
    "UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4"
    "UPDATE `Component` SET `Condition` = 'CHROMIUM_EXTENSION_IDS' WHERE `Component` = 'ChromiumRegistration'"
    "UPDATE `Component` SET `Condition` = 'FIREFOX_EXTENSION_IDS' WHERE `Component` = 'FirefoxRegistration'"
)
foreach(row "Chrome;ChromiumRegistration" "Chromium;ChromiumRegistration" "Edge;ChromiumRegistration"
            "Firefox;FirefoxRegistration")
  list(GET row 0 browser)
  list(GET row 1 component)
  set(folder "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, `InstallMode`) VALUES")
  set(insert "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES")
  list(APPEND queries
       "${insert} ('Remove${browser}Manifest', '${component}', 'com.sshnativehost.host.json', '${browser}ManifestDir', 2)"
       "${folder} ('Remove${browser}ManifestDir', '${component}', '${browser}ManifestDir', 2)")
endforeach()
list(APPEND queries "${folder} ('RemoveManifestsDir', 'ManifestsFolder', 'ManifestsDir', 2)")
list(TRANSFORM queries PREPEND "-q;")
# The list's separator is CMake's too: this one goes as a single argument.
set(secure "CHROMIUM_EXTENSION_IDS;FIREFOX_EXTENSION_IDS;MSIINSTALLPERUSER;WIX_UPGRADE_DETECTED;WIX_DOWNGRADE_DETECTED")
execute_process(
  COMMAND ${MSIBUILD} ${OUTPUT} ${queries} -q
          "UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msibuild failed (${status})")
endif()
