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
# README.md and every page it links to, so that no link of the installed copy leads nowhere.
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${snh_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/protocol.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
              ${PROJECT_SOURCE_DIR}/docs/install.md ${PROJECT_SOURCE_DIR}/docs/performance.md
              ${PROJECT_SOURCE_DIR}/docs/reliability.md ${PROJECT_SOURCE_DIR}/docs/example-extension.png
              ${PROJECT_SOURCE_DIR}/docs/example-extension-firefox.png
        DESTINATION ${snh_doc_dir}/docs)
# The example extension as built by examples/extension/build.sh (scripts/check-packages.sh builds it
# first), ready to load unpacked; its README beside it.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/build/example-extension/
        DESTINATION ${snh_doc_dir}/examples/extension OPTIONAL)
install(FILES ${PROJECT_SOURCE_DIR}/examples/extension/README.md DESTINATION ${snh_doc_dir}/examples/extension)

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
  # The .deb's README links to the licence where the .deb keeps it.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
  file(READ ${PROJECT_SOURCE_DIR}/README.md snh_readme)
  string(REPLACE "](LICENSE)" "](copyright)" snh_readme "${snh_readme}")
  file(WRITE ${PROJECT_BINARY_DIR}/debian/README.md "${snh_readme}")
  install(FILES ${PROJECT_BINARY_DIR}/debian/README.md DESTINATION ${snh_doc_dir} COMPONENT debian)
endif()
# After the .deb's, so that an install of every component keeps this one, beside LICENSE.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${snh_doc_dir} COMPONENT licence)

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
  # The host exists to run SSH clients.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS openssh-client)
  # Removing the package takes back what the registration tool registered for every user.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/resources/debian/prerm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

configure_file(${PROJECT_SOURCE_DIR}/cmake/PackageVariant.cmake.in ${PROJECT_BINARY_DIR}/PackageVariant.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/PackageVariant.cmake)

include(CPack)
