// lame.exe, oggenc2.exe, flac.exe and Wav2Wma.exe for the Windows build run
// under wine: wine starts a Unix program from CreateProcessW but gives no
// handle to wait for it, so the recorder could neither wait for the Debian
// encoders nor learn their exit codes. This Windows program takes the
// encoder's place: it starts calvoro-encode.sh (beside it) with its own name,
// a done file and its arguments, waits until the script has written the
// encoder's exit code to the done file, and ends with that code.
#include <windows.h>

#include <string>

namespace {

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(2 * backslashes + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  out.push_back(L'"');
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 127;
  std::wstring path(self, n);
  size_t slash = path.find_last_of(L'\\');
  std::wstring folder = path.substr(0, slash + 1), name = path.substr(slash + 1);

  wchar_t temp[MAX_PATH + 1] = {};
  if (!GetTempPathW(MAX_PATH, temp)) return 127;
  std::wstring done = std::wstring(temp) + L"calvoro-encode-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(GetTickCount()) + L".done";
  DeleteFileW(done.c_str());

  std::wstring command = Quote(folder + L"calvoro-encode.sh") + L" --bridge " + Quote(name) + L" " + Quote(done);
  for (int i = 1; i < argc; ++i) command += L" " + Quote(argv[i]);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return 127;
  if (info.hThread) CloseHandle(info.hThread);
  if (info.hProcess) CloseHandle(info.hProcess);

  // The recorder bounds how long an encoder may take; this waits as long.
  while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(10);
  char text[32] = {};
  DWORD got = 0;
  HANDLE file = CreateFileW(done.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
  }
  DeleteFileW(done.c_str());
  return got > 0 ? atoi(text) : 127;
}
