# The documents beside the programs, and the packages CPack makes of an
# installation (scripts/package.sh makes both):
#
#   Linux build   gifplay_VERSION_ARCH.deb: gifpack in /usr/bin, both players
#                 in /usr/libexec/gifplay (the Windows one from the
#                 cross-build in GIFPLAY_WINDOWS_BUILD_DIR, built first), the
#                 manual page, README and the licence.
#   Windows build gifplay-VERSION-win32.zip: gifpack.exe, gifplay.exe,
#                 README.txt and LICENSE.txt in one folder.
#
# Programs are installed stripped (cmake --install --strip, as CPack does).
if(WIN32)
  install(FILES README.md DESTINATION . RENAME README.txt)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  install(FILES README.md DESTINATION share/doc/gifplay)
  install(FILES LICENSE DESTINATION share/doc/gifplay RENAME copyright)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME gifplay)
set(CPACK_PACKAGE_VENDOR "The gifplay developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-playing GIF animations with a MIDI song")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The gifplay developers")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "gifpack makes a program that plays one GIF animation, with a Standard MIDI
File song in the background, from a copy of a small player: the GIF and the
song are appended to it. gifpack checks the animation with the player's own
code first and says what the player would show differently.

The package holds the player for Linux desktops (GTK 3; the song plays
through FluidSynth with a General MIDI SoundFont, or the animation plays in
silence) and the one for 32-bit Windows, so that gifpack --windows makes
Windows programs as well.")
# Depends follows what the programs really link (dpkg-shlibdeps); GTK 3 is
# named as well because the player cannot show anything without it. The
# song needs FluidSynth and a General MIDI SoundFont.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgtk-3-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libfluidsynth3, timgm6mb-soundfont | sf2-soundfont-gm")

set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
