// dialog_showcase.exe: the settings dialog or the about box as the program
// shows them, with settings of a typical user, for the screenshots in docs/
// (scripts/screenshots.sh).
//
//   dialog_showcase.exe settings|about <Language_Select> <ready file> <quit file>
//
// Nothing is written: the settings are put in force in memory only. Once the
// dialog is painted it writes the dialog's screen rectangle ("left top right
// bottom") to the ready file, and it closes the dialog when the quit file
// appears.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/about_dlg.h"
#include "app/setting_dlg.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/wait.h"

namespace {

bool FileThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  std::wstring which = argv[1], readyFile = argv[3], quitFile = argv[4];
  SettingsRecord settings;
  settings.Language_Select = static_cast<uint8_t>(_wtoi(argv[2]));
  settings.AutoRecord = 1;
  settings.SaveLF = 1;
  settings.ShowStatusOnTray = 1;
  settings.CloseSkypeCallQualityWindow = 1;
  settings.RecordFormat = kFormatMp3 | kFormatOpus;
  settings.RecordWay = kRecordBoth;
  settings.WavePath = L"C:\\Users\\ann\\Documents\\Calvoro Record";
  IgnoredEvents events;
  // Config.ini is never read or written here.
  CallRecorder recorder(events, RecorderPlaces{L"", LanguageIniPath()});
  recorder.language().Select(settings.Language_Select);
  recorder.settings().Publish(settings);

  std::atomic<DWORD> dialogThread{0};
  std::thread shown([&] {
    dialogThread = GetCurrentThreadId();
    INT_PTR result;
    if (which == L"about") {
      CAboutDlg dialog(nullptr, recorder.language());
      result = dialog.DoModal();
    } else {
      CSettingDlg dialog(nullptr, recorder);
      result = dialog.DoModal();
    }
    if (result == -1) std::fprintf(stderr, "the dialog could not be created (error %lu)\n", GetLastError());
  });
  HWND dialog = nullptr;
  WaitUntil([&] {
    DWORD thread = dialogThread.load();
    if (!thread) return false;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM found) {
          if (!IsWindowVisible(window) || GetParent(window)) return TRUE;
          *reinterpret_cast<HWND*>(found) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&dialog));
    return dialog != nullptr;
  });
  if (!dialog) {
    shown.join();
    return 1;
  }
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(500);  // the other thread paints; nothing is checked here
  RECT shownAt;
  GetWindowRect(dialog, &shownAt);
  if (FILE* ready = _wfopen(readyFile.c_str(), L"wb")) {
    std::fprintf(ready, "%ld %ld %ld %ld\n", shownAt.left, shownAt.top, shownAt.right, shownAt.bottom);
    std::fclose(ready);
  }
  WaitUntil([&] { return FileThere(quitFile); }, std::chrono::minutes(5));
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  shown.join();
  return 0;
}
