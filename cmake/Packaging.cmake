# Install layout and packages. Every target that a subfolder installs is packaged: the host, the
# terminal client and the browser registration tool. Linux: bin/, share/man/man1 and
# share/doc/ssh-native-host, as a .deb and a .tar.gz. Windows (the cross build): a .zip with bin/ and
# doc/, and the installer ssh-native-host-<version>-x64.msi made from the same tree by wixl
# (cmake/BuildMsi.cmake, as cpack's External generator).
include(GNUInstallDirs)
include(cmake/ManPages.cmake)

if(WIN32)
  set(snh_doc_dir doc)
else()
  set(snh_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${snh_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/protocol.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
              ${PROJECT_SOURCE_DIR}/docs/install.md
        DESTINATION ${snh_doc_dir}/docs)

# The licence: as LICENSE in the .tar.gz and the .zip, as the machine-readable copyright file that
# Debian expects in the .deb (made from LICENSE, so the two never differ). Each has a component of its
# own so that a package takes only its form (cmake/PackageVariant.cmake.in).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${snh_doc_dir} COMPONENT licence)
if(NOT WIN32)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE snh_licence)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" snh_copyright "${snh_licence}")
  set(snh_copyright "${CMAKE_MATCH_1}")
  # The permission text after the title and copyright lines, indented, with "." for empty lines.
  string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" snh_licence_text "${snh_licence}")
  string(REGEX REPLACE "\n+$" "" snh_licence_text "${snh_licence_text}")
  string(REPLACE "\n\n" "\n.\n" snh_licence_text "${snh_licence_text}")
  string(REPLACE "\n" "\n " snh_licence_text "${snh_licence_text}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${snh_doc_dir} COMPONENT debian)
endif()

set(CPACK_PACKAGE_NAME ssh-native-host)
set(CPACK_PACKAGE_VENDOR "ssh-native-host contributors")
set(CPACK_PACKAGE_CONTACT "ssh-native-host contributors <ssh-native-host@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Browser native messaging host that runs SSH clients")
# Wrapped by hand: dpkg shows the lines as they are.
set(CPACK_PACKAGE_DESCRIPTION
    "ssh-native-host lets a browser extension start an SSH client on the local
machine and drive it: in a pseudo console or a console screen buffer, with its
input, output and exit relayed as native messaging frames.

Includes ssh-native-host-cli, a terminal client for the host, and
ssh-native-host-register. After installing, register the host for the
extensions that may start it:
  ssh-native-host-register install --extension-id ID
")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP External)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/BuildMsi.cmake)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Library dependencies (libc, libstdc++, libfmt, libvterm) come from dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS openssh-client)
endif()

configure_file(${PROJECT_SOURCE_DIR}/cmake/PackageVariant.cmake.in ${PROJECT_BINARY_DIR}/PackageVariant.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/PackageVariant.cmake)

include(CPack)
