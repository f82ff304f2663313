#include "settings/config_location.h"

#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "settings/settings.h"

std::wstring VirtualStorePathOf(std::wstring_view path, std::wstring_view localAppData) {
  bool hasDrive = path.size() > 3 && path[1] == L':' && path[2] == L'\\';
  if (!hasDrive || localAppData.empty()) return std::wstring();
  return std::wstring(localAppData) + L"\\VirtualStore" + std::wstring(path.substr(2));
}

ConfigIniPlace ConfigIniPlaceFor(std::wstring_view programFolder, bool installed, std::wstring_view appData,
                                 std::wstring_view localAppData) {
  ConfigIniPlace place;
  std::wstring besideProgram = std::wstring(programFolder) + kConfigIniName;
  if (!installed || appData.empty()) {
    place.path = besideProgram;
    return place;
  }
  place.folder = std::wstring(appData) + L"\\" + kAppDataFolderName;
  place.path = place.folder + L"\\" + kConfigIniName;
  // A copy that ran without a manifest read its settings from the VirtualStore
  // copy when there was one: that is the newer of the two.
  std::wstring virtualStore = VirtualStorePathOf(besideProgram, localAppData);
  if (!virtualStore.empty()) place.earlierPaths.push_back(virtualStore);
  place.earlierPaths.push_back(besideProgram);
  return place;
}

ConfigIniPlace CurrentConfigIniPlace() {
  std::wstring programFolder = GetModuleDirectory();
  bool installed = !programFolder.empty() && PathExists(programFolder + kInstalledMarkerName);
  return ConfigIniPlaceFor(programFolder, installed, GetAppDataFolder(), GetLocalAppDataFolder());
}

std::wstring PrepareConfigIni(const ConfigIniPlace& place) {
  if (!place.folder.empty()) CreateDirectoryOneLevel(place.folder);
  if (PathExists(place.path)) return place.path;
  for (const std::wstring& earlier : place.earlierPaths) {
    if (!PathExists(earlier)) continue;
    // Read through the settings record, so that the new file holds every key
    // the program knows, with the values the old file gave it.
    DebugTrace(L"Config.ini carried over from %s to %s", {earlier, place.path});
    SaveSettings(ReadSettings(earlier), place.path);
    // When the new place cannot be written, the old file still holds the
    // user's settings: read them from there rather than start from defaults.
    if (!PathExists(place.path)) {
      DebugTrace(L"Config.ini cannot be written to %s; %s is read instead", {place.path, earlier});
      return earlier;
    }
    break;
  }
  return place.path;
}
