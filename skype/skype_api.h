// What passes between the recorder and the Skype client: the attach statuses
// and the command texts, besides the names in common/contracts.h (the two
// registered window messages, the client's window classes, registry value and
// process name). The recorder and the simulated client (tools/simclient) both
// use these, so they cannot drift apart.
#pragma once

#include <cstdint>

#include "common/contracts.h"

// A window handle as the link stores it (an HWND on Windows); 0 for none.
using WindowId = uintptr_t;

// lParam of the attach message.
enum SkypeAttachStatus : uint32_t {
  kAttachSuccess = 0,
  kAttachPendingAuthorization = 1,
  kAttachRefused = 2,
  kAttachNotAvailable = 3,
  kAttachApiAvailable = 0x8001,
};

// Commands (UTF-8 on the wire). The first %d is a call id in decimal; in the
// two ALTER CALL commands the second is the local port the audio goes to.
constexpr wchar_t kGetCurrentUserHandle[] = L"GET CURRENTUSERHANDLE";
constexpr wchar_t kGetPartnerHandleFormat[] = L"GET CALL %d PARTNER_HANDLE";
constexpr wchar_t kSetOutputFormat[] = L"ALTER CALL %d SET_OUTPUT SOUNDCARD=\"default\" port=\"%d\"";
constexpr wchar_t kSetCaptureMicFormat[] = L"ALTER CALL %d SET_CAPTURE_MIC port=\"%d\"";
constexpr wchar_t kSetWindowStateHidden[] = L"SET WINDOWSTATE HIDDEN";
constexpr wchar_t kSetWindowStateNormal[] = L"SET WINDOWSTATE NORMAL";
constexpr wchar_t kFocus[] = L"FOCUS";

// Opened by the Run Skype button when no client is installed.
constexpr wchar_t kSkypeWebSite[] = L"https://www.skype.com/";
