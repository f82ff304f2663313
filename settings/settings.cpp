#include "settings/settings.h"

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/autorun.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "settings/config_location.h"
#include "settings/ini_file.h"
#include "settings/language.h"


std::wstring PrepareConfigIniPath() { return PrepareConfigIni(CurrentConfigIniPlace()); }

std::wstring DefaultRecordFolder() { return GetDocumentsFolder() + kRecordFolderName; }

void LoadSettings(SettingsStore& store, LanguageTable& language, const std::wstring& configPath) {
  SettingsRecord record = ReadSettings(configPath);
  language.Select(record.languageIndex);
  store.Publish(std::move(record));
}

SoundSourceValues SoundSourceValues::Of(const SettingsRecord& settings) {
  SoundSourceValues values;
  values.captureSource = settings.captureSource;
  values.farEndDevice = settings.farEndDevice;
  values.nearEndDevice = settings.nearEndDevice;
  values.recordHotkey = settings.recordHotkey;
  values.autoRecordApps = settings.autoRecordApps;
  return values;
}


std::wstring AutorunCommand() { return FormatText(L"\"%s\" hide", {GetModuleFilePath()}); }

bool AutorunStartsThisProgram() {
  std::wstring data;
  if (!ReadAutorunValue(kAutorunValueName, data)) return false;
  std::wstring_view command(data);
  while (!command.empty() && command.front() == L' ') command.remove_prefix(1);
  std::wstring_view program;
  if (!command.empty() && command.front() == L'"') {
    size_t end = command.find(L'"', 1);
    if (end == std::wstring_view::npos) return false;
    program = command.substr(1, end - 1);
  } else {
    program = command.substr(0, command.find(L' '));
  }
  std::wstring self = GetModuleFilePath();
  return !self.empty() && EqualsNoCase(program, self);
}

ApplyResult ApplySettings(SettingsStore& store, LanguageTable& language, const SettingsDialogValues& values,
                          const std::wstring& configPath) {
  // A folder that cannot be recorded into would leave every later recording
  // without a place: it is refused before anything changes, and the dialog
  // stays open for the user to correct it.
  std::wstring folder = values.recordFolder.empty() ? DefaultRecordFolder() : values.recordFolder;
  if (folder.size() > kRecordFolderMaxChars) {
    DebugTrace(L"WavePath of %d characters refused.", {static_cast<int>(folder.size())});
    return ApplyResult::FolderTooLong;
  }
  if (!CreateDirectoryTree(folder)) {
    DebugTrace(L"WavePath %s cannot be created; refused.", {folder});
    return ApplyResult::FolderNotCreated;
  }

  SettingsRecord record;
  record.languageIndex = static_cast<uint8_t>(values.languageIndex);
  record.startWithWindows = values.startWithWindows ? 1 : 0;
  record.recordWay = static_cast<RecordWay>(static_cast<uint8_t>(values.recordWayIndex));
  record.autoRecord = values.autoRecord ? 1 : 0;
  record.openFolderAfterRecording = values.openFolderAfterRecording ? 1 : 0;
  record.stereo = values.stereo ? 1 : 0;
  record.formats = (values.formatMp3 ? kFormatMp3 : 0) | (values.formatWma ? kFormatWma : 0) |
                   (values.formatOgg ? kFormatOgg : 0) | (values.formatFlac ? kFormatFlac : 0) |
                   (values.formatWav ? kFormatWav : 0) | (values.formatOpus ? kFormatOpus : 0);
  record.stateBalloons = values.stateBalloons ? 1 : 0;
  record.savedNotice = values.savedNotice ? 1 : 0;
  record.hideClientWindowInCall = values.hideClientWindowInCall ? 1 : 0;
  record.closeCallQualityWindow = values.closeCallQualityWindow ? 1 : 0;
  record.recordFolder = folder;
  record.captureSource = values.sound.captureSource;
  record.farEndDevice = values.sound.farEndDevice;
  record.nearEndDevice = values.sound.nearEndDevice;
  record.recordHotkey = values.sound.recordHotkey;
  record.autoRecordApps = values.sound.autoRecordApps;
  record.recordContacts = values.rules.recordContacts;
  record.contactList = values.rules.contactList;
  record.keepDays = values.rules.keepDays;
  // Within the same rules as a value read from the file: no format is MP3,
  // an empty hotkey or app list the default, a rule out of range every call.
  SettleSettings(record);

  if (values.startWithWindows) {
    if (!SetAutorunValue(kAutorunValueName, AutorunCommand())) DebugTrace(L"The autorun value cannot be set.");
  } else if (AutorunStartsThisProgram()) {
    // Only this program's own entry goes: the value of another copy (installed
    // beside a portable one) is that copy's to keep.
    if (!DeleteAutorunValue(kAutorunValueName)) DebugTrace(L"The autorun value cannot be deleted.");
  }

  language.Select(record.languageIndex);
  if (!SaveSettings(record, configPath))
    DebugTrace(L"Config.ini %s cannot be written; the settings hold until the program ends.", {configPath});
  store.Publish(std::move(record));
  return ApplyResult::Applied;
}
