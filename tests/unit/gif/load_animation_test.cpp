#include "gif/gif_animation.h"

#include <gtest/gtest.h>

#include <string>

#include "gif/gif_parser.h"
#include "tests/unit/gif/gif_bytes.h"
#include "tests/unit/gif/refused_blocks.h"

namespace {

using namespace gifbytes;

class LoadAnimationTest : public ::testing::Test {
 protected:
  void TearDown() override {
    grantAllBlocks();
    freeAnimation();
    closeLocator();
    if (applicationPalette != nullptr) DeleteObject(applicationPalette);
    applicationPalette = nullptr;
    releaseBitmap(canvas);
    canvas = IndexedBitmap{};
  }

  // A program file carrying gif as its picture payload.
  std::string program(const Bytes& gif) {
    std::filesystem::path path = scratch.file("player.exe");
    writeFileBytes(path, concat({Bytes(100, 0x90), bytesOf("*GIF_BEGINS_HERE:"),
                                 lengthField(static_cast<uint32_t>(gif.size())), gif}));
    return path.string();
  }

  ScratchDir scratch;
};

TEST_F(LoadAnimationTest, LoadsFramesPaletteAndCanvas) {
  Bytes gif = concat({header(5, 4, 0x81),
                      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                      image(3, 2, {1, 2, 3, 4, 5, 6}),
                      {0x3B}});
  ASSERT_EQ(loadAnimation(program(gif).c_str(), kPictureTag), 1);
  EXPECT_EQ(animation.frameCount, 1);
  EXPECT_EQ(payloadLocator.file, nullptr);  // closed once loaded
  EXPECT_EQ(canvas.width, 5);
  EXPECT_EQ(canvas.height, 4);
  EXPECT_NE(canvas.storage, nullptr);
  PALETTEENTRY entries[4];
  ASSERT_EQ(GetPaletteEntries(applicationPalette, 0, 4, entries), 4u);
  EXPECT_EQ(entries[3].peRed, 10);
  EXPECT_EQ(entries[3].peGreen, 11);
  EXPECT_EQ(entries[3].peBlue, 12);
  EXPECT_EQ(entries[3].peFlags, 0);
}

TEST_F(LoadAnimationTest, WholeGlobalTableBecomesThePalette) {
  ASSERT_EQ(loadAnimation(program(concat({start(2, 2), {0x3B}})).c_str(), kPictureTag), 1);
  EXPECT_EQ(animation.frameCount, 0);  // no image: still an animation
  EXPECT_EQ(GetPaletteEntries(applicationPalette, 0, 0, nullptr), 256u);
}

TEST_F(LoadAnimationTest, Failures) {
  Bytes noPayload = Bytes(50, 0x90);
  std::filesystem::path bare = scratch.file("bare.exe");
  writeFileBytes(bare, noPayload);
  EXPECT_EQ(loadAnimation(bare.string().c_str(), kPictureTag), 0) << "no payload";
  EXPECT_EQ(loadAnimation(scratch.file("missing.exe").string().c_str(), kPictureTag), 0);

  // A length field promising more than the file holds.
  std::filesystem::path cut = scratch.file("cut.exe");
  writeFileBytes(cut, concat({bytesOf("*GIF_BEGINS_HERE:"), lengthField(2000), start(1, 1)}));
  EXPECT_EQ(loadAnimation(cut.string().c_str(), kPictureTag), 0) << "payload cut short";
  EXPECT_EQ(animation.frames, nullptr);  // nothing parsed

  // Without a global table: the frames stay until they are freed, the file
  // open until shutdown closes it.
  Bytes noTable = concat({header(3, 2, 0x00), image(3, 2, {1, 2, 3, 4, 5, 6}), {0x3B}});
  EXPECT_EQ(loadAnimation(program(noTable).c_str(), kPictureTag), 0) << "no global table";
  EXPECT_EQ(animation.frameCount, 1);
  EXPECT_NE(payloadLocator.file, nullptr);
  EXPECT_EQ(applicationPalette, nullptr);
}

// Without canvas storage there is nothing to show on: loading fails rather
// than leaving painting and compositing to find that out.
TEST_F(LoadAnimationTest, CanvasWithoutStorageFailsTheLoad) {
  EXPECT_EQ(loadAnimation(program(concat({start(65535, 65535), {0x3B}})).c_str(), kPictureTag), 0)
      << "too large for one block";
  releaseBitmap(canvas);
  canvas = IndexedBitmap{};

  refuseBlocksWhen([](size_t bytes) { return bytes == 12 * 10; });
  EXPECT_EQ(loadAnimation(program(concat({start(11, 10), {0x3B}})).c_str(), kPictureTag), 0)
      << "refused";
  EXPECT_EQ(canvas.storage, nullptr);
}

// Real files: how many frames come out, and that none of the odd ones
// trips the parser.
TEST_F(LoadAnimationTest, RealFiles) {
  struct Case {
    const char* name;
    int32_t frames;
    bool loads;
  };
  const Case cases[] = {
      {"animated-red-blue.gif", 4, true},
      {"bricks-dither.gif", 1, true},
      {"gifplayer-muybridge.gif", 380, true},
      {"harvesters.gif", 1, true},
      {"hibiscus.regular.gif", 1, true},
      {"hippopotamus.interlaced.gif", 1, true},
      {"hippopotamus.interlaced.truncated.gif", 1, true},
      {"muybridge.gif", 15, true},
      {"pjw-thumbnail.gif", 1, true},
      {"artificial/background-color.gif", 2, true},
      {"artificial/empty-palette.gif", 2, false},  // no global table
      {"artificial/frame-out-of-bounds.gif", 4, true},
      {"artificial/metadata-full.gif", 1, true},
      {"artificial/multiple-graphic-controls.gif", 1, true},
      {"artificial/multiple-loop-counts.gif", 4, true},
      {"artificial/no-frames.gif", 0, true},
      {"artificial/pixel-data-none.gif", 1, true},
      {"artificial/pixel-data-not-enough.gif", 1, true},
      {"artificial/pixel-data-too-much-bad-lzw.gif", 1, true},
      {"artificial/pixel-data-too-much-good-lzw.gif", 1, true},
      {"artificial/small-frame-interlaced.gif", 1, true},
      {"artificial/transparent-index.gif", 2, true},
      {"artificial/zero-width-frame.gif", 1, true},
  };
  for (const Case& c : cases) {
    Bytes gif = readFileBytes(std::filesystem::path(GIFPLAY_TESTDATA) / "gif" / c.name);
    ASSERT_FALSE(gif.empty()) << c.name;
    EXPECT_EQ(loadAnimation(program(gif).c_str(), kPictureTag), c.loads ? 1 : 0) << c.name;
    EXPECT_EQ(animation.frameCount, c.frames) << c.name;
    TearDown();
  }
}

}  // namespace
