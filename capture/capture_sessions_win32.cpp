// The audio sessions on a capture device, from the device's session manager
// (IAudioSessionManager2): which processes record from it, and whether they
// do now. Each session names its process; the process's executable file name
// is what the automatic start looks for.

#include <windows.h>

#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/capture_device.h"
#include "capture/wasapi_win32.h"

namespace {

using capture_win32::ComPtr;

// The file name of a process's executable ("Teams.exe"); empty when the
// process has ended or may not be looked at.
std::wstring ExeName(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return std::wstring();
  wchar_t path[MAX_PATH * 2];
  DWORD size = sizeof path / sizeof path[0];
  const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
  CloseHandle(process);
  if (!ok) return std::wstring();
  std::wstring full(path, size);
  const size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

class WasapiCaptureSessions final : public CaptureSessions {
 public:
  bool List(const CaptureEndpoint& endpoint, std::vector<CaptureSessionInfo>& sessions) override {
    sessions.clear();
    // COM for this call only; a thread already in an apartment of the other
    // kind keeps it.
    capture_win32::ComApartment apartment;
    return apartment.usable() && ListInApartment(endpoint, sessions);
  }

 private:
  static bool ListInApartment(const CaptureEndpoint& endpoint, std::vector<CaptureSessionInfo>& sessions) {
    IMMDeviceEnumerator* rawEnumerator = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&rawEnumerator)))) {
      return false;
    }
    ComPtr<IMMDeviceEnumerator> enumerator(rawEnumerator);
    IMMDevice* rawDevice = nullptr;
    std::wstring error;
    if (FAILED(capture_win32::FindEndpointDevice(enumerator.get(), endpoint, &rawDevice, error))) return false;
    ComPtr<IMMDevice> device(rawDevice);

    IAudioSessionManager2* rawManager = nullptr;
    if (FAILED(device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(&rawManager)))) {
      return false;
    }
    ComPtr<IAudioSessionManager2> manager(rawManager);
    IAudioSessionEnumerator* rawSessions = nullptr;
    if (FAILED(manager->GetSessionEnumerator(&rawSessions))) return false;
    ComPtr<IAudioSessionEnumerator> list(rawSessions);
    int count = 0;
    if (FAILED(list->GetCount(&count))) return false;

    for (int i = 0; i < count; ++i) {
      IAudioSessionControl* rawControl = nullptr;
      if (FAILED(list->GetSession(i, &rawControl))) continue;
      ComPtr<IAudioSessionControl> control(rawControl);
      IAudioSessionControl2* rawControl2 = nullptr;
      if (FAILED(control->QueryInterface(__uuidof(IAudioSessionControl2), reinterpret_cast<void**>(&rawControl2)))) {
        continue;
      }
      ComPtr<IAudioSessionControl2> control2(rawControl2);
      CaptureSessionInfo info;
      DWORD processId = 0;
      // AUDCLNT_S_NO_SINGLE_PROCESS (a session of several processes) still
      // names one of them.
      if (SUCCEEDED(control2->GetProcessId(&processId))) info.processId = processId;
      AudioSessionState state = AudioSessionStateInactive;
      if (SUCCEEDED(control2->GetState(&state))) info.active = state == AudioSessionStateActive;
      if (info.processId != 0) info.exeName = ExeName(info.processId);
      sessions.push_back(std::move(info));
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<CaptureSessions> MakeSystemCaptureSessions() { return std::make_unique<WasapiCaptureSessions>(); }
