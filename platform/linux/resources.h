// The program's resources on Linux: the resource script and the files it
// names (the icon), embedded into the build by gifplay_resources from the
// same sources that windres compiles for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "icon_file.h"
#include "resource_script.h"

struct EmbeddedFile {
  const char* name;  // file name without directories: "gifplay.rc", "appicon.ico"
  const uint8_t* data;
  size_t size;
};

// Written by the build (embed_resources.cmake) into gifplay_resources.
extern const EmbeddedFile kEmbeddedResourceFiles[];
extern const size_t kEmbeddedResourceFileCount;

// The embedded file of that name (directories in name are ignored).
std::optional<std::string> embeddedResourceFile(const std::string& name);
// The parsed script, read once; empty when the build embedded none or it
// does not parse.
const ResourceScript& programResources();

struct MenuObject {
  uint32_t magic;
  std::vector<MenuItemResource> items;
};

struct IconObject {
  uint32_t magic;
  std::string key;
  std::vector<IconImage> images;
};

// The menu resource of that name, loaded once and kept; nullptr when absent.
MenuObject* loadMenuResource(LPCSTR name);
IconObject* iconFromHandle(HICON icon);
// The image of the icon closest to size x size, or nullptr.
const IconImage* iconImage(HICON icon, int size);
