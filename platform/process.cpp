#include "platform/process.h"

#include <mutex>

#include "common/strings.h"
#include "platform/process_platform.h"

namespace {
std::mutex faultMutex;
std::vector<std::wstring> failingPrograms;

std::wstring ProgramFileName(std::wstring_view commandLine) {
  std::vector<std::wstring> argv = SplitCommandLine(commandLine);
  if (argv.empty()) return std::wstring();
  size_t slash = argv[0].find_last_of(L"\\/");
  return slash == std::wstring::npos ? argv[0] : argv[0].substr(slash + 1);
}
}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> argv;
  size_t i = 0, n = line.size();
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  if (n == 0) return argv;

  // The program name: no escapes at all. A line that starts with a blank has
  // an empty one, as on Windows.
  std::wstring word;
  if (line[i] == L'"') {
    ++i;
    while (i < n && line[i] != L'"') word.push_back(line[i++]);
    if (i < n) ++i;
  } else {
    while (i < n && !blank(line[i])) word.push_back(line[i++]);
  }
  argv.push_back(word);

  for (;;) {
    while (i < n && blank(line[i])) ++i;
    if (i >= n) break;
    word.clear();
    int quotes = 0;  // 1 inside a quoted part
    while (i < n && !(blank(line[i]) && quotes == 0)) {
      if (line[i] == L'\\') {
        size_t count = 0;
        while (i < n && line[i] == L'\\') {
          ++count;
          ++i;
        }
        if (i < n && line[i] == L'"') {
          word.append(count / 2, L'\\');
          if (count % 2 == 1) {
            word.push_back(L'"');
            ++i;
            continue;
          }
          // An even count: the quote is handled below as a quote.
        } else {
          word.append(count, L'\\');
          continue;
        }
      }
      if (line[i] == L'"') {
        ++quotes;
        ++i;
        while (i < n && line[i] == L'"') {
          if (++quotes == 3) {
            word.push_back(L'"');
            quotes = 0;
          }
          ++i;
        }
        if (quotes == 2) quotes = 0;
        continue;
      }
      word.push_back(line[i++]);
    }
    argv.push_back(word);
  }
  return argv;
}

void InjectProcessStartFailure(std::wstring_view program) {
  std::lock_guard<std::mutex> lock(faultMutex);
  failingPrograms.emplace_back(program);
}

void ClearProcessFaults() {
  std::lock_guard<std::mutex> lock(faultMutex);
  failingPrograms.clear();
}

ProcessRun RunProcessAndWait(std::wstring_view commandLine, std::chrono::milliseconds limit) {
  {
    std::lock_guard<std::mutex> lock(faultMutex);
    if (!failingPrograms.empty()) {
      std::wstring program = ProgramFileName(commandLine);
      for (const std::wstring& failing : failingPrograms)
        if (EqualsNoCase(program, failing)) return ProcessRun{};
    }
  }
  return process_platform::Run(commandLine, limit);
}
