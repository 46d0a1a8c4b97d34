// Every input the fuzzers were started from or have found a fault with goes
// through the same entry point again: tests/regressions/<target>/* (findings,
// filed by fuzz/hunt.sh) and fuzz/corpus/<target>/* (the seeds). In the
// sanitizer build a fault shows as a sanitizer report; in any build each
// entry must leave the process-wide records empty, so runs stay independent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_entries.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;
  int (*entry)(const uint8_t*, size_t);
};

const Target kTargets[] = {{"gif_loader", fuzzGifLoader},
                           {"payload_scanner", fuzzPayloadScanner},
                           {"gifpack_info", fuzzGifpackInfo},
                           {"midi_file", fuzzMidiFile}};

struct Input {
  Target target;
  fs::path path;
};

void collect(std::vector<Input>& inputs, const Target& target, const fs::path& dir) {
  if (!fs::is_directory(dir)) return;
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) inputs.push_back({target, file});
}

std::vector<Input> allInputs() {
  fs::path source = GIFPLAY_SOURCE_DIR;
  std::vector<Input> inputs;
  for (const Target& target : kTargets) {
    collect(inputs, target, source / "tests/regressions" / target.name);
    collect(inputs, target, source / "fuzz/corpus" / target.name);
  }
  return inputs;
}

std::string nameOf(const testing::TestParamInfo<Input>& info) {
  std::string name = info.param.target.name;
  name += "_" + info.param.path.parent_path().parent_path().filename().string();
  name += "_" + info.param.path.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
  return name;
}

class Replay : public testing::TestWithParam<Input> {};

TEST_P(Replay, RunsCleanAndLeavesNothingBehind) {
  const Input& input = GetParam();
  Bytes data = readFileBytes(input.path);
  EXPECT_EQ(input.target.entry(data.data(), data.size()), 0) << input.path;
  EXPECT_TRUE(playerRecordsEmpty()) << input.path;
}

INSTANTIATE_TEST_SUITE_P(Saved, Replay, testing::ValuesIn(allInputs()), nameOf);

}  // namespace
