#include "tools/simclient/recorder_questions_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "common/strings.h"
#include "tools/simclient/client_state_win32.h"

namespace simclient {
namespace {

// A question's answer: into the file `path` names, or to the output without
// one. The exit code.
int Answer(const std::string& bytes, const wchar_t* path) {
  if (path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.good() ? kExitOk : kExitUsage;
  }
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fflush(stdout);
  return kExitOk;
}

// The recordings window of the recorder: the dialog that holds the
// recordings list (control 1205).
constexpr int kRecordingsListId = 1205;
constexpr int kRecordingsStatusId = 1214;
constexpr int kRecordingsCountId = 1215;

HWND RecordingsWindow() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t cls[64] = L"";
        GetClassNameW(window, cls, 64);
        if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window) || !GetDlgItem(window, kRecordingsListId))
          return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The rows of the recordings list, a line each, the columns separated by
// tabs. The list keeps its texts in its own process: the request and the
// room for the answer are put there.
bool RecordingsRows(HWND list, std::string& rows) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  constexpr size_t kRoom = 1024;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kRoom * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE);
  bool ok = remote != nullptr;
  const int count = ok ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  auto* room = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
  for (int row = 0; ok && row < count; ++row) {
    for (int column = 0; ok && column < columns; ++column) {
      LVITEMW item = {};
      item.iSubItem = column;
      item.pszText = room;
      item.cchTextMax = kRoom;
      ok = WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
      if (!ok) break;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
      wchar_t text[kRoom] = L"";
      ok = ReadProcessMemory(process, room, text, sizeof text, nullptr);
      text[kRoom - 1] = 0;
      rows += (column ? "\t" : "") + Utf8FromWide(text);
    }
    rows += "\n";
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

// Selects one row of the recordings list (and only that one).
bool SelectRecordingsRow(HWND list, int row) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
  bool ok = remote != nullptr;
  for (int at : {-1, row}) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = at < 0 ? 0 : item.stateMask;
    ok = ok && WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
         SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(remote));
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

// The text of the balloon that the notification area shows now. The shell
// shows it as a visible tooltip window of the balloon style; the tooltip
// copies its tool's text only into memory of its own process, so the request
// and the answer's room are put there.
bool ShownTrayBalloon(std::wstring& text) {
  HWND balloon = nullptr;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[32] = L"";
        GetClassNameW(window, name, 32);
        if (_wcsicmp(name, TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(window) ||
            !(GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON))
          return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&balloon));
  if (!balloon) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(balloon, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (!process) return false;
  // A balloon's text holds at most 255 characters.
  constexpr size_t kChars = 1024;
  std::vector<wchar_t> answer(kChars, L'\0');
  auto* remote = static_cast<BYTE*>(
      VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t), MEM_COMMIT | MEM_RESERVE,
                     PAGE_READWRITE));
  bool read = false;
  if (remote) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof tool);
    DWORD_PTR found = 0;
    read = WriteProcessMemory(process, remote, &tool, sizeof tool, nullptr) &&
           WriteProcessMemory(process, tool.lpszText, answer.data(), kChars * sizeof(wchar_t), nullptr) &&
           SendMessageTimeoutW(balloon, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000,
                               &found) &&
           found && ReadProcessMemory(process, tool.lpszText, answer.data(), (kChars - 1) * sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  if (read) text = answer.data();
  return read;
}

}  // namespace

int AskRecorderState() {
  HWND recorder = FindWindowW(kRecorderWindowClass, nullptr);
  if (!recorder) return kExitNoRecorder;
  return IsWindowVisible(recorder) ? kExitOk : kExitRecorderHidden;
}

int AskRecorderText(int controlId, const wchar_t* file) {
  HWND recorder = FindWindowW(kRecorderWindowClass, nullptr);
  if (!recorder) return kExitNoRecorder;
  HWND control = GetDlgItem(recorder, controlId);
  if (!control) return kExitNoControl;
  // The text the control keeps (for a window of another process
  // GetWindowText reads it without asking the window).
  wchar_t text[1024] = L"";
  GetWindowTextW(control, text, 1024);
  return Answer((IsWindowVisible(control) ? "1\n" : "0\n") + Utf8FromWide(text), file);
}

int AskRecordings(int argc, wchar_t** argv, int i) {
  HWND window = RecordingsWindow();
  if (!window) return kExitNoControl;
  const std::wstring what = argv[i];
  const wchar_t* file = i + 1 < argc ? argv[i + 1] : nullptr;
  if (what == L"list") {
    std::string rows;
    if (!RecordingsRows(GetDlgItem(window, kRecordingsListId), rows)) return kExitNoControl;
    return Answer(rows, file);
  }
  if (what == L"status") {
    wchar_t status[1024] = L"", count[256] = L"";
    GetWindowTextW(GetDlgItem(window, kRecordingsStatusId), status, 1024);
    GetWindowTextW(GetDlgItem(window, kRecordingsCountId), count, 256);
    return Answer(Utf8FromWide(count) + "\n" + Utf8FromWide(status), file);
  }
  if (what == L"select" && file) return SelectRecordingsRow(GetDlgItem(window, kRecordingsListId), _wtoi(file)) ? kExitOk : kExitNoControl;
  if (what == L"command" && file) return PostMessageW(window, WM_COMMAND, _wtoi(file), 0) ? kExitOk : kExitNoControl;
  return kExitUsage;
}

int AskTrayBalloon(const wchar_t* file) {
  std::wstring text;
  if (!ShownTrayBalloon(text)) return kExitNoBalloon;
  return Answer(Utf8FromWide(text), file);
}

}  // namespace simclient
