#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cwchar>

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "skype/skype_api.h"
#include "skype/window_control.h"
#include "skype/window_control_platform.h"

namespace {

// Room for the "SkypePath" value: a full path of up to MAX_PATH units.
constexpr DWORD kSkypePathUnits = MAX_PATH;

void TraceNoRegistryKey() { DebugTrace(L"The client's path is not in the registry"); }

bool ReadSkypePath(HKEY key, std::wstring& path) {
  wchar_t buffer[kSkypePathUnits + 1] = {};  // one more unit: always terminated
  DWORD type = 0;
  DWORD size = kSkypePathUnits * sizeof(wchar_t);
  if (RegQueryValueExW(key, kSkypePathValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring value(buffer, wcsnlen(buffer, size / sizeof(wchar_t)));
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[kSkypePathUnits + 1] = {};
    DWORD n = ExpandEnvironmentStringsW(value.c_str(), expanded, kSkypePathUnits);
    if (n == 0 || n > kSkypePathUnits) return false;
    value = expanded;
  }
  path = value;
  return true;
}

// A file, not a folder, and no wildcard matching: the path is taken as it is.
bool FileExistsAt(const std::wstring& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

WindowId FindSkypeMainWindow() {
  for (const wchar_t* className : kSkypeMainWindowClasses) {
    HWND window = FindWindowW(className, nullptr);
    if (window != nullptr) return reinterpret_cast<WindowId>(window);
  }
  return 0;
}

void CloseCallQualityWindows() {
  for (const wchar_t* className : kSkypeCallQualityWindowClasses) {
    HWND window = FindWindowW(className, nullptr);
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

bool GetSkypePath(std::wstring& path) {
  HKEY key = nullptr;
  std::wstring value;
  // HKEY_LOCAL_MACHINE is asked only when the user's key is missing; a user key
  // without the value is final.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSkypeRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSkypeRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    TraceNoRegistryKey();
    return false;
  }
  bool read = ReadSkypePath(key, value);
  RegCloseKey(key);
  if (!read) {
    TraceNoRegistryKey();
    return false;
  }
  path = value;
  return FileExistsAt(path);
}

bool IsSkypeRunning() {
  DWORD ids[1024] = {};
  DWORD bytes = 0;
  if (!EnumProcesses(ids, sizeof(ids), &bytes)) return true;
  DWORD count = bytes / sizeof(DWORD);
  for (DWORD i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH] = {};
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    if (process != nullptr) {
      HMODULE module = nullptr;
      DWORD needed = 0;
      if (EnumProcessModules(process, &module, sizeof(module), &needed))
        GetModuleBaseNameW(process, module, name, MAX_PATH);
      CloseHandle(process);
    }
    if (EqualsNoCase(name, kSkypeProcessName)) return true;
  }
  return false;
}

void window_control_platform::ShellOpen(const std::wstring& target) {
  ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOW);
}
