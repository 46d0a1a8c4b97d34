// gifpack.exe is built without the libraries that decode WebP, PNG, JPEG and
// video: it names the gifpack that reads them.
#include "tools/gifpack/media.h"
#include "tools/gifpack/tool_error.h"

const char* const kOtherKindsRead = "";

MediaGif gifFromMedia(const std::filesystem::path& path, MediaKind kind, const Preparation&) {
  throw FileError(path, mediaWords(kind) +
                            ": this gifpack reads GIF only; the Linux gifpack reads WebP, PNG, "
                            "JPEG and video clips too (MP4, WebM, MOV, MKV)");
}
