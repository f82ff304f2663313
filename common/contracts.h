// The names and numbers that something outside this program depends on, with
// who depends on each. Changing one breaks that party: the installer
// (packaging/installer.nsi), a user's files and settings, the Windows shell,
// or the Skype client. Everything else in the program is free to change.
#pragma once

#include <cstdint>

// --- The program's windows and instance --------------------------------------

// The main window's class, named in dialog template 102. A second start finds
// the running window by it and brings it forward; the installer finds it to
// ask the running recorder to exit.
constexpr wchar_t kMainWindowClassName[] = L"SkypeDorvRecorder.Class";
// The single-instance mutex, held for the whole run. The installer waits for
// it to go before it replaces files.
constexpr wchar_t kSingleInstanceMutexName[] = L"Global\\Skype Dorv Recorder";
// The command-line argument of a hidden start, written into the Run value by
// the settings dialog and the installer.
constexpr wchar_t kHideArgument[] = L"hide";

// Posted to the main window by the installer and the uninstaller (and the
// test drivers in tools/driver) to ask the recorder to finish the recording in
// progress and exit. WM_USER+6.
constexpr uint32_t WM_EXIT_REQUEST = 0x0406;

// The notification icon: the shell calls the main window back with this
// message, the icon id as the first parameter and the mouse message as the
// second. WM_USER+501.
constexpr uint32_t WM_TRAY_NOTIFY = 0x0400 + 501;  // 1525
constexpr uint32_t kTrayIconId = 128;
// Broadcast by the shell when its taskbar is (re)created: the icon is added
// again.
constexpr wchar_t kTaskbarCreatedMessageName[] = L"TaskbarCreated";

// --- Settings and texts the user keeps ---------------------------------------

// Config.ini beside the program, or, for an installed copy (the installer's
// marker file beside the program), in "<application data>\Calvoro Record".
constexpr wchar_t kConfigIniName[] = L"Config.ini";
constexpr wchar_t kInstalledMarkerName[] = L"Installed.ini";
constexpr wchar_t kAppDataFolderName[] = L"Calvoro Record";

// Config.ini's section and keys: a user's file from any earlier version is
// read by these names.
constexpr wchar_t kSettingSection[] = L"Setting";
constexpr wchar_t kKeyLanguageSelect[] = L"Language_Select";
constexpr wchar_t kKeyAutoRun[] = L"AutoRun";
constexpr wchar_t kKeyRecordWay[] = L"RecordWay";
constexpr wchar_t kKeyAutoRecord[] = L"AutoRecord";
constexpr wchar_t kKeyOpenRecordFolderAfterRecording[] = L"OpenRecordFolderAfterRecording";
constexpr wchar_t kKeySaveLF[] = L"SaveLF";
constexpr wchar_t kKeyRecordFormat[] = L"RecordFormat";
constexpr wchar_t kKeyShowStatusOnTray[] = L"ShowStatusOnTray";
constexpr wchar_t kKeyCloseSkypeMainWindowWhenTalking[] = L"CloseSkypeMainWindowWhenTalking";
constexpr wchar_t kKeyCloseSkypeCallQualityWindow[] = L"CloseSkypeCallQualityWindow";
constexpr wchar_t kKeyShowSavedNotice[] = L"ShowSavedNotice";
constexpr wchar_t kKeyWavePath[] = L"WavePath";
// The audio source: the client's audio ports (0) or the computer's own sound
// (1), with the devices taken for it, the hotkey and the automatic start's
// call apps.
constexpr wchar_t kKeyCaptureSource[] = L"CaptureSource";
constexpr wchar_t kKeyFarEndDevice[] = L"FarEndDevice";
constexpr wchar_t kKeyNearEndDevice[] = L"NearEndDevice";
constexpr wchar_t kKeyRecordHotkey[] = L"RecordHotkey";
constexpr wchar_t kKeyAutoRecordApps[] = L"AutoRecordApps";
// Whose calls are recorded: every call (0), only calls with a partner of the
// contact list (1), every call but those (2); and how many days a recording
// is kept before it goes to the Recycle Bin (0: for ever).
constexpr wchar_t kKeyRecordContacts[] = L"RecordContacts";
constexpr wchar_t kKeyContactList[] = L"ContactList";
constexpr wchar_t kKeyKeepDays[] = L"KeepDays";
// The default record folder, under the user's documents folder.
constexpr wchar_t kRecordFolderName[] = L"\\Calvoro Record";

// The Run value that starts the recorder with Windows, under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run; written by
// the settings dialog and the installer, removed by the uninstaller.
constexpr wchar_t kAutorunValueName[] = L"CalvoroRecord";

// Every text the user sees: beside the program, one section per language
// (translators and users edit the file).
constexpr wchar_t kLanguageFileName[] = L"Language\\Language.ini";
constexpr wchar_t kLanguageListSection[] = L"LANGUAGE";
constexpr wchar_t kSimplifiedChineseSection[] = L"Chs";
constexpr wchar_t kTraditionalChineseSection[] = L"Cht";

// --- The recordings ------------------------------------------------------------

// While a call is recorded: the two stream files (playable WAV files) and the
// side file that names the partners, beside the recording. A later start (or
// another instance) recovers the stream files of a recording whose side file
// nobody holds.
constexpr wchar_t kOutStreamFileFormat[] = L"%s_Out.sky";
constexpr wchar_t kInStreamFileFormat[] = L"%s_In.sky";
constexpr wchar_t kSidecarSuffix[] = L".rec";
// A stream file too damaged to recover is kept under its name with this added.
constexpr wchar_t kDamagedSuffix[] = L".damaged";
// What marks a recovered recording's name, after the base path.
constexpr wchar_t kRecoveredMarker[] = L" (recovered)";

// The external encoders a user puts beside the program, run with fixed
// command lines (record/encoder_handoff.h).
constexpr wchar_t kMp3Encoder[] = L"lame.exe";
constexpr wchar_t kOggEncoder[] = L"oggenc2.exe";
constexpr wchar_t kFlacEncoder[] = L"flac.exe";
constexpr wchar_t kWmaEncoder[] = L"Wav2Wma.exe";

// --- The Skype client ----------------------------------------------------------

// The client's desktop API: two registered messages, then commands and
// notifications in WM_COPYDATA (the protocol's texts: skype/skype_api.h).
constexpr wchar_t kAttachMessageName[] = L"SkypeControlAPIAttach";
constexpr wchar_t kDiscoverMessageName[] = L"SkypeControlAPIDiscover";
// The recorder's hidden window that talks to the client.
constexpr wchar_t kMessageWindowClassName[] = L"SkypeDorvRecorder4SkypeMessage.Class";
// The ports the client is asked to copy a call's audio to (ALTER CALL).
constexpr uint16_t kOutPort = 6285;
constexpr uint16_t kInPort = 7285;
// Where the client's program file is registered (under HKEY_CURRENT_USER, then
// HKEY_LOCAL_MACHINE), and the name of its process.
constexpr wchar_t kSkypeRegistryKey[] = L"Software\\Skype\\Phone";
constexpr wchar_t kSkypePathValue[] = L"SkypePath";
constexpr wchar_t kSkypeProcessName[] = L"skype.exe";
// The client's top-level window classes, in the order they are tried.
constexpr const wchar_t* kSkypeMainWindowClasses[] = {
    L"tSkMainForm.UnicodeClass", L"tSkMainForm", L"TZapMainForm.UnicodeClass", L"TZapMainForm"};
constexpr const wchar_t* kSkypeCallQualityWindowClasses[] = {
    L"TskCallQualityForm.UnicodeClass", L"TskCallQualityForm", L"TCallQualityForm.UnicodeClass",
    L"TCallQualityForm"};
