// Embedded resources: the script is parsed on first use; menus and icons
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

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::mutex& resourceMutex() {
  static std::mutex mutex;
  return mutex;
}

IconObject* loadIconObject(const std::string& key, const std::string& fileName) {
  // Kept for the whole run, as resources are; never destroyed.
  static auto& loaded = *new std::map<std::string, IconObject*>;
  auto found = loaded.find(key);
  if (found != loaded.end()) return found->second;
  auto bytes = embeddedResourceFile(fileName);
  if (!bytes) return nullptr;
  auto images = readIconFile(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
  if (images.empty()) return nullptr;
  auto* icon = new IconObject{kIconMagic, key, std::move(images)};
  loaded[key] = icon;
  return icon;
}

}  // namespace

std::optional<std::string> embeddedResourceFile(const std::string& name) {
  std::string wanted = baseName(name);
  for (size_t i = 0; i < kEmbeddedResourceFileCount; ++i) {
    const EmbeddedFile& file = kEmbeddedResourceFiles[i];
    if (wanted == file.name)
      return std::string(reinterpret_cast<const char*>(file.data), file.size);
  }
  return std::nullopt;
}

const ResourceScript& programResources() {
  static const ResourceScript script = [] {
    ResourceScript parsed;
    auto text = embeddedResourceFile("gifplay.rc");
    std::string error;
    if (text && !parseResourceScript(*text, embeddedResourceFile, parsed, &error)) {
      if (std::getenv("GIFPLAY_DEBUG_RESOURCES") != nullptr)
        fprintf(stderr, "gifplay.rc: %s\n", error.c_str());
      parsed = ResourceScript{};
    }
    return parsed;
  }();
  return script;
}

MenuObject* loadMenuResource(LPCSTR name) {
  std::lock_guard lock(resourceMutex());
  static auto& loaded = *new std::map<std::string, MenuObject*>;
  std::string key = resourceKey(name);
  auto found = loaded.find(key);
  if (found != loaded.end()) return found->second;
  const MenuResource* menu = programResources().findMenu(key);
  if (menu == nullptr) return nullptr;
  auto* object = new MenuObject{kMenuMagic, menu->items};
  loaded[key] = object;
  return object;
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
  const ResourceScript& script = programResources();
  if (instance == nullptr && IS_INTRESOURCE(iconName)) {
    // The system's application icon: the program's own when it has one.
    if (script.icons.empty()) return nullptr;
    return reinterpret_cast<HICON>(
        loadIconObject(script.icons.front().key, script.icons.front().fileName));
  }
  const IconResource* icon = script.findIcon(resourceKey(iconName));
  if (icon == nullptr) return nullptr;
  return reinterpret_cast<HICON>(loadIconObject(icon->key, icon->fileName));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
  static int systemCursor = 0;
  auto id = reinterpret_cast<uintptr_t>(cursorName);
  if (instance != nullptr || !IS_INTRESOURCE(cursorName) || id < kFirstSystemResource)
    return nullptr;
  return reinterpret_cast<HCURSOR>(&systemCursor);
}
