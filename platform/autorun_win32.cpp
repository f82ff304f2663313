#include <windows.h>

#include <vector>

#include "platform/autorun.h"

namespace {
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

bool SetAutorunValue(std::wstring_view name, std::wstring_view data) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  std::wstring text(data);
  // The size counts the terminating zero, in bytes.
  LONG result = RegSetValueExW(key, std::wstring(name).c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegFlushKey(key);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool DeleteAutorunValue(std::wstring_view name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  LONG result = RegDeleteValueW(key, std::wstring(name).c_str());
  RegFlushKey(key);
  RegCloseKey(key);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool ReadAutorunValue(std::wstring_view name, std::wstring& data) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  std::wstring valueName(name);
  LONG result = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS || type != REG_SZ) {
    RegCloseKey(key);
    return false;
  }
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  result = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  data.assign(buffer.data());
  return true;
}
