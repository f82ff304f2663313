#include "tools/simclient/install_win32.h"

#include <windows.h>

#include <cstdio>

#include "skype/skype_api.h"
#include "tools/simclient/client_state_win32.h"

namespace simclient {
namespace {

// Deletes a key when it holds no values and no subkeys.
void DeleteKeyIfEmpty(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD subkeys = 0, values = 0;
  LONG info = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr);
  RegCloseKey(key);
  if (info == ERROR_SUCCESS && subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

}  // namespace

int Install(const std::wstring& folder) {
  wchar_t self[MAX_PATH + 1] = {};
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return kExitInstall;
  std::wstring target = folder;
  if (!target.empty() && target.back() != L'\\' && target.back() != L'/') target += L'\\';
  target += L"skype.exe";
  if (!CopyFileW(self, target.c_str(), FALSE)) {
    fwprintf(stderr, L"cannot copy to %ls\n", target.c_str());
    return kExitInstall;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSkypeRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return kExitInstall;
  LONG set = RegSetValueExW(key, kSkypePathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(target.c_str()),
                            static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  if (set != ERROR_SUCCESS) return kExitInstall;
  wprintf(L"%ls\n", target.c_str());
  return kExitOk;
}

int Uninstall() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSkypeRegistryKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    LONG deleted = RegDeleteValueW(key, kSkypePathValue);
    RegCloseKey(key);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return kExitInstall;
  }
  DeleteKeyIfEmpty(kSkypeRegistryKey);
  DeleteKeyIfEmpty(L"Software\\Skype");
  return kExitOk;
}

}  // namespace simclient
