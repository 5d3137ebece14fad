# Installing and packaging: `cmake --install build [--prefix P]`, and
# `cpack -G DEB` (Linux) or `cpack -G ZIP` (the Windows cross build) in the
# build directory. The version is the project's.
include(GNUInstallDirs)

if(WIN32)
  # The archive holds the programs and the documents side by side.
  set(KELM_INSTALL_BINDIR .)
  set(KELM_INSTALL_DOCDIR .)
else()
  set(KELM_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(KELM_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  install(FILES man/kelm.1 man/kelm-dump.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(TARGETS kelm kelm-dump RUNTIME DESTINATION ${KELM_INSTALL_BINDIR})
install(FILES README.md LICENSE DESTINATION ${KELM_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME kelm)
set(CPACK_PACKAGE_VENDOR "the kelm authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "converts one-line text dictionaries into PDIC/Unicode dictionary files")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/kelm-dic/kelm)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the kelm authors")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kelm turns a dictionary kept as one-line text (headword /// translation, in
Shift_JIS, EUC-JP, UTF-8 or UTF-16) into a binary dictionary file for the
PDIC/Unicode dictionary application; kelm-dump checks such a file and writes
its entries back as one-line text.")
# The dependencies come from the programs themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
