# The fuzz entry points as a library, for the libFuzzer targets and for the
# test that replays saved inputs. gifpack --info is called in-process: the
# sources of its loading, checking and describing are compiled in (all but
# the command line, packing, listing, rewriting and the Windows-only files).
if(TARGET gifplay_fuzz_entries)
  return()
endif()
find_package(PNG REQUIRED)
file(GLOB gifpack_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/gifpack/*.cpp)
list(FILTER gifpack_sources EXCLUDE REGEX
     "/(main|pack|list|files_windows|png_stored|prepare|browser_view|rewrite|rewrite_unavailable|palette_quantizer)\\.cpp$")
add_library(gifplay_fuzz_entries STATIC
  ${PROJECT_SOURCE_DIR}/fuzz/memory_file.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/player_records.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/gif_loader_entry.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/payload_scanner_entry.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/gifpack_info_entry.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/midi_file_entry.cpp
  ${gifpack_sources})
target_include_directories(gifplay_fuzz_entries PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(gifplay_fuzz_entries PUBLIC gifplay_core PNG::PNG)
