# The platform tests read the program's resource script from the source tree.
target_compile_definitions(${target} PRIVATE GIFPLAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
