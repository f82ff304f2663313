#include "app/status_text.h"

#include <cwctype>

#include "common/strings.h"
#include "common/text_format.h"
#include "settings/language.h"

std::wstring FreeSpaceText(uint64_t freeBytes) {
  uint64_t kb = freeBytes / 1024;
  if (kb >= 1048576) return FormatText(L"%.2f GB", {static_cast<double>(static_cast<float>(kb) / 1048576.0f)});
  if (kb >= 1024) return FormatText(L"%d MB", {static_cast<unsigned long long>(kb / 1024)});
  return FormatText(L"%.2f KB", {static_cast<double>(kb)});
}

FolderLine BuildFolderLine(const LanguageTable& language, const std::wstring& folder, bool folderExists,
                           int64_t freeBytes) {
  if (!folderExists) return {FormatText(language.Text(L"RecordPath_Status_1"), {folder}), 3};
  // Unknown free space is shown as enough: the folder exists, and a warning
  // without a figure would only alarm. The line says that it is not known.
  if (freeBytes < 0 || static_cast<uint64_t>(freeBytes) >= kEnoughFreeBytes) {
    std::wstring text = FormatText(language.Text(L"RecordPath_Status_3"), {folder});
    text += L", ";
    if (freeBytes < 0)
      text += language.TextOr(L"Free_Disk_Size_Unknown", L"free space unknown");
    else
      text += FormatText(language.Text(L"Free_Disk_Size"), {FreeSpaceText(static_cast<uint64_t>(freeBytes))});
    return {text, 2};
  }
  return {FormatText(language.Text(L"RecordPath_Status_2"), {folder, FreeSpaceText(static_cast<uint64_t>(freeBytes))}),
          1};
}

std::wstring ElapsedTimeText(uint32_t seconds) {
  return FormatText(L"%02d:%02d:%02d", {seconds / 3600, (seconds / 60) % 60, seconds % 60});
}

uint32_t ElapsedSeconds(uint32_t startTick, uint32_t nowTick, uint32_t accumulated) {
  return (nowTick - startTick) / 1000 + accumulated;
}

std::wstring BuildRecordLine(const LanguageTable& language, bool finishing, bool paused, const std::wstring& partners,
                             uint32_t elapsedSeconds) {
  if (finishing) return language.Text(L"Record_Status5");
  std::wstring text = FormatText(language.Text(paused ? L"Record_Status2" : L"Record_Status1"), {partners});
  text += L"      ";
  text += ElapsedTimeText(elapsedSeconds);
  return text;
}

std::wstring BuildBalloonText(const LanguageTable& language, bool finishing, bool stopped, bool paused,
                              const std::wstring& partners) {
  if (finishing) return language.Text(L"Record_Status5");
  const wchar_t* key = stopped ? L"Record_Status3" : paused ? L"Record_Status2" : L"Record_Status1";
  return FormatText(language.Text(key), {partners});
}

std::wstring VirtualStoreFolder(const std::wstring& localAppData, const std::wstring& recordFolder) {
  if (localAppData.empty() || recordFolder.empty()) return std::wstring();
  if (std::towupper(localAppData[0]) != std::towupper(recordFolder[0])) return std::wstring();
  std::wstring folder = localAppData + L"\\VirtualStore";
  if (recordFolder.size() > 3) folder += recordFolder.substr(2);
  return folder;
}

std::wstring SoundSourceLine(const LanguageTable& language, const std::wstring& hotkey,
                             const std::wstring& failedDevice, bool hotkeyTaken) {
  if (!failedDevice.empty())
    return FormatText(language.TextOr(L"Sound_Device_Failed", L"Sound device unavailable: %s (silence recorded)"),
                      {failedDevice});
  std::wstring line = language.TextOr(L"Sound_Source_Status", L"Recording this computer's sound (any call app)");
  if (hotkey.empty() || EqualsNoCase(hotkey, L"None")) return line;
  if (hotkeyTaken)
    line += FormatText(language.TextOr(L"Sound_Source_Hotkey_Taken", L", hotkey %s taken by another program"),
                       {hotkey});
  else
    line += FormatText(language.TextOr(L"Sound_Source_Hotkey", L", hotkey %s"), {hotkey});
  return line;
}

bool ParseHotkey(const std::wstring& text, unsigned& modifiers, unsigned& key) {
  modifiers = 0;
  key = 0;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(L'+', begin);
    if (end == std::wstring::npos) end = text.size();
    std::wstring part = text.substr(begin, end - begin);
    while (!part.empty() && part.front() == L' ') part.erase(part.begin());
    while (!part.empty() && part.back() == L' ') part.pop_back();
    if (part.empty() || key != 0) return false;  // "Ctrl++R", or something after the key
    if (EqualsNoCase(part, L"Ctrl") || EqualsNoCase(part, L"Control")) {
      modifiers |= 2;
    } else if (EqualsNoCase(part, L"Alt")) {
      modifiers |= 1;
    } else if (EqualsNoCase(part, L"Shift")) {
      modifiers |= 4;
    } else if (EqualsNoCase(part, L"Win")) {
      modifiers |= 8;
    } else if (part.size() == 1 && ((part[0] >= L'A' && part[0] <= L'Z') || (part[0] >= L'a' && part[0] <= L'z') ||
                                    (part[0] >= L'0' && part[0] <= L'9'))) {
      key = AsciiLower(part[0]) >= L'a' ? static_cast<unsigned>(part[0] & ~0x20u) : static_cast<unsigned>(part[0]);
    } else if ((part[0] == L'F' || part[0] == L'f') && part.size() <= 3 && part.size() >= 2) {
      int n = 0;
      for (size_t i = 1; i < part.size(); ++i) {
        if (part[i] < L'0' || part[i] > L'9') return false;
        n = n * 10 + (part[i] - L'0');
      }
      if (n < 1 || n > 24) return false;
      key = 0x70u + static_cast<unsigned>(n - 1);
    } else {
      return false;
    }
    begin = end + 1;
  }
  if (key == 0) return false;
  // A letter or digit alone (or with Shift) would be taken from all typing.
  const bool functionKey = key >= 0x70u;
  return functionKey || (modifiers & ~4u) != 0;
}
