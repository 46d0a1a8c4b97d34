# The fuzz entry points, replayed on the saved regression inputs and the
# seed corpora.
include(${PROJECT_SOURCE_DIR}/fuzz/entries.cmake)
target_link_libraries(${target} PRIVATE gifplay_fuzz_entries)
target_compile_definitions(${target} PRIVATE GIFPLAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
