#include "tools/gifpack/report.h"

#include <cstdio>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "tools/gifpack/files.h"
#include "tools/gifpack/png_file.h"
#include "tools/gifpack/progress.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/words.h"

namespace {

namespace fs = std::filesystem;

std::string joined(const std::vector<std::string>& notes) {
  std::string text;
  for (const std::string& note : notes) text += (text.empty() ? "" : ", ") + note;
  return text;
}

void printFrameRow(std::ostream& out, size_t i, const FrameCheck& f) {
  const WalkedFrame& w = f.walked;
  out << std::setw(5) << i << std::setw(7) << w.left << std::setw(7) << w.top << std::setw(7)
      << w.width << std::setw(7) << w.height << std::setw(10) << w.delay * 10 << "  " << std::left
      << std::setw(11) << (w.interlaced ? "yes" : "no") << std::right << joined(f.notes) << "\n";
}

void putRgb(uint32_t colour, uint8_t* rgb) {
  rgb[0] = static_cast<uint8_t>(colour);
  rgb[1] = static_cast<uint8_t>(colour >> 8);
  rgb[2] = static_cast<uint8_t>(colour >> 16);
}

// fillRow(y, row): the picture's row y from the top, in red, green, blue.
void writePng(const fs::path& path, int32_t width, int32_t height,
              const std::function<void(int32_t, uint8_t*)>& fillRow) {
  Bytes png = rgbPng(width, height, fillRow);
  if (png.empty()) throw FileError(path, "cannot make the PNG");
  writeNewFile(path, png);
}

std::string frameName(int step) {
  std::ostringstream name;
  name << "frame-" << std::setw(3) << std::setfill('0') << step << ".png";
  return name.str();
}

// frame-000.png, frame-1234.png: a name that --frames writes.
bool isFrameName(const std::string& name) {
  const std::string prefix = "frame-", suffix = ".png";
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
  std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  return digits.size() >= 3 && digits.find_first_not_of("0123456789") == std::string::npos;
}

// Why dir cannot be made: the first thing on its way that is there but is
// not a directory, or what the system said.
std::string whyNotMade(const fs::path& dir, const std::error_code& error) {
  std::error_code ignored;
  for (fs::path up = dir.parent_path(); !up.empty(); up = up.parent_path()) {
    fs::file_status status = fs::symlink_status(up, ignored);
    if (fs::exists(status) && !fs::is_directory(fs::status(up, ignored)))
      return shownPath(up) + " is not a directory";
    if (fs::exists(status) || up == up.parent_path()) break;
  }
  return error.message();
}

// The earlier frames in dir, which must hold nothing else.
std::vector<fs::path> earlierFrames(const fs::path& dir) {
  std::vector<fs::path> frames;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    std::string name = shownPath(it->path().filename());
    if (!isFrameName(name) || !fs::is_regular_file(it->symlink_status()))
      throw FileError(
          dir, "holds " + name + ", not a frame that gifpack wrote: give a new or empty directory");
    frames.push_back(it->path());
  }
  if (error) throw FileError(dir, "cannot read the directory: " + error.message());
  return frames;
}

// A directory for the frames, made when missing; one that is there may hold
// only frames of an earlier run, which are removed. A link is never followed.
void prepareFramesDirectory(const fs::path& dir) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(dir, error);
  if (fs::is_symlink(status)) throw FileError(dir, "is a link: give the directory itself");
  if (!fs::exists(status)) {
    fs::create_directories(dir, error);
    if (error) throw FileError(dir, "cannot create the directory: " + whyNotMade(dir, error));
    return;
  }
  if (!fs::is_directory(status)) throw FileError(dir, "cannot write: not a directory");
  for (const fs::path& frame : earlierFrames(dir)) {
    fs::remove(frame, error);
    if (error) throw FileError(frame, "cannot remove this earlier frame: " + error.message());
  }
}

// The player's steps on a canvas of its own, from its frames.
void writePlayersSteps(const fs::path& dir, const PlayerPictures& player, int32_t steps,
                       Progress& progress) {
  PlayerCanvas canvas(player.screenWidth, player.screenHeight);
  const IndexedBitmap& bitmap = canvas.bitmap();
  for (int32_t step = 0; step < steps; ++step) {
    const PlayerFrame& frame = player.frames[static_cast<size_t>(step)];
    if (frame.letGo) throw std::logic_error("gifpack let go of a frame it shows");
    canvas.draw(frame);
    writePng(dir / frameName(step), bitmap.width, bitmap.height, [&](int32_t y, uint8_t* row) {
      const uint8_t* pixels = bitmapRowAddress(bitmap, 0, bitmap.height - 1 - y);
      for (int32_t x = 0; x < bitmap.width; ++x) putRgb(player.colours[pixels[x]], row + 3 * x);
    });
    progress.advance(step + 1);
  }
}

// The browsers' steps, which the player's equal pixel for pixel.
void writeBrowsersSteps(const fs::path& dir, const BrowsersComparison& browsers,
                        Progress& progress) {
  const BrowserView& view = *browsers.view;
  StepPainter painter(view, browsers.background);
  while (painter.next()) {
    const std::vector<Colour>& picture = painter.picture();
    writePng(dir / frameName(painter.step()), view.screenWidth, view.screenHeight,
             [&](int32_t y, uint8_t* row) {
               const Colour* colours = picture.data() + static_cast<size_t>(y) * view.screenWidth;
               for (int x = 0; x < view.screenWidth; ++x) putRgb(colours[x], row + 3 * x);
             });
    progress.advance(painter.step() + 1);
  }
}

}  // namespace

void printInfo(const fs::path& gif, const AnimationCheck& check, std::ostream& out) {
  const WalkedGif& w = check.walked;
  out << shownPath(gif) << ": " << w.signature << ", screen " << w.screenWidth << " x "
      << w.screenHeight << ", " << counted(w.globalTable.size(), "colour") << ", "
      << counted(w.frames.size(), "frame") << " (the player reads " << check.playerFrames
      << ", plays " << check.shownFrames << ")\n";
  out << "memory the player needs for its canvas and frames: " << memoryText(check.memoryBytes)
      << "\n";
  out << "frame   left    top  width height  delay ms  interlaced notes\n";
  for (size_t i = 0; i < check.frames.size(); ++i) printFrameRow(out, i, check.frames[i]);
  for (const std::string& warning : check.warnings) out << "warning: " << warning << "\n";
}

void printWarnings(const fs::path& gif, const AnimationCheck& check, std::ostream& out) {
  for (const std::string& warning : check.warnings)
    out << "gifpack: " << shownPath(gif) << ": warning: " << warning << "\n";
}

int writeFrames(const fs::path& dir, const Analysis& analysis) {
  const PlayerPictures& player = analysis.player;
  if (player.screenWidth == 0 || player.screenHeight == 0)
    throw FileError(
        dir, "nothing written: the screen is " + sizeText(player.screenWidth, player.screenHeight));
  prepareFramesDirectory(dir);
  int32_t steps = analysis.check.shownFrames;
  Progress progress("writing frames", steps);
  if (analysis.browsers.agrees)
    writeBrowsersSteps(dir, analysis.browsers, progress);
  else
    writePlayersSteps(dir, player, steps, progress);
  return steps;
}
