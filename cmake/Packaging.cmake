# Install layout and packages. Every target that a subfolder installs is packaged: the host, the
# terminal client and the browser registration tool. Linux: bin/ and share/doc/ssh-native-host, as a
# .deb and a .tar.gz. Windows (the cross build): one .zip with bin/ and doc/.
include(GNUInstallDirs)

if(WIN32)
  set(snh_doc_dir doc)
else()
  set(snh_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${snh_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/protocol.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
        DESTINATION ${snh_doc_dir}/docs)

set(CPACK_PACKAGE_NAME ssh-native-host)
set(CPACK_PACKAGE_VENDOR "ssh-native-host contributors")
set(CPACK_PACKAGE_CONTACT "ssh-native-host contributors <ssh-native-host@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Browser native messaging host that runs SSH clients")
set(CPACK_PACKAGE_DESCRIPTION
    "ssh-native-host lets a browser extension start an SSH client on the local machine and drive it: in a pseudo console or a console screen buffer, with its input, output and exit relayed as native messaging frames. Includes ssh-native-host-cli, a terminal client for the host.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Library dependencies (libc, libstdc++, libfmt, libvterm) come from dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS openssh-client)
endif()

include(CPack)
