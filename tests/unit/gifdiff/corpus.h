// The GIFs that our loader and giflib are compared on, made at test time:
// by our writer, by ImageMagick's convert and by gifsicle.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/gifwriter/gif_writer.h"

struct CorpusEntry {
  std::string name;  // says how the GIF was made
  gifwriter::Bytes gif;
};

// Sizes from 1x1 to 2000x2000, palettes of 2 to 256 colours, code sizes 2 to
// 8, interlaced or not, up to 300 frames placed anywhere, and the coding
// variants a valid stream may use.
std::vector<CorpusEntry> writerCorpus();
// Pictures and animations made by convert; files go to directory.
std::vector<CorpusEntry> imagemagickCorpus(const std::filesystem::path& directory);
// Writer and convert output passed through gifsicle's own encoder.
std::vector<CorpusEntry> gifsicleCorpus(const std::filesystem::path& directory);

// Runs a command line; true when it exits with 0.
bool runCommand(const std::string& command);
