// A temporary file that is opened again by name later on belongs in a
// directory that no other user can write to. A shared one (like /tmp, where
// anybody may create names) gets a directory of the program's own inside it.
#pragma once

#include "win32.h"

// directory holds a path of length characters in a buffer of size bytes.
// When others may write there, a directory of the user's own is made (or
// found, one that the user's other players share) inside it and its path
// replaces the text: the result is its length, longer than length. Otherwise the result is length,
// and the text is unchanged; 0 when a directory of its own was needed but none could be made.
#ifdef _WIN32
// The user's TEMP is the user's own; without it, the Windows directory is
// not writable for ordinary users at all.
inline DWORD makeOwnTemporaryDirectory(char*, DWORD length, DWORD) { return length; }
#else
DWORD makeOwnTemporaryDirectory(char* directory, DWORD length, DWORD size);
#endif
