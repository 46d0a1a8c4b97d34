#include "app/winmain.h"

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  return runPlayer(instance, showCommand);
}
