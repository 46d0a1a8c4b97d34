#include "tools/gifpack/rewrite.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <stdexcept>

#include "picture/compositing.h"
#include "tools/gifpack/palette_quantizer.h"
#include "tools/gifwriter/gif_writer.h"

namespace {

constexpr size_t kMaxColours = 256;
constexpr size_t kColourSpace = size_t{1} << 24;
// Rewriting holds a few pictures of the screen at once: more than this many
// pixels, and a screen the player could not allocate anyway, are left alone.
constexpr uint64_t kMaxScreenPixels = uint64_t{1} << 26;
// The quantizer sees at most this many pixels, spread evenly over the steps.
constexpr size_t kMaxSample = size_t{1} << 22;

// The browsers' steps of a GIF, painted one at a time.
class PaintedSteps : public PictureSteps {
 public:
  PaintedSteps(const BrowserView& view, Colour background) : painter_(view, background) {}
  bool next() override { return painter_.next(); }
  const std::vector<Colour>& picture() const override { return painter_.picture(); }
  int step() const override { return painter_.step(); }
  const ScreenArea& changed() const override { return painter_.changed(); }

 private:
  StepPainter painter_;
};

size_t pixelsOf(const BrowserView& view) {
  return static_cast<size_t>(view.screenWidth) * static_cast<size_t>(view.screenHeight);
}

bool coversScreen(const BrowserFrame& frame, const BrowserView& view) {
  return frame.left == 0 && frame.top == 0 && frame.width >= view.screenWidth &&
         frame.height >= view.screenHeight;
}

bool outsideScreen(const BrowserFrame& frame, const BrowserView& view) {
  return frame.left + frame.width > view.screenWidth ||
         frame.top + frame.height > view.screenHeight;
}

// The player's step on its canvas against the browsers' picture, where
// either one drew: once the two agree, a step can only part them there.
bool sameStep(const StepPainter& painter, PlayerCanvas& canvas, const PlayerPictures& player,
              int32_t step) {
  const IndexedBitmap& bitmap = canvas.bitmap();
  ScreenArea compared = painter.changed();
  if (step < static_cast<int32_t>(player.frames.size())) {
    RECT rectangle = canvas.draw(player.frames[static_cast<size_t>(step)]);
    ScreenArea drawn{rectangle.left, rectangle.top,
                     std::min<int32_t>(rectangle.right, bitmap.width),
                     std::min<int32_t>(rectangle.bottom, bitmap.height)};
    compared = unite(compared, drawn);
  }
  const std::vector<Colour>& picture = painter.picture();
  for (int32_t y = compared.top; y < compared.bottom; ++y) {
    const uint8_t* row = bitmapRowAddress(bitmap, 0, bitmap.height - 1 - y);
    const Colour* expected = picture.data() + static_cast<size_t>(y) * bitmap.width;
    for (int32_t x = compared.left; x < compared.right; ++x)
      if (player.colours[row[x]] != expected[x]) return false;
  }
  return true;
}

void letGo(PlayerFrame& frame) {
  frame.storage = Bytes();
  frame.letGo = true;
}

void letGoOfAll(PlayerPictures& player) {
  for (PlayerFrame& frame : player.frames) letGo(frame);
}

std::string counted(size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::vector<std::string> reasonsOf(const BrowserView& view, const AnimationCheck& check) {
  const auto& frames = view.frames;
  auto any = [&](auto test) { return std::any_of(frames.begin(), frames.end(), test); };
  std::vector<std::string> reasons;
  if (!view.globalTable) reasons.push_back("no global colour table");
  if (any([&](const BrowserFrame& f) { return hasTransparentPixels(f); }))
    reasons.push_back("transparency");
  if (std::any_of(frames.begin(), frames.end() - 1,
                  [](const BrowserFrame& f) { return f.disposal == 2 || f.disposal == 3; }))
    reasons.push_back("disposal");
  auto local = std::count_if(frames.begin(), frames.end(), [&](const BrowserFrame& f) {
    return f.localTable && f.colours != view.globalColours;
  });
  if (local > 0)
    reasons.push_back(
        counted(static_cast<size_t>(local), "local colour table", "local colour tables"));
  if (any([&](const BrowserFrame& f) { return outsideScreen(f, view); }))
    reasons.push_back("frames outside the screen");
  if (frames.size() >= 2 && any([](const BrowserFrame& f) { return f.delay < 2; }))
    reasons.push_back("delays under 2 hundredths");
  if (!coversScreen(frames[0], view)) reasons.push_back("a first frame short of the screen");
  if (view.damaged || any(leavesRowsOut)) reasons.push_back("damaged image data");
  if (view.globalTable && check.shownFrames < static_cast<int32_t>(frames.size()))
    reasons.push_back("frames the player would not reach");
  if (reasons.empty()) reasons.push_back("colours the player would show differently");
  return reasons;
}

// The colours of all steps when there are at most 256 of them.
std::optional<std::vector<Colour>> exactColours(const StepSequence& steps) {
  std::vector<uint64_t> seen(kColourSpace / 64, 0);
  std::vector<Colour> colours;
  std::unique_ptr<PictureSteps> pass = steps.start();
  PictureSteps& painter = *pass;
  while (painter.next()) {
    const ScreenArea& area = painter.changed();
    for (int y = area.top; y < area.bottom; ++y) {
      const Colour* row = painter.picture().data() + static_cast<size_t>(y) * steps.width;
      for (int x = area.left; x < area.right; ++x) {
        Colour c = row[x];
        uint64_t bit = uint64_t{1} << (c % 64);
        if (seen[c / 64] & bit) continue;
        seen[c / 64] |= bit;
        colours.push_back(c);
        if (colours.size() > kMaxColours) return std::nullopt;
      }
    }
  }
  return colours;
}

// A rectangle of the screen; width 0 when empty.
struct Box {
  int left = 0, top = 0, width = 0, height = 0;
  int64_t area() const { return int64_t{width} * height; }
};

// Where two pictures of the screen differ, within a rectangle: for each of
// its rows the first and last column that differs (first > last when none),
// and when asked, likewise for each of its columns the first and last row.
struct Extents {
  std::vector<int> rowFirst, rowLast, columnFirst, columnLast;
};

// Within area, the only part where the pictures may differ.
template <typename Pixel>
Extents extentsIn(const std::vector<Pixel>& before, const std::vector<Pixel>& after, int width,
                  Box box, bool columns) {
  Extents e;
  e.rowFirst.assign(static_cast<size_t>(box.height), INT_MAX);
  e.rowLast.assign(static_cast<size_t>(box.height), -1);
  if (columns) {
    e.columnFirst.assign(static_cast<size_t>(box.width), INT_MAX);
    e.columnLast.assign(static_cast<size_t>(box.width), -1);
  }
  for (int y = 0; y < box.height; ++y) {
    size_t row = static_cast<size_t>(box.top + y) * width + static_cast<size_t>(box.left);
    const Pixel* a = before.data() + row;
    const Pixel* b = after.data() + row;
    int first = 0, last = box.width - 1;
    while (first < box.width && a[first] == b[first]) ++first;
    if (first == box.width) continue;
    while (a[last] == b[last]) --last;
    e.rowFirst[static_cast<size_t>(y)] = first;
    e.rowLast[static_cast<size_t>(y)] = last;
    if (!columns) continue;
    for (int x = first; x <= last; ++x) {
      if (a[x] == b[x]) continue;
      e.columnFirst[static_cast<size_t>(x)] = std::min(e.columnFirst[static_cast<size_t>(x)], y);
      e.columnLast[static_cast<size_t>(x)] = y;
    }
  }
  return e;
}

// A rectangle cut in two, each part shrunk to what differs in it; gain is
// the pixels that leaves out.
struct Cut {
  int64_t gain = 0;
  Box first, second;
};

// The best cut of a rectangle between two of its lines (rows when
// horizontal, else columns), given where each line differs first and last
// along it.
Cut bestCut(const std::vector<int>& lineFirst, const std::vector<int>& lineLast, Box box,
            bool horizontal) {
  int count = static_cast<int>(lineFirst.size());
  auto boxOf = [&](int from, int to, int low, int high) {
    return horizontal ? Box{box.left + low, box.top + from, high - low + 1, to - from + 1}
                      : Box{box.left + from, box.top + low, to - from + 1, high - low + 1};
  };
  // Suffix extents: of lines [i, count), the first and last non-empty line,
  // and the lowest and highest place across.
  std::vector<int> sufLow(static_cast<size_t>(count) + 1, INT_MAX),
      sufHigh(static_cast<size_t>(count) + 1, -1), sufEnd(static_cast<size_t>(count) + 1, -1),
      sufStart(static_cast<size_t>(count) + 1, -1);
  for (int i = count - 1; i >= 0; --i) {
    size_t u = static_cast<size_t>(i);
    bool used = lineLast[u] >= 0;
    sufLow[u] = std::min(sufLow[u + 1], lineFirst[u]);
    sufHigh[u] = std::max(sufHigh[u + 1], lineLast[u]);
    sufEnd[u] = sufEnd[u + 1] >= 0 ? sufEnd[u + 1] : (used ? i : -1);
    sufStart[u] = used ? i : sufStart[u + 1];
  }
  Cut best;
  int low = INT_MAX, high = -1, start = -1, end = -1;
  for (int cut = 1; cut < count; ++cut) {
    size_t u = static_cast<size_t>(cut - 1);
    if (lineLast[u] >= 0) {
      low = std::min(low, lineFirst[u]), high = std::max(high, lineLast[u]);
      if (start < 0) start = cut - 1;
      end = cut - 1;
    }
    size_t v = static_cast<size_t>(cut);
    if (start < 0 || sufStart[v] < 0) continue;
    Box first = boxOf(start, end, low, high);
    Box second = boxOf(sufStart[v], sufEnd[v], sufLow[v], sufHigh[v]);
    int64_t gain = box.area() - first.area() - second.area();
    if (gain > best.gain) best = {gain, first, second};
  }
  return best;
}

// A cut is made where it leaves out this many pixels, and an eighth of the
// rectangle.
constexpr int64_t kSplitGain = 1 << 12;

struct Piece {
  Box box;
  Cut cut;
};

template <typename Pixel>
Piece pieceOf(const std::vector<Pixel>& before, const std::vector<Pixel>& after, int width,
              Box box) {
  Extents e = extentsIn(before, after, width, box, true);
  Cut rows = bestCut(e.rowFirst, e.rowLast, box, true);
  Cut columns = bestCut(e.columnFirst, e.columnLast, box, false);
  Cut best = columns.gain > rows.gain ? columns : rows;
  if (best.gain < kSplitGain || best.gain < box.area() / 8) best = {};
  return {box, best};
}

// The smallest rectangle around every pixel that differs between two
// pictures of the screen within area, where alone they may differ; width 0
// when none does.
template <typename Pixel>
Box changedBounds(const std::vector<Pixel>& before, const std::vector<Pixel>& after, int width,
                  const ScreenArea& area) {
  Box box{area.left, area.top, area.right - area.left, area.bottom - area.top};
  if (box.width <= 0 || box.height <= 0) return {};
  Extents whole = extentsIn(before, after, width, box, false);
  int top = 0, bottom = box.height - 1;
  while (top < box.height && whole.rowLast[static_cast<size_t>(top)] < 0) ++top;
  if (top == box.height) return {};
  while (whole.rowLast[static_cast<size_t>(bottom)] < 0) --bottom;
  int left = *std::min_element(whole.rowFirst.begin(), whole.rowFirst.end());
  int right = *std::max_element(whole.rowLast.begin(), whole.rowLast.end());
  return {box.left + left, box.top + top, right - left + 1, bottom - top + 1};
}

// Brings before up to after within area, where alone they may differ.
template <typename Pixel>
void copyArea(const std::vector<Pixel>& after, std::vector<Pixel>& before, int width,
              const ScreenArea& area) {
  for (int y = area.top; y < area.bottom; ++y) {
    size_t row = static_cast<size_t>(y) * width;
    std::copy(after.begin() + static_cast<ptrdiff_t>(row + area.left),
              after.begin() + static_cast<ptrdiff_t>(row + area.right),
              before.begin() + static_cast<ptrdiff_t>(row + area.left));
  }
}

// Rectangles, at most maxCount and none overlapping another, that together
// hold every pixel that differs within bounds: bounds cut in two again and
// again along a row or a column where that leaves the most pixels out.
template <typename Pixel>
std::vector<Box> splitBounds(const std::vector<Pixel>& before, const std::vector<Pixel>& after,
                             int width, Box bounds, int maxCount) {
  if (bounds.area() == 0) return {};
  std::vector<Piece> pieces{pieceOf(before, after, width, bounds)};
  while (static_cast<int>(pieces.size()) < maxCount) {
    auto most = std::max_element(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
      return a.cut.gain < b.cut.gain;
    });
    if (most->cut.gain == 0) break;
    Cut cut = most->cut;
    *most = pieceOf(before, after, width, cut.first);
    pieces.push_back(pieceOf(before, after, width, cut.second));
  }
  std::vector<Box> boxes;
  for (const Piece& piece : pieces) boxes.push_back(piece.box);
  return boxes;
}

// How many opaque rectangles a step may be shown in, within the step's own
// delay: each but the last for a hundredth of a second, the last for at
// least two, the shortest delay a step has.
int piecesAllowed(const StepSequence& steps, int step) {
  constexpr int kMaxPieces = 16;
  if (steps.delays.size() < 2) return 1;
  return std::max(std::min(steps.delays[static_cast<size_t>(step)] - 1, kMaxPieces), 1);
}

// What changes from step to step, each changed area once: the pixels the
// palette has to stand for.
std::vector<Colour> changedPixels(const StepSequence& steps) {
  std::vector<Colour> sample, before;
  std::unique_ptr<PictureSteps> pass = steps.start();
  PictureSteps& painter = *pass;
  size_t stride = steps.sampleStride, skipped = 0;
  while (painter.next()) {
    const std::vector<Colour>& picture = painter.picture();
    int width = steps.width, height = steps.height;
    std::vector<Box> boxes{{0, 0, width, height}};
    if (!before.empty())
      boxes = splitBounds(before, picture, width,
                          changedBounds(before, picture, width, painter.changed()),
                          piecesAllowed(steps, painter.step()));
    for (Box box : boxes)
      for (int y = box.top; y < box.top + box.height; ++y) {
        auto row = picture.begin() + static_cast<ptrdiff_t>(y) * width + box.left;
        if (stride == 0) {
          sample.insert(sample.end(), row, row + box.width);
          continue;
        }
        for (int x = 0; x < box.width; ++x, ++skipped)
          if (skipped % stride == 0) sample.push_back(row[x]);
      }
    if (before.empty())
      before = picture;
    else
      copyArea(picture, before, width, painter.changed());
  }
  if (sample.size() > kMaxSample) {
    size_t stride = (sample.size() + kMaxSample - 1) / kMaxSample;
    for (size_t i = 0; i * stride < sample.size(); ++i) sample[i] = sample[i * stride];
    sample.resize((sample.size() + stride - 1) / stride);
  }
  return sample;
}

gifwriter::ColourTable tableOf(const std::vector<Colour>& palette) {
  gifwriter::ColourTable table;
  for (Colour c : palette)
    table.push_back(
        {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)});
  if (table.empty()) table.push_back({});
  return table;
}

gifwriter::Frame frameOf(const Bytes& indices, int screenWidth, Box box) {
  gifwriter::Frame frame;
  frame.left = box.left, frame.top = box.top, frame.width = box.width, frame.height = box.height;
  frame.indices.reserve(static_cast<size_t>(box.width) * box.height);
  for (int y = box.top; y < box.top + box.height; ++y) {
    auto row = indices.begin() + static_cast<ptrdiff_t>(y) * screenWidth + box.left;
    frame.indices.insert(frame.indices.end(), row, row + box.width);
  }
  return frame;
}

// The shorter of two codings: clearing the table when it is full (best for
// busy pictures), or going on with the full table (often shorter for plain
// ones). They differ only where the table fills up.
std::vector<int> shorterCodes(const Bytes& pixels, int codeSize) {
  std::vector<int> clearing = gifwriter::encodeLzw(pixels, codeSize);
  int clearCode = 1 << codeSize;
  if (std::count(clearing.begin(), clearing.end(), clearCode) < 2) return clearing;
  gifwriter::LzwOptions keeping;
  keeping.deferredClear = true;
  std::vector<int> kept = gifwriter::encodeLzw(pixels, codeSize, keeping);
  return gifwriter::packCodes(kept, codeSize).size() <
                 gifwriter::packCodes(clearing, codeSize).size()
             ? kept
             : clearing;
}

}  // namespace

// Browsers show no picture below the first frame, so a first frame short of
// the screen or letting it show through never agrees. A refused animation is
// not compared: it is rewritten, or not played.
BrowsersComparison compareWithBrowsers(const Bytes& gif, const AnimationCheck& check,
                                       PlayerPictures& player, const RewriteOptions& options) {
  BrowsersComparison comparison;
  std::optional<StepPainter> painter;
  std::optional<PlayerCanvas> canvas;
  bool agrees = check.refusal.empty(), shortDelays = false;
  auto paintAndCompare = [&](BrowserView& view) {
    if (!agrees) return true;
    BrowserFrame& frame = view.frames.back();
    auto step = static_cast<int32_t>(view.frames.size() - 1);
    if (step == 0) {
      agrees = pixelsOf(view) > 0 && coversScreen(frame, view) && !hasTransparentPixels(frame) &&
               !leavesRowsOut(frame);
      if (agrees) {
        comparison.background = options.background.value_or(backgroundOf(view));
        painter.emplace(view, comparison.background);
        canvas.emplace(player.screenWidth, player.screenHeight);
      }
    }
    shortDelays = shortDelays || browserDelay(frame.delay) != frame.delay;
    agrees = agrees && !(step >= 1 && shortDelays) && step < check.playerFrames &&
             painter->next() && sameStep(*painter, *canvas, player, step);
    if (agrees && step < static_cast<int32_t>(player.frames.size()))
      letGo(player.frames[static_cast<size_t>(step)]);
    if (!agrees) {
      letGoOfAll(player);
      painter.reset();
      canvas.reset();
    }
    return true;
  };
  comparison.view = decodeAsBrowsers(gif, kMaxScreenPixels, paintAndCompare);
  auto frames = static_cast<int32_t>(comparison.view ? comparison.view->frames.size() : 0);
  comparison.agrees = agrees && frames > 0 && check.shownFrames == frames &&
                      check.playerFrames == frames && !(frames >= 2 && shortDelays);
  if (!comparison.agrees && frames > 0) letGoOfAll(player);
  return comparison;
}

RewriteChoice chooseRewrite(const std::optional<BrowserView>& decoded, const AnimationCheck& check,
                            bool agrees) {
  RewriteChoice choice;
  choice.shownAlike = agrees;
  if (agrees || !decoded || decoded->frames.empty()) return choice;
  const BrowserView& view = *decoded;
  // A rewrite helps where the player would not start for want of a global
  // colour table; its other refusals stand.
  if (!check.refusal.empty() && view.globalTable) return choice;
  choice.shownAlike = pixelsOf(view) == 0;
  if (!choice.shownAlike) choice.reasons = reasonsOf(view, check);
  return choice;
}

// Each step as one opaque rectangle around what changed, or where that
// would carry many unchanged pixels, or make the rewrite more than twice the
// size of the original GIF (counted step by step, a rectangle reckoned at the
// bytes per pixel of the frames so far), as a few rectangles around what
// changed, shown one after another within the step's delay: each but the
// last for a hundredth of a second, the last for the rest, so that the
// picture after the step is exact and the step lasts as long as before. With
// dithering, only what changed is dithered again.
Bytes rewriteAnimation(const BrowserView& view, const RewriteOptions& options) {
  Colour background = options.background.value_or(backgroundOf(view));
  StepSequence steps;
  steps.width = view.screenWidth, steps.height = view.screenHeight;
  for (const BrowserFrame& frame : view.frames) steps.delays.push_back(browserDelay(frame.delay));
  steps.loopCount = view.loopCount;
  steps.sourceBytes = view.sourceBytes;
  steps.start = [&] { return std::make_unique<PaintedSteps>(view, background); };
  return writeSteps(steps, options.dither);
}

Bytes writeSteps(const StepSequence& sequence, bool dithering) {
  std::optional<std::vector<Colour>> exact = exactColours(sequence);
  std::vector<Colour> palette =
      exact ? std::move(*exact) : quantizedPalette(changedPixels(sequence));
  bool dither = dithering && !exact;
  IndexFinder indexOf(palette);

  gifwriter::Gif gif;
  int width = sequence.width, height = sequence.height;
  gif.screenWidth = width, gif.screenHeight = height;
  gif.globalTable = tableOf(palette);
  if (sequence.loopCount >= 0)
    gif.extensions.push_back(gifwriter::loopExtension(sequence.loopCount));
  bool animated = sequence.delays.size() >= 2;
  int codeSize = gifwriter::minimumCodeSize(static_cast<int>(palette.size()));
  int64_t steps = static_cast<int64_t>(sequence.delays.size());
  constexpr int64_t kFrameBytes = 20;  // a frame's graphic control, descriptor, block ends
  // A step is shown in pieces when that leaves out this many pixels.
  constexpr int64_t kSplitSaving = 1 << 16;
  int64_t budget = 2 * static_cast<int64_t>(sequence.sourceBytes), spent = 0, pixelsSpent = 0;
  Bytes indices(static_cast<size_t>(width) * static_cast<size_t>(height)), before;
  std::vector<Colour> pictureBefore;
  const ScreenArea screen{0, 0, width, height};
  std::unique_ptr<PictureSteps> pass = sequence.start();
  PictureSteps& painter = *pass;
  while (painter.next()) {
    const std::vector<Colour>& picture = painter.picture();
    int step = painter.step();
    int allowed = piecesAllowed(sequence, step);
    // Only what the step painted can differ from the step before.
    const ScreenArea& area = before.empty() ? screen : painter.changed();
    if (!dither) {
      for (int y = area.top; y < area.bottom; ++y) {
        size_t row = static_cast<size_t>(y) * width;
        std::transform(picture.begin() + static_cast<ptrdiff_t>(row + area.left),
                       picture.begin() + static_cast<ptrdiff_t>(row + area.right),
                       indices.begin() + static_cast<ptrdiff_t>(row + area.left),
                       std::ref(indexOf));
      }
    } else if (before.empty()) {
      ditherRectangle(picture, width, 0, 0, width, height, indexOf, palette, indices);
    } else {
      Box bounds = changedBounds(pictureBefore, picture, width, area);
      for (Box box : splitBounds(pictureBefore, picture, width, bounds, allowed))
        ditherRectangle(picture, width, box.left, box.top, box.width, box.height, indexOf, palette,
                        indices);
    }
    if (dither && pictureBefore.empty())
      pictureBefore = picture;
    else if (dither)
      copyArea(picture, pictureBefore, width, area);
    std::vector<Box> boxes{{0, 0, width, height}};
    if (!before.empty()) {
      Box bounds = changedBounds(before, indices, width, area);
      boxes = {bounds};
      int64_t allowance = budget * (step + 1) / steps - spent;
      int64_t estimate = bounds.area() * spent / std::max<int64_t>(pixelsSpent, 1);
      bool overBudget = estimate + kFrameBytes > allowance;
      if (allowed > 1 && (overBudget || bounds.area() >= kSplitSaving)) {
        std::vector<Box> pieces = splitBounds(before, indices, width, bounds, allowed);
        int64_t saved = bounds.area();
        for (const Box& piece : pieces) saved -= piece.area();
        if (overBudget || saved >= kSplitSaving) boxes = std::move(pieces);
      }
    }
    if (boxes.empty() || boxes[0].area() == 0) boxes = {{0, 0, 1, 1}};
    std::sort(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
      return std::pair(a.top, a.left) < std::pair(b.top, b.left);
    });
    int delay = sequence.delays[static_cast<size_t>(step)];
    for (size_t i = 0; i < boxes.size(); ++i) {
      gifwriter::Frame frame = frameOf(indices, width, boxes[i]);
      frame.codeSize = codeSize;
      frame.codes = shorterCodes(frame.indices, codeSize);
      spent +=
          static_cast<int64_t>(gifwriter::packCodes(*frame.codes, codeSize).size()) + kFrameBytes;
      pixelsSpent += boxes[i].area();
      if (animated) {
        frame.control = gifwriter::GraphicControl{};
        int rest = delay - static_cast<int>(boxes.size() - 1);
        frame.control->delay = static_cast<uint16_t>(i + 1 < boxes.size() ? 1 : rest);
      }
      frame.indices = Bytes();  // written from the codes: the steps' pixels are not all kept
      gif.frames.push_back(std::move(frame));
    }
    if (before.empty())
      before = indices;
    else
      copyArea(indices, before, width, area);
  }
  return gifwriter::writeGif(gif);
}
