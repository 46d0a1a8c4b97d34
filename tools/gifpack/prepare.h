// Which GIF gifpack packs, shows (--frames) or tells about (--info): the
// original when the player shows it as browsers do, or when asked to keep
// it as it is; otherwise its rewrite, or a refusal under --strict.
#pragma once

#include <filesystem>
#include <ostream>

#include "platform/global_block.h"
#include "tools/gifpack/rewrite.h"

enum class Rewriting { kWhenNeeded, kAsIs, kStrict };

// The most memory a player can have for its canvas and frames, and how a
// refusal names it.
struct MemoryLimit {
  int64_t bytes = kPlayerMemory;
  const char* words = "the 2 GiB a 32-bit Windows program can have";
  int64_t canvas = kLargestBlock;  // the largest canvas that it can allocate
};

// The Windows player under Wine: a canvas and a first frame of 16384 x H
// each play up to H = ..., so that the two blocks together hold ... MB.
inline constexpr MemoryLimit kWindowsPlayerLimit{int64_t{1} << 30,
                                                 "the 1024 MB the Windows player can allocate"};

struct Preparation {
  Rewriting rewriting = Rewriting::kWhenNeeded;
  RewriteOptions options;
  MemoryLimit memory;
};

// "#RRGGBB" as a colour; nullopt for anything else.
std::optional<Colour> parseColour(const std::string& text);

// "transparency, disposal, 3 local colour tables".
std::string reasonList(const std::vector<std::string>& reasons);

// The GIF to use. What the player cannot show, and under --strict what it
// would show differently, is refused with a FileError; the original's
// warnings, or the one line saying that it was rewritten, go to messages.
Bytes prepareAnimation(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& messages);

// --info: the frames as the player takes them, and what packing would do.
void printPreparedInfo(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& out);
