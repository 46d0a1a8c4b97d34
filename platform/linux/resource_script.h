// Reads the statements of a resource script (.rc) that the program's
// resources use: MENU with POPUP and MENUITEM, DIALOG and DIALOGEX with their
// STYLE, EXSTYLE, CAPTION, FONT and controls, and ICON. The same script is
// compiled by windres for Windows, so both builds show the same resources.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win32_types.h"

// A resource's name as Win32 looks it up: "#1000" for a number, the name in
// upper case otherwise.
std::string resourceKey(LPCSTR name);
std::string resourceKey(std::string_view name, bool isNumber);

struct MenuItemResource {
  std::string text;  // with its '&' mnemonics
  UINT id = 0;
  UINT flags = 0;  // MF_POPUP, MF_SEPARATOR, MF_GRAYED, ...
  std::vector<MenuItemResource> children;
};

struct MenuResource {
  std::string key;
  std::vector<MenuItemResource> items;
};

struct ControlResource {
  std::string className;  // "BUTTON", "STATIC", "EDIT", ...
  std::string text;       // for ICON controls, the icon's resource name
  int id = 0;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  DWORD style = 0;
  DWORD exStyle = 0;
};

struct DialogResource {
  std::string key;
  bool extended = false;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string caption;
  std::string fontName;
  int fontSize = 0;
  std::vector<ControlResource> controls;
};

struct IconResource {
  std::string key;
  std::string fileName;
};

struct ResourceScript {
  std::vector<MenuResource> menus;
  std::vector<DialogResource> dialogs;
  std::vector<IconResource> icons;
  const MenuResource* findMenu(const std::string& key) const;
  const DialogResource* findDialog(const std::string& key) const;
  const IconResource* findIcon(const std::string& key) const;
};

// Returns the text of an included file, or nullopt when it is not available
// (system headers such as <windows.h> are skipped that way).
using IncludeReader = std::function<std::optional<std::string>(const std::string& name)>;

// Parses the script; statements it does not know are skipped. On a syntax
// error it returns false and describes the place in *error.
bool parseResourceScript(std::string_view text, const IncludeReader& include, ResourceScript& out,
                         std::string* error);
