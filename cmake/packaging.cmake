# The documents beside the programs, for their users (docs/user), and the
# Windows zip that CPack makes of an installation (scripts/package.sh):
#
#   Windows build gifplay-VERSION-win32.zip: gifpack.exe, gifplay.exe,
#                 README.txt and LICENSE.txt in one folder, as plain text with
#                 Windows' line endings.
#   Linux build   the documents in share/doc/gifplay; the Debian package is
#                 made by debian/ (dpkg-buildpackage), which brings its own
#                 copyright file in place of the licence.
#
# Programs are installed stripped (cmake --install --strip, as CPack does).
option(GIFPLAY_INSTALL_LICENSE "Install LICENSE beside the documents" ON)
if(WIN32)
  foreach(document README.txt LICENSE.txt)
    set(source ${PROJECT_SOURCE_DIR}/docs/user/README.txt)
    if(document STREQUAL LICENSE.txt)
      set(source ${PROJECT_SOURCE_DIR}/LICENSE)
    endif()
    configure_file(${source} ${PROJECT_BINARY_DIR}/${document} @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/${document} DESTINATION .)
  endforeach()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  install(FILES docs/user/README DESTINATION share/doc/gifplay)
  if(GIFPLAY_INSTALL_LICENSE)
    install(FILES LICENSE DESTINATION share/doc/gifplay)
  endif()
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME gifplay)
set(CPACK_PACKAGE_VENDOR "The gifplay developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-playing GIF animations with a MIDI song")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
include(CPack)
