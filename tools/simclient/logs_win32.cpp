#include "tools/simclient/logs_win32.h"

#include <windows.h>

namespace simclient {

Logs logs;

bool Logs::Open(const std::wstring& dir) {
  dir_ = dir;
  events_ = _wfopen(Path(L"events.log").c_str(), L"wb");
  commands_ = _wfopen(Path(L"commands.log").c_str(), L"wb");
  return events_ && commands_;
}

Logs::~Logs() {
  if (events_) fclose(events_);
  if (commands_) fclose(commands_);
}

std::wstring Logs::Path(const std::wstring& name) const {
  if (dir_.empty()) return name;
  wchar_t last = dir_.back();
  return dir_ + (last == L'\\' || last == L'/' ? L"" : L"\\") + name;
}

void Logs::Write(FILE* file, const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file) return;
  fwrite(line.data(), 1, line.size(), file);
  fputc('\n', file);
  fflush(file);
}

void Say(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace simclient
