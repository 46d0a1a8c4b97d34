target_link_libraries(${target} PRIVATE gifplay_gifwriter)
