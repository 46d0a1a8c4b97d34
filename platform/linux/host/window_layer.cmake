# The window layer's host libraries: GTK 3 for windows on a display, Xlib
# for what becomes of them when the X server goes away, and its MIT-SHM
# extension (libXext) for pixels the server reads from shared memory.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GIFPLAY_GTK REQUIRED IMPORTED_TARGET gtk+-3.0 x11 xext)
target_link_libraries(gifplay_platform PRIVATE PkgConfig::GIFPLAY_GTK)
