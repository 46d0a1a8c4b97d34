#include "tests/unit/gifdiff/corpus.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>

#include "tests/support/test_support.h"

using namespace gifwriter;

namespace {

enum class Pattern { Noise, Gradient, Stripes, Blocks, Runs, Rings };
constexpr Pattern kPatterns[] = {Pattern::Noise,  Pattern::Gradient, Pattern::Stripes,
                                 Pattern::Blocks, Pattern::Runs,     Pattern::Rings};
const char* const kPatternNames[] = {"noise", "gradient", "stripes", "blocks", "runs", "rings"};

const char* nameOf(Pattern pattern) { return kPatternNames[static_cast<int>(pattern)]; }

int patternIndex(Pattern pattern, int x, int y, int width, int height, std::mt19937& random) {
  switch (pattern) {
    case Pattern::Noise:
      return static_cast<int>(random() >> 8);
    case Pattern::Gradient:
      return (x * 97 / std::max(1, width) + y * 61 / std::max(1, height));
    case Pattern::Stripes:
      return (x + 2 * y) / 3;
    case Pattern::Blocks:
      return x / 16 + (y / 16) * 7;
    case Pattern::Runs:
      return random() % 23 == 0 ? static_cast<int>(random() >> 8) : -1;
    case Pattern::Rings:
      return ((x - width / 3) * (x - width / 3) + (y - height / 2) * (y - height / 2)) / 40;
  }
  return 0;
}

Bytes paint(Pattern pattern, int width, int height, int colours, unsigned seed) {
  std::mt19937 random(seed);
  Bytes pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  int previous = 0;
  size_t at = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int index = patternIndex(pattern, x, y, width, height, random);
      if (index < 0) index = previous;  // a run goes on
      previous = index % colours;
      pixels[at++] = static_cast<uint8_t>(previous);
    }
  }
  return pixels;
}

ColourTable palette(int colours, unsigned seed) {
  std::mt19937 random(seed);
  ColourTable table(static_cast<size_t>(colours));
  for (Rgb& colour : table)
    colour = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
              static_cast<uint8_t>(random())};
  return table;
}

Frame frameOf(Pattern pattern, int width, int height, int colours, unsigned seed) {
  Frame frame;
  frame.width = width;
  frame.height = height;
  frame.indices = paint(pattern, width, height, colours, seed);
  return frame;
}

Gif gifOf(int screenWidth, int screenHeight, int colours, unsigned seed) {
  Gif gif;
  gif.screenWidth = screenWidth;
  gif.screenHeight = screenHeight;
  gif.globalTable = palette(colours, seed);
  return gif;
}

std::string sizeName(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

class WriterCorpus {
 public:
  std::vector<CorpusEntry> make() {
    sizes();
    palettesAndCodeSizes();
    interlacedHeights();
    animations();
    codingVariants();
    extensions();
    randomGifs();
    return std::move(entries_);
  }

 private:
  void add(const std::string& name, const Gif& gif) {
    entries_.push_back({"writer: " + name, writeGif(gif)});
  }

  void single(const std::string& name, Frame frame, int colours, unsigned seed) {
    Gif gif = gifOf(frame.width, frame.height, colours, seed);
    gif.frames.push_back(std::move(frame));
    add(name, gif);
  }

  void sizes() {
    struct Size {
      int width, height;
    };
    const Size sizes[] = {{1, 1},     {1, 2},     {2, 1},     {2, 2},      {3, 3},    {4, 4},
                          {5, 3},     {7, 7},     {8, 8},     {9, 9},      {1, 100},  {100, 1},
                          {15, 16},   {16, 15},   {31, 33},   {64, 64},    {100, 75}, {255, 2},
                          {256, 256}, {300, 200}, {640, 480}, {1000, 700}, {1500, 1}, {1, 1500},
                          {2000, 3},  {3, 2000},  {1999, 17}, {2000, 2000}};
    const int colours[] = {2, 3, 4, 7, 16, 31, 64, 129, 256};
    int i = 0;
    for (Size size : sizes) {
      Pattern pattern = kPatterns[i % 6];
      if (size.width * size.height > 1000000) pattern = Pattern::Blocks;
      int count = colours[i % 9];
      Frame frame = frameOf(pattern, size.width, size.height, count, static_cast<unsigned>(i));
      frame.interlaced = i % 2 == 1;
      frame.codeSize = i % 3 == 0 ? 8 : 0;
      single(sizeName(size.width, size.height) + ", " + std::to_string(count) + " colours, " +
                 nameOf(pattern) + (frame.interlaced ? ", interlaced" : ""),
             std::move(frame), count, static_cast<unsigned>(i));
      ++i;
    }
  }

  void palettesAndCodeSizes() {
    for (int codeSize = 2; codeSize <= 8; ++codeSize) {
      for (int colours : {2, (1 << codeSize) / 2 + 1, 1 << codeSize}) {
        Pattern pattern = kPatterns[(codeSize + colours) % 6];
        Frame frame = frameOf(pattern, 61, 47, colours, static_cast<unsigned>(colours));
        frame.codeSize = codeSize;
        single("code size " + std::to_string(codeSize) + ", " + std::to_string(colours) +
                   " colours, " + nameOf(pattern),
               std::move(frame), colours, static_cast<unsigned>(codeSize));
      }
    }
  }

  void interlacedHeights() {
    for (int height = 1; height <= 24; ++height) {
      Frame frame = frameOf(Pattern::Noise, 13, height, 16, static_cast<unsigned>(height));
      frame.interlaced = true;
      single("interlaced 13x" + std::to_string(height), std::move(frame), 16, 5);
    }
  }

  // Frames of every size at every place, some reaching past the screen's
  // right and bottom edges; delays of all kinds, some frames without any.
  Gif animation(int frames, int screenWidth, int screenHeight, int colours, unsigned seed,
                int largestFrame = 0xFFFF) {
    static constexpr uint16_t kDelays[] = {0, 1, 6, 8, 100, 65535, 7};
    Gif gif = gifOf(screenWidth, screenHeight, colours, seed);
    std::mt19937 random(seed);
    for (int i = 0; i < frames; ++i) {
      int width = 1 + static_cast<int>(random() %
                                       static_cast<unsigned>(std::min(screenWidth, largestFrame)));
      int height = 1 + static_cast<int>(
                           random() % static_cast<unsigned>(std::min(screenHeight, largestFrame)));
      Frame frame =
          frameOf(kPatterns[i % 6], width, height, colours, seed + static_cast<unsigned>(i));
      frame.left = static_cast<int>(random() % static_cast<unsigned>(screenWidth));
      frame.top = static_cast<int>(random() % static_cast<unsigned>(screenHeight));
      if (i == 0) frame.left = frame.top = 0;
      frame.interlaced = random() % 4 == 0;
      if (i % 7 != 3) frame.control = GraphicControl{.delay = kDelays[i % 7]};
      gif.frames.push_back(std::move(frame));
    }
    return gif;
  }

  void animations() {
    unsigned seed = 100;
    for (int frames : {2, 3, 10, 50, 99, 100, 101, 200, 201, 300}) {
      add(std::to_string(frames) + " frames on 64x48",
          animation(frames, 64, 48, frames % 2 ? 256 : 16, seed++));
    }
    add("30 frames on 320x240", animation(30, 320, 240, 256, seed++));
    add("6 frames on 2000x2000", animation(6, 2000, 2000, 64, seed++, 500));
    Gif far = animation(4, 100, 100, 8, seed++);
    far.frames[2].left = 65000;
    far.frames[3].top = 65500;
    add("frames far outside the screen", far);
  }

  void codingVariant(const std::string& name, const LzwOptions& options, int codeSize,
                     Pattern pattern = Pattern::Noise) {
    Gif gif = gifOf(200, 150, 1 << codeSize, 7);
    for (int i = 0; i < 3; ++i) {
      Frame frame = frameOf(i == 1 ? Pattern::Runs : pattern, 200 - 50 * i, 150 - 40 * i,
                            1 << codeSize, static_cast<unsigned>(i));
      frame.lzw = options;
      frame.interlaced = i == 2;
      frame.control = GraphicControl{.delay = static_cast<uint16_t>(10 + i)};
      gif.frames.push_back(std::move(frame));
    }
    add(name + ", code size " + std::to_string(codeSize), gif);
  }

  void subBlockVariant(const std::string& name, int codeSize,
                       const std::function<void(Frame&)>& change) {
    Gif gif = animation(4, 120, 90, 1 << codeSize, static_cast<unsigned>(codeSize) * 31);
    for (Frame& frame : gif.frames) change(frame);
    add(name + ", code size " + std::to_string(codeSize), gif);
  }

  void codingVariants() {
    for (int every : {1, 2, 3, 17, 255, 1000}) {
      codingVariant("a clear after every " + std::to_string(every) + " codes",
                    {.clearEvery = every}, every % 7 + 2);
    }
    codingVariant("runs of 2 clear codes", {.clearRun = 2}, 8);
    codingVariant("runs of 5 clear codes", {.clearRun = 5, .clearEvery = 50}, 3);
    for (int codeSize : {2, 4, 8}) {
      codingVariant("full table kept without a clear", {.deferredClear = true}, codeSize);
    }
    codingVariant("full table kept, long strings", {.deferredClear = true}, 6, Pattern::Rings);
    for (int codeSize : {2, 8}) {
      codingVariant("no initial clear code", {.initialClear = false}, codeSize);
    }
    for (int size : {1, 2, 100, 254}) {
      subBlockVariant("sub-blocks of " + std::to_string(size), size % 7 + 2,
                      [size](Frame& f) { f.subBlockSize = size; });
    }
    for (int codeSize : {2, 5, 8}) {
      subBlockVariant("end code in a sub-block of its own", codeSize,
                      [](Frame& f) { f.endCodeInOwnSubBlock = true; });
    }
  }

  void extensions() {
    Gif gif = animation(3, 50, 40, 32, 77);
    gif.extensions = {loopExtension(0), commentExtension("made for the comparison")};
    gif.frames[1].extensions = {commentExtension(std::string(700, 'x'))};
    add("loop and comments", gif);

    gif = animation(3, 50, 40, 32, 78);
    Extension plainText{0x01, {Bytes(12, 1), Bytes{'h', 'i'}}};
    gif.frames[0].extensions = {plainText, applicationExtension("XYZZYXYZ1.0", Bytes(600, 3))};
    add("plain text and application extensions", gif);

    gif = animation(3, 50, 40, 4, 79);
    gif.gif87a = true;
    for (Frame& frame : gif.frames) frame.control.reset();
    add("GIF87a", gif);

    gif = animation(5, 70, 30, 128, 81);
    gif.backgroundIndex = 100;
    gif.aspectRatio = 49;
    add("background index and aspect ratio", gif);
  }

  // Anything a valid stream may be, chosen at random from a fixed seed.
  void randomGifs() {
    std::mt19937 random(2024);
    for (int n = 0; n < 60; ++n) {
      auto pick = [&](int low, int high) {
        return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
      };
      int colours = pick(2, 256);
      Gif gif = gifOf(pick(1, 200), pick(1, 200), colours, static_cast<unsigned>(n));
      int frames = pick(1, 8);
      for (int i = 0; i < frames; ++i) {
        Frame frame = frameOf(kPatterns[pick(0, 5)], pick(1, 220), pick(1, 220), colours,
                              static_cast<unsigned>(random()));
        frame.left = pick(0, gif.screenWidth);
        frame.top = pick(0, gif.screenHeight);
        frame.interlaced = pick(0, 1) == 1;
        frame.codeSize = pick(minimumCodeSize(colours), 8);
        frame.subBlockSize = pick(0, 3) == 0 ? pick(1, 255) : 255;
        frame.lzw.clearEvery = pick(0, 3) == 0 ? pick(1, 5000) : 0;
        frame.lzw.deferredClear = pick(0, 3) == 0;
        if (pick(0, 1))
          frame.control = GraphicControl{.delay = static_cast<uint16_t>(pick(0, 999))};
        gif.frames.push_back(std::move(frame));
      }
      add("random " + std::to_string(n), gif);
    }
  }

  std::vector<CorpusEntry> entries_;
};

std::vector<CorpusEntry> readOutputs(const std::filesystem::path& directory,
                                     const std::string& tool,
                                     const std::vector<std::string>& names) {
  std::vector<CorpusEntry> entries;
  for (const std::string& name : names) {
    std::filesystem::path file = directory / (name + ".gif");
    if (std::filesystem::exists(file)) entries.push_back({tool + ": " + name, readFileBytes(file)});
  }
  return entries;
}

struct Recipe {
  const char* name;
  const char* arguments;  // of convert, without the output
};

const Recipe kConvertRecipes[] = {
    {"1x1", "-size 1x1 xc:red"},
    {"2x1", "-size 2x1 xc:white"},
    {"3x7 gradient", "-size 3x7 gradient:red-blue"},
    {"17x1 gradient", "-size 17x1 gradient:"},
    {"plasma 200x150, 50 colours", "-size 200x150 -seed 1 plasma:fractal -colors 50"},
    {"plasma 200x150 interlaced", "-size 200x150 -seed 1 plasma:fractal -colors 50 -interlace GIF"},
    {"gradient 321x123, 7 colours", "-size 321x123 gradient:red-blue -colors 7"},
    {"plasma 640x480", "-size 640x480 -seed 2 plasma:fractal -colors 256"},
    {"checkerboard 2000x2000", "-size 2000x2000 pattern:checkerboard"},
    {"gradient 1000x1", "-size 1000x1 gradient: -colors 100"},
    {"gradient 1x1000 interlaced", "-size 1x1000 gradient: -colors 100 -interlace GIF"},
    {"rose", "rose: -colors 32"},
    {"logo", "logo: -colors 64"},
    {"granite", "granite: -colors 16"},
    {"netscape", "netscape:"},
    {"checkerboard 100x100", "-size 100x100 pattern:checkerboard"},
    {"radial gradient, 4 colours", "-size 97x61 radial-gradient:white-black -colors 4"},
    {"grey ramp 256x256", "-size 256x256 gradient: -colors 256"},
    {"plasma 300x200, 5 colours", "-size 300x200 -seed 6 plasma: -colors 5 +dither"},
    {"gradient 255x255 interlaced", "-size 255x255 gradient:green-white -interlace GIF"},
    {"gradient 511x3", "-size 511x3 gradient:black-orange -colors 200"},
    {"gradient 1500x1000", "-size 1500x1000 gradient:navy-gold -colors 96"},
    {"three frames",
     "-delay 7 -size 60x40 gradient:red-blue gradient:green-yellow -seed 3 "
     "plasma: -loop 0 +map"},
    {"placed frames",
     "-delay 6 -size 120x90 xc:white -page +10+10 -size 30x20 xc:red -page +50+40 xc:blue "
     "-page +100+80 xc:green +map -loop 0"},
    {"placed frames interlaced",
     "-size 60x40 -seed 3 plasma: -page +10+20 -size 30x10 gradient:red-blue -page +40+35 "
     "xc:green -colors 5 +map -interlace GIF -loop 0"},
    {"optimized layers",
     "-delay 5 rose: ( rose: -roll +5+0 ) ( rose: -roll +10+3 ) ( rose: -roll +15+6 ) "
     "-layers Optimize +map"},
    {"150 frames morph", "-delay 4 -size 40x30 xc:red xc:blue -morph 148 +map"},
    {"interlaced animation",
     "-delay 8 -size 80x60 gradient:red-blue -seed 5 plasma: -interlace GIF +map"},
    {"wizard", "wizard: -resize 50% -colors 100"},
    {"logo interlaced", "logo: -colors 16 -interlace GIF"},
};

const char* const kGifsicleRecipes[][2] = {
    {"O3", "-O3"},
    {"flip horizontal", "--flip-horizontal"},
    {"flip vertical", "--flip-vertical"},
    {"rotate 90", "--rotate-90"},
    {"interlace", "--interlace"},
    {"no interlace", "--no-interlace"},
    {"crop", "--crop 5,5+100x80"},
    {"16 colours", "--colors 16"},
    {"2 colours", "--colors 2"},
    {"lossy", "--lossy=40"},
    {"resize", "--resize 123x77"},
    {"scale", "--scale 0.5"},
    {"O2", "-O2"},
    {"unoptimize", "--unoptimize"},
    {"delay and loop", "--delay 13 --loopcount=3"},
    {"grey colormap", "--use-colormap gray"},
    {"web colormap dithered", "--dither --use-colormap web"},
    {"lossy O3 64 colours", "-O3 --lossy=80 --colors 64"},
};

// Parentheses go to convert, not to the shell.
std::string escapeParentheses(std::string arguments) {
  for (size_t at = 0; (at = arguments.find_first_of("()", at)) != std::string::npos; at += 2)
    arguments.insert(at, "\\");
  return arguments;
}

}  // namespace

bool runCommand(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<CorpusEntry> writerCorpus() { return WriterCorpus().make(); }

// One convert run makes every picture, each in a group of its own that writes
// its file; a picture missing after it is tried again on its own.
std::vector<CorpusEntry> imagemagickCorpus(const std::filesystem::path& directory) {
  const std::string convert = "MAGICK_THREAD_LIMIT=1 convert -respect-parentheses";
  std::vector<std::string> names;
  std::vector<std::string> groups;
  std::string all;
  for (const Recipe& recipe : kConvertRecipes) {
    std::string name = recipe.name;
    std::replace(name.begin(), name.end(), ' ', '_');
    names.push_back(name);
    groups.push_back(" \\( " + escapeParentheses(recipe.arguments) + " -write " +
                     (directory / (name + ".gif")).string() + " +delete \\)");
    all += groups.back();
  }
  // The run ends on one image of its own, written nowhere.
  runCommand(convert + all + " xc: null:");
  for (size_t i = 0; i < names.size(); ++i) {
    if (!std::filesystem::exists(directory / (names[i] + ".gif")))
      runCommand(convert + groups[i] + " xc: null:");
  }
  return readOutputs(directory, "convert", names);
}

std::vector<CorpusEntry> gifsicleCorpus(const std::filesystem::path& directory) {
  std::vector<std::pair<std::string, Gif>> inputs;
  Gif still = gifOf(200, 150, 256, 1);
  still.frames.push_back(frameOf(Pattern::Rings, 200, 150, 256, 1));
  Gif interlaced = gifOf(150, 101, 100, 2);
  interlaced.frames.push_back(frameOf(Pattern::Noise, 150, 101, 100, 2));
  interlaced.frames[0].interlaced = true;
  Gif moving = gifOf(90, 70, 32, 3);
  for (int i = 0; i < 12; ++i) {
    Frame frame = frameOf(kPatterns[i % 6], 90 - 5 * i, 70 - 4 * i, 32, static_cast<unsigned>(i));
    frame.left = 3 * i;
    frame.top = 2 * i;
    frame.control = GraphicControl{.delay = static_cast<uint16_t>(5 + i)};
    moving.frames.push_back(std::move(frame));
  }
  inputs = {{"still", still}, {"interlaced", interlaced}, {"moving", moving}};

  std::vector<std::string> names;
  for (const auto& [inputName, gif] : inputs) {
    std::filesystem::path input = directory / (inputName + "-input.gif");
    writeFileBytes(input, writeGif(gif));
    for (const auto& recipe : kGifsicleRecipes) {
      std::string name = inputName + "_" + recipe[0];
      std::replace(name.begin(), name.end(), ' ', '_');
      runCommand(std::string("gifsicle --no-warnings ") + recipe[1] + " " + input.string() +
                 " -o " + (directory / (name + ".gif")).string());
      names.push_back(name);
    }
  }
  std::string merged = (directory / "merged.gif").string();
  runCommand("gifsicle --no-warnings -m " + (directory / "still-input.gif").string() + " " +
             (directory / "moving-input.gif").string() + " -o " + merged);
  names.push_back("merged");
  return readOutputs(directory, "gifsicle", names);
}
