// The program's only top-level window: sized to the animation, showing the
// canvas, scrolling when made smaller than the picture, with the File and
// Help menus and the About box.
#pragma once

#include "platform/win32.h"

inline constexpr const char* kMainClassName = "GifPlayMainWin";
inline constexpr const char* kMainWindowTitle = "Corvane Animation Player";
inline constexpr const char* kIconName = "AppIcon";

// The program instance, remembered at start-up; the About box is loaded from it.
extern HINSTANCE programInstance;

// Returns the class atom, 0 on failure.
ATOM registerMainClass(HINSTANCE instance);
// Creates, shows and updates the window; 1, or 0 when it cannot be created.
int createMainWindow(HINSTANCE instance, int showCommand);

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
