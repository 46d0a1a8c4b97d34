#include "tools/gifpack/rewrite.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>

#include "gif/gif_animation.h"
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
bool sameStep(const StepPainter& painter, int32_t step) {
  RECT rectangle{};
  ScreenArea compared = painter.changed();
  if (IndexedBitmap* bitmap = frameRect(*animation.frames[step], rectangle)) {
    blitBitmap(canvas, *bitmap, rectangle, 0, 0, kOpaqueCopy);
    ScreenArea drawn{rectangle.left, rectangle.top, std::min(rectangle.right, canvas.width),
                     std::min(rectangle.bottom, canvas.height)};
    compared = unite(compared, drawn);
  }
  const PaletteTable& palette = animation.palette;
  const std::vector<Colour>& picture = painter.picture();
  for (int32_t y = compared.top; y < compared.bottom; ++y) {
    const uint8_t* row = bitmapRowAddress(canvas, 0, canvas.height - 1 - y);
    const Colour* expected = picture.data() + static_cast<size_t>(y) * canvas.width;
    for (int32_t x = compared.left; x < compared.right; ++x)
      if (palette.entries[row[x] % palette.count] != expected[x]) return false;
  }
  return true;
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
std::optional<std::vector<Colour>> exactColours(const BrowserView& view, Colour background) {
  std::vector<uint64_t> seen(kColourSpace / 64, 0);
  std::vector<Colour> colours;
  StepPainter painter(view, background);
  while (painter.next()) {
    const ScreenArea& area = painter.changed();
    for (int y = area.top; y < area.bottom; ++y) {
      const Colour* row = painter.picture().data() + static_cast<size_t>(y) * view.screenWidth;
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

// The smallest rectangle holding every pixel that differs; width 0 when none does.
struct Box {
  int left = 0, top = 0, width = 0, height = 0;
};

// Within area, the only part where the pictures may differ.
template <typename Pixel>
Box changedBox(const std::vector<Pixel>& before, const std::vector<Pixel>& after, int width,
               const ScreenArea& area) {
  int left = area.right, right = -1, top = area.bottom, bottom = -1;
  for (int y = area.top; y < area.bottom; ++y) {
    const Pixel* a = before.data() + static_cast<size_t>(y) * width;
    const Pixel* b = after.data() + static_cast<size_t>(y) * width;
    int x = area.left;
    while (x < area.right && a[x] == b[x]) ++x;
    if (x == area.right) continue;
    int last = area.right - 1;
    while (a[last] == b[last]) --last;
    left = std::min(left, x), right = std::max(right, last);
    top = std::min(top, y), bottom = y;
  }
  if (right < 0) return {};
  return {left, top, right - left + 1, bottom - top + 1};
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

// What changes from step to step, each changed area once: the pixels the
// palette has to stand for.
std::vector<Colour> changedPixels(const BrowserView& view, Colour background) {
  std::vector<Colour> sample, before;
  StepPainter painter(view, background);
  while (painter.next()) {
    const std::vector<Colour>& picture = painter.picture();
    Box box = before.empty() ? Box{0, 0, view.screenWidth, view.screenHeight}
                             : changedBox(before, picture, view.screenWidth, painter.changed());
    for (int y = box.top; y < box.top + box.height; ++y) {
      auto row = picture.begin() + static_cast<ptrdiff_t>(y) * view.screenWidth + box.left;
      sample.insert(sample.end(), row, row + box.width);
    }
    if (before.empty())
      before = picture;
    else
      copyArea(picture, before, view.screenWidth, painter.changed());
  }
  if (sample.size() > kMaxSample) {
    size_t stride = (sample.size() + kMaxSample - 1) / kMaxSample;
    for (size_t i = 0; i * stride < sample.size(); ++i) sample[i] = sample[i * stride];
    sample.resize((sample.size() + stride - 1) / stride);
  }
  return sample;
}

// Colour to palette index, learnt on first sight: the palette's own colours
// exactly, any other colour its nearest.
class IndexFinder {
 public:
  explicit IndexFinder(const std::vector<Colour>& palette)
      : palette_(palette), index_(kColourSpace, -1) {
    for (size_t i = 0; i < palette.size(); ++i) index_[palette[i]] = static_cast<int16_t>(i);
  }
  uint8_t operator()(Colour c) {
    int16_t& index = index_[c];
    if (index < 0) {
      auto nearest = std::min_element(palette_.begin(), palette_.end(), [c](Colour a, Colour b) {
        return colourDistance(a, c) < colourDistance(b, c);
      });
      index = static_cast<int16_t>(nearest - palette_.begin());
    }
    return static_cast<uint8_t>(index);
  }

 private:
  const std::vector<Colour>& palette_;
  std::vector<int16_t> index_;
};

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

// ImageMagick's resource limits (its policy.xml) can refuse a large screen.
std::vector<Colour> ditheredStep(const std::vector<Colour>& picture, const BrowserView& view,
                                 const std::vector<Colour>& palette) {
  try {
    return ditheredPicture(picture, view.screenWidth, view.screenHeight, palette);
  } catch (const std::exception&) {
    throw std::runtime_error("--dither cannot diffuse the error over a screen of " +
                             std::to_string(view.screenWidth) + " x " +
                             std::to_string(view.screenHeight) +
                             ": ImageMagick's resource limits refuse a picture that large; "
                             "pack it without --dither");
  }
}

}  // namespace

// Browsers show no picture below the first frame, so a first frame short of
// the screen or letting it show through never agrees. Each browsers' frame
// lets go of its pixels once painted.
bool playerAgrees(const Bytes& gif, const AnimationCheck& check, const RewriteOptions& options) {
  if (!check.refusal.empty()) return false;
  std::memset(canvas.storage, 0, static_cast<size_t>(canvas.stride) * canvas.height);
  std::optional<StepPainter> painter;
  bool agrees = true, shortDelays = false;
  auto paintAndCompare = [&](BrowserView& view) {
    BrowserFrame& frame = view.frames.back();
    auto step = static_cast<int32_t>(view.frames.size() - 1);
    if (step == 0) {
      agrees = pixelsOf(view) > 0 && coversScreen(frame, view) && !hasTransparentPixels(frame) &&
               !leavesRowsOut(frame);
      if (agrees) painter.emplace(view, options.background.value_or(backgroundOf(view)));
    }
    shortDelays = shortDelays || browserDelay(frame.delay) != frame.delay;
    agrees = agrees && !(step >= 1 && shortDelays) && step < check.playerFrames &&
             painter->next() && sameStep(*painter, step);
    frame.indices = Bytes();
    return agrees;
  };
  std::optional<BrowserView> view = decodeAsBrowsers(gif, kMaxScreenPixels, paintAndCompare);
  auto frames = static_cast<int32_t>(view ? view->frames.size() : 0);
  return agrees && frames > 0 && check.shownFrames == frames && check.playerFrames == frames &&
         !(frames >= 2 && shortDelays);
}

RewriteChoice chooseRewrite(const Bytes& gif, const AnimationCheck& check, bool agrees) {
  RewriteChoice choice;
  choice.shownAlike = agrees;
  if (agrees) return choice;
  choice.view = decodeAsBrowsers(gif, kMaxScreenPixels);
  if (!choice.view || choice.view->frames.empty()) return choice;
  const BrowserView& view = *choice.view;
  // A rewrite helps where the player would not start for want of a global
  // colour table; its other refusals stand.
  if (!check.refusal.empty() && view.globalTable) return choice;
  choice.shownAlike = pixelsOf(view) == 0;
  if (!choice.shownAlike) choice.reasons = reasonsOf(view, check);
  return choice;
}

Bytes rewriteAnimation(const BrowserView& view, const RewriteOptions& options) {
  Colour background = options.background.value_or(backgroundOf(view));
  std::optional<std::vector<Colour>> exact = exactColours(view, background);
  std::vector<Colour> palette =
      exact ? std::move(*exact) : quantizedPalette(changedPixels(view, background));
  bool dither = options.dither && !exact;
  IndexFinder indexOf(palette);

  gifwriter::Gif gif;
  gif.screenWidth = view.screenWidth, gif.screenHeight = view.screenHeight;
  gif.globalTable = tableOf(palette);
  if (view.loopCount >= 0) gif.extensions.push_back(gifwriter::loopExtension(view.loopCount));
  bool animated = view.frames.size() >= 2;
  int codeSize = gifwriter::minimumCodeSize(static_cast<int>(palette.size()));
  Bytes indices(pixelsOf(view)), before(indices.size());
  const ScreenArea screen{0, 0, view.screenWidth, view.screenHeight};
  StepPainter painter(view, background);
  while (painter.next()) {
    // Error diffusion carries changes over the whole picture.
    const ScreenArea& area = dither ? screen : painter.changed();
    std::vector<Colour> dithered;
    if (dither) dithered = ditheredStep(painter.picture(), view, palette);
    const std::vector<Colour>& picture = dither ? dithered : painter.picture();
    for (int y = area.top; y < area.bottom; ++y) {
      size_t row = static_cast<size_t>(y) * view.screenWidth;
      std::transform(picture.begin() + static_cast<ptrdiff_t>(row + area.left),
                     picture.begin() + static_cast<ptrdiff_t>(row + area.right),
                     indices.begin() + static_cast<ptrdiff_t>(row + area.left), std::ref(indexOf));
    }
    Box box = painter.step() == 0 ? Box{0, 0, view.screenWidth, view.screenHeight}
                                  : changedBox(before, indices, view.screenWidth, area);
    if (box.width == 0) box = {0, 0, 1, 1};
    gifwriter::Frame frame = frameOf(indices, view.screenWidth, box);
    frame.codeSize = codeSize;
    frame.codes = shorterCodes(frame.indices, codeSize);
    frame.indices = Bytes();  // written from the codes: the steps' pixels are not all kept
    if (animated) {
      frame.control = gifwriter::GraphicControl{};
      frame.control->delay = static_cast<uint16_t>(
          browserDelay(view.frames[static_cast<size_t>(painter.step())].delay));
    }
    gif.frames.push_back(std::move(frame));
    copyArea(indices, before, view.screenWidth, area);
  }
  return gifwriter::writeGif(gif);
}
