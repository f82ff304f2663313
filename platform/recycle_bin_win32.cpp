// The Recycle Bin through the shell's file operation (SHFileOperationW,
// FO_DELETE with FOF_ALLOWUNDO).
//
// The flags: no confirmation, no progress, no error boxes, but
// FOF_WANTNUKEWARNING, so that a file the Recycle Bin cannot take (too large,
// on a drive without one) makes Windows ask the user instead of deleting it
// for good without a word, which FOF_ALLOWUNDO | FOF_NOCONFIRMATION alone
// would do.
//
// What wine 8's shell32 does with the same call (dlls/shell32/shlfileop.c,
// recyclebin.c), checked against its source and by the tests:
//  - Its Recycle Bin is the desktop's XDG trash: "$XDG_DATA_HOME/Trash" when
//    XDG_DATA_HOME is an absolute path, else "$HOME/.local/share/Trash" (from
//    WINEHOMEDIR). It creates Trash, Trash/info and Trash/files when they are
//    missing, once per process; then each file gets a
//    "Trash/info/<name>.trashinfo" (original path, deletion date) and is moved
//    to "Trash/files/<name>" (a random suffix when the name is taken), which
//    the desktop's own trash shows and can restore.
//  - The move is MoveFileW, which copies and then deletes when the trash is on
//    another file system: the file still ends up in the trash.
//  - When the trash folders cannot be made (no home folder, a read-only
//    one), wine does not recycle at all; with FOF_WANTNUKEWARNING it first
//    asks "delete permanently?" in a modal box, and only deletes on Yes.
//    Without FOF_WANTNUKEWARNING it would delete every file silently.
//  - When one file cannot be moved to the trash, it asks the same question
//    for that file (again silently deleting without FOF_WANTNUKEWARNING).
// So with these flags wine never deletes silently, but it may ask, which
// nobody answers for a run without a window (the retention at start-up). Under
// wine the trash folders are therefore made and checked here first, the way
// shell32 makes them, and the shell is not called when they cannot be used:
// the files then stay and the answer is false.
#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <utility>

#include "platform/debug_trace.h"
#include "platform/recycle_bin.h"

namespace {

std::mutex hookMutex;
RecycleHook hookInUse;

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[2048];
  DWORD n = GetEnvironmentVariableW(name, buffer, ARRAYSIZE(buffer));
  if (n == 0 || n >= ARRAYSIZE(buffer)) return std::wstring();
  return std::wstring(buffer, n);
}

bool MakeFolder(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// wine's trash folder "Trash" as a Windows path (\\?\unix\...), made the way
// shell32 makes it; empty when it cannot be used.
std::wstring UsableWineTrash() {
  std::wstring dataHome = Environment(L"XDG_DATA_HOME");
  std::wstring trash;
  if (!dataHome.empty() && dataHome[0] == L'/') {
    trash = L"\\\\?\\unix" + dataHome + L"/Trash";
  } else {
    // WINEHOMEDIR is the NT form of the Unix home folder: \??\unix/home/user.
    std::wstring home = Environment(L"WINEHOMEDIR");
    if (home.size() < 4) return std::wstring();
    trash = home + L"/.local/share/Trash";
    trash[1] = L'\\';  // \??\ to \\?\ .
  }
  for (wchar_t& c : trash)
    if (c == L'/') c = L'\\';
  // Each level of ~/.local/share may be missing in a fresh home folder.
  for (size_t at = trash.find(L'\\', 8); at != std::wstring::npos; at = trash.find(L'\\', at + 1))
    CreateDirectoryW(trash.substr(0, at).c_str(), nullptr);
  if (!MakeFolder(trash) || !MakeFolder(trash + L"\\info") || !MakeFolder(trash + L"\\files"))
    return std::wstring();
  return trash;
}

bool StillThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void OverrideRecycleBin(RecycleHook hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  hookInUse = std::move(hook);
}

bool MoveToRecycleBin(const std::vector<std::wstring>& paths, void* ownerWindow) {
  {
    RecycleHook hook;
    {
      std::lock_guard<std::mutex> lock(hookMutex);
      hook = hookInUse;
    }
    if (hook) return hook(paths);
  }
  if (paths.empty()) return true;

  if (UnderWine() && UsableWineTrash().empty()) {
    DebugTrace(L"Recycle Bin: wine's trash folder cannot be used; %d files stay.",
               {static_cast<int>(paths.size())});
    return false;
  }

  // The list: each path ends with a zero, the list with one more. A path
  // that is not there is left out: the shell (wine's, at least) would ask
  // about it as about a file it cannot recycle.
  std::wstring list;
  size_t missing = 0;
  for (const std::wstring& path : paths) {
    if (path.empty() || !StillThere(path)) {
      ++missing;
      continue;
    }
    list += path;
    list += L'\0';
  }
  if (list.empty()) return false;
  list += L'\0';

  SHFILEOPSTRUCTW operation = {};
  operation.hwnd = static_cast<HWND>(ownerWindow);
  operation.wFunc = FO_DELETE;
  operation.pFrom = list.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
  int result = SHFileOperationW(&operation);
  bool aborted = operation.fAnyOperationsAborted != FALSE;
  if (result != 0 || aborted)
    DebugTrace(L"Recycle Bin: the shell's operation ended with %d%s.",
               {result, aborted ? L" (aborted)" : L""});
  // The shell's result does not say file by file what happened: each file
  // must be gone from its folder.
  size_t left = 0;
  for (const std::wstring& path : paths)
    if (!path.empty() && StillThere(path)) ++left;
  return result == 0 && !aborted && left == 0 && missing == 0;
}
