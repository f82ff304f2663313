// dialog_showcase.exe: the settings dialog (either page), the about box or the
// recordings window as the program shows them, with settings of a typical
// user, for the screenshots in docs/ (scripts/screenshots.sh).
//
//   dialog_showcase.exe settings|rules|about|recordings <Language_Select> <ready file> <quit file>
//
// The recordings window lists a folder of sample recordings made in the
// temporary folder.
// Nothing is written: the settings are put in force in memory only. Once the
// dialog is painted it writes the dialog's screen rectangle ("left top right
// bottom") to the ready file, and it closes the dialog when the quit file
// appears.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/about_dlg.h"
#include "app/recordings_dlg.h"
#include "app/resource.h"
#include "app/setting_dlg.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "record/wave_file.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

bool FileThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A 16 kHz mono recording of `seconds`, silent.
std::string Wave(int seconds) {
  const uint32_t bytes = static_cast<uint32_t>(seconds) * kMonoBytesPerSecond;
  const auto header = BuildWaveHeader(1, 36 + bytes, bytes);
  std::string wav(header.begin(), header.end());
  wav.resize(wav.size() + bytes, '\0');
  return wav;
}

// A record folder as a user's looks after a few weeks.
std::wstring SampleRecordings(bool traditional) {
  wchar_t temp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"calvoro-showcase-recordings";
  CreateDirectoryTree(folder);
  const wchar_t* hour = traditional ? L"時" : L"时";
  struct Sample {
    const wchar_t* day;
    const wchar_t* time;
    const wchar_t* partners;
    int seconds;
    bool mp3;
  };
  const Sample samples[] = {
      {L"2026年12月08日", L"09%s12分05秒", L"alice", 754, true},    {L"2026年12月07日", L"16%s40分31秒", L"bob carol", 1893, true},
      {L"2026年12月07日", L"11%s02分44秒", L"live_dave", 95, false}, {L"2026年12月04日", L"14%s25分10秒", L"Teams", 2610, true},
      {L"2026年12月02日", L"10%s00分02秒", L"erin", 41, true},       {L"2026年11月28日", L"18%s33分57秒", L"frank.li", 3725, false},
      {L"2026年11月27日", L"08%s15分20秒", L"alice", 302, true}};
  for (const Sample& s : samples) {
    std::wstring time = s.time;
    time.replace(time.find(L"%s"), 2, hour);
    const std::wstring stem = folder + L"\\" + s.day + L" " + time + L"(" + s.partners + L")";
    if (!PathExists(stem + L".wav")) WriteFileBytes(stem + L".wav", Wave(s.seconds));
    if (s.mp3 && !PathExists(stem + L".mp3")) WriteFileBytes(stem + L".mp3", std::string(s.seconds * 4000, '\0'));
  }
  return folder;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  std::wstring which = argv[1], readyFile = argv[3], quitFile = argv[4];
  SettingsRecord settings;
  settings.languageIndex = static_cast<uint8_t>(_wtoi(argv[2]));
  settings.autoRecord = 1;
  settings.stereo = 1;
  settings.stateBalloons = 1;
  settings.closeCallQualityWindow = 1;
  settings.formats = kFormatMp3 | kFormatOpus;
  settings.recordWay = RecordWay::Both;
  settings.recordFolder = L"C:\\Users\\ann\\Documents\\Calvoro Record";
  settings.recordContacts = RecordContacts::AllButListed;
  settings.contactList = L"bob live:dave frank.li";
  settings.keepDays = 180;
  if (which == L"recordings") settings.recordFolder = SampleRecordings(settings.languageIndex == 1);
  // The windows shown here hear nothing of the recorder.
  struct : RecorderEvents {} events;
  // Config.ini is never read or written here.
  CallRecorder recorder(events, RecorderPlaces{L"", LanguageIniPath()});
  recorder.language().Select(settings.languageIndex);
  recorder.settings().Publish(settings);

  std::atomic<DWORD> dialogThread{0};
  std::thread shown([&] {
    dialogThread = GetCurrentThreadId();
    INT_PTR result;
    if (which == L"about") {
      CAboutDlg dialog(nullptr, recorder.language());
      result = dialog.DoModal();
    } else if (which == L"recordings") {
      CRecordingsDlg dialog(nullptr, recorder);
      result = dialog.DoModal();
    } else {
      BackgroundWork work;
      CSettingDlg dialog(nullptr, recorder, work);
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
  if (which == L"rules") SendMessageW(dialog, WM_COMMAND, IDC_SETTING_PAGE_RULES, 0);
  if (which == L"recordings") {
    // The listing and the durations come from the background; the first
    // row is selected as a user's click would.
    HWND list = GetDlgItem(dialog, IDC_RECORDINGS_LIST);
    WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 7; });
    Sleep(1000);
    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&item));
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
  // A dialog opened from this one (the audio source dialog) closes first:
  // this one ends only once its own handler, which runs that one, is done.
  HWND front = GetLastActivePopup(dialog);
  if (front && front != dialog) PostMessageW(front, WM_COMMAND, IDCANCEL, 0);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  shown.join();
  return 0;
}
