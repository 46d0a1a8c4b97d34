target_link_libraries(${target} PRIVATE gifplay_gifwriter)
# The tests refuse memory blocks on request: GlobalAlloc (by its C++ name)
# goes through the wrapper in refused_blocks.cpp.
target_link_options(${target} PRIVATE "LINKER:--wrap=_Z11GlobalAllocjm")
