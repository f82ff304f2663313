// What passes between the recorder and the Skype client: the names of the two
// registered window messages, the attach statuses, the command texts, the
// client's window classes, registry value and process name. The recorder and
// the simulated client (tools/simclient) both use these, so they cannot drift
// apart.
#pragma once

#include <cstdint>

// A window handle as the link stores it (an HWND on Windows); 0 for none.
using WindowId = uintptr_t;

// Registered window messages of the client's desktop API.
constexpr wchar_t kAttachMessageName[] = L"SkypeControlAPIAttach";
constexpr wchar_t kDiscoverMessageName[] = L"SkypeControlAPIDiscover";

// lParam of the attach message.
enum SkypeAttachStatus : uint32_t {
  kAttachSuccess = 0,
  kAttachPendingAuthorization = 1,
  kAttachRefused = 2,
  kAttachNotAvailable = 3,
  kAttachApiAvailable = 0x8001,
};

// Commands (UTF-8 on the wire). %d is a call id in decimal.
constexpr wchar_t kGetCurrentUserHandle[] = L"GET CURRENTUSERHANDLE";
constexpr wchar_t kGetPartnerHandleFormat[] = L"GET CALL %d PARTNER_HANDLE";
constexpr wchar_t kSetOutputFormat[] = L"ALTER CALL %d SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"";
constexpr wchar_t kSetCaptureMicFormat[] = L"ALTER CALL %d SET_CAPTURE_MIC port=\"7285\"";
constexpr wchar_t kSetWindowStateHidden[] = L"SET WINDOWSTATE HIDDEN";
constexpr wchar_t kSetWindowStateNormal[] = L"SET WINDOWSTATE NORMAL";
constexpr wchar_t kFocus[] = L"FOCUS";

// The recorder's hidden window that talks to the client.
constexpr wchar_t kMessageWindowClassName[] = L"SkypeDorvRecorder4SkypeMessage.Class";

// The client's top-level window classes, in the order they are tried.
constexpr const wchar_t* kSkypeMainWindowClasses[] = {
    L"tSkMainForm.UnicodeClass", L"tSkMainForm", L"TZapMainForm.UnicodeClass", L"TZapMainForm"};
constexpr const wchar_t* kSkypeCallQualityWindowClasses[] = {
    L"TskCallQualityForm.UnicodeClass", L"TskCallQualityForm", L"TCallQualityForm.UnicodeClass",
    L"TCallQualityForm"};

// Where the client's program file is registered (under HKEY_CURRENT_USER, then
// HKEY_LOCAL_MACHINE), and the name of its process.
constexpr wchar_t kSkypeRegistryKey[] = L"Software\\Skype\\Phone";
constexpr wchar_t kSkypePathValue[] = L"SkypePath";
constexpr wchar_t kSkypeProcessName[] = L"skype.exe";

// Opened by the Run Skype button when no client is installed.
constexpr wchar_t kSkypeWebSite[] = L"https://www.skype.com/";
