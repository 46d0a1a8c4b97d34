// Which GIF gifpack packs, shows (--frames) or tells about (--info): the
// original when the player shows it as browsers do, or when asked to keep
// it as it is; otherwise its rewrite, or a refusal under --strict.
#pragma once

#include <filesystem>
#include <ostream>

#include "platform/global_block.h"
#include "tools/gifpack/media_options.h"
#include "tools/gifpack/rewrite.h"

enum class Rewriting { kWhenNeeded, kAsIs, kStrict };

// The most memory a player can have for its canvas and frames, and the
// largest block it can have at once, with the words a refusal names them by.
struct MemoryLimit {
  int64_t bytes = kPlayerMemory;
  const char* words = "the 2 GiB a 32-bit Windows program can have";
  int64_t block = kLargestBlock;
  const char* blockWords = "the 2 GiB a 32-bit Windows program can have at once";
};

// The Windows player, measured under Wine (packed --as-is, started on a
// virtual display): a canvas of 16384 x 35840 (560 MB) opens its window,
// one of 16384 x 35904 does not; a canvas and a first frame of 16384 x 32600
// each (1068 MB together) play, of 16384 x 32656 do not; 10 frames and a
// canvas of 128 MB each (1408 MB) play, 11 do not; 50 frames and a canvas of
// 32 MB each (1632 MB) play, 52 do not. So no block above 560 MB, and no
// more than 1024 MB in all.
inline constexpr MemoryLimit kWindowsPlayerLimit{
    int64_t{1024} << 20, "the 1024 MB the Windows player can allocate", int64_t{560} << 20,
    "the 560 MB the Windows player can allocate at once"};

struct Preparation {
  Rewriting rewriting = Rewriting::kWhenNeeded;
  RewriteOptions options;
  MemoryLimit memory;
  MediaOptions media;
};

// "#RRGGBB" as a colour; nullopt for anything else.
std::optional<Colour> parseColour(const std::string& text);

// "transparency, disposal, 3 local colour tables".
std::string reasonList(const std::vector<std::string>& reasons);

// gif: a GIF's bytes, or of another kind of animation only its first bytes,
// which tell its kind (media.h); its decoder reads the file at path itself.
//
// The GIF to use. What the player cannot show, and under --strict what it
// would show differently, is refused with a FileError; the original's
// warnings, or the one line saying that it was rewritten, go to messages.
Bytes prepareAnimation(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& messages);

// --frames: DIR/frame-000.png ... of the GIF that packing would use, each
// step as the player shows it; the number written. Messages as when packing.
int writePreparedFrames(const std::filesystem::path& dir, const std::filesystem::path& path,
                        const Bytes& gif, const Preparation& preparation, std::ostream& messages);

// --info: the frames as the player takes them, and what packing would do.
void printPreparedInfo(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& out);
