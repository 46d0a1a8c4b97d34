// An animation as web browsers show it: decoded with giflib, each step
// composited with transparency, disposal (none, keep, restore to background,
// restore to previous), each frame's own colour table, frames cut to the
// screen and the browsers' delay rule.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Colours are packed as red | green << 8 | blue << 16, as the player packs them.
using Colour = uint32_t;

struct BrowserFrame {
  int left = 0, top = 0, width = 0, height = 0;
  int shownWidth = 0, shownHeight = 0;  // of the part on the screen, from left, top
  bool localTable = false;
  std::vector<Colour> colours;  // the frame's own table, else the global one; empty when none
  int transparentIndex = -1;
  int disposal = 0;
  int delay = 0;                 // hundredths of a second, as written
  Bytes indices;                 // the part on the screen, picture rows from the top
  std::vector<bool> rowDecoded;  // of that part: false for rows that damaged data left out
};

struct BrowserView {
  int screenWidth = 0, screenHeight = 0;
  bool globalTable = false;
  std::vector<Colour> globalColours;
  int backgroundIndex = 0;
  int loopCount = -1;  // -1 without a looping extension
  std::vector<BrowserFrame> frames;
  bool damaged = false;    // the data ended or went wrong inside an image
  size_t sourceBytes = 0;  // the size of the GIF it was decoded from
};

// Decodes every image giflib can read; what follows damaged image data is
// left out, as browsers leave it. nullopt when giflib cannot even read the
// logical screen, or when the screen has more than maxScreenPixels. onFrame,
// when given, sees the view after each frame is added (and may let go of
// its pixels); false from it ends the decoding there.
std::optional<BrowserView> decodeAsBrowsers(const Bytes& gif, uint64_t maxScreenPixels,
                                            const std::function<bool(BrowserView&)>& onFrame = {});

// What a browser waits after a frame: delays under 2 hundredths show for 10.
int browserDelay(int delay);

// The colour that pixels still transparent are shown in: the background
// colour of the global table, white without a global table.
Colour backgroundOf(const BrowserView& view);

// Part of the screen: columns left to right - 1, rows top to bottom - 1.
struct ScreenArea {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return left >= right || top >= bottom; }
};

// The smallest area holding both.
ScreenArea unite(const ScreenArea& a, const ScreenArea& b);

// The pictures after each step, one at a time: every pixel an opaque colour,
// the transparent ones painted with the background colour. A step paints
// only what its frame and the disposal before it touch, so that the work
// grows with the pixels the frames carry, not with steps times the screen.
class StepPainter {
 public:
  StepPainter(const BrowserView& view, Colour background);
  // The picture after the next step, rows from the top; false after the last.
  bool next();
  const std::vector<Colour>& picture() const { return picture_; }
  int step() const { return step_; }
  // Where the picture may differ from the one before: the whole screen at
  // the first step.
  const ScreenArea& changed() const { return changed_; }

 private:
  void dispose(const BrowserFrame& frame);
  void draw(const BrowserFrame& frame);
  // The picture within area into saved_, or back.
  void save(const ScreenArea& area);
  void restore(const ScreenArea& area);

  const BrowserView& view_;
  Colour background_;
  int step_ = -1;
  std::vector<Colour> picture_;  // what no frame covers in the background colour
  std::vector<Colour> saved_;    // a frame's area before the frame, when it restores it afterwards
  ScreenArea changed_;
};

// Whether a decoded pixel of the frame on the screen has its transparent index.
bool hasTransparentPixels(const BrowserFrame& frame);
// Whether damaged data left rows of the frame on the screen out.
bool leavesRowsOut(const BrowserFrame& frame);
