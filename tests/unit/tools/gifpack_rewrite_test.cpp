// gifpack's rewriting held against ImageMagick: each step that the player
// shows of the packed animation (--frames) is ImageMagick's -coalesce of the
// original with its transparency painted in the background colour; exact
// where the animation has at most 256 colours, otherwise at least as close as
// ImageMagick's own answer with one palette for the whole sequence. (Its
// +remap leaves alone a sequence whose frames each have at most 256 colours,
// so the palette comes from -colors 256 over all steps, and each step is
// -remap'ed to it.) A step that the rewrite shows in several rectangles is
// held to what browsers show by its last one; the packed picture of a GIF of
// a kilobyte or more is at most twice its size.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "tests/support/test_support.h"
#include "tests/unit/tools/run_tool.h"
#include "tools/gifwriter/giflib_reader.h"

namespace {

namespace fs = std::filesystem;

struct Steps {
  int width = 0, height = 0;
  std::vector<std::vector<uint8_t>> rgb;  // one picture per step
};

std::vector<uint8_t> readRgbPng(const fs::path& path, int& width, int& height,
                                const png_color* background = nullptr) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, background, rgb.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  return rgb;
}

// DIR/<prefix>000.png, 001, ... up to the first missing.
Steps readSteps(const fs::path& dir, const std::string& prefix) {
  Steps steps;
  for (int i = 0;; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%03d.png", prefix.c_str(), i);
    if (!fs::exists(dir / name)) return steps;
    steps.rgb.push_back(readRgbPng(dir / name, steps.width, steps.height));
  }
}

size_t colourCount(const Steps& steps) {
  std::vector<bool> seen(1 << 24);
  size_t count = 0;
  for (const auto& picture : steps.rgb)
    for (size_t i = 0; i + 2 < picture.size(); i += 3) {
      size_t c = picture[i] | picture[i + 1] << 8 | picture[i + 2] << 16;
      if (!seen[c]) seen[c] = true, ++count;
    }
  return count;
}

double psnr(const Steps& a, const Steps& b) {
  double squares = 0, count = 0;
  for (size_t s = 0; s < a.rgb.size(); ++s)
    for (size_t i = 0; i < a.rgb[s].size(); ++i, ++count) {
      double e = static_cast<double>(a.rgb[s][i]) - b.rgb[s][i];
      squares += e * e;
    }
  return squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * count / squares);
}

// The colour that browsers' transparent pixels get: the logical screen's
// background entry of the global table, white without a global table.
std::string backgroundOf(const Bytes& gif) {
  uint32_t rgb = 0xFFFFFF;
  if (gif.size() >= 13 && gif[10] & 0x80) {
    size_t at = 13 + 3 * size_t{gif[11]};
    rgb = at + 3 <= gif.size() && gif[11] < (2 << (gif[10] & 7))
              ? gif[at] << 16 | gif[at + 1] << 8 | gif[at + 2]
              : 0;
  }
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", rgb);
  return text;
}

// The packed picture, and which of its frames end a step: all but the last
// rectangle of a step show for a hundredth of a second, the last for two or
// more.
Bytes packedPicture(const fs::path& gif, const fs::path& program, std::vector<bool>& stepEnds,
                    std::vector<int>* delays = nullptr) {
  if (runGifpack({"--player", GIFPLAY_PLAYER, gif.string(), "-o", program.string()}).exitCode != 0)
    return {};
  Bytes packed = readFileBytes(program);
  const std::string signature = "GIF8";
  auto at = std::search(packed.begin() + static_cast<ptrdiff_t>(fs::file_size(GIFPLAY_PLAYER)),
                        packed.end(), signature.begin(), signature.end());
  Bytes picture(at, packed.end());
  if (auto image = gifwriter::decodeWithGiflib(picture))
    for (const auto& frame : image->frames) {
      stepEnds.push_back(image->frames.size() == 1 || frame.delay != 1);
      if (delays != nullptr) delays->push_back(frame.delay);
    }
  return picture;
}

// ImageMagick by the name Debian gives it, so that no wrapper named convert
// stands in between (make_rewrite_corpus.sh makes the other GIFs). It takes
// grey GIFs for linear grey unless told that they are sRGB.
const std::string kConvert = "convert-im6.q16";

bool shell(const fs::path& dir, const std::string& command) {
  return std::system(("cd '" + dir.string() + "' && " + command + " >/dev/null 2>&1").c_str()) == 0;
}

// An optimized GIF of 259 frames of 1000 x 175 that are transparent but for
// a few objects scattered over them, each frame with its own colour table.
// (A child's peak memory counts what its parent held when it started it: this
// test comes first, before the test process holds many pictures.)
TEST(GifpackRewriteTest, ScatteredChangesStaySmallAndLean) {
  ScratchDir scratch;
  fs::path gif = scratch.file("scattered.gif"), program = scratch.file("packed");
  ASSERT_TRUE(
      shell(scratch.path(), GIFPLAY_BUILD_DIR "/bench/gifplay_make_scattered_gif " + gif.string()));
  ToolRun run = runGifpack({"--player", GIFPLAY_PLAYER, gif.string(), "-o", program.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_LE(fs::file_size(program) - fs::file_size(GIFPLAY_PLAYER), 2 * fs::file_size(gif));
  if (kPeakMemoryIsTheProgramsOwn) {
    EXPECT_LT(run.peakBytes, int64_t{300} << 20);
  }
}

TEST(GifpackRewriteTest, EachPackedStepIsWhatBrowsersShow) {
  if (!shell(".", "command -v " + kConvert + " && command -v gifsicle"))
    GTEST_SKIP() << "needs ImageMagick's convert and gifsicle";
  ScratchDir scratch;
  fs::create_directory(scratch.file("made"));
  ASSERT_TRUE(
      shell(scratch.path(), GIFPLAY_SOURCE_DIR "/tests/unit/tools/make_rewrite_corpus.sh made"));
  ASSERT_TRUE(shell(scratch.path(),
                    GIFPLAY_BUILD_DIR "/bench/gifplay_make_scattered_gif made/scattered.gif 60"));
  std::vector<fs::path> corpus;
  for (const char* dir : {"made", GIFPLAY_TESTDATA "/gif"})
    for (const auto& entry : fs::recursive_directory_iterator(scratch.file(dir)))
      if (entry.path().extension() == ".gif") corpus.push_back(entry.path());

  int compared = 0;
  for (const fs::path& gif : corpus) {
    SCOPED_TRACE(gif.filename().string());
    fs::path ours = scratch.file(gif.stem().string() + "-ours");
    fs::path theirs = scratch.file(gif.stem().string() + "-coalesced");
    fs::create_directory(theirs);
    std::string background = backgroundOf(readFileBytes(gif));
    shell(theirs, kConvert + " '" + gif.string() +
                      "' -set colorspace sRGB -coalesce -background '" + background +
                      "' -alpha remove -alpha off +repage PNG24:s-%03d.png");
    Steps reference = readSteps(theirs, "s-");
    ToolRun run = runGifpack({"--frames", ours.string(), gif.string()});
    if (reference.rgb.empty()) continue;  // ImageMagick cannot read it: nothing to hold it to
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Steps packed = readSteps(ours, "frame-");
    std::vector<bool> stepEnds;
    size_t size = fs::file_size(gif);
    size_t packedSize = packedPicture(gif, scratch.file("packed"), stepEnds).size();
    EXPECT_TRUE(packedSize <= 2 * size || size < 1024) << packedSize << " bytes from " << size;
    ASSERT_EQ(stepEnds.size(), packed.rgb.size());
    for (size_t frame = packed.rgb.size(); frame-- > 0;)
      if (!stepEnds[frame]) packed.rgb.erase(packed.rgb.begin() + static_cast<ptrdiff_t>(frame));
    ASSERT_EQ(packed.rgb.size(), reference.rgb.size());
    ASSERT_EQ(packed.width, reference.width);
    ASSERT_EQ(packed.height, reference.height);
    ++compared;
    if (colourCount(reference) <= 256) {
      for (size_t s = 0; s < packed.rgb.size(); ++s)
        EXPECT_TRUE(packed.rgb[s] == reference.rgb[s]) << "step " << s;
      continue;
    }
    // ImageMagick's one palette for the whole sequence, each step put into it.
    ASSERT_TRUE(shell(theirs, kConvert +
                                  " s-*.png -append -colors 256 -unique-colors palette.png && " +
                                  kConvert + " s-*.png -remap palette.png PNG24:r-%03d.png"));
    Steps remapped = readSteps(theirs, "r-");
    EXPECT_GE(psnr(packed, reference), psnr(remapped, reference));
  }
  EXPECT_GE(compared, 20);
}

// Animations that are not GIFs, held to the pictures of tools nobody here
// wrote (make_media_corpus.sh): each packed step is the reference picture
// shown when the step starts (to the GIF's hundredth), exact up to 256
// colours, at 40 dB PSNR or more above; the steps last as long as the
// source, within 10 ms.
TEST(GifpackRewriteTest, OtherKindsAreWhatTheirReferenceShows) {
  if (!shell(".", "command -v ffmpeg && command -v cwebp && command -v webpmux"))
    GTEST_SKIP() << "needs ffmpeg and the webp tools";
  ScratchDir scratch;
  ASSERT_TRUE(shell(scratch.path(), GIFPLAY_SOURCE_DIR
                    "/tests/unit/tools/make_media_corpus.sh . " GIFPLAY_ANIM_DUMP));
  const png_color white{255, 255, 255};
  for (std::string name : {"anim.webp", "anim.apng", "anim.mp4"}) {
    SCOPED_TRACE(name);
    Steps reference;
    std::set<fs::path> pictures;
    for (const auto& entry : fs::directory_iterator(scratch.file(name + ".ref")))
      if (entry.path().extension() == ".png") pictures.insert(entry.path());
    for (const fs::path& picture : pictures)
      reference.rgb.push_back(readRgbPng(picture, reference.width, reference.height, &white));
    std::vector<double> starts;
    std::ifstream times(scratch.file(name + ".ref/times"));
    for (std::string line; std::getline(times, line);)
      starts.push_back(std::atof(line.c_str() + (line[0] == 'e' ? 4 : 0)));
    double length = starts.back();
    starts.pop_back();
    ASSERT_EQ(starts.size(), reference.rgb.size());

    ToolRun run = runGifpack(
        {"--frames", scratch.file(name + "-ours").string(), scratch.file(name).string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Steps packed = readSteps(scratch.file(name + "-ours"), "frame-");
    std::vector<bool> stepEnds;
    std::vector<int> delays;
    packedPicture(scratch.file(name), scratch.file("packed"), stepEnds, &delays);
    ASSERT_EQ(delays.size(), packed.rgb.size());
    ASSERT_EQ(packed.width, reference.width);
    bool exact = colourCount(reference) <= 256;
    int shown = 0;  // hundredths
    for (size_t frame = 0, stepStart = 0; frame < packed.rgb.size(); shown += delays[frame++]) {
      if (!stepEnds[frame]) continue;
      double at = stepStart / 100.0 + 0.005 + 1e-6;
      stepStart = static_cast<size_t>(shown + delays[frame]);
      size_t r =
          static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), at) - starts.begin()) -
          1;
      Steps one{packed.width, packed.height, {packed.rgb[frame]}};
      Steps theirs{packed.width, packed.height, {reference.rgb[r]}};
      if (exact)
        EXPECT_TRUE(one.rgb[0] == theirs.rgb[0]) << "frame " << frame << ", reference " << r;
      else
        EXPECT_GE(psnr(one, theirs), 40) << "frame " << frame << ", reference " << r;
    }
    EXPECT_NEAR(shown / 100.0, length, 0.010);
  }
}

const char* const kHostileInputs = R"sh(set -e
    ffmpeg -v error -f lavfi -i testsrc=size=64x48 -frames 1 still.png
    cwebp -quiet still.png -o still.webp
    ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=30 -t 4 -pix_fmt yuv420p clip.mp4
    ffmpeg -v error -i clip.mp4 -c copy -movflags +faststart first.mp4
    ffmpeg -v error -f lavfi -i color=s=3840x2160:r=30:d=1 -c:v libx264 -preset ultrafast -crf 51 -pix_fmt yuv420p second.mp4
    ffmpeg -v error -stream_loop 599 -i second.mp4 -c copy 4k.mp4
    truncate -s 600M 4k.mp4
    cp still.webp big.webp && truncate -s 200M big.webp
    python3 -c "
import struct, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
open('bomb.png', 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB',
    100000, 100000, 8, 6, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(bytes(10 ** 6))))
webp = bytearray(open('still.webp', 'rb').read())
webp[16:20] = b'\xff\xff\xff\x7f'
open('damaged.webp', 'wb').write(webp)
for name in ('clip', 'first'):
    data = open(name + '.mp4', 'rb').read()
    open(name + '-cut.mp4', 'wb').write(data[:len(data) // 2])")sh";

// Inputs made to hurt end with one plain line, nothing written, in under
// 500 MB: a WebP with damaged chunks, a WebP of 200 MB, an MP4 cut in half
// (its index at the end), a PNG declaring 100000 x 100000 pixels in a few
// bytes, a 4K clip of 10 minutes in a file of 600 MB. An MP4 with its index first, cut in half, is
// packed as far as its data goes, and says so.
TEST(GifpackRewriteTest, HostileInputsEndPlainlyAndLean) {
  if (!shell(".", "command -v ffmpeg && command -v cwebp"))
    GTEST_SKIP() << "needs ffmpeg and cwebp";
  ScratchDir scratch;
  ASSERT_TRUE(shell(scratch.path(), kHostileInputs));
  const struct {
    const char* name;
    const char* said;
  } cases[] = {{"damaged.webp", "damaged WebP"},
               {"big.webp", "200 MB: more than the 128 MB"},
               {"clip-cut.mp4", "FFmpeg cannot read it"},
               {"bomb.png", "100000 x 100000"},
               {"4k.mp4", "3840 x 2160, more than the 2 GiB"},
               {"first-cut.mp4", "cut where its data ends"}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    fs::path out = scratch.file(std::string(each.name) + "-packed");
    ToolRun run = runGifpack(
        {"--player", GIFPLAY_PLAYER, scratch.file(each.name).string(), "-o", out.string()});
    bool packs = std::string(each.name) == "first-cut.mp4";
    EXPECT_EQ(run.exitCode, packs ? 0 : 2) << run.err;
    EXPECT_EQ(fs::exists(out), packs);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(each.said), std::string::npos) << run.err;
    if (kPeakMemoryIsTheProgramsOwn) {
      EXPECT_LT(run.peakBytes, int64_t{500} << 20);
    }
  }
}

}  // namespace
