# The tools' tests run the built programs, make their GIFs with the GIF
# writer and read gifpack's PNGs back with libpng; gifpack's library (its
# progress line, its files) is tried in-process.
find_package(PNG REQUIRED)
add_dependencies(${target} gifpack gifplay gifplay_make_scattered_gif gifplay_anim_dump)
target_link_libraries(${target} PRIVATE gifplay_gifpack gifplay_gifwriter gifplay_giflib_reader
                                        PNG::PNG)
target_compile_definitions(${target} PRIVATE
  GIFPACK_TOOL="$<TARGET_FILE:gifpack>"
  GIFPLAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  GIFPLAY_ANIM_DUMP="$<TARGET_FILE:gifplay_anim_dump>")
