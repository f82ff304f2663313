#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "common/strings.h"
#include "platform/paths.h"
#include "platform/paths_posix.h"
#include "platform/process_platform.h"

extern char** environ;

namespace {

bool Executable(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

// The executable's folder first, then PATH, for a name without a folder.
std::string FindProgram(const std::wstring& name) {
  if (name.find_first_of(L"\\/") != std::wstring::npos) return NativePath(name);
  std::string candidate = NativePath(GetModuleDirectory() + name);
  if (Executable(candidate)) return candidate;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::string file = Utf8FromWide(name);
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    candidate = (dir.empty() ? std::string(".") : dir) + "/" + file;
    if (Executable(candidate)) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return std::string();
}

ProcessRun Reap(pid_t pid, int status) {
  ProcessRun run;
  run.started = true;
  run.ended = true;
  if (WIFEXITED(status))
    run.exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  else
    run.exitCode = 128u + static_cast<uint32_t>(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return run;
}

}  // namespace

ProcessRun process_platform::Run(std::wstring_view commandLine, std::chrono::milliseconds limit) {
  std::vector<std::wstring> words = SplitCommandLine(commandLine);
  if (words.empty() || words[0].empty()) return ProcessRun{};
  std::string program = FindProgram(words[0]);
  if (program.empty()) return ProcessRun{};

  std::vector<std::string> args;
  for (const std::wstring& word : words) args.push_back(Utf8FromWide(word));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return ProcessRun{};

  int status = 0;
  if (limit.count() <= 0) {
    while (waitpid(pid, &status, 0) < 0)
      if (errno != EINTR) return ProcessRun{true, false, false, 0};
    return Reap(pid, status);
  }
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return Reap(pid, status);
    if (done < 0 && errno != EINTR) return ProcessRun{true, false, false, 0};
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ProcessRun run;
  run.started = true;
  run.killed = true;
  return run;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }
