// Where the recorder's files are: its own folder, the user's folders, and the
// folder operations the settings and the recording pipeline need.
//
// Paths are Windows paths throughout the engine (backslash separated). The POSIX
// implementation accepts them too: it treats both '\' and '/' as separators.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The full path of the running executable (at most 260 characters on Windows);
// empty when it cannot be obtained.
std::wstring GetModuleFilePath();

// The executable's folder with its trailing separator, to which every data file
// name (Config.ini, Language\Language.ini, Image\...) is appended. Empty when the
// program path cannot be obtained or holds no separator.
std::wstring GetModuleDirectory();

// Tests can give the program a folder of its own (with its own Config.ini,
// Language\ and Image\); an empty path returns to the executable's folder.
void OverrideProgramFolder(std::wstring_view folderWithSeparator);

// A folder or file exists. A path of more than 3 characters is looked up as it
// is; a shorter one (a drive root such as C:\) by the files it holds.
bool PathExists(std::wstring_view path);

// The bytes available to the caller on the volume that holds the folder. The
// folder itself is asked (with a trailing separator), not its first three
// characters, so a folder on a network share (\\server\share\dir) and a drive
// root are both answered. False when it cannot be read.
bool FreeSpaceOfFolder(std::wstring_view folder, uint64_t& bytes);
// Tests answer in place of the platform; an empty function gives it back.
using FreeSpaceAnswer = std::function<bool(std::wstring_view folder, uint64_t& bytes)>;
void OverrideFreeSpace(FreeSpaceAnswer answer);

// Creates one folder level; an existing folder or any failure is reported by the
// result only.
bool CreateDirectoryOneLevel(std::wstring_view path);

// A folder (not a file) exists at this path.
bool IsDirectory(std::wstring_view path);

// Creates a folder with every level it lacks; true when the folder exists at the
// end. Only a full path is created (a drive, a share or the root first): a
// relative one would land wherever the current directory happens to be.
bool CreateDirectoryTree(std::wstring_view path);

// The length of the part of a full path that no folder creation makes: "C:\"
// (3), "\\server\share\" (up to and with the separator after the share), a
// leading separator (1); 0 for a relative path.
size_t PathRootLength(std::wstring_view path);

// The user's folders, without a trailing separator; empty when unknown.
enum class UserFolder {
  Documents,     // CSIDL_PERSONAL
  AppData,       // CSIDL_APPDATA: the user's roaming application data
  LocalAppData,  // CSIDL_LOCAL_APPDATA: the machine's own, VirtualStore beneath it
};
std::wstring GetUserFolder(UserFolder folder);
inline std::wstring GetDocumentsFolder() { return GetUserFolder(UserFolder::Documents); }
inline std::wstring GetAppDataFolder() { return GetUserFolder(UserFolder::AppData); }
inline std::wstring GetLocalAppDataFolder() { return GetUserFolder(UserFolder::LocalAppData); }

// Tests can put a user folder somewhere of their own; an empty path returns to
// the platform's folder.
void OverrideUserFolder(UserFolder folder, std::wstring_view path);
inline void OverrideDocumentsFolder(std::wstring_view path) { OverrideUserFolder(UserFolder::Documents, path); }
