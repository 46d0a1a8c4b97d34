# End-to-end tests of the player's music (music_e2e.py): the temporary song
# file, the sound on a private PulseAudio server, silence without an audio
# output. They share the X display :93, so they run one at a time.
find_package(Python3 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND OR NOT TARGET demo_song)
  message(STATUS "e2e: no Python 3 or no demo song; the music's end-to-end tests are left out")
  return()
endif()
foreach(scenario close exit silent no-fluidsynth no-song no-picture)
  add_test(NAME e2e_music_${scenario}
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/music_e2e.py ${scenario}
            --player $<TARGET_FILE:gifplay>
            --song ${CMAKE_BINARY_DIR}/demo/demo.mid
            --gif ${GIFPLAY_TESTDATA}/gif/gifplayer-muybridge.gif)
  set_tests_properties(e2e_music_${scenario} PROPERTIES
    LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 90 RESOURCE_LOCK gifplay_music_display)
endforeach()

# A whole run of the player with the demo animation and song under valgrind's
# memcheck (slow: about half a minute), on the same display.
add_test(NAME e2e_valgrind_player
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/valgrind_e2e.py
          --player $<TARGET_FILE:gifplay>
          --song ${CMAKE_BINARY_DIR}/demo/demo.mid
          --gif ${CMAKE_BINARY_DIR}/demo/demo.gif)
set_tests_properties(e2e_valgrind_player PROPERTIES
  LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK gifplay_music_display)
