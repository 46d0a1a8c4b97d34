// Embedded resources: the directory is read on first use; menus and icons
// become objects that live until the process ends, as resources do.
#include "platform/linux/user32/resources.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/linux/handle_table.h"
#include "platform/linux/user32/user32.h"

namespace {

// Resources are loaded once and kept until the process ends, as on Windows.
struct Loaded {
  std::mutex mutex;
  HandleTable<MenuObject> menus{HandleKind::kMenu};
  HandleTable<IconObject> icons{HandleKind::kIcon};
  std::map<std::string, HMENU> menuNames;
  std::map<std::string, HICON> iconNames;
};

Loaded& loaded() {
  static auto* instance = new Loaded;
  return *instance;
}

// The handle of the resource of that key, made by make on first use.
template <typename Handle, typename T, typename Make>
Handle loadOnce(std::map<std::string, Handle>& names, HandleTable<T>& table, const std::string& key,
                Make make) {
  std::lock_guard lock(loaded().mutex);
  auto found = names.find(key);
  if (found != names.end()) return found->second;
  std::unique_ptr<T> object = make();
  if (object == nullptr) return nullptr;
  Handle handle = table.template add<Handle>(std::move(object));
  names[key] = handle;
  return handle;
}

HICON loadIcon(const ResourceEntry& group) {
  return loadOnce(loaded().iconNames, loaded().icons, group.key, [&] {
    auto images = readGroupIcon(programResources(), group);
    return images.empty() ? nullptr : std::make_unique<IconObject>(IconObject{std::move(images)});
  });
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

HMENU loadMenuResource(LPCSTR name) {
  std::string key = resourceKey(name);
  return loadOnce(loaded().menuNames, loaded().menus, key, [&]() -> std::unique_ptr<MenuObject> {
    const ResourceEntry* entry = findResource(programResources(), kResourceMenu, key);
    auto menu = std::make_unique<MenuObject>();
    if (entry == nullptr || !readMenuTemplate(*entry, menu->items)) return nullptr;
    return menu;
  });
}

MenuObject* menuFromHandle(HMENU menu) { return loaded().menus.find(menu); }

bool loadDialogResource(LPCSTR name, DialogResource& dialog) {
  const ResourceEntry* entry = findResource(programResources(), kResourceDialog, resourceKey(name));
  return entry != nullptr && readDialogTemplate(*entry, dialog);
}

IconObject* iconFromHandle(HICON icon) { return loaded().icons.find(icon); }

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

// The program's icons by name; it asks for no system icon.
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR iconName) {
  if (iconName == nullptr) return nullptr;
  const ResourceEntry* group =
      findResource(programResources(), kResourceGroupIcon, resourceKey(iconName));
  return group != nullptr ? loadIcon(*group) : nullptr;
}

// The system's arrow, the only cursor the program asks for.
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) {
  static int arrow = 0;
  return reinterpret_cast<HCURSOR>(&arrow);
}
