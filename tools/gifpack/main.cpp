// gifpack: makes a self-playing animation from a player, a GIF and a song,
// and shows what such a file carries.
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/list.h"
#include "tools/gifpack/pack.h"
#include "tools/gifpack/player_load.h"
#include "tools/gifpack/prepare.h"
#include "tools/gifpack/report.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/words.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    R"(Usage: gifpack [OPTIONS] ANIMATION.gif [SONG.mid] -o OUTPUT
   or: gifpack --list FILE | --info ANIMATION.gif | --frames DIR ANIMATION.gif

Makes a self-playing animation: a copy of PLAYER with ANIMATION.gif and, when
given, SONG.mid appended; OUTPUT gets the player's permissions and is replaced
only when all went well. What the player cannot show is refused; a GIF that it
would show differently from web browsers is rewritten to look as it does there.

  -o, --output OUTPUT  the file to make
  --player PLAYER      the player to copy (default: found beside gifpack)
  --windows            copy gifplay.exe, found likewise or in the cross-build
  --as-is              pack the GIF as it is, with warnings
  --strict             refuse a GIF that would need rewriting
  --background '#RRGGBB'  for pixels left transparent (default: the GIF's own)
  --dither             diffuse the error where colours go down to 256
  --list FILE          the records FILE carries, found as the player finds them
  --info ANIMATION     each frame as the player takes it, and what packing does
  --frames DIR ANIMATION  DIR/frame-000.png ... (DIR new, or with earlier
                       frames): each step of what is packed
  -h, --help           this help
  --version            gifpack's version and licence

Exit status: 0 done (warnings may be printed); 1 wrong usage; 2 refused or
failed: one line on stderr names the file and what is wrong; nothing written.
)";

constexpr const char* kVersion = "gifpack (gifplay) " GIFPLAY_VERSION R"(
Copyright (c) 2026 The gifplay developers

MIT License: see LICENSE, which comes with gifplay.
)";

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

std::string valueOf(const std::vector<std::string>& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError("option " + args[i] + " needs a value");
  return args[++i];
}

void setOnce(std::optional<fs::path>& slot, const std::string& option, const std::string& value) {
  if (slot) throw UsageError("option " + option + " given twice");
  slot = value;
}

Command parse(const std::vector<std::string>& args) {
  Command command;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      command.operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      command.mode = Command::Mode::kHelp;
    } else if (arg == "--version") {
      command.mode = Command::Mode::kVersion;
    } else if (arg == "-o" || arg == "--output") {
      setOnce(command.output, arg, valueOf(args, i));
    } else if (arg == "--player") {
      setOnce(command.player, arg, valueOf(args, i));
    } else if (arg == "--windows") {
      command.windows = true;
    } else if (arg == "--list") {
      setOnce(command.listed, arg, valueOf(args, i));
    } else if (arg == "--info") {
      setOnce(command.info, arg, valueOf(args, i));
    } else if (arg == "--frames") {
      setOnce(command.framesDir, arg, valueOf(args, i));
    } else if (arg == "--as-is" || arg == "--strict") {
      Rewriting mode = arg == "--as-is" ? Rewriting::kAsIs : Rewriting::kStrict;
      if (command.preparation.rewriting != Rewriting::kWhenNeeded)
        throw UsageError("give only one of --as-is and --strict");
      command.preparation.rewriting = mode;
    } else if (arg == "--background") {
      std::string value = valueOf(args, i);
      command.preparation.options.background = parseColour(value);
      if (!command.preparation.options.background)
        throw UsageError("--background takes a colour as #RRGGBB, not " + value);
    } else if (arg == "--dither") {
      command.preparation.options.dither = true;
    } else {
      throw UsageError("unknown option " + arg);
    }
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
  Bytes gif = prepareAnimation(path, readAnimation(path), command.preparation, std::cerr);
  PlayerLoad load(gif);
  AnimationCheck check = checkAnimation(gif, load.started());
  int written = writeFrames(*command.framesDir, check);
  std::cout << "wrote " << counted(written, "frame") << " to " << command.framesDir->string()
            << "\n";
}

void runPack(const Command& command) {
  if (command.operands.empty()) throw UsageError("no ANIMATION.gif given");
  if (command.operands.size() > 2) throw UsageError("more than ANIMATION.gif and SONG.mid given");
  if (!command.output) throw UsageError("no OUTPUT given (-o OUTPUT)");
  if (command.windows && command.player) throw UsageError("give --player or --windows, not both");
  PackRequest request{command.player,  command.operands[0], std::nullopt,
                      *command.output, command.windows,     command.preparation};
  if (command.operands.size() == 2) request.song = command.operands[1];
  pack(request, std::cerr);
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
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    std::cerr << "gifpack: " << error.what() << " (see gifpack --help)\n";
    return kExitUsage;
  } catch (const FileError& error) {
    std::cerr << "gifpack: " << error.what() << "\n";
    return kExitRefused;
  } catch (const std::exception& error) {
    std::cerr << "gifpack: " << error.what() << "\n";
    return kExitRefused;
  }
}
