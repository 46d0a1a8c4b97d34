// Our loader against giflib on GIFs made at test time by our writer,
// ImageMagick and gifsicle, and on the shared real-world files: every frame's
// position, size, delay and indices must agree. Streams with local colour
// tables are left out, since our player shows every frame in the global
// colours.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/support/test_support.h"
#include "tests/unit/gifdiff/corpus.h"
#include "tests/unit/gifdiff/decoded.h"

using namespace gifwriter;

namespace {

struct Tally {
  int compared = 0;
  std::vector<std::string> left;  // entries not compared, and why
};

bool hasLocalTable(const GiflibImage& image) {
  for (const GiflibFrame& frame : image.frames)
    if (frame.hasLocalTable) return true;
  return false;
}

Tally compareWithGiflib(const std::vector<CorpusEntry>& corpus) {
  Tally tally;
  for (const CorpusEntry& entry : corpus) {
    std::string error;
    std::optional<GiflibImage> image = decodeWithGiflib(entry.gif, &error);
    if (!image) {
      tally.left.push_back(entry.name + " (giflib: " + error + ")");
      continue;
    }
    if (hasLocalTable(*image)) {
      tally.left.push_back(entry.name + " (local colour table)");
      continue;
    }
    ++tally.compared;
    EXPECT_EQ(firstDifference(parseWithOurs(entry.gif), fromGiflib(*image)), "") << entry.name;
  }
  std::cout << "compared " << tally.compared << " of " << corpus.size() << "\n";
  for (const std::string& name : tally.left) std::cout << "  left out: " << name << "\n";
  return tally;
}

bool haveTool(const char* tool) { return runCommand(std::string(tool) + " --version"); }

TEST(GifDiff, WriterCorpus) {
  std::vector<CorpusEntry> corpus = writerCorpus();
  Tally tally = compareWithGiflib(corpus);
  EXPECT_GE(tally.compared, 150);
  EXPECT_TRUE(tally.left.empty()) << "giflib reads everything the writer writes";
}

TEST(GifDiff, ImageMagickCorpus) {
  if (!haveTool("convert")) GTEST_SKIP() << "convert is not installed";
  ScratchDir directory;
  Tally tally = compareWithGiflib(imagemagickCorpus(directory.path()));
  EXPECT_GE(tally.compared, 25);
}

TEST(GifDiff, GifsicleCorpus) {
  if (!haveTool("gifsicle")) GTEST_SKIP() << "gifsicle is not installed";
  ScratchDir directory;
  Tally tally = compareWithGiflib(gifsicleCorpus(directory.path()));
  EXPECT_GE(tally.compared, 40);
}

// The real-world files go through the whole loading path: a picture record
// in a file, found and read by loadAnimation.
TEST(GifDiff, SharedFilesThroughTheLoader) {
  ScratchDir directory;
  int compared = 0;
  for (const auto& file : std::filesystem::directory_iterator(GIFPLAY_TESTDATA "/gif")) {
    if (file.path().extension() != ".gif") continue;
    std::string name = file.path().filename().string();
    Bytes gif = readFileBytes(file.path());
    std::optional<GiflibImage> image = decodeWithGiflib(gif);
    if (!image || hasLocalTable(*image) || !image->hasGlobalTable) continue;
    std::optional<DecodedGif> ours = loadWithOurs(gif, directory.file("player"));
    ASSERT_TRUE(ours) << name;
    EXPECT_EQ(firstDifference(*ours, fromGiflib(*image)), "") << name;
    ++compared;
  }
  EXPECT_GE(compared, 5);
}

}  // namespace
