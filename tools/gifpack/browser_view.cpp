#include "tools/gifpack/browser_view.h"

#include <algorithm>
#include <cstring>

#include "tools/gifwriter/gif_writer.h"
#include "tools/gifwriter/giflib_reader.h"

namespace {

constexpr Colour kWhite = 0xFFFFFF;
constexpr int kRestoreToBackground = 2;
constexpr int kRestoreToPrevious = 3;

std::vector<Colour> coloursOf(const ColorMapObject* map) {
  std::vector<Colour> colours;
  if (map == nullptr) return colours;
  for (int i = 0; i < map->ColorCount; ++i)
    colours.push_back(static_cast<Colour>(map->Colors[i].Red | map->Colors[i].Green << 8 |
                                          map->Colors[i].Blue << 16));
  return colours;
}

// The rest of an extension block; false when the data ends first.
bool skipExtension(GifFileType* file) {
  GifByteType* block = nullptr;
  do {
    if (DGifGetExtensionNext(file, &block) != GIF_OK) return false;
  } while (block != nullptr);
  return true;
}

// A graphic control extension sets up the next image; a NETSCAPE2.0
// application extension gives the loop count.
bool readExtension(GifFileType* file, BrowserView& view, GraphicsControlBlock& control) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(file, &code, &block) != GIF_OK) return false;
  if (block == nullptr) return true;
  if (code == GRAPHICS_EXT_FUNC_CODE) {
    GraphicsControlBlock read{};
    if (DGifExtensionToGCB(block[0], block + 1, &read) == GIF_OK) control = read;
  } else if (code == APPLICATION_EXT_FUNC_CODE && block[0] == 11 &&
             std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0) {
    if (DGifGetExtensionNext(file, &block) != GIF_OK) return false;
    if (block == nullptr) return true;
    if (block[0] == 3 && block[1] == 1) view.loopCount = block[2] | block[3] << 8;
  }
  return skipExtension(file);
}

// Rows in the order the data holds them, each kept as far as it lies on the
// screen; false when the data goes wrong before the last (the rows read
// stay, the others are marked left out).
bool readPixels(GifFileType* file, BrowserFrame& frame) {
  size_t shownWidth = static_cast<size_t>(frame.shownWidth);
  frame.indices.assign(shownWidth * static_cast<size_t>(frame.shownHeight), 0);
  frame.rowDecoded.assign(static_cast<size_t>(frame.shownHeight), false);
  if (frame.width == 0 || frame.height == 0) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(file, &codeSize, &block) != GIF_OK) return false;
    while (block != nullptr)
      if (DGifGetCodeNext(file, &block) != GIF_OK) return false;
    return true;
  }
  std::vector<int> rows;
  if (file->Image.Interlace) {
    rows = gifwriter::interlacedRowOrder(frame.height);
  } else {
    rows.resize(static_cast<size_t>(frame.height));
    for (int row = 0; row < frame.height; ++row) rows[static_cast<size_t>(row)] = row;
  }
  Bytes line(static_cast<size_t>(frame.width));
  for (int row : rows) {
    if (DGifGetLine(file, line.data(), frame.width) != GIF_OK) return false;
    if (row >= frame.shownHeight) continue;
    std::copy_n(line.begin(), shownWidth,
                frame.indices.begin() + static_cast<ptrdiff_t>(row * shownWidth));
    frame.rowDecoded[static_cast<size_t>(row)] = true;
  }
  return true;
}

bool readImage(GifFileType* file, BrowserView& view, GraphicsControlBlock& control) {
  if (DGifGetImageDesc(file) != GIF_OK) {
    view.damaged = true;
    return false;
  }
  const GifImageDesc& desc = file->Image;
  BrowserFrame frame;
  frame.left = desc.Left, frame.top = desc.Top, frame.width = desc.Width,
  frame.height = desc.Height;
  frame.shownWidth = std::clamp(view.screenWidth - frame.left, 0, frame.width);
  frame.shownHeight = std::clamp(view.screenHeight - frame.top, 0, frame.height);
  frame.localTable = desc.ColorMap != nullptr;
  frame.colours = frame.localTable ? coloursOf(desc.ColorMap) : view.globalColours;
  frame.transparentIndex = control.TransparentColor;
  frame.disposal = control.DisposalMode;
  frame.delay = control.DelayTime;
  control = GraphicsControlBlock{0, false, 0, NO_TRANSPARENT_COLOR};
  bool whole = readPixels(file, frame);
  view.frames.push_back(std::move(frame));
  if (!whole) view.damaged = true;
  return whole;
}

}  // namespace

std::optional<BrowserView> decodeAsBrowsers(const Bytes& gif, uint64_t maxScreenPixels,
                                            const std::function<bool(BrowserView&)>& onFrame) {
  gifwriter::GiflibFile giflib(gif);
  GifFileType* file = giflib.get();
  if (file == nullptr ||
      uint64_t{static_cast<uint32_t>(file->SWidth)} * static_cast<uint32_t>(file->SHeight) >
          maxScreenPixels)
    return std::nullopt;
  BrowserView view;
  view.sourceBytes = gif.size();
  view.screenWidth = file->SWidth;
  view.screenHeight = file->SHeight;
  view.globalTable = file->SColorMap != nullptr;
  view.globalColours = coloursOf(file->SColorMap);
  view.backgroundIndex = file->SBackGroundColor;
  GraphicsControlBlock control{0, false, 0, NO_TRANSPARENT_COLOR};
  for (bool more = true; more;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(file, &type) != GIF_OK) break;
    size_t frames = view.frames.size();
    if (type == IMAGE_DESC_RECORD_TYPE) {
      more = readImage(file, view, control);
      if (onFrame && view.frames.size() > frames && !onFrame(view)) more = false;
    } else if (type == EXTENSION_RECORD_TYPE) {
      more = readExtension(file, view, control);
    } else {
      more = false;
    }
  }
  return view;
}

int browserDelay(int delay) { return delay < 2 ? 10 : delay; }

Colour backgroundOf(const BrowserView& view) {
  if (!view.globalTable) return kWhite;
  if (view.backgroundIndex < static_cast<int>(view.globalColours.size()))
    return view.globalColours[static_cast<size_t>(view.backgroundIndex)];
  return 0;
}

bool hasTransparentPixels(const BrowserFrame& frame) {
  if (frame.transparentIndex < 0) return false;
  for (size_t y = 0; y < frame.rowDecoded.size(); ++y) {
    if (!frame.rowDecoded[y]) continue;
    auto row = frame.indices.begin() + static_cast<ptrdiff_t>(y * frame.shownWidth);
    if (std::find(row, row + frame.shownWidth, frame.transparentIndex) != row + frame.shownWidth)
      return true;
  }
  return false;
}

bool leavesRowsOut(const BrowserFrame& frame) {
  return std::find(frame.rowDecoded.begin(), frame.rowDecoded.end(), false) !=
         frame.rowDecoded.end();
}

ScreenArea unite(const ScreenArea& a, const ScreenArea& b) {
  if (b.empty()) return a;
  if (a.empty()) return b;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

namespace {

// The part of the frame's rectangle on the screen.
ScreenArea areaOf(const BrowserFrame& frame, const BrowserView& view) {
  return {std::max(frame.left, 0), std::max(frame.top, 0),
          std::min(frame.left + frame.width, view.screenWidth),
          std::min(frame.top + frame.height, view.screenHeight)};
}

}  // namespace

StepPainter::StepPainter(const BrowserView& view, Colour background)
    : view_(view),
      background_(background),
      picture_(static_cast<size_t>(view.screenWidth) * static_cast<size_t>(view.screenHeight),
               background) {}

void StepPainter::save(const ScreenArea& area) {
  saved_.clear();
  for (int y = area.top; y < area.bottom; ++y) {
    size_t row = static_cast<size_t>(y) * view_.screenWidth;
    saved_.insert(saved_.end(), picture_.begin() + row + area.left,
                  picture_.begin() + row + area.right);
  }
}

void StepPainter::restore(const ScreenArea& area) {
  size_t width = static_cast<size_t>(area.right - area.left), at = 0;
  for (int y = area.top; y < area.bottom; ++y, at += width) {
    size_t row = static_cast<size_t>(y) * view_.screenWidth + area.left;
    std::copy_n(saved_.begin() + at, width, picture_.begin() + row);
  }
}

// What a frame leaves behind when the next one comes: its area cleared, or
// the area as it was before the frame.
void StepPainter::dispose(const BrowserFrame& frame) {
  ScreenArea area = areaOf(frame, view_);
  if (area.empty() ||
      (frame.disposal != kRestoreToPrevious && frame.disposal != kRestoreToBackground))
    return;
  if (frame.disposal == kRestoreToPrevious) {
    restore(area);
  } else {
    for (int y = area.top; y < area.bottom; ++y) {
      size_t row = static_cast<size_t>(y) * view_.screenWidth;
      std::fill(picture_.begin() + row + area.left, picture_.begin() + row + area.right,
                background_);
    }
  }
  changed_ = unite(changed_, area);
}

// The frame's decoded, non-transparent pixels on the screen; an index beyond
// its colour table, or of a frame without one, is black.
void StepPainter::draw(const BrowserFrame& frame) {
  for (int y = 0; y < frame.shownHeight; ++y) {
    if (!frame.rowDecoded[static_cast<size_t>(y)]) continue;
    const uint8_t* pixels = frame.indices.data() + static_cast<size_t>(y) * frame.shownWidth;
    size_t row = static_cast<size_t>(frame.top + y) * view_.screenWidth + frame.left;
    for (int x = 0; x < frame.shownWidth; ++x) {
      int index = pixels[x];
      if (index == frame.transparentIndex) continue;
      picture_[row + x] =
          index < static_cast<int>(frame.colours.size()) ? frame.colours[index] : 0u;
    }
  }
  changed_ = unite(changed_, areaOf(frame, view_));
}

bool StepPainter::next() {
  if (step_ + 1 >= static_cast<int>(view_.frames.size())) return false;
  changed_ = step_ < 0 ? ScreenArea{0, 0, view_.screenWidth, view_.screenHeight} : ScreenArea{};
  if (step_ >= 0) dispose(view_.frames[static_cast<size_t>(step_)]);
  ++step_;
  const BrowserFrame& frame = view_.frames[static_cast<size_t>(step_)];
  if (frame.disposal == kRestoreToPrevious) save(areaOf(frame, view_));
  draw(frame);
  return true;
}
