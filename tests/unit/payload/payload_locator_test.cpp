#include "payload/payload_locator.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/test_support.h"

namespace {

const Bytes kPictureMarker = bytesOf("*GIF_BEGINS_HERE:");
const Bytes kMusicMarker = bytesOf("*MIDI_BEGINS_HERE:");

class PayloadLocatorTest : public ::testing::Test {
 protected:
  void TearDown() override { closeLocator(); }

  std::string write(const Bytes& contents) {
    std::filesystem::path path = scratch.file("program.exe");
    writeFileBytes(path, contents);
    return path.string();
  }

  // Reads the payload the way the program does; empty when it is absent.
  Bytes readPayload(const std::string& path, const char* tag) {
    int32_t length = locate(path.c_str(), tag);
    if (length == 0) return {};
    PayloadBuffer buffer = makePayloadBuffer(length);
    Bytes out;
    if (readExact(buffer)) out.assign(buffer.data, buffer.data + buffer.size);
    releasePayloadBuffer(buffer);
    return out;
  }

  ScratchDir scratch;
};

TEST_F(PayloadLocatorTest, FindsBothRecordsInEitherOrderOfCalls) {
  Bytes image(10000, 0x90);
  Bytes gif = bytesOf("GIF89a picture bytes");
  Bytes midi = bytesOf("MThd song bytes, a little longer");
  std::string path = write(concat({image, kPictureMarker, lengthField(gif.size()), gif,
                                   kMusicMarker, lengthField(midi.size()), midi}));
  EXPECT_EQ(readPayload(path, kMusicTag), midi);
  EXPECT_EQ(readPayload(path, kPictureTag), gif);
  EXPECT_EQ(readPayload(path, kMusicTag), midi);
}

TEST_F(PayloadLocatorTest, LeavesTheFilePositionedBehindTheLengthField) {
  std::string path = write(concat({bytesOf("xx"), kPictureMarker, lengthField(3), bytesOf("abc")}));
  EXPECT_EQ(locate(path.c_str(), kPictureTag), 3);
  EXPECT_EQ(payloadLocator.consumed, 2 + 17);
  char next = 0;
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(payloadLocator.file, &next, 1, &got, nullptr));
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(next, 'a');
}

TEST_F(PayloadLocatorTest, MarkerCases) {
  struct Case {
    const char* name;
    Bytes contents;
    int32_t expected;
  };
  const Bytes length7 = lengthField(7);
  const Case cases[] = {
      {"only marker", concat({kPictureMarker, length7, Bytes(7, 1)}), 7},
      {"preceded by another star", concat({bytesOf("*"), kPictureMarker, length7}), 0},
      {"star, then a real marker later",
       concat(
           {bytesOf("**GIF_BEGINS_HERE:"), length7, bytesOf("-"), kPictureMarker, lengthField(9)}),
       9},
      {"other byte than colon", concat({bytesOf("*GIF_BEGINS_HERE;"), length7}), 0},
      {"star after tag is not examined again",
       concat({bytesOf("*GIF_BEGINS_HERE*GIF_BEGINS_HERE:"), length7}), 0},
      {"stored tag text in the data", concat({bytesOf("---GIF_BEGINS_HERE:"), length7}), 0},
      {"ends inside the marker", bytesOf("abc*GIF_BEGI"), 0},
      {"ends after the colon", kPictureMarker, 0},
      {"ends inside the length field", concat({kPictureMarker, Bytes{7, 0, 0}}), 0},
      {"music marker is not the picture marker", concat({kMusicMarker, length7}), 0},
      {"empty file", {}, 0},
      {"length field of zero", concat({kPictureMarker, lengthField(0)}), 0},
  };
  for (const Case& c : cases) {
    std::string path = write(c.contents);
    EXPECT_EQ(locate(path.c_str(), kPictureTag), c.expected) << c.name;
    closeLocator();
  }
}

TEST_F(PayloadLocatorTest, FindsMarkersAcrossReadAheadBoundaries) {
  for (size_t offset : {4090u, 4095u, 4096u, 8191u, 12000u}) {
    Bytes filler(offset, '*');
    filler.back() = 'x';
    std::string path = write(concat({filler, kPictureMarker, lengthField(1), bytesOf("z")}));
    EXPECT_EQ(readPayload(path, kPictureTag), bytesOf("z")) << "marker at " << offset;
  }
}

TEST_F(PayloadLocatorTest, LengthBeyondTheDataMakesTheReadFail) {
  std::string path = write(concat({kPictureMarker, lengthField(100), bytesOf("short")}));
  int32_t length = locate(path.c_str(), kPictureTag);
  ASSERT_EQ(length, 100);
  PayloadBuffer buffer = makePayloadBuffer(length);
  EXPECT_FALSE(readExact(buffer));
  releasePayloadBuffer(buffer);
}

TEST_F(PayloadLocatorTest, LengthOfTwoGigabytesOrMoreGivesNoBuffer) {
  std::string path = write(concat({kPictureMarker, lengthField(0x80000000u), bytesOf("x")}));
  int32_t length = locate(path.c_str(), kPictureTag);
  PayloadBuffer buffer = makePayloadBuffer(length);
  EXPECT_EQ(buffer.data, nullptr);
  EXPECT_FALSE(readExact(buffer));
  releasePayloadBuffer(buffer);
}

// Positions are signed 32-bit values: a file of 2 GiB or more ends, for the
// scanner, at the largest of them, without overflowing on the way (the
// sanitizer build checks that). The whole scan of a sparse file beyond the
// limit, and the last bytes before it one by one.
TEST_F(PayloadLocatorTest, ScanStopsAtTheLargestPosition) {
  constexpr int64_t kLimit = INT32_MAX;
  std::filesystem::path path = scratch.file("large.exe");
  {
    std::ofstream out(path, std::ios::binary);
    Bytes record = concat({kPictureMarker, lengthField(7)});
    out.seekp(kLimit + 100);
    out.write(reinterpret_cast<const char*>(record.data()), std::ssize(record));
  }
  EXPECT_EQ(locate(path.c_str(), kPictureTag), 0);
  EXPECT_EQ(payloadLocator.consumed, kLimit);

  locate(write(bytesOf("abcdef")).c_str(), nullptr);
  payloadLocator.consumed = kLimit - 3;
  for (int32_t expected : {int32_t{'a'}, int32_t{'b'}, int32_t{'c'}, -1, -1})
    EXPECT_EQ(nextByte(), expected);
  EXPECT_EQ(payloadLocator.consumed, kLimit);
}

TEST_F(PayloadLocatorTest, WithoutTagGivesTheFileSize) {
  std::string path = write(Bytes(5000, 7));
  EXPECT_EQ(locate(path.c_str(), nullptr), 5000);
  EXPECT_NE(payloadLocator.file, nullptr);
}

TEST_F(PayloadLocatorTest, UnopenableFileIsAnAbsentPayload) {
  std::string missing = scratch.file("missing.exe").string();
  EXPECT_EQ(locate(missing.c_str(), kPictureTag), 0);
  EXPECT_EQ(payloadLocator.file, nullptr);
  EXPECT_EQ(locate(scratch.path().c_str(), kPictureTag), 0) << "a directory";
  EXPECT_EQ(payloadLocator.file, nullptr);
}

// ... unless the path names a file as it is: on Linux "\\" may be part of a
// name, of the player's own included.
TEST_F(PayloadLocatorTest, BackslashesInThePathAreSeparators) {
  std::string path = write(concat({kPictureMarker, lengthField(2), bytesOf("ok")}));
  for (char& c : path)
    if (c == '/') c = '\\';
  EXPECT_EQ(readPayload(path, kPictureTag), bytesOf("ok"));
  std::filesystem::path named = scratch.file("a\\b.exe");
  writeFileBytes(named, concat({kPictureMarker, lengthField(3), bytesOf("yes")}));
  EXPECT_EQ(readPayload(named.string(), kPictureTag), bytesOf("yes"));
}

}  // namespace
