// Placeholder until the music lands: no song is ever extracted.
#include "payload/music.h"

MusicPlayer musicPlayer;

void extractSong(const char*, const char*) {}
void startSong(HWND) {}
void stopSong() {}
void deleteSong() {}
