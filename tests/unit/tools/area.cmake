# The tools' tests run the built programs.
add_dependencies(${target} gifpack gifplay)
target_compile_definitions(${target} PRIVATE
  GIFPACK_TOOL="$<TARGET_FILE:gifpack>"
  GIFPLAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
