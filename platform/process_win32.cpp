#include <windows.h>

#include <vector>

#include "platform/process_platform.h"

ProcessRun process_platform::Run(std::wstring_view commandLine, std::chrono::milliseconds limit) {
  // CreateProcessW may write into the command line, so it gets a copy.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return ProcessRun{};
  ProcessRun run;
  run.started = true;
  if (info.hThread) CloseHandle(info.hThread);
  if (!info.hProcess) return run;  // wine's Unix programs come without a handle

  DWORD wait = WaitForSingleObject(info.hProcess, limit.count() > 0 ? static_cast<DWORD>(limit.count()) : INFINITE);
  if (wait == WAIT_TIMEOUT) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 10000);
    run.killed = true;
  } else if (wait == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(info.hProcess, &code)) {
      run.ended = true;
      run.exitCode = code;
    }
  }
  CloseHandle(info.hProcess);
  return run;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }
