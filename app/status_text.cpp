#include "app/status_text.h"

#include <cwctype>

#include "common/text_format.h"
#include "settings/language.h"
#include "skype/call_partners.h"

std::wstring FreeSpaceText(uint64_t freeBytes) {
  uint64_t kb = freeBytes / 1024;
  if (kb >= 1048576) return FormatText(L"%.2f GB", {static_cast<double>(static_cast<float>(kb) / 1048576.0f)});
  if (kb >= 1024) return FormatText(L"%d MB", {static_cast<unsigned long long>(kb / 1024)});
  return FormatText(L"%.2f KB", {static_cast<double>(kb)});
}

FolderLine BuildFolderLine(IniFile& language, const std::wstring& folder, bool folderExists, int64_t freeBytes) {
  if (!folderExists) return {FormatText(LanguageText(language, L"RecordPath_Status_1"), {folder}), 3};
  std::wstring size = freeBytes >= 0 ? FreeSpaceText(static_cast<uint64_t>(freeBytes)) : std::wstring();
  // Unknown free space is shown as enough: the folder exists, and a warning
  // without a figure would only alarm.
  if (freeBytes < 0 || static_cast<uint64_t>(freeBytes) >= kEnoughFreeBytes) {
    std::wstring text = FormatText(LanguageText(language, L"RecordPath_Status_3"), {folder});
    text += L", ";
    text += FormatText(LanguageText(language, L"Free_Disk_Size"), {size});
    return {text, 2};
  }
  return {FormatText(LanguageText(language, L"RecordPath_Status_2"), {folder, size}), 1};
}

std::wstring StatusPartnerList(bool orFinished) {
  auto slot = [orFinished](size_t i) {
    std::wstring name = callPartners.Get(i);
    if (name.empty() && orFinished) name = finishedCallPartners.Get(i);
    return name;
  };
  std::wstring list;
  for (size_t i = 0; i < 3; ++i) {
    std::wstring name = slot(i);
    if (name.empty()) return list;
    list += name;
    list += L' ';
  }
  if (!slot(3).empty()) list += L"......";
  return list;
}

std::wstring ElapsedTimeText(uint32_t seconds) {
  return FormatText(L"%02d:%02d:%02d", {seconds / 3600, (seconds / 60) % 60, seconds % 60});
}

uint32_t ElapsedSeconds(uint32_t startTick, uint32_t nowTick, uint32_t accumulated) {
  return (nowTick - startTick) / 1000 + accumulated;
}

std::wstring BuildRecordLine(IniFile& language, bool finishing, bool paused, const std::wstring& partners,
                             uint32_t elapsedSeconds) {
  if (finishing) return LanguageText(language, L"Record_Status5");
  std::wstring text = FormatText(LanguageText(language, paused ? L"Record_Status2" : L"Record_Status1"), {partners});
  text += L"      ";
  text += ElapsedTimeText(elapsedSeconds);
  return text;
}

std::wstring BuildBalloonText(IniFile& language, bool finishing, bool stopped, bool paused,
                              const std::wstring& partners) {
  if (finishing) return LanguageText(language, L"Record_Status5");
  const wchar_t* key = stopped ? L"Record_Status3" : paused ? L"Record_Status2" : L"Record_Status1";
  return FormatText(LanguageText(language, key), {partners});
}

std::wstring VirtualStoreFolder(const std::wstring& localAppData, const std::wstring& recordFolder) {
  if (localAppData.empty() || recordFolder.empty()) return std::wstring();
  if (std::towupper(localAppData[0]) != std::towupper(recordFolder[0])) return std::wstring();
  std::wstring folder = localAppData + L"\\VirtualStore";
  if (recordFolder.size() > 3) folder += recordFolder.substr(2);
  return folder;
}
