// Writes the seed corpora of the fuzz targets: small GIF streams made by the
// GIF writer, well-formed and odd, whole program files with records in the
// places the scanner has to get right, and songs made by the MIDI writer.
//
// Usage: gifplay_fuzz_seeds CORPUS_DIR   (writes CORPUS_DIR/<target>/<name>)
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "payload/payload_locator.h"
#include "tools/gifwriter/gif_writer.h"
#include "tools/makesong/midi_writer.h"

namespace {

namespace fs = std::filesystem;
using gifwriter::Bytes;
using gifwriter::ColourTable;
using gifwriter::Frame;
using gifwriter::Gif;

ColourTable greys(int count) {
  ColourTable table;
  for (int i = 0; i < count; ++i) {
    auto level = static_cast<uint8_t>(i * 255 / (count > 1 ? count - 1 : 1));
    table.push_back({level, level, static_cast<uint8_t>(255 - level)});
  }
  return table;
}

// A frame whose pixels run through the colours in a pattern with repeats,
// so that the coder makes strings of several lengths.
Frame patterned(int left, int top, int width, int height, int colours, int delay = 10) {
  Frame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      frame.indices.push_back(static_cast<uint8_t>((x / 3 + y * y / 2 + x * y) % colours));
  frame.control = gifwriter::GraphicControl{};
  frame.control->delay = static_cast<uint16_t>(delay);
  return frame;
}

Gif screen(int width, int height, int colours) {
  Gif gif;
  gif.screenWidth = width;
  gif.screenHeight = height;
  gif.globalTable = greys(colours);
  return gif;
}

Gif withFrames(Gif gif, std::vector<Frame> frames) {
  gif.frames = std::move(frames);
  return gif;
}

using Seed = std::pair<std::string, std::function<Bytes()>>;

std::vector<Seed> gifSeeds() {
  return {
      {"one_frame",
       [] { return writeGif(withFrames(screen(8, 6, 4), {patterned(0, 0, 8, 6, 4)})); }},
      {"three_frames",
       [] {
         return writeGif(withFrames(screen(16, 12, 8),
                                    {patterned(0, 0, 16, 12, 8, 25), patterned(4, 3, 8, 6, 8, 50),
                                     patterned(12, 8, 8, 8, 8, 0)}));
       }},
      {"interlaced",
       [] {
         Frame frame = patterned(0, 0, 7, 19, 4);
         frame.interlaced = true;
         return writeGif(withFrames(screen(7, 19, 4), {frame}));
       }},
      {"local_table",
       [] {
         Frame frame = patterned(1, 1, 6, 5, 16);
         frame.localTable = greys(16);
         std::reverse(frame.localTable->begin(), frame.localTable->end());
         return writeGif(withFrames(screen(8, 8, 4), {patterned(0, 0, 8, 8, 4), frame}));
       }},
      {"extensions",
       [] {
         Gif gif = withFrames(screen(5, 5, 2), {patterned(0, 0, 5, 5, 2)});
         gif.extensions = {gifwriter::loopExtension(0), gifwriter::commentExtension("seed")};
         gif.frames[0].extensions = {gifwriter::applicationExtension("XMP DataXMP", {1, 2, 3})};
         return writeGif(gif);
       }},
      {"table_growth",
       [] { return writeGif(withFrames(screen(40, 40, 256), {patterned(0, 0, 40, 40, 256)})); }},
      {"full_table_cleared",
       [] {
         Frame frame = patterned(0, 0, 96, 64, 256);
         for (size_t i = 0; i < frame.indices.size(); ++i)
           frame.indices[i] = static_cast<uint8_t>(i * 7919 % 251);
         return writeGif(withFrames(screen(96, 64, 256), {frame}));
       }},
      {"full_table_deferred",
       [] {
         Frame frame = patterned(0, 0, 96, 64, 256);
         for (size_t i = 0; i < frame.indices.size(); ++i)
           frame.indices[i] = static_cast<uint8_t>(i * 7919 % 251);
         frame.lzw.deferredClear = true;
         return writeGif(withFrames(screen(96, 64, 256), {frame}));
       }},
      {"no_end_code",
       [] {
         Frame frame = patterned(0, 0, 9, 9, 4);
         frame.lzw.endCode = false;
         return writeGif(withFrames(screen(9, 9, 4), {frame, patterned(2, 2, 4, 4, 4)}));
       }},
      {"early_end_code",
       [] {
         Frame frame = patterned(0, 0, 9, 9, 4);
         frame.lzw.endAfterPixels = 20;
         return writeGif(withFrames(screen(9, 9, 4), {frame, patterned(2, 2, 4, 4, 4)}));
       }},
      {"clear_runs",
       [] {
         Frame frame = patterned(0, 0, 12, 12, 8);
         frame.lzw.clearRun = 3;
         frame.lzw.clearEvery = 17;
         return writeGif(withFrames(screen(12, 12, 8), {frame}));
       }},
      {"beyond_table",
       [] {
         Frame frame = patterned(0, 0, 12, 12, 8);
         frame.lzw.beyondTableAt = 9;
         return writeGif(withFrames(screen(12, 12, 8), {frame}));
       }},
      {"empty_sub_blocks",
       [] {
         Frame frame = patterned(0, 0, 20, 20, 16);
         frame.subBlockSize = 7;
         frame.emptySubBlocksAfter = {2, 5};
         return writeGif(withFrames(screen(20, 20, 16), {frame, patterned(0, 0, 3, 3, 16)}));
       }},
      {"end_code_own_sub_block",
       [] {
         Frame frame = patterned(0, 0, 10, 10, 4);
         frame.endCodeInOwnSubBlock = true;
         frame.subBlockSize = 1;
         return writeGif(withFrames(screen(10, 10, 4), {frame, patterned(5, 5, 5, 5, 4)}));
       }},
      {"code_size_byte_1",
       [] {
         Frame frame = patterned(0, 0, 4, 4, 4);
         frame.codeSizeByte = 1;
         return writeGif(withFrames(screen(4, 4, 4), {frame, patterned(0, 0, 4, 4, 4)}));
       }},
      {"code_size_9",
       [] {
         Frame frame = patterned(0, 0, 16, 16, 4);
         frame.codeSize = 9;
         return writeGif(withFrames(screen(16, 16, 4), {frame}));
       }},
      {"codes_as_given",
       [] {
         Frame frame = patterned(0, 0, 4, 3, 4);
         frame.codes = std::vector<int>{4, 1, 6, 2, 7, 9, 14, 4, 4, 3, 7, 5};
         return writeGif(withFrames(screen(4, 3, 4), {frame}));
       }},
      {"no_global_table",
       [] {
         Gif gif = withFrames(screen(6, 6, 4), {patterned(0, 0, 6, 6, 4)});
         gif.globalTable.reset();
         gif.frames[0].localTable = greys(4);
         return writeGif(gif);
       }},
      {"gif87a",
       [] {
         Gif gif = withFrames(screen(6, 6, 2), {patterned(0, 0, 6, 6, 2)});
         gif.frames[0].control.reset();
         gif.gif87a = true;
         return writeGif(gif);
       }},
      {"empty_frames",
       [] {
         return writeGif(withFrames(
             screen(6, 6, 2),
             {patterned(0, 0, 0, 0, 2), patterned(1, 1, 0, 5, 2), patterned(1, 1, 5, 0, 2)}));
       }},
      {"off_screen",
       [] {
         return writeGif(withFrames(
             screen(10, 10, 4),
             {patterned(6, 7, 8, 8, 4), patterned(200, 0, 4, 4, 4), patterned(0, 0, 30, 2, 4)}));
       }},
      {"wide_frame",
       [] { return writeGif(withFrames(screen(300, 2, 4), {patterned(0, 0, 300, 2, 4)})); }},
      {"cut_in_raster",
       [] {
         gifwriter::GifLayout layout;
         Bytes full =
             writeGif(withFrames(screen(12, 12, 8), {patterned(0, 0, 12, 12, 8)}), &layout);
         return gifwriter::truncated(full, layout.frames[0].imageData + 9);
       }},
      {"cut_in_descriptor",
       [] {
         gifwriter::GifLayout layout;
         Bytes full = writeGif(withFrames(screen(4, 4, 4), {patterned(0, 0, 4, 4, 4)}), &layout);
         return gifwriter::truncated(full, layout.frames[0].descriptor + 6);
       }},
      {"many_frames",
       [] {
         Gif gif = screen(3, 3, 2);
         for (int i = 0; i < 101; ++i) gif.frames.push_back(patterned(i % 3, 0, 1, 1, 2, i));
         return writeGif(gif);
       }},
      {"raw_data",
       [] {
         Frame frame = patterned(0, 0, 4, 4, 4);
         frame.rawData = Bytes{2, 3, 0xFF, 0xFF, 0xFF, 0, 0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0};
         return writeGif(withFrames(screen(4, 4, 4), {frame}));
       }},
  };
}

// The GIFs gifpack --info starts from: a handful of the loader's seeds.
const std::vector<std::string> kInfoSeeds = {"three_frames",    "local_table",  "no_end_code",
                                             "no_global_table", "empty_frames", "cut_in_raster",
                                             "beyond_table",    "interlaced"};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes record(const char* storedTag, const Bytes& payload, int64_t announced = -1) {
  std::string marker = "*" + std::string(storedTag + kTagPrefixLength) + ":";
  auto length = static_cast<uint32_t>(announced >= 0 ? announced : payload.size());
  Bytes out = text(marker);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(length >> shift));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

// Bytes standing in for the program image, with stars and tag texts in it
// that are not records.
Bytes programImage(size_t size) {
  Bytes image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 131 % 256);
  std::string decoys = "**GIF_BEGINS_HERE*MIDI_BEGINS_HERE;---GIF_BEGINS_HERE";
  if (size > decoys.size() * 2)
    std::copy(decoys.begin(), decoys.end(), image.begin() + static_cast<ptrdiff_t>(size / 2));
  return image;
}

std::vector<Seed> scannerSeeds(const Bytes& gif) {
  using namespace std::string_literals;
  Bytes song = text("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\4\0\xFF\x2F\0"s);
  return {
      {"both_records",
       [=] {
         return join({programImage(300), record(kPictureTag, gif), record(kMusicTag, song)});
       }},
      {"music_only",
       [=] {
         return join({programImage(100), record(kMusicTag, song)});
       }},
      {"star_before_marker",
       [=] {
         return join({text("*"), record(kPictureTag, gif)});
       }},
      {"no_separator",
       [=] {
         Bytes r = record(kPictureTag, gif);
         r[16] = ';';
         return join({r, record(kMusicTag, song)});
       }},
      {"ends_in_marker", [=] { return cut(record(kPictureTag, gif), 9); }},
      {"ends_in_length",
       [=] {
         return join({programImage(40), cut(record(kMusicTag, song), 20)});
       }},
      {"length_beyond_file", [=] { return join({record(kPictureTag, gif, gif.size() + 1000)}); }},
      {"length_zero",
       [=] {
         return join({record(kPictureTag, {}), record(kMusicTag, song)});
       }},
      {"across_read_block",
       [=] {
         return join({programImage(4090), record(kPictureTag, gif)});
       }},
      {"empty", [] { return Bytes{}; }},
  };
}

// Songs as the sequencer gets them: well-formed ones of both formats with
// tempo changes, and the odd corners of the chunk and event structure.
std::vector<Seed> songSeeds() {
  auto song = [](int tracks) {
    std::vector<midi::Track> list(static_cast<size_t>(tracks));
    list[0].tempo(400000);
    list[0].tempo(600000, 96);
    list[0].name("seed");
    for (int t = 0; t < tracks; ++t) {
      list[t].program(t, 5 * t);
      for (int i = 0; i < 4; ++i) list[t].note(t, 60 + 4 * i + t, 90, 48 * i, 40);
      list[t].endAt(200);
    }
    return midi::standardMidiFile(96, list);
  };
  auto cut = [](Bytes bytes, size_t size) {
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
  };
  // Running status, a SysEx event and a four-byte delta in one track.
  const Bytes odd = {'M', 'T', 'h',  'd', 0,    0,    0,    6,    0,    0,    0,    1,    0,  96,
                     'M', 'T', 'r',  'k', 0,    0,    0,    19,   0,    0x90, 60,   100,  10, 64,
                     100, 0,   0xF0, 2,   0x7E, 0xF7, 0x81, 0x80, 0x80, 0,    0xFF, 0x2F, 0};
  return {
      {"format_0", [=] { return song(1); }},
      {"format_1", [=] { return song(3); }},
      {"running_status_sysex", [=] { return odd; }},
      {"cut_in_header", [=] { return cut(song(1), 10); }},
      {"cut_in_track", [=] { return cut(song(3), 60); }},
      {"smpte_division",
       [=] {
         Bytes b = song(1);
         b[12] = 0xE7;
         return b;
       }},
      {"other_chunk_first",
       [=] {
         Bytes b = song(1);
         Bytes other = {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2};
         b.insert(b.begin() + 14, other.begin(), other.end());
         return b;
       }},
  };
}

void writeAll(const fs::path& dir, const std::vector<Seed>& seeds) {
  fs::create_directories(dir);
  for (const auto& [name, make] : seeds)
    if (!gifwriter::saveBytes(dir / name, make()))
      throw std::runtime_error("cannot write " + (dir / name).string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: gifplay_fuzz_seeds CORPUS_DIR\n";
    return 1;
  }
  fs::path corpus = argv[1];
  try {
    std::vector<Seed> gifs = gifSeeds();
    writeAll(corpus / "gif_loader", gifs);
    std::vector<Seed> info;
    for (const Seed& seed : gifs)
      if (std::find(kInfoSeeds.begin(), kInfoSeeds.end(), seed.first) != kInfoSeeds.end())
        info.push_back(seed);
    writeAll(corpus / "gifpack_info", info);
    writeAll(corpus / "payload_scanner", scannerSeeds(gifs[1].second()));
    writeAll(corpus / "midi_file", songSeeds());
  } catch (const std::exception& error) {
    std::cerr << "gifplay_fuzz_seeds: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
