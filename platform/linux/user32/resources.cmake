# The program's resources for the Linux build: app/gifplay.rc is compiled by
# the Windows toolchain's resource compiler, as for the Windows build, and the
# compiled resources are embedded into gifplay_resources, which the platform
# library links. A script the compiler refuses fails the build.
find_program(GIFPLAY_WINDRES NAMES i686-w64-mingw32-windres windres REQUIRED)
set(resources_res ${CMAKE_CURRENT_BINARY_DIR}/gifplay.res)
set(resources_cpp ${CMAKE_CURRENT_BINARY_DIR}/embedded_resources.cpp)
add_custom_command(OUTPUT ${resources_res}
  COMMAND ${GIFPLAY_WINDRES} -O res -I ${PROJECT_SOURCE_DIR}/app -I ${PROJECT_BINARY_DIR}/app
          ${PROJECT_SOURCE_DIR}/app/gifplay.rc -o ${resources_res}
  DEPENDS ${PROJECT_SOURCE_DIR}/app/gifplay.rc ${PROJECT_SOURCE_DIR}/app/resource.h
          ${GIFPLAY_ICON_FILE} gifplay_icon
  COMMENT "Compiling the resource script"
  VERBATIM)
add_custom_command(OUTPUT ${resources_cpp}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${resources_res} -DOUTPUT=${resources_cpp}
          -P ${CMAKE_CURRENT_LIST_DIR}/embed_resources.cmake
  DEPENDS ${resources_res} ${CMAKE_CURRENT_LIST_DIR}/embed_resources.cmake
  COMMENT "Embedding the compiled resources"
  VERBATIM)
add_library(gifplay_resources STATIC ${resources_cpp})
target_include_directories(gifplay_resources PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(gifplay_platform PUBLIC gifplay_resources)
