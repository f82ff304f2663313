#include <windows.h>

#include <algorithm>

#include "platform/file_platform.h"

namespace file_platform {
namespace {
HANDLE H(File::Handle handle) { return reinterpret_cast<HANDLE>(handle); }
// ReadFile and WriteFile take 32-bit counts; large transfers go in pieces.
constexpr size_t kPiece = 1u << 30;
}  // namespace

bool Open(std::wstring_view path, bool create, File::Handle& handle) {
  HANDLE file = CreateFileW(std::wstring(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            create ? CREATE_ALWAYS : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<File::Handle>(file);
  return true;
}

bool OpenForReading(std::wstring_view path, File::Handle& handle) {
  HANDLE file = CreateFileW(std::wstring(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<File::Handle>(file);
  return true;
}

bool Write(File::Handle handle, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    DWORD piece = static_cast<DWORD>(std::min(n, kPiece)), done = 0;
    if (!WriteFile(H(handle), p, piece, &done, nullptr) || done == 0) return false;
    p += done;
    n -= done;
  }
  return true;
}

bool Read(File::Handle handle, void* data, size_t n, size_t& got) {
  char* p = static_cast<char*>(data);
  got = 0;
  while (got < n) {
    DWORD piece = static_cast<DWORD>(std::min(n - got, kPiece)), done = 0;
    if (!ReadFile(H(handle), p + got, piece, &done, nullptr)) return false;
    if (done == 0) break;
    got += done;
  }
  return true;
}

bool Seek(File::Handle handle, uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(H(handle), to, nullptr, FILE_BEGIN) != 0;
}

bool Size(File::Handle handle, uint64_t& size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(H(handle), &value)) return false;
  size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool Flush(File::Handle handle) { return FlushFileBuffers(H(handle)) != 0; }

// Windows writes its cache back on its own; there is no call that only starts it.
void StartWriteBack(File::Handle) {}

void Close(File::Handle handle) { CloseHandle(H(handle)); }

bool Move(std::wstring_view from, std::wstring_view to) {
  return MoveFileW(std::wstring(from).c_str(), std::wstring(to).c_str()) != 0;
}

bool Remove(std::wstring_view path) { return DeleteFileW(std::wstring(path).c_str()) != 0; }

bool SizeByName(std::wstring_view path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(std::wstring(path).c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

std::vector<std::wstring> List(std::wstring_view folder) {
  std::vector<std::wstring> names;
  std::wstring pattern(folder);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

}  // namespace file_platform

namespace {
// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr int64_t kFileTimeUnixEpoch = 116444736000000000;
constexpr int64_t kFileTimePerSecond = 10000000;

int64_t UnixSecondsOf(const FILETIME& time) {
  int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  int64_t since = ticks - kFileTimeUnixEpoch;
  // Floor, so that a time before 1970 stays before.
  return since >= 0 ? since / kFileTimePerSecond : -((-since + kFileTimePerSecond - 1) / kFileTimePerSecond);
}
}  // namespace

std::vector<FolderEntry> FolderEntriesOf(std::wstring_view folder) {
  std::vector<FolderEntry> entries;
  std::wstring pattern(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  // The basic information leaves out the short 8.3 names, and the large fetch
  // asks for the entries in big batches: a folder of 100,000 recordings is
  // listed in few round trips.
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const wchar_t* name = found.cFileName;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
    FolderEntry entry;
    entry.name = name;
    entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.modified = UnixSecondsOf(found.ftLastWriteTime);
    entry.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries.push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

bool SetFileModified(std::wstring_view path, int64_t secondsSince1970) {
  HANDLE file = CreateFileW(std::wstring(path).c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  uint64_t ticks = static_cast<uint64_t>(secondsSince1970 * kFileTimePerSecond + kFileTimeUnixEpoch);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  bool done = SetFileTime(file, nullptr, nullptr, &time) != 0;
  CloseHandle(file);
  return done;
}
