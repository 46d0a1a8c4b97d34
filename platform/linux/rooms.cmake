# The Linux layer's rooms, one per DLL it stands in for, and the rooms each
# may include: GTK, X11, signals and the display (host) are seen by no other
# room, and kernel32 sees none. The shared headers of platform/linux itself
# (types, handle tables, the byte reader) are seen by all.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()
set(GIFPLAY_ROOMS_SEEN_BY_kernel32 "")
set(GIFPLAY_ROOMS_SEEN_BY_gdi32 kernel32 user32)
set(GIFPLAY_ROOMS_SEEN_BY_user32 kernel32 gdi32)
set(GIFPLAY_ROOMS_SEEN_BY_winmm kernel32 user32)
set(GIFPLAY_ROOMS_SEEN_BY_host kernel32 user32 gdi32 winmm)

# Fails with the first include of a room that ROOT/ROOM may not see; run at
# configure time on platform/linux, and by the build checks on a probe.
#   cmake -DROOT=platform/linux -P rooms.cmake
function(gifplay_check_rooms root)
  foreach(room kernel32 gdi32 user32 winmm host)
    file(GLOB sources ${root}/${room}/*.cpp ${root}/${room}/*.h)
    foreach(source IN LISTS sources)
      file(STRINGS ${source} includes REGEX "^#include \"platform/linux/[a-z0-9]+/")
      foreach(line IN LISTS includes)
        string(REGEX MATCH "platform/linux/([a-z0-9]+)/" _ "${line}")
        set(seen ${CMAKE_MATCH_1})
        if(NOT seen STREQUAL room AND NOT seen IN_LIST GIFPLAY_ROOMS_SEEN_BY_${room})
          message(FATAL_ERROR "${source}: the ${room} room may not include the ${seen} room")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  gifplay_check_rooms(${ROOT})
endif()
