#include "tests/unit/tools/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "tests/support/test_support.h"

extern char** environ;

namespace {

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ToolRun runTool(const std::filesystem::path& program, const std::vector<std::string>& args) {
  ScratchDir streams;
  std::string outPath = streams.file("out").string(), errPath = streams.file("err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
  std::vector<std::string> argStrings{program.string()};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int status = 0;
  struct rusage usage {};
  bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                 wait4(pid, &status, 0, &usage) == pid;
  posix_spawn_file_actions_destroy(&actions);
  int exitCode = started && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return {exitCode, contentsOf(outPath), contentsOf(errPath), int64_t{usage.ru_maxrss} * 1024};
}

ToolRun runGifpack(const std::vector<std::string>& args) { return runTool(GIFPACK_TOOL, args); }
