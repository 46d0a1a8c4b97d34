# Songs are written with the same MIDI writer as the demo song, which the
# rendering test plays.
target_link_libraries(${target} PRIVATE gifplay_midi_writer)
add_dependencies(${target} demo_song)
