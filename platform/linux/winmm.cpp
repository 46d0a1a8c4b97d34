// Headless placeholders until the timer lands.
#include "winmm.h"

MMRESULT WINAPI timeBeginPeriod(UINT) { return TIMERR_NOERROR; }
MMRESULT WINAPI timeEndPeriod(UINT) { return TIMERR_NOERROR; }
MMRESULT WINAPI timeSetEvent(UINT, UINT, LPTIMECALLBACK, DWORD_PTR, UINT) { return 0; }
MMRESULT WINAPI timeKillEvent(UINT) { return MMSYSERR_INVALPARAM; }
DWORD WINAPI timeGetTime() { return 0; }
