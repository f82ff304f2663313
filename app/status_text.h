// The texts of the main window's status lines, built from the language texts
// and the state they show. Pure functions, so that every rule is tested on both
// platforms; the main window only sets the results into its controls.
#pragma once

#include <cstdint>
#include <string>

#include "settings/language.h"

// Free space as the record-folder line shows it: "%.2f GB" from 1,048,576 KB,
// "%d MB" from 1,024 KB, else "%.2f KB".
std::wstring FreeSpaceText(uint64_t freeBytes);

// The folder line and its state (1 low space, 2 enough space, 3 missing folder).
// freeBytes < 0: the free space could not be read; the line says it is unknown.
struct FolderLine {
  std::wstring text;
  int state;
};
FolderLine BuildFolderLine(const LanguageTable& language, const std::wstring& folder, bool folderExists, int64_t freeBytes);

// At least this much free space counts as enough.
constexpr uint64_t kEnoughFreeBytes = 104857600;



// The client line while the computer's sound is the source: the source and
// the hotkey (or that another program has taken it), or the device that could
// not be opened (`failedDevice`, red).
std::wstring SoundSourceLine(const LanguageTable& language, const std::wstring& hotkey,
                             const std::wstring& failedDevice, bool hotkeyTaken = false);

// A hotkey as Config.ini writes it ("Ctrl+Alt+R", "Shift+Win+F9"): the
// modifiers as RegisterHotKey takes them (1 Alt, 2 Ctrl, 4 Shift, 8 Win) and
// the virtual key (A-Z, 0-9, F1-F24). False for "None", an empty text, a
// key without a modifier other than Shift (it would take the key from every
// program) or anything unknown.
bool ParseHotkey(const std::wstring& text, unsigned& modifiers, unsigned& key);

// "%02d:%02d:%02d"; the hours are not limited to 24.
std::wstring ElapsedTimeText(uint32_t seconds);

// Elapsed seconds on the status line: while the time runs, the seconds since
// the start tick (unsigned, so the tick's wrap-around is harmless) plus the
// seconds accumulated before the last pause.
uint32_t ElapsedSeconds(uint32_t startTick, uint32_t nowTick, uint32_t accumulated);

// The recording line: "Record_Status5" while finishing, else "Record_Status2"
// (paused) or "Record_Status1" with the partners, six blanks and the time.
std::wstring BuildRecordLine(const LanguageTable& language, bool finishing, bool paused, const std::wstring& partners,
                             uint32_t elapsedSeconds);

// The tray balloon: "Record_Status5" while finishing, else with the partners
// "Record_Status3" (just stopped), "Record_Status2" (paused) or
// "Record_Status1"; no time.
std::wstring BuildBalloonText(const LanguageTable& language, bool finishing, bool stopped, bool paused,
                              const std::wstring& partners);

// Where the system keeps the VirtualStore copy of the record folder: the local
// application data folder, "\VirtualStore", then the record folder without
// its drive letter and colon (nothing more for a drive root such as C:\).
// Empty when the record folder lies on another drive than that folder (drive
// letters compared without regard to case) or either folder is unknown.
std::wstring VirtualStoreFolder(const std::wstring& localAppData, const std::wstring& recordFolder);
