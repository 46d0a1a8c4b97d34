// gifpack: makes a self-playing animation from a player, a GIF and a song,
// and shows what such a file carries.
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/gifpack/list.h"
#include "tools/gifpack/pack.h"
#include "tools/gifpack/tool_error.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp = R"(Usage: gifpack [--player PLAYER] ANIMATION.gif [SONG.mid] -o OUTPUT
       gifpack --list FILE
       gifpack --help

Makes a self-playing animation: a copy of PLAYER with ANIMATION.gif and, when
given, SONG.mid appended behind it. OUTPUT keeps the player's permissions.

  -o, --output OUTPUT  the file to make; an existing one is replaced only
                       when everything went well
  --player PLAYER      the player to copy: gifplay or gifplay.exe, as built,
                       without records. By default the first of these, found
                       from the directory gifpack is in:
                         ./gifplay                    (installed side by side)
                         ../../app/gifplay            (the build tree)
                         ../libexec/gifplay/gifplay   (make install)
  --list FILE          show the records FILE carries, with their offsets and
                       lengths, found the way the player finds them
  -h, --help           show this help

Exit status: 0 done; 1 wrong usage; 2 refused or failed: one line on stderr
names the file and what is wrong, and nothing was written.
)";

struct Command {
  enum class Mode { kPack, kList, kHelp } mode = Mode::kPack;
  std::optional<fs::path> player;
  std::optional<fs::path> output;
  std::optional<fs::path> listed;
  std::vector<fs::path> operands;
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
    } else if (arg == "-o" || arg == "--output") {
      setOnce(command.output, arg, valueOf(args, i));
    } else if (arg == "--player") {
      setOnce(command.player, arg, valueOf(args, i));
    } else if (arg == "--list") {
      setOnce(command.listed, arg, valueOf(args, i));
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (command.listed && command.mode != Command::Mode::kHelp) command.mode = Command::Mode::kList;
  return command;
}

void runList(const Command& command) {
  if (command.output || command.player || !command.operands.empty())
    throw UsageError("--list takes one FILE and nothing else");
  listRecords(*command.listed, std::cout);
}

void runPack(const Command& command) {
  if (command.operands.empty()) throw UsageError("no ANIMATION.gif given");
  if (command.operands.size() > 2) throw UsageError("more than ANIMATION.gif and SONG.mid given");
  if (!command.output) throw UsageError("no OUTPUT given (-o OUTPUT)");
  PackRequest request{command.player, command.operands[0], std::nullopt, *command.output};
  if (command.operands.size() == 2) request.song = command.operands[1];
  pack(request);
}

int run(const std::vector<std::string>& args) {
  Command command = parse(args);
  switch (command.mode) {
    case Command::Mode::kHelp:
      std::cout << kHelp;
      break;
    case Command::Mode::kList:
      runList(command);
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
