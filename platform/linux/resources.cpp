// Embedded resources: the directory is read on first use; menus and icons
// become objects that live until the process ends, as resources do.
#include "resources.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "user32.h"

namespace {

constexpr uint32_t kMenuMagic = 0x4D454E55;  // "MENU"
constexpr uint32_t kIconMagic = 0x49434F4E;  // "ICON"
constexpr uintptr_t kFirstSystemResource = 32512;

std::mutex& resourceMutex() {
  static std::mutex mutex;
  return mutex;
}

IconObject* loadIconObject(const ResourceEntry& group) {
  // Kept for the whole run, as resources are; never destroyed.
  static auto& loaded = *new std::map<std::string, IconObject*>;
  auto found = loaded.find(group.key);
  if (found != loaded.end()) return found->second;
  auto images = readGroupIcon(programResources(), group);
  if (images.empty()) return nullptr;
  auto* icon = new IconObject{kIconMagic, group.key, std::move(images)};
  loaded[group.key] = icon;
  return icon;
}

}  // namespace

const std::vector<ResourceEntry>& programResources() {
  static const std::vector<ResourceEntry> entries = [] {
    std::vector<ResourceEntry> read;
    readResourceFile(kCompiledResources, kCompiledResourcesSize, read);
    return read;
  }();
  return entries;
}

MenuObject* loadMenuResource(LPCSTR name) {
  std::lock_guard lock(resourceMutex());
  static auto& loaded = *new std::map<std::string, MenuObject*>;
  std::string key = resourceKey(name);
  auto found = loaded.find(key);
  if (found != loaded.end()) return found->second;
  const ResourceEntry* entry = findResource(programResources(), kResourceMenu, key);
  std::vector<MenuItemResource> items;
  if (entry == nullptr || !readMenuTemplate(*entry, items)) return nullptr;
  auto* object = new MenuObject{kMenuMagic, std::move(items)};
  loaded[key] = object;
  return object;
}

bool loadDialogResource(LPCSTR name, DialogResource& dialog) {
  const ResourceEntry* entry = findResource(programResources(), kResourceDialog, resourceKey(name));
  return entry != nullptr && readDialogTemplate(*entry, dialog);
}

IconObject* iconFromHandle(HICON icon) {
  auto* object = reinterpret_cast<IconObject*>(icon);
  return object != nullptr && object->magic == kIconMagic ? object : nullptr;
}

const IconImage* iconImage(HICON icon, int size) {
  IconObject* object = iconFromHandle(icon);
  if (object == nullptr) return nullptr;
  const IconImage* best = nullptr;
  for (const IconImage& image : object->images) {
    if (best == nullptr || std::abs(image.width - size) < std::abs(best->width - size) ||
        (image.width == best->width && image.bitCount > best->bitCount))
      best = &image;
  }
  return best;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR iconName) {
  if (iconName == nullptr) return nullptr;
  std::lock_guard lock(resourceMutex());
  const ResourceEntry* group = nullptr;
  if (instance == nullptr && IS_INTRESOURCE(iconName)) {
    // The system's application icon: the program's own when it has one.
    for (const ResourceEntry& entry : programResources())
      if (group == nullptr && entry.type == kResourceGroupIcon) group = &entry;
  } else {
    group = findResource(programResources(), kResourceGroupIcon, resourceKey(iconName));
  }
  return group != nullptr ? reinterpret_cast<HICON>(loadIconObject(*group)) : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
  static int systemCursor = 0;
  auto id = reinterpret_cast<uintptr_t>(cursorName);
  if (instance != nullptr || !IS_INTRESOURCE(cursorName) || id < kFirstSystemResource)
    return nullptr;
  return reinterpret_cast<HCURSOR>(&systemCursor);
}
