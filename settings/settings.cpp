#include "settings/settings.h"

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/autorun.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "settings/config_location.h"
#include "settings/ini_file.h"
#include "settings/language.h"

SettingsRecord Settings;

std::wstring SettingsRecord::WavePath() const {
  std::lock_guard<std::mutex> lock(wavePathMutex_);
  return wavePath_;
}

void SettingsRecord::SetWavePath(std::wstring_view path) {
  std::lock_guard<std::mutex> lock(wavePathMutex_);
  wavePath_.assign(path);
}

uint8_t SettingByteFromText(std::wstring_view text) {
  return static_cast<uint8_t>(static_cast<uint32_t>(ParseDecimalInt(text)) & 0xFF);
}

std::wstring ConfigIniPath() { return CurrentConfigIniPlace().path; }

void LoadSettings() { LoadSettings(PrepareConfigIni(CurrentConfigIniPlace())); }

void LoadSettings(const std::wstring& configPath) {
  IniFile ini(configPath);
  auto read = [&ini](const wchar_t* key) { return SettingByteFromText(ini.ReadString(kSettingSection, key)); };

  Settings.Language_Select = read(L"Language_Select");
  SelectLanguageSection(Settings.Language_Select);
  Settings.AutoRun = read(L"AutoRun");
  Settings.RecordWay = read(L"RecordWay");
  Settings.AutoRecord = read(L"AutoRecord");
  Settings.OpenRecordFolderAfterRecording = read(L"OpenRecordFolderAfterRecording");
  Settings.SaveLF = read(L"SaveLF");
  uint8_t format = read(L"RecordFormat");
  if ((format & kFormatKnownBits) == 0) {
    // No format chosen (a missing or hand-edited file): every recording would end
    // without an output file. Take MP3, as the settings dialog does when no
    // format box is checked; the WAV stays when MP3 cannot be made.
    DebugTrace(L"RecordFormat %d chooses no format; MP3 is used.", {static_cast<int>(format)});
    format = kFormatMp3;
  }
  Settings.RecordFormat = format;
  Settings.ShowStatusOnTray = read(L"ShowStatusOnTray");
  Settings.CloseSkypeMainWindowWhenTalking = read(L"CloseSkypeMainWindowWhenTalking");
  Settings.CloseSkypeCallQualityWindow = read(L"CloseSkypeCallQualityWindow");

  // The record folder may be longer than the usual 254-character values.
  std::wstring folder = ini.ReadString(kSettingSection, L"WavePath", kWavePathMaxChars);
  if (folder.empty()) {
    folder = GetDocumentsFolder() + kRecordFolderName;
    ini.WriteString(kSettingSection, L"WavePath", folder);
  }
  Settings.SetWavePath(folder);
  CreateDirectoryOneLevel(folder);
}

void SaveSettings() { SaveSettings(ConfigIniPath()); }

void SaveSettings(const std::wstring& configPath) {
  IniFile ini(configPath);
  auto write = [&ini](const wchar_t* key, uint8_t value) { ini.WriteNumber(kSettingSection, key, value); };
  write(L"Language_Select", Settings.Language_Select);
  write(L"AutoRun", Settings.AutoRun);
  write(L"RecordWay", Settings.RecordWay);
  write(L"AutoRecord", Settings.AutoRecord);
  write(L"OpenRecordFolderAfterRecording", Settings.OpenRecordFolderAfterRecording);
  write(L"SaveLF", Settings.SaveLF);
  write(L"RecordFormat", Settings.RecordFormat);
  write(L"ShowStatusOnTray", Settings.ShowStatusOnTray);
  write(L"CloseSkypeMainWindowWhenTalking", Settings.CloseSkypeMainWindowWhenTalking);
  write(L"CloseSkypeCallQualityWindow", Settings.CloseSkypeCallQualityWindow);
  ini.WriteString(kSettingSection, L"WavePath", Settings.WavePath());
}

std::wstring AutorunCommand() { return FormatText(L"\"%s\" hide", {GetModuleFilePath()}); }

bool ApplySettings(const SettingsDialogValues& values) { return ApplySettings(values, ConfigIniPath()); }

bool ApplySettings(const SettingsDialogValues& values, const std::wstring& configPath) {
  Settings.AutoRecord = values.autoRecord ? 1 : 0;
  Settings.OpenRecordFolderAfterRecording = values.openRecordFolderAfterRecording ? 1 : 0;
  Settings.ShowStatusOnTray = values.showStatusOnTray ? 1 : 0;
  Settings.SaveLF = values.saveLF ? 1 : 0;

  uint8_t format = (values.formatMp3 ? kFormatMp3 : 0) | (values.formatWma ? kFormatWma : 0) |
                   (values.formatOgg ? kFormatOgg : 0) | (values.formatFlac ? kFormatFlac : 0) |
                   (values.formatWav ? kFormatWav : 0);
  Settings.RecordFormat = format ? format : kFormatMp3;

  Settings.AutoRun = values.autoRun ? 1 : 0;
  if (values.autoRun)
    SetAutorunValue(kAutorunValueName, AutorunCommand());
  else
    DeleteAutorunValue(kAutorunValueName);

  Settings.CloseSkypeCallQualityWindow = values.closeSkypeCallQualityWindow ? 1 : 0;
  Settings.CloseSkypeMainWindowWhenTalking = values.closeSkypeMainWindowWhenTalking ? 1 : 0;
  Settings.Language_Select = static_cast<uint8_t>(values.languageIndex);
  Settings.RecordWay = static_cast<uint8_t>(values.recordWayIndex);

  // A folder that the next load could not read back whole would silently send
  // the recordings somewhere else: keep the folder in force instead.
  bool pathTaken = values.wavePath.size() <= kWavePathMaxChars;
  if (pathTaken)
    Settings.SetWavePath(values.wavePath);
  else
    DebugTrace(L"WavePath of %d characters refused.", {static_cast<int>(values.wavePath.size())});

  SaveSettings(configPath);
  LoadSettings(configPath);
  return pathTaken;
}
