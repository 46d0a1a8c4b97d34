#include <algorithm>
#include <cstring>
#include <sstream>

#include "tools/gifpack/media.h"
#include "tools/gifpack/tool_error.h"

namespace {

bool at(const Bytes& bytes, size_t offset, const char* text, size_t length) {
  return bytes.size() >= offset + length && std::memcmp(bytes.data() + offset, text, length) == 0;
}

void refuseUnknown(const std::filesystem::path& path, MediaKind kind) {
  if (kind == MediaKind::kUnknown)
    throw FileError(path,
                    std::string("not a GIF: it does not begin with \"GIF87a\" or \"GIF89a\"") +
                        kOtherKindsRead);
}

}  // namespace

MediaKind mediaKindOf(const Bytes& start) {
  if (at(start, 0, "GIF87a", 6) || at(start, 0, "GIF89a", 6)) return MediaKind::kGif;
  if (at(start, 0, "RIFF", 4) && at(start, 8, "WEBP", 4)) return MediaKind::kWebp;
  if (at(start, 0, "\x89PNG\r\n\x1A\n", 8)) return MediaKind::kPng;
  if (at(start, 0, "\xFF\xD8\xFF", 3)) return MediaKind::kJpeg;
  if (at(start, 4, "ftyp", 4) || at(start, 4, "moov", 4) || at(start, 4, "mdat", 4) ||
      at(start, 4, "wide", 4) || at(start, 4, "free", 4))
    return MediaKind::kIsoVideo;
  if (at(start, 0, "\x1A\x45\xDF\xA3", 4)) return MediaKind::kMatroska;
  return MediaKind::kUnknown;
}

std::string mediaWords(MediaKind kind) {
  switch (kind) {
    case MediaKind::kGif:
      return "a GIF";
    case MediaKind::kWebp:
      return "a WebP image";
    case MediaKind::kPng:
      return "a PNG image";
    case MediaKind::kJpeg:
      return "a JPEG image";
    case MediaKind::kIsoVideo:
      return "an MP4 or MOV clip";
    case MediaKind::kMatroska:
      return "a WebM or MKV clip";
    case MediaKind::kUnknown:
      break;
  }
  return "of a kind gifpack does not know";
}

MediaGif prepareMedia(const std::filesystem::path& path, MediaKind kind,
                      const Preparation& preparation) {
  refuseUnknown(path, kind);
  if (preparation.rewriting != Rewriting::kWhenNeeded)
    throw FileError(path, mediaWords(kind) + ", not a GIF: --as-is and --strict take GIFs only");
  return gifFromMedia(path, kind, preparation);
}

void printMediaInfo(const std::filesystem::path& path, MediaKind kind,
                    const Preparation& preparation, std::ostream& out) {
  refuseUnknown(path, kind);
  MediaGif made = gifFromMedia(path, kind, preparation);
  out << shownPath(path) << ": " << made.source << "\n";
  out << "made into a GIF: " << made.made << "\n";
  Preparation asIs = preparation;
  asIs.rewriting = Rewriting::kAsIs;
  printPreparedInfo(path, made.gif, asIs, out);
}
