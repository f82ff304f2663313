// What the two WASAPI files share (Windows only): one owner per COM
// reference, COM for a thread for as long as an object lives, and the
// endpoint lookup with its error texts (capture_device_win32.cpp).
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "capture/capture_device.h"

namespace capture_win32 {

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
// The one owner of one COM reference.
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease>;

// COM for the calling thread for as long as the object lives. A thread that
// is already in a single-threaded apartment stays there (CoInitializeEx
// answers RPC_E_CHANGED_MODE, which is not ours to balance); the endpoint
// objects work from either kind.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// "<call> failed: <name> (0x...)" for the trace and the device's error.
std::wstring DescribeResult(const wchar_t* call, HRESULT hr);
// The device of an endpoint (the default for communications, or by name).
HRESULT FindEndpointDevice(IMMDeviceEnumerator* enumerator, const CaptureEndpoint& endpoint, IMMDevice** device,
                           std::wstring& error);

}  // namespace capture_win32
