// Packing: a copy of the player with the picture record and, when a song is
// given, the music record appended.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "tools/gifpack/prepare.h"

struct PackRequest {
  std::optional<std::filesystem::path> player;  // the default player when empty
  std::filesystem::path animation;
  std::optional<std::filesystem::path> song;
  std::filesystem::path output;
  bool windows = false;  // without a player: the Windows player, not this system's
  Preparation preparation;
  bool replace = true;  // false: fail rather than replace a file at output
};

// What was written, in bytes: the whole program and the two payloads.
struct PackedSizes {
  uint64_t total = 0;
  uint64_t animation = 0;
  uint64_t song = 0;
};

// The player gifpack finds by itself, from its own directory: side by side,
// installed (../libexec/gifplay), in the build tree (../../app); with windows,
// gifplay.exe side by side, installed, or in the cross-build this tree was
// configured with. An installed gifpack thus never takes a build tree's
// player. FileError naming the places when there is none.
std::filesystem::path defaultPlayer(bool windows = false);

// Whether path names a Windows program: ".exe" in any case.
bool endsInExe(const std::filesystem::path& path);

// Checks everything first, the output's folder before anything else, and
// writes only when nothing is wrong; the animation is rewritten where the
// player would show it differently from browsers (prepare.h), and what
// gifpack says about it goes to warnings.
PackedSizes pack(const PackRequest& request, std::ostream& warnings);

// An animation gifpack can work on: readable, of a kind it knows by its
// first bytes, and a GIF small enough for the player to read. FileError
// otherwise. A GIF is read whole, another kind only as far as its kind.
std::vector<uint8_t> readAnimation(const std::filesystem::path& path);
