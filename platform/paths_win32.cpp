#include <windows.h>
#include <shlobj.h>

#include "platform/paths.h"
#include "platform/paths_platform.h"

std::wstring GetModuleFilePath() {
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  return std::wstring(path, n);
}

bool PathExists(std::wstring_view path) {
  std::wstring pattern(path);
  if (pattern.size() <= 3) pattern += L"*.*";
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool CreateDirectoryOneLevel(std::wstring_view path) {
  return CreateDirectoryW(std::wstring(path).c_str(), nullptr) != 0;
}

bool IsDirectory(std::wstring_view path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(std::wstring(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring paths_platform::ShellFolder(UserFolder folder) {
  int csidl = folder == UserFolder::Documents ? CSIDL_PERSONAL
              : folder == UserFolder::AppData ? CSIDL_APPDATA
                                              : CSIDL_LOCAL_APPDATA;
  wchar_t buffer[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return std::wstring();
  return buffer;
}

bool paths_platform::FreeSpace(std::wstring_view folder, uint64_t& bytes) {
  // A share's name must end with a separator; any other folder may.
  std::wstring directory(folder);
  if (directory.empty() || directory.back() != L'\\') directory += L'\\';
  ULARGE_INTEGER available = {};
  if (!GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr)) return false;
  bytes = available.QuadPart;
  return true;
}
