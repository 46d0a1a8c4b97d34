# End-to-end tests of the player's music (music_e2e.py): the temporary song
# file, the sound on a private PulseAudio server, silence without an audio
# output, several players in one TEMP, planted files, the signals that end
# the player, and records gifpack packs around markers in the GIF. They run
# one at a time, as their sound and timing would suffer from one another.
find_package(Python3 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND OR NOT TARGET demo_song)
  message(STATUS "e2e: no Python 3 or no demo song; the music's end-to-end tests are left out")
  return()
endif()
set(music_gifpack_argument)
if(TARGET gifpack)
  set(music_gifpack_argument --gifpack $<TARGET_FILE:gifpack>)
endif()
foreach(scenario close silent no-fluidsynth no-song players killed planted signals crafted)
  add_test(NAME e2e_music_${scenario}
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/music_e2e.py ${scenario}
            --player $<TARGET_FILE:gifplay>
            --song ${CMAKE_BINARY_DIR}/demo/demo.mid
            --gif ${GIFPLAY_TESTDATA}/gif/gifplayer-muybridge.gif
            ${music_gifpack_argument})
  set_tests_properties(e2e_music_${scenario} PROPERTIES
    LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 90 RESOURCE_LOCK gifplay_music_display)
endforeach()
# Eight runs of two or three players, each closing waiting for two loops.
set_tests_properties(e2e_music_players PROPERTIES TIMEOUT 300)

# A whole run of the player with the demo animation and song under valgrind's
# memcheck (slow: about half a minute), one at a time with the music's tests.
add_test(NAME e2e_valgrind_player
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/valgrind_e2e.py
          --player $<TARGET_FILE:gifplay>
          --song ${CMAKE_BINARY_DIR}/demo/demo.mid
          --gif ${CMAKE_BINARY_DIR}/demo/demo.gif)
set_tests_properties(e2e_valgrind_player PROPERTIES
  LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK gifplay_music_display)
