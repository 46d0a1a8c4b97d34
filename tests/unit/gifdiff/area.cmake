target_link_libraries(${target} PRIVATE gifplay_giflib_reader)
# The corpus is drawn pixel by pixel: keep that quick in debugging builds too.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/corpus.cpp PROPERTIES
  COMPILE_OPTIONS $<$<CONFIG:Debug>:-O2>)
