// The program's entry. On Windows the runtime calls WinMain itself; on Linux
// main hands it the program's instance and a normal show command, after
// making the termination signals end it the way closing its window does.
#include "app/winmain.h"

#ifndef _WIN32
#include "platform/linux/termination.h"

int main() {
  endOnTerminationSignals();
  char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
#endif
