// The LZW side of the writer: the encoder, the bit packer and their reverse.
#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "tools/gifwriter/gif_writer.h"

namespace gifwriter {

namespace {

void require(bool condition, const std::string& message) {
  if (!condition) throw std::invalid_argument("gifwriter: " + message);
}

// The encoder's strings: (prefix code, next pixel) -> code, open addressing.
// At most 4096 entries live in 8192 slots, so probes stay short.
class StringTable {
 public:
  void clear() { keys_.fill(kEmpty); }

  int find(int prefix, int pixel) const {
    uint32_t key = keyOf(prefix, pixel);
    for (size_t slot = slotOf(key);; slot = (slot + 1) & (kSlots - 1)) {
      if (keys_[slot] == key) return codes_[slot];
      if (keys_[slot] == kEmpty) return -1;
    }
  }

  void insert(int prefix, int pixel, int code) {
    uint32_t key = keyOf(prefix, pixel);
    size_t slot = slotOf(key);
    while (keys_[slot] != kEmpty) slot = (slot + 1) & (kSlots - 1);
    keys_[slot] = key;
    codes_[slot] = static_cast<uint16_t>(code);
  }

 private:
  static constexpr size_t kSlots = 8192;
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  static uint32_t keyOf(int prefix, int pixel) {
    return static_cast<uint32_t>(prefix) << 8 | static_cast<uint32_t>(pixel);
  }
  static size_t slotOf(uint32_t key) { return (key * 2654435761u) >> (32 - 13); }

  std::array<uint32_t, kSlots> keys_;
  std::array<uint16_t, kSlots> codes_;
};

class Encoder {
 public:
  Encoder(int codeSize, const LzwOptions& options) : clearCode_(1 << codeSize), options_(options) {}

  std::vector<int> run(const Bytes& pixels, size_t count) {
    if (options_.initialClear) {
      emitClear();
    } else {
      resetTable();
    }
    if (count > 0) codePixels(pixels, count);
    if (options_.endCode) codes_.push_back(clearCode_ + 1);
    return std::move(codes_);
  }

 private:
  void resetTable() {
    table_.clear();
    nextCode_ = clearCode_ + 2;
    codesSinceClear_ = 0;
  }

  void emitClear() {
    for (int i = 0; i < std::max(1, options_.clearRun); ++i) codes_.push_back(clearCode_);
    resetTable();
  }

  void codePixels(const Bytes& pixels, size_t count) {
    int string = checkedPixel(pixels[0]);
    for (size_t i = 1; i < count; ++i) {
      int pixel = checkedPixel(pixels[i]);
      int longer = table_.find(string, pixel);
      if (longer >= 0) {
        string = longer;
        continue;
      }
      emitData(string);
      addString(string, pixel);
      string = pixel;
    }
    emitData(string);
  }

  void emitData(int code) {
    codes_.push_back(code);
    ++codesSinceClear_;
  }

  // The decoder adds the same entry one code later; once all 4096 are taken
  // the table is cleared, unless clearing is deferred.
  void addString(int string, int pixel) {
    if (nextCode_ < kTableSize) {
      table_.insert(string, pixel, nextCode_++);
    } else if (!options_.deferredClear) {
      emitClear();
      return;
    }
    if (options_.clearEvery > 0 && codesSinceClear_ >= options_.clearEvery) emitClear();
  }

  int checkedPixel(uint8_t pixel) const {
    // The message is made only on failure: this runs for every pixel.
    if (pixel >= clearCode_)
      require(false, "index " + std::to_string(pixel) + " does not fit the code size");
    return pixel;
  }

  int clearCode_;
  LzwOptions options_;
  StringTable table_;
  int nextCode_ = 0;
  int codesSinceClear_ = 0;
  std::vector<int> codes_;
};

void replaceWithBeyondTable(std::vector<int>& codes, int codeSize, int64_t dataIndex) {
  CodeWidthTracker tracker(codeSize);
  int64_t seen = 0;
  for (int& code : codes) {
    bool data = code != tracker.clearCode() && code != tracker.endCode();
    if (data && seen++ == dataIndex) {
      code = std::max((1 << tracker.width()) - 1, tracker.nextFree());
      if (code >= kTableSize) code = kTableSize - 1;
    }
    tracker.take(code);
  }
}

void checkCodeSize(int codeSize) {
  require(codeSize >= 1 && codeSize <= 11, "code size " + std::to_string(codeSize));
}

}  // namespace

CodeWidthTracker::CodeWidthTracker(int codeSize) : codeSize_(codeSize) { reset(); }

void CodeWidthTracker::reset() {
  width_ = codeSize_ + 1;
  nextFree_ = clearCode() + 2;
  firstAfterClear_ = true;
}

void CodeWidthTracker::take(int code) {
  if (code == clearCode()) {
    reset();
    return;
  }
  if (code == endCode()) return;
  if (firstAfterClear_) {
    firstAfterClear_ = false;
    return;
  }
  if (nextFree_ < kTableSize) ++nextFree_;
  if (nextFree_ == 1 << width_ && width_ < kMaxCodeWidth) ++width_;
}

std::vector<int> encodeLzw(const Bytes& pixels, int codeSize, const LzwOptions& options) {
  checkCodeSize(codeSize);
  size_t count = pixels.size();
  if (options.endAfterPixels >= 0)
    count = std::min(count, static_cast<size_t>(options.endAfterPixels));
  std::vector<int> codes = Encoder(codeSize, options).run(pixels, count);
  if (options.beyondTableAt >= 0) replaceWithBeyondTable(codes, codeSize, options.beyondTableAt);
  return codes;
}

Bytes packCodes(const std::vector<int>& codes, int codeSize, std::vector<size_t>* bitOffsets) {
  checkCodeSize(codeSize);
  CodeWidthTracker tracker(codeSize);
  Bytes packed;
  packed.reserve(codes.size() * 3 / 2 + 1);
  uint32_t held = 0;
  int heldBits = 0;
  size_t bitPosition = 0;
  for (int code : codes) {
    int width = tracker.width();
    if (code < 0 || code >= 1 << width)
      require(false,
              "code " + std::to_string(code) + " does not fit " + std::to_string(width) + " bits");
    if (bitOffsets != nullptr) bitOffsets->push_back(bitPosition);
    held |= static_cast<uint32_t>(code) << heldBits;
    heldBits += width;
    bitPosition += static_cast<size_t>(width);
    for (; heldBits >= 8; heldBits -= 8, held >>= 8) packed.push_back(static_cast<uint8_t>(held));
    tracker.take(code);
  }
  if (heldBits > 0) packed.push_back(static_cast<uint8_t>(held));
  return packed;
}

std::vector<int> unpackCodes(const Bytes& packed, int codeSize) {
  checkCodeSize(codeSize);
  CodeWidthTracker tracker(codeSize);
  std::vector<int> codes;
  uint32_t held = 0;
  int heldBits = 0;
  size_t next = 0;
  for (;;) {
    int width = tracker.width();
    while (heldBits < width && next < packed.size()) {
      held |= static_cast<uint32_t>(packed[next++]) << heldBits;
      heldBits += 8;
    }
    if (heldBits < width) return codes;
    int code = static_cast<int>(held & ((1u << width) - 1));
    held >>= width;
    heldBits -= width;
    codes.push_back(code);
    if (code == tracker.endCode()) return codes;
    tracker.take(code);
  }
}

std::vector<int> interlacedRowOrder(int height) {
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  std::vector<int> rows;
  for (int pass = 0; pass < 4; ++pass)
    for (int row = kStart[pass]; row < height; row += kStep[pass]) rows.push_back(row);
  return rows;
}

int minimumCodeSize(int colours) {
  int size = 2;
  while (size < 8 && (1 << size) < colours) ++size;
  return size;
}

}  // namespace gifwriter
