// gifpack: makes a self-playing animation from a player, a GIF and a song,
// and shows what such a file carries.
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/list.h"
#include "tools/gifpack/pack.h"
#include "tools/gifpack/prepare.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/utf8_path.h"
#include "tools/gifpack/words.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kWindowsBuild = true;
#else
constexpr bool kWindowsBuild = false;
#endif

constexpr const char* kHelp =
    R"(Usage: gifpack [OPTIONS] ANIMATION [SONG.mid] [-o OUTPUT]
   or: gifpack --list FILE | --info ANIMATION | --frames DIR ANIMATION

Makes a self-playing animation: a copy of PLAYER with ANIMATION as a GIF and,
when given, SONG.mid appended. A GIF the player would show differently from
browsers is rewritten as they show it. WebP, PNG (APNG), JPEG and clips (MP4,
WebM, MOV, MKV; not their sound) become GIFs alike: by the Linux gifpack only.

  -o, --output OUTPUT  the file to make (default: beside ANIMATION, named
                       after it, never over a file); NAME.exe: for Windows
  --player PLAYER      the player to copy (default: found beside gifpack)
  --windows            copy gifplay.exe, found likewise or in the cross-build
  --as-is | --strict   pack a GIF as it is, with warnings | refuse rewriting
  --background '#RRGGBB'  for pixels left transparent (default: the GIF's own)
  --dither             diffuse the error where colours go down to 256
  --fps N, --duration S  a clip's frames a second (25, up to 50), seconds (60)
  --width N            the pictures' width, the height in proportion
  --list FILE          the records FILE carries, found as the player finds them
  --info ANIMATION     each frame as the player takes it, and what packing does
  --frames DIR ANIMATION  DIR/frame-000.png ...: each step of what is packed
  -h, --help | --version  this help | gifpack's version and licence

Exit status: 0 done (warnings may be printed); 1 wrong usage; 2 refused or
failed: one line on stderr names the file and what is wrong; nothing written.
)";

constexpr const char* kVersion = "gifpack (gifplay) " GIFPLAY_VERSION R"(
Copyright (c) 2026 The gifplay developers

MIT License: see LICENSE, which comes with gifplay.
)"
#ifndef _WIN32
    R"(This gifpack links FFmpeg's libraries, built under the GNU GPL: as a whole
it is distributed under the GNU GPL, version 2 or later.
)"
#endif
    ;

struct Command {
  enum class Mode { kPack, kList, kInfo, kFrames, kHelp, kVersion } mode = Mode::kPack;
  std::optional<fs::path> player;
  bool windows = false;
  std::optional<fs::path> output;
  std::optional<fs::path> listed;
  std::optional<fs::path> info;
  std::optional<fs::path> framesDir;
  std::vector<fs::path> operands;
  Preparation preparation;
};

// A value given as "--option=VALUE" or "-oVALUE" within the argument, or as
// the next argument.
std::string valueOf(const std::vector<std::string>& args, size_t& i,
                    const std::optional<std::string>& attached) {
  if (attached) return *attached;
  if (i + 1 >= args.size()) throw UsageError("option " + args[i] + " needs a value");
  return args[++i];
}

void setOnce(std::optional<fs::path>& slot, const std::string& option, const std::string& value) {
  if (slot) throw UsageError("option " + option + " given twice");
  if (value.empty()) throw UsageError("option " + option + " needs a value");
  slot = pathOf(value);
}

// "--output=FILE" as "--output" and "FILE"; "-oFILE" as "-o" and "FILE".
std::pair<std::string, std::optional<std::string>> splitAttached(const std::string& arg) {
  if (arg.starts_with("--")) {
    size_t equals = arg.find('=');
    if (equals != std::string::npos) return {arg.substr(0, equals), arg.substr(equals + 1)};
  } else if (arg.size() > 2 && arg[1] == 'o') {
    return {"-o", arg.substr(2)};
  }
  return {arg, std::nullopt};
}

void setRewriting(Command& command, const std::string& option) {
  Rewriting mode = option == "--as-is" ? Rewriting::kAsIs : Rewriting::kStrict;
  if (command.preparation.rewriting != Rewriting::kWhenNeeded)
    throw UsageError("give only one of --as-is and --strict");
  command.preparation.rewriting = mode;
}

void setBackground(Command& command, const std::string& value) {
  command.preparation.options.background = parseColour(value);
  if (!command.preparation.options.background)
    throw UsageError("--background takes a colour as #RRGGBB, not " + value);
}

// --fps 1 to 50 (a GIF plays no faster in browsers), --width from 1,
// --duration in seconds above 0.
void setMediaOption(MediaOptions& media, const std::string& option, const std::string& value) {
  size_t used = 0;
  double number = 0;
  try {
    number = std::stod(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  bool whole = number == static_cast<int>(number);
  if (used != value.size() || !(number > 0) || number > 1e6 || (option != "--duration" && !whole))
    throw UsageError(option + " takes a number above 0, not " + value);
  if (option == "--fps" && number > 50)
    throw UsageError("--fps goes up to 50, the fastest a GIF plays in browsers");
  if (option == "--fps") media.fps = static_cast<int>(number);
  if (option == "--width") media.width = static_cast<int>(number);
  if (option == "--duration") media.duration = number;
}

// One option; false when there is no such option.
bool takeOption(Command& command, const std::vector<std::string>& args, size_t& i) {
  auto [option, attached] = splitAttached(args[i]);
  const std::pair<const char*, std::optional<fs::path> Command::*> paths[] = {
      {"-o", &Command::output},       {"--output", &Command::output},
      {"--player", &Command::player}, {"--list", &Command::listed},
      {"--info", &Command::info},     {"--frames", &Command::framesDir}};
  for (auto [name, slot] : paths)
    if (option == name) {
      setOnce(command.*slot, option, valueOf(args, i, attached));
      return true;
    }
  if (option == "--background") {
    setBackground(command, valueOf(args, i, attached));
    return true;
  }
  if (option == "--fps" || option == "--width" || option == "--duration") {
    setMediaOption(command.preparation.media, option, valueOf(args, i, attached));
    return true;
  }
  if (attached) return false;
  if (option == "-h" || option == "--help")
    command.mode = Command::Mode::kHelp;
  else if (option == "--version")
    command.mode = Command::Mode::kVersion;
  else if (option == "--windows")
    command.windows = true;
  else if (option == "--as-is" || option == "--strict")
    setRewriting(command, option);
  else if (option == "--dither")
    command.preparation.options.dither = true;
  else
    return false;
  return true;
}

Command parse(const std::vector<std::string>& args) {
  Command command;
  if (kWindowsBuild) command.preparation.memory = kWindowsPlayerLimit;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-")
      command.operands.push_back(pathOf(arg));
    else if (arg == "--")
      optionsEnded = true;
    else if (!takeOption(command, args, i))
      throw UsageError("unknown option " + arg);
  }
  if (command.mode == Command::Mode::kHelp || command.mode == Command::Mode::kVersion)
    return command;
  int modes = command.listed.has_value() + command.info.has_value() + command.framesDir.has_value();
  if (modes > 1) throw UsageError("give only one of --list, --info and --frames");
  if (command.listed) command.mode = Command::Mode::kList;
  if (command.info) command.mode = Command::Mode::kInfo;
  if (command.framesDir) command.mode = Command::Mode::kFrames;
  return command;
}

void runList(const Command& command) {
  if (command.output || command.player || command.windows || !command.operands.empty())
    throw UsageError("--list takes one FILE and nothing else");
  listRecords(*command.listed, std::cout);
}

void runInfo(const Command& command) {
  if (command.output || command.player || command.windows || !command.operands.empty())
    throw UsageError("--info takes one ANIMATION and nothing else");
  printPreparedInfo(*command.info, readAnimation(*command.info), command.preparation, std::cout);
}

void runFrames(const Command& command) {
  if (command.output || command.player || command.windows || command.operands.size() != 1)
    throw UsageError("--frames takes DIR and one ANIMATION and nothing else");
  const fs::path& path = command.operands[0];
  int written = writePreparedFrames(*command.framesDir, path, readAnimation(path),
                                    command.preparation, std::cerr);
  std::cout << "wrote " << counted(written, "frame") << " to " << shownPath(*command.framesDir)
            << "\n";
}

// Without -o, the program goes beside the animation under its name, never
// over a file that is there: NAME, NAME (2), ... with ".exe" for Windows.
fs::path besideAnimation(const fs::path& animation, bool windows) {
  fs::path folder = animation.parent_path();
  std::string stem = shownPath(animation.stem()), extension = windows ? ".exe" : "";
  fs::path name = folder / pathOf(stem + extension);
  std::error_code error;
  for (int n = 2; fs::exists(fs::symlink_status(name, error)); ++n)
    name = folder / pathOf(stem + " (" + std::to_string(n) + ")" + extension);
  return name;
}

void runPack(const Command& command) {
  if (command.operands.empty()) throw UsageError("no ANIMATION.gif given");
  if (command.operands.size() > 2) throw UsageError("more than ANIMATION.gif and SONG.mid given");
  if (command.windows && command.player) throw UsageError("give --player or --windows, not both");
  const fs::path& animation = command.operands[0];
  fs::path output = command.output ? *command.output
                                   : besideAnimation(animation, command.windows || kWindowsBuild);
  bool windows = command.windows || (!command.player && endsInExe(output));
  PackRequest request{command.player, animation, std::nullopt,
                      output,         windows,   command.preparation};
  request.replace = command.output.has_value();
  if (command.operands.size() == 2) request.song = command.operands[1];
  PackedSizes sizes = pack(request, std::cerr);
  std::cout << "wrote " << shownPath(output) << ": " << memoryText(sizes.total)
            << " (the animation " << memoryText(sizes.animation);
  if (request.song) std::cout << ", the song " << memoryText(sizes.song);
  std::cout << ")\n";
}

int run(const std::vector<std::string>& args) {
  Command command = parse(args);
  switch (command.mode) {
    case Command::Mode::kHelp:
      std::cout << kHelp;
      break;
    case Command::Mode::kVersion:
      std::cout << kVersion;
      break;
    case Command::Mode::kList:
      runList(command);
      break;
    case Command::Mode::kInfo:
      runInfo(command);
      break;
    case Command::Mode::kFrames:
      runFrames(command);
      break;
    case Command::Mode::kPack:
      runPack(command);
      break;
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  int status = kExitDone;
  try {
    std::vector<std::string> args = commandArguments(argc, argv);
    status = run(args);
  } catch (const UsageError& error) {
    std::cerr << "gifpack: " << error.what() << " (see gifpack --help)\n";
    status = kExitUsage;
  } catch (const std::bad_alloc&) {
    std::cerr << "gifpack: not enough memory for this animation\n";
    status = kExitRefused;
  } catch (const std::exception& error) {
    std::cerr << "gifpack: " << error.what() << "\n";
    status = kExitRefused;
  }
  holdConsoleIfOwn();
  return status;
}
