// Reads compiled resources (a .res file, as the resource compiler writes it
// for the Windows build) the way Win32 reads them from a module: a directory
// of typed, named entries, and the menu, dialog and icon templates inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/user32/icon_file.h"
#include "platform/linux/win32_types.h"

inline constexpr uint16_t kResourceIcon = 3;  // RT_ICON
inline constexpr uint16_t kResourceMenu = 4;
inline constexpr uint16_t kResourceDialog = 5;
inline constexpr uint16_t kResourceGroupIcon = 14;

// A resource's name as Win32 looks it up: "#1000" for a number, the name in
// upper case otherwise (window classes are named alike).
std::string resourceKey(LPCSTR name);

struct ResourceEntry {
  uint16_t type = 0;  // kResourceMenu, ...; 0 for a type given by name
  std::string key;    // as resourceKey gives it
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The entries of a compiled resource file; false, with entries as far as they
// were read, when the file is damaged.
bool readResourceFile(const uint8_t* data, size_t size, std::vector<ResourceEntry>& entries);
const ResourceEntry* findResource(const std::vector<ResourceEntry>& entries, uint16_t type,
                                  const std::string& key);

struct MenuItemResource {
  std::string text;  // UTF-8, with its '&' mnemonics
  UINT id = 0;
  UINT flags = 0;  // MF_POPUP for a popup; the program's menu has no other
  std::vector<MenuItemResource> children;
};

struct ControlResource {
  std::string className;  // "BUTTON", "STATIC", "EDIT", ...
  std::string text;       // for icon controls, the icon's resource name
  int id = 0;
  DWORD style = 0;
  RECT rect{};  // dialog units in the template; in a dialog, pixels of its client area
};

inline bool isIconControl(const ControlResource& c) {
  return c.className == "STATIC" && (c.style & SS_TYPEMASK) == SS_ICON;
}

// Centred on the screen, whatever place the template gives, and in MS Sans
// Serif 8, whatever font it names (the About box names that one).
struct DialogResource {
  int width = 0, height = 0;  // dialog units
  DWORD style = 0;
  std::string caption;
  std::vector<ControlResource> controls;
};

// A MENU template (MENUHEADER, then items, MF_END closing each level).
bool readMenuTemplate(const ResourceEntry& entry, std::vector<MenuItemResource>& items);
// A DIALOG template (DLGTEMPLATE and its DLGITEMTEMPLATEs).
bool readDialogTemplate(const ResourceEntry& entry, DialogResource& dialog);
// The images of a GROUP_ICON, each read from its ICON entry.
std::vector<IconImage> readGroupIcon(const std::vector<ResourceEntry>& entries,
                                     const ResourceEntry& group);
