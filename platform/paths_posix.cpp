#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>

#include "common/strings.h"
#include "platform/paths.h"
#include "platform/paths_platform.h"
#include "platform/paths_posix.h"

std::string NativePath(std::wstring_view path) {
  std::string bytes = Utf8FromWide(path);
  for (char& c : bytes)
    if (c == '\\') c = '/';
  return bytes;
}

std::wstring GetModuleFilePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::wstring();
  return WideFromUtf8(std::string_view(buffer, static_cast<size_t>(n)));
}

bool PathExists(std::wstring_view path) {
  if (path.empty()) return false;
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0;
}

bool CreateDirectoryOneLevel(std::wstring_view path) {
  return mkdir(NativePath(path).c_str(), 0777) == 0;
}

bool IsDirectory(std::wstring_view path) {
  if (path.empty()) return false;
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::wstring paths_platform::ShellFolder(UserFolder folder) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return std::wstring();
  switch (folder) {
    case UserFolder::Documents:
      return WideFromUtf8(home) + L"/Documents";
    case UserFolder::AppData:
      return WideFromUtf8(home) + L"/.config";
    case UserFolder::LocalAppData:
      return WideFromUtf8(home) + L"/.local/share";
  }
  return std::wstring();
}

bool paths_platform::FreeSpace(std::wstring_view folder, uint64_t& bytes) {
  struct statvfs info {};
  if (statvfs(NativePath(folder).c_str(), &info) != 0) return false;
  bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}
