// Decoding the animations that are not GIFs: WebP with libwebp's animation
// decoder (which composites frames as browsers do), everything else with
// FFmpeg's libraries (PNG and APNG with their dispose and blend operations,
// JPEG, video clips). Each becomes opaque pictures with delays, which the
// rewrite's GIF writer takes through a few passes: the pictures are decoded
// again for each pass, never held all at once. FFmpeg reads the file in
// pieces, as it needs them, so that a clip of gigabytes takes no more memory
// than one of a few megabytes; libwebp needs a WebP whole, in memory.
#include <webp/decode.h>
#include <webp/demux.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "picture/indexed_bitmap.h"
#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/media.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/words.h"

const char* const kOtherKindsRead = ", nor is it WebP, PNG, JPEG or a video clip";

namespace {

// gifpack's own bound on a picture it rewrites: it holds a few at once.
constexpr int64_t kMaxPixels = int64_t{1} << 26;
// Browsers show frames of 10 ms or less for 100 ms, as they do GIFs'.
constexpr int kShortFrameMs = 10;
constexpr int kShortFrameShownMs = 100;
// The shortest delay a step gets, in hundredths: shorter ones browsers
// would stretch to a tenth of a second.
constexpr int kMinDelay = 2;
constexpr int kMaxDelay = 65535;  // the most a GIF's delay holds
// The largest WebP gifpack reads: libwebp decodes a WebP held whole in
// memory. Animated WebPs are made for the web, seldom above a few megabytes.
constexpr uint64_t kMaxWebpBytes = uint64_t{128} << 20;

struct Size {
  int width = 0, height = 0;
};

std::string sizeText(Size size) { return ::sizeText(size.width, size.height); }

std::string secondsText(double seconds) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(seconds < 10 ? 2 : 1);
  text << seconds << " s";
  return text.str();
}

// The pictures' size: the source's, or --width with the height in proportion.
Size targetSize(Size source, const MediaOptions& options) {
  if (options.width <= 0 || options.width >= source.width) return source;
  int height = static_cast<int>(
      std::lround(static_cast<double>(source.height) * options.width / source.width));
  return {options.width, std::max(height, 1)};
}

// Refused before anything is decoded: a picture gifpack could not rewrite,
// or that the player could not allocate, or pictures that all together
// would pass the player's memory when every step changed the whole picture.
void checkSize(const std::filesystem::path& path, const std::string& what, Size source, Size size,
               int64_t steps, const MemoryLimit& limit, const std::string& advice) {
  if (source.width <= 0 || source.height <= 0)
    throw FileError(path, what + " with no picture size");
  int64_t sourcePixels = int64_t{source.width} * source.height;
  if (sourcePixels > kMaxPixels)
    throw FileError(path, what + " of " + sizeText(source) + ": more than " +
                              std::to_string(kMaxPixels >> 20) +
                              " million pixels, which gifpack does not decode");
  int64_t picture = bitmapStorageBytes(size.width, size.height);
  if (picture > limit.block)
    throw FileError(path, what + ": " + screenRefusal(size.width, size.height));
  int64_t bytes = picture * (steps + 1);
  if (bytes > limit.bytes)
    throw FileError(path, what + ": the player would need up to " + memoryText(bytes) + " for " +
                              counted(static_cast<uint64_t>(steps), "picture") + " of " +
                              sizeText(size) + ", more than " + limit.words + advice);
}

// Delays in hundredths for steps starting at the given times (seconds) and
// ending at end: each rounded where the running total is, so that the total
// stays within half a hundredth of the source's, none under kMinDelay or
// above kMaxDelay.
std::vector<int> hundredths(const std::vector<double>& starts, double end) {
  std::vector<int> delays;
  int64_t shown = 0;
  for (size_t i = 0; i < starts.size(); ++i) {
    double until = (i + 1 < starts.size() ? starts[i + 1] : end) - starts[0];
    auto due = static_cast<int64_t>(std::llround(until * 100));
    int delay = static_cast<int>(std::clamp<int64_t>(due - shown, kMinDelay, kMaxDelay));
    delays.push_back(delay);
    shown += delay;
  }
  return delays;
}

// What the steps' pixels take as they are, a byte each: the size the GIF
// is held to, twice over, before its steps are cut into pieces. A WebP's
// or a clip's own size says little of a GIF's: its compression is another.
size_t rawBytes(const StepSequence& steps) {
  return static_cast<size_t>(steps.width) * static_cast<size_t>(steps.height) * steps.delays.size();
}

// The GIF of the steps; what the writer cannot do is said of the input.
Bytes writeMedia(const std::filesystem::path& path, const std::string& what,
                 const StepSequence& steps, const Preparation& preparation) {
  try {
    return writeSteps(steps, preparation.options.dither);
  } catch (const std::runtime_error& error) {
    throw FileError(path, what + ": " + error.what());
  }
}

// "250 pictures of 320 x 180 (--width 320)".
std::string picturesText(size_t count, Size source, Size size) {
  return counted(count, "picture") + " of " + sizeText(size) +
         (size.width != source.width ? " (--width " + std::to_string(size.width) + ")" : "");
}

// An RGBA picture over the background, scaled to size when it differs.
class PictureMaker {
 public:
  PictureMaker(Size source, Size size, Colour background)
      : source_(source), size_(size), background_(background) {}
  ~PictureMaker() { sws_freeContext(scaler_); }
  PictureMaker(const PictureMaker&) = delete;
  PictureMaker& operator=(const PictureMaker&) = delete;

  // From a picture in any of FFmpeg's pixel formats.
  void make(const uint8_t* const planes[], const int strides[], AVPixelFormat format,
            std::vector<Colour>& picture) {
    scaler_ =
        sws_getCachedContext(scaler_, source_.width, source_.height, format, size_.width,
                             size_.height, AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) throw std::runtime_error("no conversion of the pictures to RGB");
    rgba_.resize(static_cast<size_t>(size_.width) * size_.height * 4);
    uint8_t* out[4] = {rgba_.data(), nullptr, nullptr, nullptr};
    int outStrides[4] = {size_.width * 4, 0, 0, 0};
    sws_scale(scaler_, planes, strides, 0, source_.height, out, outStrides);
    fromRgba(rgba_.data(), size_.width * 4, picture);
  }

  // From RGBA at the source size.
  void make(const uint8_t* rgba, std::vector<Colour>& picture) {
    if (size_.width == source_.width && size_.height == source_.height)
      return fromRgba(rgba, source_.width * 4, picture);
    const uint8_t* planes[4] = {rgba, nullptr, nullptr, nullptr};
    int strides[4] = {source_.width * 4, 0, 0, 0};
    make(planes, strides, AV_PIX_FMT_RGBA, picture);
  }

 private:
  void fromRgba(const uint8_t* rgba, int stride, std::vector<Colour>& picture) const {
    picture.resize(static_cast<size_t>(size_.width) * size_.height);
    Colour* out = picture.data();
    for (int y = 0; y < size_.height; ++y) {
      const uint8_t* p = rgba + static_cast<ptrdiff_t>(y) * stride;
      for (int x = 0; x < size_.width; ++x, p += 4) {
        uint32_t a = p[3];
        if (a == 255) {
          *out++ = static_cast<Colour>(p[0] | p[1] << 8 | p[2] << 16);
          continue;
        }
        Colour c = 0;
        for (int channel = 0; channel < 3; ++channel) {
          uint32_t under = background_ >> (8 * channel) & 0xFF;
          uint32_t value = (p[channel] * a + under * (255 - a) + 127) / 255;
          c |= value << (8 * channel);
        }
        *out++ = c;
      }
    }
  }

  Size source_, size_;
  Colour background_;
  SwsContext* scaler_ = nullptr;
  Bytes rgba_;
};

// Steps whose pictures may differ anywhere.
class WholeSteps : public PictureSteps {
 public:
  const std::vector<Colour>& picture() const override { return picture_; }
  int step() const override { return step_; }
  const ScreenArea& changed() const override { return changed_; }

 protected:
  void shown(Size size) {
    ++step_;
    changed_ = {0, 0, size.width, size.height};
  }
  std::vector<Colour> picture_;
  int step_ = -1;
  ScreenArea changed_;
};

// ---- WebP -------------------------------------------------------------------

struct WebpDemuxFree {
  void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};
struct WebpDecoderFree {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

class WebpSteps : public WholeSteps {
 public:
  WebpSteps(const Bytes& bytes, Size source, Size size, Colour background, int steps)
      : maker_(source, size, background), size_(size), steps_(steps) {
    WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    decoder_.reset(WebPAnimDecoderNew(&data, &options));
    if (!decoder_) throw std::runtime_error("a damaged WebP image: libwebp cannot decode it");
  }

  bool next() override {
    if (step_ + 1 >= steps_) return false;
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder_.get(), &rgba, &timestamp))
      throw std::runtime_error("a damaged WebP image: libwebp cannot decode frame " +
                               std::to_string(step_ + 1));
    maker_.make(rgba, picture_);
    shown(size_);
    return true;
  }

 private:
  std::unique_ptr<WebPAnimDecoder, WebpDecoderFree> decoder_;
  PictureMaker maker_;
  Size size_;
  int steps_;
};

MediaGif webpGif(const std::filesystem::path& path, const Preparation& preparation) {
  InputFile file = openInput(path);
  if (file.size > kMaxWebpBytes)
    throw FileError(path, "a WebP image of " + memoryText(static_cast<int64_t>(file.size)) +
                              ": more than the " + memoryText(kMaxWebpBytes) +
                              " of WebP that gifpack reads");
  const Bytes bytes = readWhole(file);
  WebPData data{bytes.data(), bytes.size()};
  std::unique_ptr<WebPDemuxer, WebpDemuxFree> demuxer(WebPDemux(&data));
  if (!demuxer) throw FileError(path, "a damaged WebP image: libwebp cannot read its chunks");
  Size source{static_cast<int>(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_WIDTH)),
              static_cast<int>(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_HEIGHT))};
  int frames = static_cast<int>(WebPDemuxGetI(demuxer.get(), WEBP_FF_FRAME_COUNT));
  uint32_t flags = WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS);
  bool animated = (flags & ANIMATION_FLAG) != 0 && frames > 1;
  std::string what = std::string(animated ? "an animated" : "a still") + " WebP image";
  if (frames < 1) throw FileError(path, what + " without frames");
  Size size = targetSize(source, preparation.media);
  checkSize(path, what, source, size, frames, preparation.memory, ": use --width");

  StepSequence steps;
  steps.width = size.width, steps.height = size.height;
  std::vector<double> starts;
  double end = 0;
  WebPIterator frame;
  if (WebPDemuxGetFrame(demuxer.get(), 1, &frame)) {
    do {
      int ms = frame.duration <= kShortFrameMs ? kShortFrameShownMs : frame.duration;
      starts.push_back(end);
      end += ms / 1000.0;
    } while (WebPDemuxNextFrame(&frame));
    WebPDemuxReleaseIterator(&frame);
  }
  if (static_cast<int>(starts.size()) != frames)
    throw FileError(path, "a damaged WebP image: libwebp cannot read its frames");
  steps.delays = hundredths(starts, end);
  if (animated)
    steps.loopCount = static_cast<int>(WebPDemuxGetI(demuxer.get(), WEBP_FF_LOOP_COUNT));
  steps.sourceBytes = rawBytes(steps);
  steps.sampleStride = 0;
  Colour background = preparation.options.background.value_or(0xFFFFFF);
  steps.start = [&] {
    return std::make_unique<WebpSteps>(bytes, source, size, background, frames);
  };
  MediaGif made;
  made.source = what + " (" + sizeText(source) +
                (animated ? ", " + counted(frames, "frame") + ", " + secondsText(end) : "") + ")";
  made.gif = writeMedia(path, what, steps, preparation);
  made.made = picturesText(static_cast<size_t>(frames), source, size);
  return made;
}

// ---- FFmpeg -----------------------------------------------------------------

std::string averror(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The input file, read by FFmpeg through a context of its own, a piece at a
// time: never a name FFmpeg could take for another protocol.
struct FileReader {
  std::FILE* file = nullptr;

  static int read(void* opaque, uint8_t* buffer, int size) {
    auto* reader = static_cast<FileReader*>(opaque);
    size_t count = std::fread(buffer, 1, static_cast<size_t>(size), reader->file);
    if (count > 0) return static_cast<int>(count);
    return std::ferror(reader->file) ? AVERROR(EIO) : AVERROR_EOF;
  }
  static int64_t seek(void* opaque, int64_t offset, int whence) {
    auto* reader = static_cast<FileReader*>(opaque);
    if ((whence & ~AVSEEK_FORCE) == AVSEEK_SIZE) {
      struct stat info {};
      return ::fstat(::fileno(reader->file), &info) == 0 ? static_cast<int64_t>(info.st_size)
                                                         : AVERROR(EIO);
    }
    int from = (whence & ~AVSEEK_FORCE) == SEEK_CUR   ? SEEK_CUR
               : (whence & ~AVSEEK_FORCE) == SEEK_END ? SEEK_END
                                                      : SEEK_SET;
    if (::fseeko(reader->file, offset, from) != 0) return AVERROR(EINVAL);
    return ::ftello(reader->file);
  }
};

// One opened input: its demuxer and the decoder of its best video stream,
// which refuses pictures above maxPixels before it allocates them.
class Clip {
 public:
  Clip(const std::filesystem::path& path, int64_t maxPixels) {
    reader_.file = std::fopen(path.c_str(), "rbe");
    if (reader_.file == nullptr) fail("it cannot be read");
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    io_ = avio_alloc_context(buffer, kBufferSize, 0, &reader_, &FileReader::read, nullptr,
                             &FileReader::seek);
    format_ = avformat_alloc_context();
    if (io_ == nullptr || format_ == nullptr) fail("not enough memory");
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (int error = avformat_open_input(&format_, nullptr, nullptr, nullptr); error < 0)
      fail("FFmpeg cannot read it (" + averror(error) + ")");
    std::vector<AVDictionary*> streamOptions(format_->nb_streams, nullptr);
    for (auto& each : streamOptions) av_dict_set_int(&each, "max_pixels", maxPixels, 0);
    int found = avformat_find_stream_info(format_, streamOptions.data());
    for (auto& each : streamOptions) av_dict_free(&each);
    if (found < 0) fail("FFmpeg cannot read it (" + averror(found) + ")");
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream_ < 0 || codec == nullptr) fail("no picture FFmpeg can decode");
    decoder_ = avcodec_alloc_context3(codec);
    if (decoder_ == nullptr) fail("not enough memory");
    avcodec_parameters_to_context(decoder_, format_->streams[stream_]->codecpar);
    decoder_->thread_count = 1;
    decoder_->max_pixels = maxPixels;
    if (int error = avcodec_open2(decoder_, codec, nullptr); error < 0)
      fail("FFmpeg cannot decode its pictures (" + averror(error) + ")");
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~Clip() { release(); }
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

 private:
  void release() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
    if (io_ != nullptr) av_freep(&io_->buffer);
    avio_context_free(&io_);
    if (reader_.file != nullptr) std::fclose(reader_.file);
    reader_.file = nullptr;
  }

 public:
  const AVStream& stream() const { return *format_->streams[stream_]; }
  bool hasSound() const {
    for (unsigned i = 0; i < format_->nb_streams; ++i)
      if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return true;
    return false;
  }
  const AVFormatContext& format() const { return *format_; }
  const AVCodecContext& decoder() const { return *decoder_; }

  // The next decoded picture; false at the end. error_ says whether the
  // data went wrong before it ended.
  bool next() {
    for (;;) {
      int got = avcodec_receive_frame(decoder_, frame_);
      if (got == 0) return true;
      if (got == AVERROR_EOF) return false;
      if (got != AVERROR(EAGAIN)) {
        error_ = averror(got);
        return false;
      }
      if (draining_) return false;
      int read = av_read_frame(format_, packet_);
      if (read < 0) {
        if (read != AVERROR_EOF) error_ = averror(read);
        draining_ = true;
        avcodec_send_packet(decoder_, nullptr);
        continue;
      }
      if (packet_->stream_index == stream_) {
        int sent = avcodec_send_packet(decoder_, packet_);
        // A damaged picture is left out, as players leave it; said only
        // when no picture decodes at all.
        if (sent == AVERROR_INVALIDDATA)
          skipped_ = averror(sent);
        else if (sent < 0 && sent != AVERROR(EAGAIN))
          error_ = averror(sent);
      }
      av_packet_unref(packet_);
    }
  }
  const AVFrame& frame() const { return *frame_; }
  // The picture's time in seconds.
  double time() const {
    int64_t at = frame_->best_effort_timestamp;
    if (at == AV_NOPTS_VALUE) at = frame_->pts;
    if (at == AV_NOPTS_VALUE) return -1;
    int64_t start = stream().start_time == AV_NOPTS_VALUE ? 0 : stream().start_time;
    return static_cast<double>(at - start) * av_q2d(stream().time_base);
  }
  double frameSeconds() const {
    if (frame_->pkt_duration > 0)
      return static_cast<double>(frame_->pkt_duration) * av_q2d(stream().time_base);
    return 0;
  }
  const std::string& error() const { return error_; }
  const std::string& skipped() const { return skipped_; }

 private:
  // What the constructor made goes before it throws: no destructor follows.
  [[noreturn]] void fail(const std::string& why) {
    release();
    throw std::runtime_error(why);
  }

  FileReader reader_;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int stream_ = -1;
  bool draining_ = false;
  std::string error_, skipped_;
};

// The pictures the first pass chose, by their place in decoding order.
class ClipSteps : public WholeSteps {
 public:
  ClipSteps(const std::filesystem::path& path, int64_t maxPixels, Size source, Size size,
            Colour background, const std::vector<int64_t>& chosen)
      : clip_(path, maxPixels),
        maker_(source, size, background),
        size_(size),
        source_(source),
        chosen_(chosen) {}

  bool next() override {
    if (step_ + 1 >= static_cast<int>(chosen_.size())) return false;
    int64_t wanted = chosen_[static_cast<size_t>(step_ + 1)];
    while (decoded_ < wanted) {
      if (!clip_.next()) throw std::runtime_error("the pictures decode differently a second time");
      ++decoded_;
    }
    const AVFrame& frame = clip_.frame();
    if (frame.width != source_.width || frame.height != source_.height)
      throw std::runtime_error("pictures of more than one size");
    maker_.make(frame.data, frame.linesize, static_cast<AVPixelFormat>(frame.format), picture_);
    shown(size_);
    return true;
  }

 private:
  Clip clip_;
  PictureMaker maker_;
  Size size_, source_;
  const std::vector<int64_t>& chosen_;
  int64_t decoded_ = 0;  // pictures decoded so far, the last one in clip_.frame()
};

// Which pictures become steps, and when each starts. All of them at their
// own times; or, thinning a clip faster than --fps, a step each 1/fps
// seconds showing the latest picture by then (one step where two would
// show the same picture).
struct Chooser {
  Chooser(int fps, bool thinning) : fps_(fps), thinning_(thinning) {}

  // The next picture in decoding order (counted from 1) and its time.
  void add(int64_t index, double time) {
    if (!thinning_) return take(index, time);
    if (previous_ > 0) step(time);
    previous_ = index, previousTime_ = time;
  }
  void finish(double end) {
    if (thinning_ && previous_ > 0) step(end);
  }

  std::vector<int64_t> chosen;
  std::vector<double> starts;

 private:
  static constexpr double kSlack = 1e-6;
  void take(int64_t index, double time) {
    chosen.push_back(index);
    starts.push_back(time);
  }
  // The previous picture, shown until time, takes the next step due before then.
  void step(double time) {
    double due = static_cast<double>(next_) / fps_;
    if (due >= time - kSlack) return;
    take(previous_, std::max(due, previousTime_));
    next_ = static_cast<int64_t>(std::ceil((time - kSlack) * fps_));
  }

  int fps_;
  bool thinning_;
  int64_t previous_ = 0, next_ = 0;
  double previousTime_ = 0;
};

bool isStill(MediaKind kind, const Clip& clip) {
  return kind == MediaKind::kJpeg ||
         (kind == MediaKind::kPng && std::strcmp(clip.format().iformat->name, "apng") != 0);
}

uint32_t bigEndian(const uint8_t* at) {
  return static_cast<uint32_t>(at[0] << 24 | at[1] << 16 | at[2] << 8 | at[3]);
}

// A PNG's declared size from its IHDR chunk, and an APNG's loop count from
// its acTL chunk (0: forever; -1 without one), read chunk by chunk from the
// file up to the first picture data.
struct PngHeader {
  Size size;
  int plays = -1;
};

PngHeader pngHeader(const std::filesystem::path& path) {
  PngHeader header;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rbe"),
                                                       &std::fclose);
  uint8_t chunk[16];
  if (!file || ::fseeko(file.get(), 8, SEEK_SET) != 0) return header;
  for (int64_t at = 8; std::fread(chunk, 1, 16, file.get()) == 16;) {
    uint32_t length = bigEndian(chunk);
    if (at == 8 && std::memcmp(chunk + 4, "IHDR", 4) == 0)
      header.size = {static_cast<int>(std::min<uint32_t>(bigEndian(chunk + 8), INT32_MAX)),
                     static_cast<int>(std::min<uint32_t>(bigEndian(chunk + 12), INT32_MAX))};
    if (std::memcmp(chunk + 4, "acTL", 4) == 0 && length >= 8)
      header.plays = static_cast<int>(bigEndian(chunk + 12));
    if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || header.plays >= 0) break;
    at += 12 + int64_t{length};
    if (::fseeko(file.get(), at, SEEK_SET) != 0) break;
  }
  return header;
}

MediaGif clipGif(const std::filesystem::path& path, MediaKind kind,
                 const Preparation& preparation) {
  const MediaOptions& options = preparation.media;
  std::string what = mediaWords(kind);
  PngHeader png;
  if (kind == MediaKind::kPng) {
    png = pngHeader(path);
    checkSize(path, what, png.size, targetSize(png.size, options), 1, preparation.memory, "");
  }
  // The decoders refuse larger pictures before they allocate them.
  int64_t maxPixels = std::min(kMaxPixels, preparation.memory.block / 4);
  av_log_set_level(AV_LOG_QUIET);
  std::unique_ptr<Clip> clip;
  try {
    clip = std::make_unique<Clip>(path, maxPixels);
  } catch (const std::runtime_error& error) {
    throw FileError(path, what + ": " + error.what());
  }
  bool still = isStill(kind, *clip);
  bool video = kind == MediaKind::kIsoVideo || kind == MediaKind::kMatroska;
  if (kind == MediaKind::kPng && !still) what = "an APNG animation";
  const AVStream& stream = clip->stream();
  Size source{stream.codecpar->width, stream.codecpar->height};
  std::string codec = avcodec_get_name(stream.codecpar->codec_id);
  bool sound = clip->hasSound();
  Size size = targetSize(source, options);
  double rate = av_q2d(stream.avg_frame_rate) > 0 ? av_q2d(stream.avg_frame_rate)
                                                  : av_q2d(stream.r_frame_rate);
  double length =
      clip->format().duration > 0 ? static_cast<double>(clip->format().duration) / AV_TIME_BASE : 0;
  if (video) {
    double fps = std::min<double>(rate > 0 ? rate : options.fps, options.fps);
    double seconds = length > 0 ? std::min(length, options.duration) : options.duration;
    auto steps = static_cast<int64_t>(std::ceil(fps * seconds)) + 1;
    checkSize(path, what, source, size, steps, preparation.memory,
              ": use --width, --fps or --duration");
  } else {
    checkSize(path, what, source, size, 1, preparation.memory, ": use --width");
  }

  // The first pass decodes without converting: which pictures to show, when.
  bool thinning = video && !(rate > 0 && rate <= options.fps + 0.01);
  Chooser chooser(options.fps, thinning);
  double end = 0, last = -1;
  int64_t decoded = 0;
  bool cut = false;
  while (clip->next()) {
    ++decoded;
    const AVFrame& frame = clip->frame();
    if (frame.width != source.width || frame.height != source.height)
      throw FileError(path, what + ": pictures of more than one size");
    double time = clip->time();
    if (time < 0) time = last < 0 ? 0 : last + (rate > 0 ? 1 / rate : 0.1);
    if (time < last) continue;  // out of order: shown no more
    double seconds = clip->frameSeconds();
    if (!video && seconds * 1000 <= kShortFrameMs + 1e-9) seconds = kShortFrameShownMs / 1000.0;
    if (seconds <= 0) seconds = rate > 0 ? 1 / rate : 0.1;
    if (video && time >= options.duration) {
      cut = true;
      break;
    }
    last = time;
    if (!video) time = end;  // images: one frame after another, from 0
    chooser.add(decoded, time);
    end = std::max(end, time + seconds);
    if (still) break;
  }
  if (video) end = std::min(end, options.duration);
  chooser.finish(end);
  const std::vector<int64_t>& chosen = chooser.chosen;
  const std::vector<double>& starts = chooser.starts;
  std::string ending;
  if (!clip->error().empty()) {
    if (chosen.empty())
      throw FileError(path,
                      what + ": damaged data: FFmpeg cannot decode it (" + clip->error() + ")");
    ending = ", cut where its data goes wrong (" + clip->error() + ")";
  }
  if (chosen.empty())
    throw FileError(path, what + ": no picture FFmpeg can decode" +
                              (clip->skipped().empty() ? "" : " (" + clip->skipped() + ")"));
  // A clip whose data ends early, as a cut-off download does.
  double expected = std::min(length, options.duration);
  if (video && !cut && ending.empty() && length > 0 && end < expected - std::max(0.25, 2 / rate))
    ending = ", cut where its data ends, " + secondsText(end) + " of " + secondsText(length);
  clip.reset();

  StepSequence steps;
  steps.width = size.width, steps.height = size.height;
  steps.delays = hundredths(starts, end);
  if (still) steps.delays.resize(1);
  steps.loopCount = video ? 0 : kind == MediaKind::kPng && !still ? png.plays : -1;
  steps.sourceBytes = rawBytes(steps);
  int64_t stepPixels = int64_t{size.width} * size.height * static_cast<int64_t>(chosen.size());
  constexpr int64_t kSample = int64_t{1} << 22;
  steps.sampleStride = video ? static_cast<size_t>(std::max<int64_t>(stepPixels / kSample, 1)) : 0;
  Colour background = preparation.options.background.value_or(0xFFFFFF);
  steps.start = [&] {
    return std::make_unique<ClipSteps>(path, maxPixels, source, size, background, chosen);
  };
  MediaGif made;
  made.source = what + " (" + (video ? codec + ", " : "") + sizeText(source);
  if (video && rate > 0) made.source += ", " + std::to_string(std::lround(rate)) + " frames/s";
  if (!still) made.source += ", " + secondsText(video && length > 0 ? length : end);
  made.source += ")";
  made.gif = writeMedia(path, what, steps, preparation);
  made.made = picturesText(chosen.size(), source, size);
  if (video) {
    bool capped = rate > options.fps + 0.01;
    made.made += capped ? ", at most " + std::to_string(options.fps) + " a second (--fps " +
                              std::to_string(options.fps) + ")"
                        : "";
    std::ostringstream duration;
    duration << options.duration;
    made.made += cut ? ", its first " + secondsText(end) + " (--duration " + duration.str() + ")"
                     : ", " + secondsText(end);
    if (sound) made.made += ", without its sound";
  }
  made.made += ending;
  return made;
}

}  // namespace

MediaGif gifFromMedia(const std::filesystem::path& path, MediaKind kind,
                      const Preparation& preparation) {
  if (kind == MediaKind::kWebp) return webpGif(path, preparation);
  return clipGif(path, kind, preparation);
}
