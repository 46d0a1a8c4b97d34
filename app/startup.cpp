#include "app/startup.h"

#include "app/main_window.h"
#include "gif/gif_animation.h"
#include "payload/music.h"
#include "payload/payload_locator.h"
#include "picture/animation_clock.h"

namespace {

// The program's path shares its memory with the payload scanner's read-ahead
// buffer, so every scan overwrites it: it is fetched again before each use.
char* programPath() { return reinterpret_cast<char*>(payloadLocator.buffer); }

const char* fetchProgramPath() {
  GetModuleFileNameA(nullptr, programPath(), kLocatorBufferSize);
  return programPath();
}

}  // namespace

int startUp(HINSTANCE instance, int showCommand) {
  programInstance = instance;
  extractSong(fetchProgramPath(), kMusicTag);
  fetchProgramPath();
  timeBeginPeriod(kTimerResolutionMs);
  if (!loadAnimation(programPath(), kPictureTag)) return 0;
  if (registerMainClass(instance) == 0) return 0;
  return createMainWindow(instance, showCommand);
}

int runMessageLoop() {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

// After the Exit command the window still exists and the sequencer may still
// be playing the song file, so it is closed before the file is deleted.
int shutDown(int exitCode) {
  closeLocator();
  stopClock();
  timeEndPeriod(kTimerResolutionMs);
  freeAnimation();
  stopSong();
  deleteSong();
  return exitCode;
}

int runPlayer(HINSTANCE instance, int showCommand) {
  if (!startUp(instance, showCommand)) return shutDown(0);
  return shutDown(runMessageLoop());
}
