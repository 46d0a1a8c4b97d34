// The program's resources on Linux: the same compiled resources (.res) that
// the resource compiler makes from app/gifplay.rc for Windows, embedded into
// the build by gifplay_resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/user32/resource_templates.h"

// Written by the build (embed_resources.cmake) into gifplay_resources.
extern const uint8_t kCompiledResources[];
extern const size_t kCompiledResourcesSize;

// The embedded resources' directory, read once.
const std::vector<ResourceEntry>& programResources();

struct MenuObject {
  std::vector<MenuItemResource> items;
};

struct IconObject {
  std::vector<IconImage> images;
};

// The menu resource of that name, loaded once and kept; nullptr when absent.
HMENU loadMenuResource(LPCSTR name);
MenuObject* menuFromHandle(HMENU menu);
// The dialog template of that name; false when absent or unreadable.
bool loadDialogResource(LPCSTR name, DialogResource& dialog);
IconObject* iconFromHandle(HICON icon);
// The image of the icon closest to size x size, or nullptr.
const IconImage* iconImage(HICON icon, int size);
