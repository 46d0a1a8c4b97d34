// The song: copied out of the program file to a temporary file at start-up,
// played through the MCI sequencer and started again whenever it ends.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct MusicPlayer {
  char songPath[256];  // empty: no music
  MCIDEVICEID device;  // 0: none open
};

extern MusicPlayer musicPlayer;

void extractSong(const char* programPath, const char* tag);
void startSong(HWND window);
void stopSong();
void deleteSong();
