// Layouts, all little-endian and WORD-aligned unless said otherwise:
// - a resource file is a list of entries, each DWORD-aligned: DataSize,
//   HeaderSize, TYPE and NAME (each 0xFFFF + ordinal or a UTF-16 string),
//   padding to a DWORD, five more header fields, then DataSize bytes of data;
// - a MENU template: version and header size (WORDs), then items: flags,
//   the id unless MF_POPUP, the text; a popup's children follow it, and
//   MF_END marks the last item of each level;
// - a DIALOG template: style, extended style, item count, x, y, cx, cy, menu,
//   class, title, with DS_SETFONT the point size and face, then the items,
//   each DWORD-aligned: style, extended style, x, y, cx, cy, id, class
//   (0xFFFF + 0x80 button .. 0x85 combo box, or a name), title, and a count
//   of creation bytes to skip;
// - a GROUP_ICON: reserved, type, count, then 14-byte entries that end with
//   the id of the ICON entry holding the image's device-independent bitmap.
#include "platform/linux/user32/resource_templates.h"

#include <cctype>

#include "platform/linux/byte_reader.h"

namespace {

constexpr uint16_t kOrdinalMark = 0xFFFF;
constexpr uint16_t kMenuEnd = 0x80;  // MF_END
constexpr size_t kEntryFixedTail = 16;
constexpr size_t kGroupHeaderSize = 6;
constexpr size_t kGroupEntryIdOffset = 12;  // of the 14-byte entry
constexpr const char* kControlClasses[] = {"BUTTON",  "EDIT",      "STATIC",
                                           "LISTBOX", "SCROLLBAR", "COMBOBOX"};

std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A character of the Basic Multilingual Plane, as the resources' texts are.
void appendUtf8(std::string& out, uint16_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string text(ByteReader& in) {
  std::string out;
  for (uint16_t c = in.u16(); in.ok && c != 0; c = in.u16()) appendUtf8(out, c);
  return out;
}

bool ordinalNext(ByteReader& in) {
  return in.has(2) && (in.data[in.at] | in.data[in.at + 1] << 8) == kOrdinalMark;
}

// A name or an ordinal, as resourceKey spells it.
std::string nameOrOrdinal(ByteReader& in) {
  if (!ordinalNext(in)) return upperCase(text(in));
  in.skip(2);
  return "#" + std::to_string(in.u16());
}

bool readMenuItems(ByteReader& in, std::vector<MenuItemResource>& items, int depth) {
  if (depth > 8) return false;
  for (;;) {
    MenuItemResource item;
    uint16_t flags = in.u16();
    if (!(flags & MF_POPUP)) item.id = in.u16();
    item.text = text(in);
    item.flags = flags & ~kMenuEnd;
    if (!in.ok) return false;
    if ((flags & MF_POPUP) && !readMenuItems(in, item.children, depth + 1)) return false;
    items.push_back(std::move(item));
    if (flags & kMenuEnd) return true;
  }
}

std::string controlClass(ByteReader& in) {
  std::string name = nameOrOrdinal(in);
  if (name.size() > 1 && name[0] == '#') {
    unsigned atom = std::stoul(name.substr(1));
    if (atom >= 0x80 && atom < 0x80 + std::size(kControlClasses))
      return kControlClasses[atom - 0x80];
  }
  return name;
}

ControlResource readControl(ByteReader& in) {
  in.alignTo(4);
  ControlResource c;
  c.style = in.u32();
  in.skip(4);                                                    // extended style
  auto unit = [&in] { return static_cast<int16_t>(in.u16()); };  // dialog units
  LONG x = unit();
  LONG y = unit();
  c.rect = {x, y, x + unit(), y + unit()};
  c.id = static_cast<int16_t>(in.u16());
  c.className = controlClass(in);
  c.text = ordinalNext(in) ? nameOrOrdinal(in) : text(in);
  in.skip(in.u16());
  return c;
}

}  // namespace

std::string resourceKey(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
  return upperCase(name);
}

bool readResourceFile(const uint8_t* data, size_t size, std::vector<ResourceEntry>& entries) {
  size_t at = 0;
  while (at < size) {
    ByteReader in{data + at, size - at};
    uint32_t dataSize = in.u32();
    uint32_t headerSize = in.u32();
    ResourceEntry entry;
    std::string type = nameOrOrdinal(in);
    entry.key = nameOrOrdinal(in);
    in.alignTo(4);
    in.skip(kEntryFixedTail);
    if (!in.ok || headerSize < in.at || headerSize > in.size || dataSize > in.size - headerSize)
      return false;
    if (type.size() > 1 && type[0] == '#')
      entry.type = static_cast<uint16_t>(std::stoul(type.substr(1)));
    entry.data = data + at + headerSize;
    entry.size = dataSize;
    if (dataSize != 0) entries.push_back(entry);
    at += (headerSize + dataSize + 3) & ~size_t{3};
  }
  return true;
}

const ResourceEntry* findResource(const std::vector<ResourceEntry>& entries, uint16_t type,
                                  const std::string& key) {
  for (const ResourceEntry& entry : entries)
    if (entry.type == type && entry.key == key) return &entry;
  return nullptr;
}

bool readMenuTemplate(const ResourceEntry& entry, std::vector<MenuItemResource>& items) {
  ByteReader in{entry.data, entry.size};
  uint16_t version = in.u16();
  in.skip(in.u16());
  return in.ok && version == 0 && readMenuItems(in, items, 0);
}

bool readDialogTemplate(const ResourceEntry& entry, DialogResource& dialog) {
  ByteReader in{entry.data, entry.size};
  dialog.style = in.u32();
  in.skip(4);  // extended style
  uint16_t count = in.u16();
  in.skip(4);  // x, y
  dialog.width = static_cast<int16_t>(in.u16());
  dialog.height = static_cast<int16_t>(in.u16());
  nameOrOrdinal(in);  // menu
  nameOrOrdinal(in);  // class
  dialog.caption = text(in);
  if (dialog.style & DS_SETFONT) {
    in.u16();  // point size
    text(in);  // typeface
  }
  for (uint16_t i = 0; i < count && in.ok; ++i) dialog.controls.push_back(readControl(in));
  return in.ok;
}

std::vector<IconImage> readGroupIcon(const std::vector<ResourceEntry>& entries,
                                     const ResourceEntry& group) {
  std::vector<IconImage> images;
  ByteReader in{group.data, group.size};
  in.skip(kGroupHeaderSize - 2);
  uint16_t count = in.u16();
  for (uint16_t i = 0; i < count; ++i) {
    in.skip(kGroupEntryIdOffset);
    uint16_t id = in.u16();
    if (!in.ok) break;
    const ResourceEntry* icon = findResource(entries, kResourceIcon, "#" + std::to_string(id));
    IconImage image;
    if (icon != nullptr && readIconImage(icon->data, icon->size, image))
      images.push_back(std::move(image));
  }
  return images;
}
