// The recorder's settings: section [Setting] of Config.ini (beside the program,
// or in the user's application data folder for an installed program: see
// settings/config_location.h), and the store of the set in force, which the
// recorder owns and hands to every subsystem that reads it.
//
// The set in force is an immutable record published whole: the settings
// dialog's apply builds a new record and swaps it in at once, while other
// threads (the link threads, the recording threads) read. A reader takes one snapshot per decision and reads every field
// it needs from that snapshot, so it never sees half of an apply:
//
//   SettingsSnapshot settings = store.Current();
//   if (settings->recordWay == RecordWay::Both) ... settings->recordFolder ...
//
// A recording keeps the settings it started with until it has been finished
// (folder, record way, stereo, formats): store.ForRecording(). A change made
// meanwhile applies from the next recording.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/contracts.h"
#include "common/direction.h"
#include "formats/audio_format.h"

class LanguageTable;

// Which directions a recording takes (RecordWay in Config.ini: 0, 1, 2).
enum class RecordWay : uint8_t { Both, InOnly, OutOnly };
// The record way records this direction (Out: the far end, In: the microphone).
constexpr bool WayRecords(RecordWay way, Direction direction) {
  return way == RecordWay::Both || way == (direction == Direction::Out ? RecordWay::OutOnly : RecordWay::InOnly);
}

// Where the sound comes from (CaptureSource: 0, 1): the client's audio ports,
// or what the computer plays and the microphone.
enum class CaptureSource : uint8_t { Client, Sound };
// The hotkey and the call apps when Config.ini names none.
constexpr wchar_t kDefaultRecordHotkey[] = L"Ctrl+Alt+R";
extern const wchar_t kDefaultAutoRecordApps[];

// Whose calls the automatic recording takes (RecordContacts: 0, 1, 2).
enum class RecordContacts : uint8_t { EveryCall, ListedOnly, AllButListed };
// KeepDays may be at most this (a hundred years).
constexpr int kKeepDaysMax = 36500;
// The contact list may be this long.
constexpr size_t kContactListMaxChars = 4096;
// The record folder may be this long.
constexpr size_t kRecordFolderMaxChars = 1024;

// One whole set of the [Setting] keys. Each field's key, default and range
// are in the table of fields (settings_fields.cpp), which reads, writes and
// compares them.
struct SettingsRecord {
  // Every field at its default.
  SettingsRecord();

  uint8_t languageIndex;  // Language_Select: 0 Chs, 1 Cht
  uint8_t startWithWindows;
  RecordWay recordWay;
  uint8_t autoRecord;
  uint8_t hideClientWindowInCall;
  uint8_t closeCallQualityWindow;
  uint8_t openFolderAfterRecording;
  // Non-zero: the tray icon's balloons tell the recording state.
  uint8_t stateBalloons;
  // Non-zero: both directions in stereo (far end left); zero: mixed to mono.
  uint8_t stereo;
  // Non-zero: a balloon says where each finished recording was saved. On
  // when the key is missing.
  uint8_t savedNotice;
  uint8_t formats;  // AudioFormat bits; none chosen reads as MP3
  std::wstring recordFolder;
  // The audio source and what it takes: empty device names take the
  // defaults (what the computer plays, the microphone for communications).
  CaptureSource captureSource;
  std::wstring farEndDevice;
  std::wstring nearEndDevice;
  std::wstring recordHotkey;    // kDefaultRecordHotkey when missing
  std::wstring autoRecordApps;  // kDefaultAutoRecordApps when missing
  // Whose calls the automatic recording takes, and the partner handles it
  // names, separated by blanks or commas.
  RecordContacts recordContacts;
  std::wstring contactList;
  // Recordings older than this many days go to the Recycle Bin; 0 keeps all.
  int keepDays;

  bool operator==(const SettingsRecord& other) const;
  bool operator!=(const SettingsRecord& other) const { return !(*this == other); }
};

// A published set; it never changes, so any thread may read it for as long as
// it holds it.
using SettingsSnapshot = std::shared_ptr<const SettingsRecord>;

class SettingsStore {
 public:
  SettingsStore();

  // The set in force now; never null.
  SettingsSnapshot Current() const;
  // Makes `record` the set in force for every later Current().
  void Publish(SettingsRecord record);
  // Publishes the set in force with a change (tests, benchmarks, fuzzers).
  void Change(const std::function<void(SettingsRecord&)>& change);

  // The set the recording in progress writes with: the one pinned when it
  // started, or, while no recording is pinned, the set in force.
  SettingsSnapshot ForRecording() const;
  // Pins a set for the recording that starts; null when it has ended.
  void PinForRecording(SettingsSnapshot settings);
  // Pins the set in force unless a set is pinned already; the pinned set.
  SettingsSnapshot PinCurrentUnlessPinned();

 private:
  // Held only to copy or swap a pointer, never while anything else is done.
  mutable std::mutex mutex_;
  SettingsSnapshot current_;
  SettingsSnapshot pinned_;
};

// The audio source's settings as the dialogs hold them.
struct SoundSourceValues {
  CaptureSource captureSource = CaptureSource::Client;
  // Empty: the default device.
  std::wstring farEndDevice, nearEndDevice;
  // "None": no hotkey. Empty: the default.
  std::wstring recordHotkey = kDefaultRecordHotkey;
  // Executable names separated by ';'.
  std::wstring autoRecordApps = kDefaultAutoRecordApps;

  static SoundSourceValues Of(const SettingsRecord& settings);
};

// The rules for whom to record and how long to keep recordings, as the
// settings dialog's second page holds them.
struct RecordingRulesValues {
  RecordContacts recordContacts = RecordContacts::EveryCall;
  std::wstring contactList;
  int keepDays = 0;
};

// What the settings dialog's controls hold when OK or Apply is pressed.
struct SettingsDialogValues {
  bool autoRecord = false;
  bool openFolderAfterRecording = false;
  bool stateBalloons = false;
  bool savedNotice = true;
  bool stereo = false;
  bool formatMp3 = false, formatWma = false, formatOgg = false, formatFlac = false, formatWav = false;
  bool formatOpus = false;
  bool startWithWindows = false;
  bool closeCallQualityWindow = false;
  bool hideClientWindowInCall = false;
  int languageIndex = -1;   // selected item of the language list; -1 when none
  int recordWayIndex = -1;  // selected item of the record-way list; -1 when none
  std::wstring recordFolder;
  // The audio source's: taken over from the set in force when the dialog
  // opens, changed by its audio source dialog.
  SoundSourceValues sound;
  // The second page's: taken over from the set in force when the dialog
  // opens.
  RecordingRulesValues rules;
};

// A setting's text converted as the file holds it: a decimal integer (leading
// blanks, optional sign, digits) cut to its low 8 bits; "-1" gives 255, "256" 0.
uint8_t SettingByteFromText(std::wstring_view text);

// Makes the running program's place for Config.ini ready (see
// PrepareConfigIni) and returns the path to read it from.
std::wstring PrepareConfigIniPath();

// The record folder when none is named: the documents folder's
// "Calvoro Record".
std::wstring DefaultRecordFolder();

// Reads the [Setting] keys of Config.ini at `configPath`, each by its field's
// rule (see SettleSettings). An empty record folder becomes
// DefaultRecordFolder(), written back at once; the record folder is created
// with every level it lacks.
SettingsRecord ReadSettings(const std::wstring& configPath);
// Brings every field within its rule, as ReadSettings reads it: a format
// choice without a known format is MP3, a capture source or contact rule out
// of range the default, KeepDays within 0..kKeepDaysMax, every text cut to
// the length the file gives back, an empty hotkey or app list the default.
void SettleSettings(SettingsRecord& record);
// ReadSettings, published in `store` as the set in force, with its language
// selected in `language`.
void LoadSettings(SettingsStore& store, LanguageTable& language, const std::wstring& configPath);

// Writes a whole set to Config.ini; false when the file could not be written.
bool SaveSettings(const SettingsRecord& record, const std::wstring& configPath);

// How an apply went.
enum class ApplyResult {
  Applied,
  // The record folder is longer than kRecordFolderMaxChars, or it does not exist
  // and cannot be created: nothing is applied, the set in force stays.
  FolderTooLong,
  FolderNotCreated,
};

// Takes the dialog's values: creates the record folder with every level it
// lacks, updates the autorun entry, selects the language, publishes the new
// set in force in `store`, and saves it to `configPath`. A folder that cannot
// be recorded into is refused before anything changes; an empty folder stands
// for the default one. A Config.ini that cannot be written leaves the new set
// in force for this run.
ApplyResult ApplySettings(SettingsStore& store, LanguageTable& language, const SettingsDialogValues& values,
                          const std::wstring& configPath);

// The autorun entry's data: the executable's path in quotes, then " hide".
std::wstring AutorunCommand();
// The user's Run key has the autorun value and it starts this very program
// (the path in its data names this executable; letter case aside), as the
// settings dialog or the installer wrote it.
bool AutorunStartsThisProgram();
