#include "settings/settings.h"

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "settings/ini_file.h"

const wchar_t kDefaultAutoRecordApps[] =
    L"Teams.exe;ms-teams.exe;Zoom.exe;Webex.exe;CiscoCollabHost.exe;Slack.exe;Discord.exe;WhatsApp.exe;"
    L"Telegram.exe;Signal.exe;Viber.exe;Skype.exe;WeChat.exe;QQ.exe;DingTalk.exe;Feishu.exe;Lark.exe;"
    L"WeMeetApp.exe;MicroSIP.exe;Zoiper5.exe;linphone.exe;chrome.exe;msedge.exe;firefox.exe";

namespace {

// How a key's text in Config.ini becomes its field. A key that is missing or
// empty leaves the field at its default (Text: also an empty field).
enum class Rule : uint8_t {
  // A byte (SettingByteFromText); one outside [low, high] is the default.
  Byte,
  // A byte of AudioFormat bits; one that chooses no known format is MP3.
  Formats,
  // A decimal number (ParseDecimalInt) brought into [low, high].
  Clamped,
  // Text of at most maxChars characters.
  Text,
  // Text of at most maxChars characters; empty, the documents folder's
  // "Calvoro Record", written back to the file at once.
  Folder,
};

// One key of [Setting] and the field that holds it.
struct Field {
  const wchar_t* key;
  Rule rule;
  // Numbers (Byte, Formats, Clamped): the field as an int, and its default.
  int (*get)(const SettingsRecord&);
  void (*set)(SettingsRecord&, int);
  int defaultNumber;
  int low, high;
  // Text, Folder: the field and its default.
  std::wstring SettingsRecord::*text;
  const wchar_t* defaultText;
  size_t maxChars;

  bool IsText() const { return text != nullptr; }
};

template <auto kMember>
int GetNumber(const SettingsRecord& record) {
  return static_cast<int>(record.*kMember);
}
template <auto kMember>
void SetNumber(SettingsRecord& record, int value) {
  using Type = std::remove_reference_t<decltype(record.*kMember)>;
  record.*kMember = static_cast<Type>(value);
}

template <auto kMember>
constexpr Field Number(const wchar_t* key, Rule rule, int defaultNumber = 0, int low = 0, int high = 255) {
  return {key, rule, &GetNumber<kMember>, &SetNumber<kMember>, defaultNumber, low, high, nullptr, L"", 0};
}
template <auto kMember>
constexpr Field Byte(const wchar_t* key, int defaultNumber = 0, int low = 0, int high = 255) {
  return Number<kMember>(key, Rule::Byte, defaultNumber, low, high);
}
constexpr Field Text(const wchar_t* key, std::wstring SettingsRecord::*member, const wchar_t* defaultText = L"",
                     size_t maxChars = kIniValueMaxChars, Rule rule = Rule::Text) {
  return {key, rule, nullptr, nullptr, 0, 0, 0, member, defaultText, maxChars};
}

constexpr size_t kAutoRecordAppsMaxChars = 4096;

using R = SettingsRecord;
// Every key, in the order SaveSettings writes them (a new file's order).
constexpr Field kFields[] = {
    Byte<&R::languageIndex>(kKeyLanguageSelect),
    Byte<&R::startWithWindows>(kKeyAutoRun),
    // A way out of range stays: StartRecording refuses to record with it.
    Byte<&R::recordWay>(kKeyRecordWay),
    Byte<&R::autoRecord>(kKeyAutoRecord),
    Byte<&R::openFolderAfterRecording>(kKeyOpenRecordFolderAfterRecording),
    Byte<&R::stereo>(kKeySaveLF),
    // No format chosen (a missing or hand-edited file) would end every
    // recording without an output file: MP3, as the settings dialog takes
    // when no format box is checked (the WAV stays when MP3 cannot be made).
    Number<&R::formats>(kKeyRecordFormat, Rule::Formats),
    Byte<&R::stateBalloons>(kKeyShowStatusOnTray),
    Byte<&R::savedNotice>(kKeyShowSavedNotice, 1),
    Byte<&R::hideClientWindowInCall>(kKeyCloseSkypeMainWindowWhenTalking),
    Byte<&R::closeCallQualityWindow>(kKeyCloseSkypeCallQualityWindow),
    // Longer than the usual values.
    Text(kKeyWavePath, &R::recordFolder, L"", kRecordFolderMaxChars, Rule::Folder),
    Byte<&R::captureSource>(kKeyCaptureSource, 0, 0, static_cast<int>(CaptureSource::Sound)),
    Text(kKeyFarEndDevice, &R::farEndDevice),
    Text(kKeyNearEndDevice, &R::nearEndDevice),
    // "None" turns the hotkey off.
    Text(kKeyRecordHotkey, &R::recordHotkey, kDefaultRecordHotkey),
    Text(kKeyAutoRecordApps, &R::autoRecordApps, kDefaultAutoRecordApps, kAutoRecordAppsMaxChars),
    // A rule the program does not know records every call, as before the
    // rules existed: a hand-edited value must never silently stop recording.
    Byte<&R::recordContacts>(kKeyRecordContacts, 0, 0, static_cast<int>(RecordContacts::AllButListed)),
    Text(kKeyContactList, &R::contactList, L"", kContactListMaxChars),
    // A negative number of days keeps everything; a huge one is a century.
    Number<&R::keepDays>(kKeyKeepDays, Rule::Clamped, 0, 0, kKeepDaysMax),
};

// A number read or applied for `field`, within the field's rule.
int Settled(const Field& field, int number) {
  switch (field.rule) {
    case Rule::Byte:
      return number >= field.low && number <= field.high ? number : field.defaultNumber;
    case Rule::Formats:
      if ((number & kFormatKnownBits) != 0) return number;
      DebugTrace(L"RecordFormat %d chooses no format; MP3 is used.", {number});
      return kFormatMp3;
    case Rule::Clamped:
      return std::clamp(number, field.low, field.high);
    default:
      return number;
  }
}

}  // namespace

void SettleSettings(SettingsRecord& record) {
  for (const Field& field : kFields) {
    if (!field.IsText()) {
      field.set(record, Settled(field, field.get(record)));
      continue;
    }
    // As long as the file gives back: what is in force is what the next
    // start reads.
    std::wstring& text = record.*field.text;
    if (text.size() > field.maxChars) text.resize(field.maxChars);
    if (text.empty()) text = field.defaultText;
  }
}

SettingsRecord::SettingsRecord() {
  for (const Field& field : kFields) {
    if (field.IsText())
      this->*field.text = field.defaultText;
    else
      field.set(*this, field.defaultNumber);
  }
}

bool SettingsRecord::operator==(const SettingsRecord& other) const {
  return std::all_of(std::begin(kFields), std::end(kFields), [&](const Field& field) {
    return field.IsText() ? this->*field.text == other.*field.text : field.get(*this) == field.get(other);
  });
}

uint8_t SettingByteFromText(std::wstring_view text) {
  return static_cast<uint8_t>(static_cast<uint32_t>(ParseDecimalInt(text)) & 0xFF);
}

SettingsRecord ReadSettings(const std::wstring& configPath) {
  IniFile ini(configPath);
  SettingsRecord record;
  for (const Field& field : kFields) {
    std::wstring text = ini.ReadString(kSettingSection, field.key, field.IsText() ? field.maxChars : kIniValueMaxChars);
    if (field.rule == Rule::Folder && text.empty()) {
      text = DefaultRecordFolder();
      ini.WriteString(kSettingSection, field.key, text);
    }
    if (text.empty()) continue;
    if (field.IsText())
      record.*field.text = std::move(text);
    else
      field.set(record, field.rule == Rule::Clamped ? ParseDecimalInt(text) : SettingByteFromText(text));
  }
  SettleSettings(record);
  // A folder that cannot be made is shown by the folder's status line.
  if (!CreateDirectoryTree(record.recordFolder))
    DebugTrace(L"The record folder %s cannot be created.", {record.recordFolder});
  return record;
}

bool SaveSettings(const SettingsRecord& record, const std::wstring& configPath) {
  IniFile ini(configPath);
  bool written = true;
  for (const Field& field : kFields) {
    written &= field.IsText() ? ini.WriteString(kSettingSection, field.key, record.*field.text)
                              : ini.WriteNumber(kSettingSection, field.key, field.get(record));
  }
  return written;
}
