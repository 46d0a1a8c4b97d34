// The program's entry. On Windows the runtime calls WinMain itself; on Linux
// main starts the desktop on its own thread and makes the termination
// signals end the program the way closing its window does, then hands
// WinMain the program's instance and a normal show command.
#include "app/winmain.h"

#ifndef _WIN32
#include "platform/linux/host/termination.h"

int main() {
  endOnTerminationSignals();
  startDesktop();
  char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
#endif
