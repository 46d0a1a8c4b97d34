// Animations of other kinds than GIF: WebP, PNG and APNG, JPEG and video
// clips, known by their first bytes, made into the player's GIF through the
// same writer as a rewritten GIF.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/gifpack/prepare.h"

enum class MediaKind { kGif, kWebp, kPng, kJpeg, kIsoVideo, kMatroska, kUnknown };

// The kind, from the file's first bytes (kKindBytes of them).
inline constexpr size_t kKindBytes = 12;
MediaKind mediaKindOf(const Bytes& start);

// "a WebP image", "an MP4 or MOV clip", ...
std::string mediaWords(MediaKind kind);

// What a refusal of an unknown kind adds to "not a GIF": the other kinds
// this gifpack reads, when there are any.
extern const char* const kOtherKindsRead;

// A GIF of the animation's pictures and what making it did, in a few
// words, for the report line. FileError when it cannot be decoded, or when
// the player could not hold it (refused before anything is decoded). The
// decoders read the file at path themselves.
struct MediaGif {
  Bytes gif;
  std::string source;  // what the input is: "an MP4 or MOV clip (h264, 1280 x 720, ...)"
  std::string made;    // what was made of it: "250 pictures of 640 x 360 (--width 640), ..."
};
MediaGif gifFromMedia(const std::filesystem::path& path, MediaKind kind,
                      const Preparation& preparation);

// Packing and --frames: the GIF of an input that is not a GIF, which is
// never kept as it is (--as-is and --strict are refused).
MediaGif prepareMedia(const std::filesystem::path& path, MediaKind kind,
                      const Preparation& preparation);
// --info for an input that is not a GIF: what it is, and its GIF as the
// player takes it.
void printMediaInfo(const std::filesystem::path& path, MediaKind kind,
                    const Preparation& preparation, std::ostream& out);
