// Placeholder until the sequencer lands: no device can be opened.
#include "winmm.h"

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR) {
  return MCIERR_CANNOT_LOAD_DRIVER;
}
