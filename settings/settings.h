// The recorder's settings: section [Setting] of Config.ini (beside the program,
// or in the user's application data folder for an installed program: see
// settings/config_location.h), held in memory in one process-wide record that every subsystem reads.
//
// The numeric fields are single bytes, read by the writer, finishing and encoder
// threads while the settings dialog may apply new values, so each is an atomic
// byte. The record folder is a text and is read and written under a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

// RecordFormat bits.
constexpr uint8_t kFormatMp3 = 1;
constexpr uint8_t kFormatWma = 2;
constexpr uint8_t kFormatOgg = 4;
constexpr uint8_t kFormatFlac = 8;
constexpr uint8_t kFormatWav = 16;
constexpr uint8_t kFormatKnownBits = kFormatMp3 | kFormatWma | kFormatOgg | kFormatFlac | kFormatWav;

// RecordWay values.
constexpr uint8_t kRecordBoth = 0;
constexpr uint8_t kRecordInOnly = 1;
constexpr uint8_t kRecordOutOnly = 2;

// The record folder may be this long.
constexpr size_t kWavePathMaxChars = 1024;

constexpr wchar_t kSettingSection[] = L"Setting";
constexpr wchar_t kRecordFolderName[] = L"\\Calvoro Record";
constexpr wchar_t kAutorunValueName[] = L"CalvoroRecord";

struct SettingsRecord {
  std::atomic<uint8_t> Language_Select{0};
  std::atomic<uint8_t> AutoRun{0};
  std::atomic<uint8_t> RecordWay{0};
  std::atomic<uint8_t> AutoRecord{0};
  std::atomic<uint8_t> CloseSkypeMainWindowWhenTalking{0};
  std::atomic<uint8_t> CloseSkypeCallQualityWindow{0};
  std::atomic<uint8_t> OpenRecordFolderAfterRecording{0};
  std::atomic<uint8_t> ShowStatusOnTray{0};
  std::atomic<uint8_t> SaveLF{0};
  std::atomic<uint8_t> RecordFormat{0};

  std::wstring WavePath() const;
  void SetWavePath(std::wstring_view path);

 private:
  mutable std::mutex wavePathMutex_;
  std::wstring wavePath_;
};

extern SettingsRecord Settings;

// What the settings dialog's controls hold when OK or Apply is pressed.
struct SettingsDialogValues {
  bool autoRecord = false;
  bool openRecordFolderAfterRecording = false;
  bool showStatusOnTray = false;
  bool saveLF = false;
  bool formatMp3 = false, formatWma = false, formatOgg = false, formatFlac = false, formatWav = false;
  bool autoRun = false;
  bool closeSkypeCallQualityWindow = false;
  bool closeSkypeMainWindowWhenTalking = false;
  int languageIndex = -1;   // selected item of the language list; -1 when none
  int recordWayIndex = -1;  // selected item of the record-way list; -1 when none
  std::wstring wavePath;
};

// A setting's text converted as the file holds it: a decimal integer (leading
// blanks, optional sign, digits) cut to its low 8 bits; "-1" gives 255, "256" 0.
uint8_t SettingByteFromText(std::wstring_view text);

// The path of the running program's Config.ini.
std::wstring ConfigIniPath();

// Reads Config.ini into Settings (the argument-less form first carries the
// settings of an earlier place over, see PrepareConfigIni) (and selects the language section). An empty
// record folder becomes the documents folder + "\Calvoro Record", written back at
// once; the record folder is created (one level).
void LoadSettings();
void LoadSettings(const std::wstring& configPath);

// Writes the whole record to Config.ini.
void SaveSettings();
void SaveSettings(const std::wstring& configPath);

// Takes the dialog's values, updates the autorun entry, saves and reloads.
// A record folder longer than kWavePathMaxChars is refused: the folder in force
// stays and the result is false; every other value is still applied.
bool ApplySettings(const SettingsDialogValues& values);
bool ApplySettings(const SettingsDialogValues& values, const std::wstring& configPath);

// The autorun entry's data: the executable's path in quotes, then " hide".
std::wstring AutorunCommand();
