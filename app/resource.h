// Identifiers of the program's resources, shared by gifplay.rc and the code.
#pragma once

#define IDR_MAINMENU 1000
#define IDM_EXIT 1002
#define IDM_ABOUT 1003
#define IDD_ABOUT 1004

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
