#pragma once

// What --fps, --width and --duration ask of animations that are not GIFs.
struct MediaOptions {
  int fps = 25;          // frames a second at most
  int width = 0;         // 0: as it is; else the pictures' width, the height kept in proportion
  double duration = 60;  // seconds at most
};
