# The fuzz entry points as a library, for the libFuzzer targets and for the
# test that replays saved inputs. gifpack --info is called in-process,
# through gifpack's library.
if(TARGET gifplay_fuzz_entries)
  return()
endif()
add_library(gifplay_fuzz_entries STATIC
  ${PROJECT_SOURCE_DIR}/fuzz/memory_file.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/player_records.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/gif_loader_entry.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/payload_scanner_entry.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/gifpack_info_entry.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/midi_file_entry.cpp)
target_include_directories(gifplay_fuzz_entries PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(gifplay_fuzz_entries PUBLIC gifplay_core gifplay_gifpack)
