// SimSkype.exe: a simulated Skype desktop client (see kScenarioHelp). It
// plays a scenario against the recorder through the client's window-message
// API and audio ports (scenario_runner_win32), and answers questions about
// the recorder's windows (recorder_questions_win32); --install and
// --uninstall make it the installed client (install_win32). What its threads
// share: client_state_win32.h.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>

#include "skype/skype_api.h"
#include "tools/simclient/api_window_win32.h"
#include "tools/simclient/audio_streams_win32.h"
#include "tools/simclient/client_state_win32.h"
#include "tools/simclient/install_win32.h"
#include "tools/simclient/logs_win32.h"
#include "tools/simclient/outbox_win32.h"
#include "tools/simclient/recorder_questions_win32.h"
#include "tools/simclient/scenario.h"
#include "tools/simclient/scenario_runner_win32.h"
#include "tools/simclient/signal.h"

namespace simclient {
namespace {

// Started without a scenario (as the installed client) and with none beside
// the program: a main window, kept until it is closed.
constexpr char kDefaultScenario[] =
    "timeout 0\n"
    "window tSkMainForm.UnicodeClass\n"
    "wait closed tSkMainForm.UnicodeClass\n";

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
  fclose(file);
  return true;
}

std::wstring ModuleFolder() {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

int Run(const std::wstring& dir, const std::wstring& scenarioPath) {
  bool defaultMode = scenarioPath.empty();
  std::wstring folder = dir;
  if (defaultMode && folder.empty()) folder = ModuleFolder();
  if (!logs.Open(folder)) {
    fwprintf(stderr, L"cannot write the logs in %ls\n", folder.c_str());
    return kExitUsage;
  }
  std::string text;
  if (defaultMode) {
    // A copy started as the installed client: one main window at a time.
    for (const wchar_t* name : kSkypeMainWindowClasses)
      if (FindWindowW(name, nullptr) != nullptr) {
        logs.Event("second-start");
        logs.Event("exit 0");
        return kExitOk;
      }
    std::wstring beside = ModuleFolder() + L"\\SimSkype.scenario";
    if (!ReadWholeFile(beside, text)) text = kDefaultScenario;
  } else if (!ReadWholeFile(scenarioPath, text)) {
    fwprintf(stderr, L"cannot read %ls\n", scenarioPath.c_str());
    return kExitScenario;
  }
  std::string error;
  if (!ParseScenario(text, scenario, error)) {
    fprintf(stderr, "scenario: %s\n", error.c_str());
    logs.Event("scenario-error " + error);
    return kExitScenario;
  }
  for (const auto& entry : scenario.audio) {
    if (entry.second.kind != SignalKind::Wav) continue;
    if (!SignalGenerator::Create(entry.second, error)) {
      fprintf(stderr, "scenario: audio %s: %s\n", StreamName(entry.first.first, entry.first.second).c_str(),
              error.c_str());
      return kExitScenario;
    }
  }

  if (!CreateApiWindows()) {
    fprintf(stderr, "cannot create the API window\n");
    return kExitUsage;
  }
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  logs.Event("ready " + HandleText(apiWindow));

  outbox.Start();
  std::thread ticker;
  if (scenario.durationTickMs > 0) ticker = std::thread(TickDurations);
  std::atomic<int> exitCode{kExitOk};
  std::thread runner([&] {
    exitCode.store(RunScenario());
    EndMessageLoop();
  });

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  runner.join();
  Say("the scenario is over (exit code " + std::to_string(exitCode.load()) + ")");
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.ending = true;
    shared.changed.notify_all();
  }
  if (ticker.joinable()) ticker.join();
  StopStreams(0, true);
  // Answers still queued go out; the API window goes on taking commands
  // meanwhile, so a recorder waiting on it cannot stall the end.
  std::atomic<bool> finished{false};
  std::thread finisher([&finished] {
    outbox.Finish();
    finished.store(true);
  });
  while (!finished.load()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  finisher.join();
  DestroyApiWindows();
  WSACleanup();
  logs.Event("exit " + std::to_string(exitCode.load()));
  return exitCode.load();
}

}  // namespace
}  // namespace simclient

int wmain(int argc, wchar_t** argv) {
  using namespace simclient;
  std::wstring dir, scenarioPath;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      fputs(kScenarioHelp, stdout);
      return kExitOk;
    }
    if (arg == L"--install" && i + 1 < argc) return Install(argv[++i]);
    if (arg == L"--uninstall") return Uninstall();
    if (arg == L"--recorder-state") return AskRecorderState();
    if (arg == L"--recorder-text" && i + 1 < argc)
      return AskRecorderText(_wtoi(argv[i + 1]), i + 2 < argc ? argv[i + 2] : nullptr);
    if (arg == L"--recordings" && i + 1 < argc) return AskRecordings(argc, argv, i + 1);
    if (arg == L"--tray-balloon") return AskTrayBalloon(i + 1 < argc ? argv[i + 1] : nullptr);
    if (arg == L"--dir" && i + 1 < argc) {
      dir = argv[++i];
      continue;
    }
    if (arg.rfind(L"--", 0) == 0 || !scenarioPath.empty()) {
      fputs(kScenarioHelp, stderr);
      return kExitUsage;
    }
    scenarioPath = arg;
  }
  return Run(dir, scenarioPath);
}
