#include "settings/settings.h"

#include <algorithm>

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/autorun.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "settings/config_location.h"
#include "settings/ini_file.h"
#include "settings/language.h"

bool SettingsRecord::operator==(const SettingsRecord& o) const {
  return Language_Select == o.Language_Select && AutoRun == o.AutoRun && RecordWay == o.RecordWay &&
         AutoRecord == o.AutoRecord && CloseSkypeMainWindowWhenTalking == o.CloseSkypeMainWindowWhenTalking &&
         CloseSkypeCallQualityWindow == o.CloseSkypeCallQualityWindow &&
         OpenRecordFolderAfterRecording == o.OpenRecordFolderAfterRecording &&
         ShowStatusOnTray == o.ShowStatusOnTray && ShowSavedNotice == o.ShowSavedNotice && SaveLF == o.SaveLF &&
         RecordFormat == o.RecordFormat && WavePath == o.WavePath && CaptureSource == o.CaptureSource &&
         FarEndDevice == o.FarEndDevice && NearEndDevice == o.NearEndDevice && RecordHotkey == o.RecordHotkey &&
         AutoRecordApps == o.AutoRecordApps && RecordContacts == o.RecordContacts && ContactList == o.ContactList &&
         KeepDays == o.KeepDays;
}

const wchar_t kDefaultAutoRecordApps[] =
    L"Teams.exe;ms-teams.exe;Zoom.exe;Webex.exe;CiscoCollabHost.exe;Slack.exe;Discord.exe;WhatsApp.exe;"
    L"Telegram.exe;Signal.exe;Viber.exe;Skype.exe;WeChat.exe;QQ.exe;DingTalk.exe;Feishu.exe;Lark.exe;"
    L"WeMeetApp.exe;MicroSIP.exe;Zoiper5.exe;linphone.exe;chrome.exe;msedge.exe;firefox.exe";


SettingsStore::SettingsStore() : current_(std::make_shared<const SettingsRecord>()) {}

SettingsSnapshot SettingsStore::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_;
}

void SettingsStore::Publish(SettingsRecord record) {
  // The record is complete before anybody can see it.
  SettingsSnapshot next = std::make_shared<const SettingsRecord>(std::move(record));
  SettingsSnapshot previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::move(current_);
    current_ = std::move(next);
  }
  // The old set goes here, outside the lock, unless a reader still holds it.
}

void SettingsStore::Change(const std::function<void(SettingsRecord&)>& change) {
  SettingsRecord record = *Current();
  change(record);
  Publish(std::move(record));
}

SettingsSnapshot SettingsStore::ForRecording() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pinned_ ? pinned_ : current_;
}

void SettingsStore::PinForRecording(SettingsSnapshot settings) {
  SettingsSnapshot previous;
  std::lock_guard<std::mutex> lock(mutex_);
  previous.swap(pinned_);
  pinned_ = std::move(settings);
}

SettingsSnapshot SettingsStore::PinCurrentUnlessPinned() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pinned_) pinned_ = current_;
  return pinned_;
}

uint8_t SettingByteFromText(std::wstring_view text) {
  return static_cast<uint8_t>(static_cast<uint32_t>(ParseDecimalInt(text)) & 0xFF);
}

std::wstring ConfigIniPath() { return CurrentConfigIniPlace().path; }

namespace {
std::wstring DefaultRecordFolder() { return GetDocumentsFolder() + kRecordFolderName; }

// A rule the program does not know records every call, as before the rules
// existed: a hand-edited value must never silently stop the recording.
uint8_t RecordContactsFrom(uint8_t value) { return value <= kRecordAllButListed ? value : kRecordEveryCall; }
// A negative number of days keeps everything; a huge one is a hundred years.
int KeepDaysFrom(int32_t days) { return days <= 0 ? 0 : std::min<int32_t>(days, kKeepDaysMax); }
}  // namespace

std::wstring PrepareConfigIniPath() { return PrepareConfigIni(CurrentConfigIniPlace()); }

SettingsRecord ReadSettings(const std::wstring& configPath) {
  IniFile ini(configPath);
  auto read = [&ini](const wchar_t* key) { return SettingByteFromText(ini.ReadString(kSettingSection, key)); };

  SettingsRecord record;
  record.Language_Select = read(kKeyLanguageSelect);
  record.AutoRun = read(kKeyAutoRun);
  record.RecordWay = read(kKeyRecordWay);
  record.AutoRecord = read(kKeyAutoRecord);
  record.OpenRecordFolderAfterRecording = read(kKeyOpenRecordFolderAfterRecording);
  record.SaveLF = read(kKeySaveLF);
  uint8_t format = read(kKeyRecordFormat);
  if ((format & kFormatKnownBits) == 0) {
    // No format chosen (a missing or hand-edited file): every recording would end
    // without an output file. Take MP3, as the settings dialog does when no
    // format box is checked; the WAV stays when MP3 cannot be made.
    DebugTrace(L"RecordFormat %d chooses no format; MP3 is used.", {static_cast<int>(format)});
    format = kFormatMp3;
  }
  record.RecordFormat = format;
  record.ShowStatusOnTray = read(kKeyShowStatusOnTray);
  const std::wstring savedNotice = ini.ReadString(kSettingSection, kKeyShowSavedNotice);
  record.ShowSavedNotice = savedNotice.empty() ? 1 : SettingByteFromText(savedNotice);
  record.CloseSkypeMainWindowWhenTalking = read(kKeyCloseSkypeMainWindowWhenTalking);
  record.CloseSkypeCallQualityWindow = read(kKeyCloseSkypeCallQualityWindow);

  // The record folder may be longer than the usual 254-character values.
  std::wstring folder = ini.ReadString(kSettingSection, kKeyWavePath, kWavePathMaxChars);
  if (folder.empty()) {
    folder = DefaultRecordFolder();
    ini.WriteString(kSettingSection, kKeyWavePath, folder);
  }
  record.WavePath = folder;
  record.CaptureSource = read(kKeyCaptureSource) == kSourceSound ? kSourceSound : kSourceClient;
  record.FarEndDevice = ini.ReadString(kSettingSection, kKeyFarEndDevice);
  record.NearEndDevice = ini.ReadString(kSettingSection, kKeyNearEndDevice);
  // An empty or missing value has the default ("None" turns the hotkey off).
  std::wstring hotkey = ini.ReadString(kSettingSection, kKeyRecordHotkey);
  if (!hotkey.empty()) record.RecordHotkey = hotkey;
  std::wstring apps = ini.ReadString(kSettingSection, kKeyAutoRecordApps, 4096);
  if (!apps.empty()) record.AutoRecordApps = apps;
  record.RecordContacts = RecordContactsFrom(read(kKeyRecordContacts));
  record.ContactList = ini.ReadString(kSettingSection, kKeyContactList, kContactListMaxChars);
  record.KeepDays = KeepDaysFrom(ParseDecimalInt(ini.ReadString(kSettingSection, kKeyKeepDays)));
  // A folder that cannot be made is shown by the folder's status line.
  if (!CreateDirectoryTree(folder)) DebugTrace(L"The record folder %s cannot be created.", {folder});
  return record;
}

void LoadSettings(SettingsStore& store, LanguageTable& language, const std::wstring& configPath) {
  SettingsRecord record = ReadSettings(configPath);
  language.Select(record.Language_Select);
  store.Publish(std::move(record));
}

bool SaveSettings(const SettingsRecord& record, const std::wstring& configPath) {
  IniFile ini(configPath);
  bool written = true;
  auto write = [&](const wchar_t* key, uint8_t value) { written &= ini.WriteNumber(kSettingSection, key, value); };
  write(kKeyLanguageSelect, record.Language_Select);
  write(kKeyAutoRun, record.AutoRun);
  write(kKeyRecordWay, record.RecordWay);
  write(kKeyAutoRecord, record.AutoRecord);
  write(kKeyOpenRecordFolderAfterRecording, record.OpenRecordFolderAfterRecording);
  write(kKeySaveLF, record.SaveLF);
  write(kKeyRecordFormat, record.RecordFormat);
  write(kKeyShowStatusOnTray, record.ShowStatusOnTray);
  write(kKeyShowSavedNotice, record.ShowSavedNotice);
  write(kKeyCloseSkypeMainWindowWhenTalking, record.CloseSkypeMainWindowWhenTalking);
  write(kKeyCloseSkypeCallQualityWindow, record.CloseSkypeCallQualityWindow);
  written &= ini.WriteString(kSettingSection, kKeyWavePath, record.WavePath);
  write(kKeyCaptureSource, record.CaptureSource);
  written &= ini.WriteString(kSettingSection, kKeyFarEndDevice, record.FarEndDevice);
  written &= ini.WriteString(kSettingSection, kKeyNearEndDevice, record.NearEndDevice);
  written &= ini.WriteString(kSettingSection, kKeyRecordHotkey, record.RecordHotkey);
  written &= ini.WriteString(kSettingSection, kKeyAutoRecordApps, record.AutoRecordApps);
  write(kKeyRecordContacts, record.RecordContacts);
  written &= ini.WriteString(kSettingSection, kKeyContactList, record.ContactList);
  written &= ini.WriteString(kSettingSection, kKeyKeepDays, std::to_wstring(record.KeepDays));
  return written;
}

SoundSourceValues SoundSourceValues::Of(const SettingsRecord& settings) {
  SoundSourceValues values;
  values.captureSource = settings.CaptureSource;
  values.farEndDevice = settings.FarEndDevice;
  values.nearEndDevice = settings.NearEndDevice;
  values.recordHotkey = settings.RecordHotkey;
  values.autoRecordApps = settings.AutoRecordApps;
  return values;
}

RecordingRulesValues RecordingRulesValues::Of(const SettingsRecord& settings) {
  RecordingRulesValues values;
  values.recordContacts = settings.RecordContacts;
  values.contactList = settings.ContactList;
  values.keepDays = settings.KeepDays;
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
  std::wstring folder = values.wavePath.empty() ? DefaultRecordFolder() : values.wavePath;
  if (folder.size() > kWavePathMaxChars) {
    DebugTrace(L"WavePath of %d characters refused.", {static_cast<int>(folder.size())});
    return ApplyResult::FolderTooLong;
  }
  if (!CreateDirectoryTree(folder)) {
    DebugTrace(L"WavePath %s cannot be created; refused.", {folder});
    return ApplyResult::FolderNotCreated;
  }

  SettingsRecord record;
  record.AutoRecord = values.autoRecord ? 1 : 0;
  record.OpenRecordFolderAfterRecording = values.openRecordFolderAfterRecording ? 1 : 0;
  record.ShowStatusOnTray = values.showStatusOnTray ? 1 : 0;
  record.ShowSavedNotice = values.showSavedNotice ? 1 : 0;
  record.SaveLF = values.saveLF ? 1 : 0;
  uint8_t format = (values.formatMp3 ? kFormatMp3 : 0) | (values.formatWma ? kFormatWma : 0) |
                   (values.formatOgg ? kFormatOgg : 0) | (values.formatFlac ? kFormatFlac : 0) |
                   (values.formatWav ? kFormatWav : 0) | (values.formatOpus ? kFormatOpus : 0);
  record.RecordFormat = format ? format : kFormatMp3;

  record.AutoRun = values.autoRun ? 1 : 0;
  if (values.autoRun) {
    if (!SetAutorunValue(kAutorunValueName, AutorunCommand())) DebugTrace(L"The autorun value cannot be set.");
  } else if (AutorunStartsThisProgram()) {
    // Only this program's own entry goes: the value of another copy (installed
    // beside a portable one) is that copy's to keep.
    if (!DeleteAutorunValue(kAutorunValueName)) DebugTrace(L"The autorun value cannot be deleted.");
  }

  record.CloseSkypeCallQualityWindow = values.closeSkypeCallQualityWindow ? 1 : 0;
  record.CloseSkypeMainWindowWhenTalking = values.closeSkypeMainWindowWhenTalking ? 1 : 0;
  record.Language_Select = static_cast<uint8_t>(values.languageIndex);
  record.RecordWay = static_cast<uint8_t>(values.recordWayIndex);
  record.WavePath = folder;
  const SoundSourceValues& sound = values.sound;
  record.CaptureSource = sound.captureSource == kSourceSound ? kSourceSound : kSourceClient;
  record.FarEndDevice = sound.farEndDevice;
  record.NearEndDevice = sound.nearEndDevice;
  // Empty stands for the default, as when the file is read.
  record.RecordHotkey = sound.recordHotkey.empty() ? kDefaultRecordHotkey : sound.recordHotkey;
  record.AutoRecordApps = sound.autoRecordApps.empty() ? kDefaultAutoRecordApps : sound.autoRecordApps;
  record.RecordContacts = RecordContactsFrom(values.rules.recordContacts);
  record.ContactList = values.rules.contactList.substr(0, kContactListMaxChars);
  record.KeepDays = KeepDaysFrom(values.rules.keepDays);

  language.Select(record.Language_Select);
  if (!SaveSettings(record, configPath))
    DebugTrace(L"Config.ini %s cannot be written; the settings hold until the program ends.", {configPath});
  store.Publish(std::move(record));
  return ApplyResult::Applied;
}
