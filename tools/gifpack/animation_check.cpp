#include "tools/gifpack/animation_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include "gif/gif_animation.h"
#include "picture/compositing.h"
#include "picture/indexed_bitmap.h"
#include "tools/gifpack/player_load.h"
#include "tools/gifpack/words.h"

namespace {

// The highest LZW minimum code size that browsers decode.
constexpr int kBrowsersLongestCodeSize = 8;

// "frame 3", "frames 1, 2 and 5", "frames 1, 2, 3, 4, 5, 6 and 9 more".
std::string frameList(const std::vector<std::string>& items) {
  constexpr size_t kShown = 6;
  std::string text = items.size() == 1 ? "frame " : "frames ";
  size_t shown = items.size() > kShown + 1 ? kShown : items.size();
  for (size_t i = 0; i < shown; ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  if (shown < items.size()) text += " and " + std::to_string(items.size() - shown) + " more";
  return text;
}

bool samePlace(const WalkedFrame& walked, const GifFrame& frame) {
  return walked.left == frame.left && walked.top == frame.top && walked.width == frame.width &&
         walked.height == frame.height && walked.interlaced == (frame.interlaced != 0);
}

int coloursWithoutMatch(const std::vector<uint32_t>& own, const std::vector<uint32_t>& global) {
  return static_cast<int>(std::count_if(own.begin(), own.end(), [&](uint32_t colour) {
    return std::find(global.begin(), global.end(), colour) == global.end();
  }));
}

// The pixel value of an image whose stored value the check needs.
int32_t askedValue(const WalkedFrame& frame) {
  return frame.transparent ? frame.transparentIndex : 0;
}

FrameCheck checkFrame(const WalkedGif& walked, size_t i, const FrameReading& reading) {
  FrameCheck check;
  check.walked = walked.frames[i];
  auto player = static_cast<int32_t>(i);
  check.readByPlayer =
      player < animation.frameCount && samePlace(check.walked, *animation.frames[player]);
  check.hasPixels = reading.hasPixels;
  check.rowsDecoded = reading.rowsDecoded;
  check.endsInPlace = reading.nextBlock == check.walked.end || check.walked.cutShort;
  check.coloursWithoutMatch = coloursWithoutMatch(check.walked.localTable, walked.globalTable);
  check.transparentValue = reading.storedValue;
  check.transparencyShows = check.walked.transparent;
  return check;
}

bool codeSizeTooLarge(const WalkedFrame& frame) {
  return frame.codeSize > kBrowsersLongestCodeSize;
}

uint32_t shownColour(uint8_t value) {
  const PaletteTable& palette = animation.palette;
  return palette.count > 0 ? palette.entries[value % palette.count] : 0;
}

// What the player shows where no frame has drawn yet, and in rows a frame
// could not decode: both start as value 0.
std::string colourZero() {
  uint32_t c = shownColour(0);
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
  return std::string("colour 0 (") + text + ")";
}

// Whether a frame's transparent pixels, drawn opaquely, change what the
// player shows: in frame 0 wherever they are (browsers show no picture
// below it), in later frames where the transparent colour differs from the
// canvas below.
bool transparentPixelsShow(GifFrame& frame, int32_t value, bool first) {
  RECT r{};
  IndexedBitmap* bitmap = frameRect(frame, r);
  if (bitmap == nullptr) return false;
  uint32_t colour = shownColour(static_cast<uint8_t>(value));
  int32_t left = r.left, top = r.top;
  int32_t right = std::min<int32_t>(r.right, canvas.width);
  int32_t bottom = std::min<int32_t>(r.bottom, canvas.height);
  for (int32_t y = std::max(top, 0); y < bottom; ++y) {
    const uint8_t* pixels = bitmapRowAddress(*bitmap, 0, bitmap->height - 1 - (y - top));
    const uint8_t* below = bitmapRowAddress(canvas, 0, canvas.height - 1 - y);
    for (int32_t x = std::max(left, 0); x < right; ++x)
      if (pixels[x - left] == value && (first || shownColour(below[x]) != colour)) return true;
  }
  return false;
}

// Plays the shown frames onto the canvas, starting from value 0 as the
// player does, to see where transparency would change the picture.
void findShownTransparency(AnimationCheck& check) {
  if (canvas.storage == nullptr) return;
  std::memset(canvas.storage, 0, static_cast<size_t>(canvas.stride) * canvas.height);
  int32_t steps = std::min<int32_t>(check.shownFrames, static_cast<int32_t>(check.frames.size()));
  for (int32_t i = 0; i < steps; ++i) {
    FrameCheck& f = check.frames[i];
    GifFrame& frame = *animation.frames[i];
    if (f.readByPlayer && f.walked.transparent)
      f.transparencyShows = transparentPixelsShow(frame, f.transparentValue, i == 0);
    RECT r{};
    if (IndexedBitmap* bitmap = frameRect(frame, r))
      blitBitmap(canvas, *bitmap, r, 0, 0, kOpaqueCopy);
  }
}

// How far the player plays: a frame without pixels halts it on the frame
// before, for good.
int32_t shownFrames() {
  int32_t shown = 0;
  while (shown < animation.frameCount && animation.frames[shown]->bitmap.storage != nullptr)
    ++shown;
  return shown;
}

// What the player asks for: the canvas, and every frame it reads at the size
// its descriptor gives.
int64_t memoryNeeded() {
  int64_t bytes = bitmapStorageBytes(animation.screenWidth, animation.screenHeight);
  for (int32_t i = 0; i < animation.frameCount; ++i)
    bytes += bitmapStorageBytes(animation.frames[i]->width, animation.frames[i]->height);
  return bytes;
}

std::string refusalOf(const AnimationCheck& check) {
  if (animation.palette.count == 0)
    return "the player would not start: the GIF has no global colour table";
  if (!check.started) return screenRefusal(animation.screenWidth, animation.screenHeight);
  if (check.memoryBytes > kPlayerMemory)
    return "the player would need " + memoryText(check.memoryBytes) +
           " for its canvas and frames, more than the 2 GiB a 32-bit Windows program can have";
  if (animation.frameCount == 0) return "the player would show nothing: the GIF has no image";
  if (animation.frames[0]->bitmap.storage == nullptr)
    return "the player would show nothing: the first image has no pixel data";
  return "";
}

using Rule = std::function<std::string(const AnimationCheck&)>;

// Every frame that meets the test, with its detail, in one sentence.
std::string framesWhere(const AnimationCheck& check,
                        const std::function<std::string(const FrameCheck&)>& detail,
                        const std::string& sentence) {
  std::vector<std::string> items;
  for (size_t i = 0; i < check.frames.size(); ++i) {
    if (!check.frames[i].readByPlayer) continue;
    std::string d = detail(check.frames[i]);
    if (!d.empty()) items.push_back(std::to_string(i) + (d == "*" ? "" : " (" + d + ")"));
  }
  return items.empty() ? "" : frameList(items) + ": " + sentence;
}

std::string whyStops(const AnimationCheck& check, int32_t agreeing) {
  for (int32_t i = 0; i < agreeing; ++i)
    if (!check.frames[i].endsInPlace)
      return "the image data of frame " + std::to_string(i) +
             " does not end where the player expects, so it reads no further";
  return "the player stops reading after frame " + std::to_string(agreeing - 1);
}

std::string unreadFrames(const AnimationCheck& check) {
  auto gifFrames = static_cast<int32_t>(check.frames.size());
  int32_t agreeing = 0;
  while (agreeing < gifFrames && check.frames[agreeing].readByPlayer) ++agreeing;
  if (agreeing == gifFrames && check.playerFrames == gifFrames) return "";
  if (agreeing == gifFrames)
    return "the player takes the data behind frame " + std::to_string(agreeing - 1) +
           " for more frames: it reads " + std::to_string(check.playerFrames) +
           " where the GIF has " + std::to_string(gifFrames);
  std::string never = agreeing + 1 == gifFrames
                          ? "frame " + std::to_string(agreeing) + " is never shown"
                          : "frames " + std::to_string(agreeing) + " to " +
                                std::to_string(gifFrames - 1) + " are never shown";
  return whyStops(check, agreeing) + ": " + never;
}

std::string haltingFrame(const AnimationCheck& check) {
  int32_t halt = check.shownFrames;
  if (halt == 0 || halt >= check.playerFrames) return "";
  return "frame " + std::to_string(halt) + " has no pixel data: the player stops on frame " +
         std::to_string(halt - 1) + " for good";
}

std::string damagedFrames(const AnimationCheck& check) {
  return framesWhere(
      check,
      [](const FrameCheck& f) {
        if (!f.hasPixels || f.rowsDecoded >= f.walked.height || codeSizeTooLarge(f.walked))
          return std::string();
        return std::to_string(f.rowsDecoded) + " of " + counted(f.walked.height, "row");
      },
      "image data damaged or cut short: the player shows " + colourZero() + " in the rows missing");
}

// Browsers decode no such image (giflib refuses it); the player decodes a
// code size of 9 and no larger one.
std::string largeCodeSizeFrames(const AnimationCheck& check) {
  return framesWhere(
      check,
      [](const FrameCheck& f) {
        return codeSizeTooLarge(f.walked) ? "code size " + std::to_string(f.walked.codeSize) : "";
      },
      "LZW minimum code size above " + std::to_string(kBrowsersLongestCodeSize) +
          ", which browsers do not decode: they show nothing from that frame on, and the player "
          "shows " +
          colourZero() + " in the rows it cannot decode");
}

std::string transparentFrames(const AnimationCheck& check) {
  return framesWhere(
      check,
      [](const FrameCheck& f) {
        return f.transparencyShows ? "index " + std::to_string(f.walked.transparentIndex) : "";
      },
      "transparency is ignored: the player draws every frame opaquely over the last one");
}

std::string disposedFrames(const AnimationCheck& check) {
  return framesWhere(
      check,
      [](const FrameCheck& f) {
        return f.walked.disposal >= 2 ? "disposal " + std::to_string(f.walked.disposal) : "";
      },
      "the player does not clear or restore a frame's area afterwards, it leaves every frame in "
      "place");
}

std::string ownColourFrames(const AnimationCheck& check) {
  return framesWhere(
      check,
      [](const FrameCheck& f) {
        if (f.walked.localTable.empty()) return std::string();
        return f.coloursWithoutMatch == 0
                   ? std::string("all found")
                   : std::to_string(f.coloursWithoutMatch) + " of " +
                         std::to_string(f.walked.localTable.size()) + " not found";
      },
      "own colour table, mapped to the nearest colours of the global one");
}

std::string zeroDelayFrames(const AnimationCheck& check) {
  if (check.playerFrames < 2) return "";
  return framesWhere(
      check, [](const FrameCheck& f) { return f.walked.delay == 0 ? "*" : ""; },
      "delay 0: the player shows it for 10 ms, its shortest wait");
}

std::string outsideFrames(const AnimationCheck& check) {
  int w = check.walked.screenWidth, h = check.walked.screenHeight;
  return framesWhere(
      check,
      [w, h](const FrameCheck& f) {
        const WalkedFrame& r = f.walked;
        if (r.left + r.width <= w && r.top + r.height <= h) return std::string();
        bool wholly = r.left >= w || r.top >= h;
        return (wholly ? "wholly, at " : "partly, at ") + std::to_string(r.left) + "," +
               std::to_string(r.top);
      },
      "outside the " + sizeText(w, h) + " screen: the player cuts frames to the screen");
}

std::string uncoveredScreen(const AnimationCheck& check) {
  if (check.frames.empty()) return "";
  const WalkedFrame& f = check.frames[0].walked;
  if (f.left == 0 && f.top == 0 && f.width >= check.walked.screenWidth &&
      f.height >= check.walked.screenHeight)
    return "";
  return "frame 0 does not cover the whole screen: until later frames do, the player shows " +
         colourZero() + " there";
}

const Rule kRules[] = {unreadFrames,      haltingFrame,   damagedFrames,   largeCodeSizeFrames,
                       transparentFrames, disposedFrames, ownColourFrames, zeroDelayFrames,
                       outsideFrames,     uncoveredScreen};

std::vector<std::string> notesOf(const FrameCheck& f, const WalkedGif& gif, bool animated) {
  const WalkedFrame& w = f.walked;
  std::vector<std::pair<bool, std::string>> notes = {
      {!f.readByPlayer, "not read by the player"},
      {f.readByPlayer && !f.hasPixels, "no pixel data"},
      {codeSizeTooLarge(w), "code size " + std::to_string(w.codeSize) + " above " +
                                std::to_string(kBrowsersLongestCodeSize)},
      {f.hasPixels && f.rowsDecoded < w.height,
       std::to_string(f.rowsDecoded) + " of " + counted(w.height, "row") + " decoded"},
      {!f.endsInPlace, "data does not end where the player expects"},
      {f.transparencyShows, "transparency ignored"},
      {w.disposal >= 2, "disposal " + std::to_string(w.disposal) + " ignored"},
      {!w.localTable.empty(), "own colours mapped"},
      {animated && w.delay == 0, "delay 0"},
      {w.left + w.width > gif.screenWidth || w.top + w.height > gif.screenHeight,
       "outside the screen"},
  };
  std::vector<std::string> shown;
  for (auto& [applies, note] : notes)
    if (applies) shown.push_back(note);
  return shown;
}

}  // namespace

std::string memoryText(int64_t bytes) {
  constexpr int64_t kKilo = 1024;
  if (bytes < kKilo * kKilo) return std::to_string((bytes + kKilo - 1) / kKilo) + " KB";
  return std::to_string((bytes + kKilo * kKilo - 1) / (kKilo * kKilo)) + " MB";
}

std::string screenRefusal(int64_t width, int64_t height) {
  return "the player would not start: its screen of " + sizeText(width, height) +
         " is too large to allocate";
}

std::vector<AskedImage> askedImages(const WalkedGif& walked) {
  std::vector<AskedImage> asked;
  for (const WalkedFrame& frame : walked.frames)
    asked.push_back({frame.separator, askedValue(frame)});
  return asked;
}

AnimationCheck checkAnimation(const Bytes& gif, WalkedGif walked, bool started,
                              const std::vector<std::optional<FrameReading>>& readings) {
  AnimationCheck check;
  check.walked = std::move(walked);
  check.started = started;
  check.playerFrames = animation.frameCount;
  check.shownFrames = shownFrames();
  check.memoryBytes = memoryNeeded();
  // Images the loader did not read (it stopped before them, or read on from
  // elsewhere) are read here, each on its own.
  std::optional<FrameRereader> rereader;
  for (size_t i = 0; i < check.walked.frames.size(); ++i) {
    const WalkedFrame& frame = check.walked.frames[i];
    std::optional<FrameReading> reading = i < readings.size() ? readings[i] : std::nullopt;
    if (!reading) {
      if (!rereader) rereader.emplace(gif);
      reading = rereader->read(frame.separator, askedValue(frame));
    }
    check.frames.push_back(checkFrame(check.walked, i, *reading));
  }
  findShownTransparency(check);
  for (size_t i = 0; i < check.frames.size(); ++i) {
    FrameCheck& frame = check.frames[i];
    frame.notes = notesOf(frame, check.walked, check.playerFrames >= 2);
    if (frame.readByPlayer && frame.hasPixels && static_cast<int32_t>(i) > check.shownFrames)
      frame.notes.insert(frame.notes.begin(), "never shown: the player stops before it");
  }
  check.refusal = refusalOf(check);
  if (!check.refusal.empty()) return check;
  for (const Rule& rule : kRules)
    if (std::string warning = rule(check); !warning.empty()) check.warnings.push_back(warning);
  return check;
}
