// The song: copied out of the program file to a temporary file of its own at start-up,
// played through the MCI sequencer and started again whenever it ends.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct MusicPlayer {
  char songPath[256];     // the file extraction created; empty: no music
  MCIDEVICEID device;     // 0: none open
  uint32_t ownDirectory;  // length of the directory made for the file; 0: none
  HANDLE songHold;        // open while the player runs: others leave the file alone; 0: none
};

extern MusicPlayer musicPlayer;

void extractSong(const char* programPath, const char* tag);
void startSong(HWND window);
void stopSong();
void deleteSong();
