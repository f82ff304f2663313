// The capture devices on Windows: WASAPI endpoints in shared mode, written
// against the COM interfaces of mmdeviceapi.h and audioclient.h.
//
// Each open device owns its COM objects (one reference each, released once
// when the device is destroyed) and the COM initialisation of the thread that
// opened it, which it balances last, after everything else is released.

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <objbase.h>
#include <propidl.h>
#include <propsys.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_device.h"
#include "capture/wasapi_win32.h"

namespace {

using capture_win32::ComApartment;
using capture_win32::ComPtr;

// {a45c254e-df1c-4efd-8020-67d146a850e0}, 14: the endpoint's name as the
// sound control panel shows it ("Microphone (USB Audio)").
const PROPERTYKEY kFriendlyNameKey = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
// KSDATAFORMAT_SUBTYPE_PCM and KSDATAFORMAT_SUBTYPE_IEEE_FLOAT: the format
// tag in the first field of the base GUID {0000xxxx-0000-0010-8000-00aa00389b71}.
const GUID kSubtypePcm = {WAVE_FORMAT_PCM, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID kSubtypeFloat = {WAVE_FORMAT_IEEE_FLOAT, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The shared buffer: room for 500 ms. The capture thread reads it every
// 100 ms, so a thread held up for a moment loses nothing.
constexpr REFERENCE_TIME kBufferDuration = 5000000;

struct TaskMemFree {
  void operator()(void* memory) const { CoTaskMemFree(memory); }
};

std::wstring Upper(const std::wstring& text) {
  std::wstring upper = text;
  if (!upper.empty()) {
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), static_cast<int>(text.size()), &upper[0],
                  static_cast<int>(upper.size()), nullptr, nullptr, 0);
  }
  return upper;
}

std::wstring FriendlyName(IMMDevice* device) {
  IPropertyStore* raw = nullptr;
  if (FAILED(device->OpenPropertyStore(STGM_READ, &raw))) return std::wstring();
  ComPtr<IPropertyStore> store(raw);
  PROPVARIANT value;
  PropVariantInit(&value);
  std::wstring name;
  if (SUCCEEDED(store->GetValue(kFriendlyNameKey, &value)) && value.vt == VT_LPWSTR && value.pwszVal) {
    name = value.pwszVal;
  }
  PropVariantClear(&value);
  return name;
}

HRESULT DefaultEndpoint(IMMDeviceEnumerator* enumerator, EDataFlow flow, IMMDevice** device) {
  HRESULT hr = enumerator->GetDefaultAudioEndpoint(flow, eCommunications, device);
  if (FAILED(hr)) {
    // A system where no device has the communications role: the one for
    // everything else.
    *device = nullptr;
    hr = enumerator->GetDefaultAudioEndpoint(flow, eConsole, device);
  }
  return hr;
}

HRESULT FindNamedCapture(IMMDeviceEnumerator* enumerator, const std::wstring& name, IMMDevice** found,
                         std::wstring& error) {
  *found = nullptr;
  if (name.empty()) {
    error = L"no capture device name given";
    return E_INVALIDARG;
  }
  IMMDeviceCollection* raw = nullptr;
  HRESULT hr = enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &raw);
  if (FAILED(hr)) {
    error = capture_win32::DescribeResult(L"IMMDeviceEnumerator::EnumAudioEndpoints", hr);
    return hr;
  }
  ComPtr<IMMDeviceCollection> collection(raw);
  UINT count = 0;
  collection->GetCount(&count);
  const std::wstring wanted = Upper(name);
  ComPtr<IMMDevice> partial;
  for (UINT i = 0; i < count; ++i) {
    IMMDevice* item = nullptr;
    if (FAILED(collection->Item(i, &item))) continue;
    ComPtr<IMMDevice> device(item);
    const std::wstring candidate = Upper(FriendlyName(device.get()));
    if (candidate == wanted) {
      *found = device.release();
      return S_OK;
    }
    if (!partial && candidate.find(wanted) != std::wstring::npos) partial = std::move(device);
  }
  if (partial) {
    *found = partial.release();
    return S_OK;
  }
  error = L"no active capture device named \"" + name + L"\"";
  return E_NOTFOUND;
}

bool ReadMixFormat(const WAVEFORMATEX& mix, CaptureFormat& format, std::wstring& error) {
  WORD tag = mix.wFormatTag;
  const WORD container = mix.wBitsPerSample;
  WORD valid = container;
  uint32_t mask = 0;
  if (tag == WAVE_FORMAT_EXTENSIBLE && mix.cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
    const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(mix);
    if (IsEqualGUID(extensible.SubFormat, kSubtypePcm)) {
      tag = WAVE_FORMAT_PCM;
    } else if (IsEqualGUID(extensible.SubFormat, kSubtypeFloat)) {
      tag = WAVE_FORMAT_IEEE_FLOAT;
    }
    if (extensible.Samples.wValidBitsPerSample != 0) valid = extensible.Samples.wValidBitsPerSample;
    mask = extensible.dwChannelMask;
  }
  bool known = true;
  if (tag == WAVE_FORMAT_PCM && container == 16 && valid <= 16) {
    format.kind = SampleKind::Int16;
  } else if (tag == WAVE_FORMAT_PCM && container == 24 && valid <= 24) {
    format.kind = SampleKind::Int24;
  } else if (tag == WAVE_FORMAT_PCM && container == 32 && valid <= 32) {
    format.kind = SampleKind::Int32;
  } else if (tag == WAVE_FORMAT_IEEE_FLOAT && container == 32) {
    format.kind = SampleKind::Float32;
  } else {
    known = false;
  }
  format.rate = mix.nSamplesPerSec;
  format.channels = mix.nChannels;
  format.channelMask = mask;
  if (!known || format.rate == 0 || format.channels == 0 || mix.nBlockAlign != format.BytesPerFrame()) {
    wchar_t text[160];
    swprintf(text, sizeof text / sizeof text[0],
             L"unsupported mix format (tag 0x%04x, %u bits in %u, %u channels, %lu Hz, %u bytes a frame)",
             static_cast<unsigned>(mix.wFormatTag), static_cast<unsigned>(valid), static_cast<unsigned>(container),
             static_cast<unsigned>(mix.nChannels), static_cast<unsigned long>(mix.nSamplesPerSec),
             static_cast<unsigned>(mix.nBlockAlign));
    error = text;
    return false;
  }
  return true;
}

class WasapiCaptureDevice final : public CaptureDevice {
 public:
  WasapiCaptureDevice(std::unique_ptr<ComApartment> apartment, ComPtr<IMMDevice> device, std::wstring name)
      : apartment_(std::move(apartment)), device_(std::move(device)), name_(std::move(name)) {}

  ~WasapiCaptureDevice() override {
    if (held_) capture_->ReleaseBuffer(held_);
    if (started_) client_->Stop();
    // The members go in reverse order: the COM objects, the handles, and
    // the apartment last.
  }

  bool Start(bool loopback, std::wstring& error) {
    ComPtr<IAudioClient> client;
    HRESULT hr = Activate(client, error);
    if (FAILED(hr)) return false;
    WAVEFORMATEX* raw = nullptr;
    hr = client->GetMixFormat(&raw);
    if (FAILED(hr)) {
      error = capture_win32::DescribeResult(L"IAudioClient::GetMixFormat", hr);
      return false;
    }
    std::unique_ptr<WAVEFORMATEX, TaskMemFree> mix(raw);
    if (!ReadMixFormat(*mix, format_, error)) return false;

    // Read on a timer by the capture thread (every 100 ms, from a buffer of
    // 500 ms): no event per device period, which would wake it ten times as
    // often.
    const DWORD flags = loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mix.get(), nullptr);
    if (FAILED(hr)) {
      error = capture_win32::DescribeResult(L"IAudioClient::Initialize", hr);
      return false;
    }
    client_ = std::move(client);

    IAudioCaptureClient* capture = nullptr;
    hr = client_->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture));
    if (FAILED(hr)) {
      error = capture_win32::DescribeResult(L"IAudioClient::GetService(IAudioCaptureClient)", hr);
      return false;
    }
    capture_.reset(capture);
    hr = client_->Start();
    if (FAILED(hr)) {
      error = capture_win32::DescribeResult(L"IAudioClient::Start", hr);
      return false;
    }
    started_ = true;
    return true;
  }

  const CaptureFormat& format() const override { return format_; }
  std::wstring name() const override { return name_; }

  CaptureRead NextPacket(CapturePacket& packet) override {
    ReleasePacket();
    packet = CapturePacket();
    UINT32 waiting = 0;
    HRESULT hr = capture_->GetNextPacketSize(&waiting);
    if (FAILED(hr)) return CaptureRead::Lost;
    if (waiting == 0) return CaptureRead::Empty;
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 qpc = 0;
    hr = capture_->GetBuffer(&data, &frames, &flags, nullptr, &qpc);
    if (hr == AUDCLNT_S_BUFFER_EMPTY) return CaptureRead::Empty;
    if (FAILED(hr)) return CaptureRead::Lost;
    if (frames == 0) {
      capture_->ReleaseBuffer(0);
      return CaptureRead::Empty;
    }
    held_ = frames;
    packet.data = data;
    packet.frames = frames;
    packet.silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
    packet.discontinuity = (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0;
    // GetBuffer gives the performance counter already in 100-ns units.
    packet.time = (flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) || qpc == 0 ? -1 : static_cast<int64_t>(qpc);
    return CaptureRead::Packet;
  }

  void ReleasePacket() override {
    if (held_) {
      capture_->ReleaseBuffer(held_);
      held_ = 0;
    }
  }

 private:
  HRESULT Activate(ComPtr<IAudioClient>& client, std::wstring& error) {
    IAudioClient* raw = nullptr;
    HRESULT hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&raw));
    if (FAILED(hr)) {
      error = capture_win32::DescribeResult(L"IMMDevice::Activate(IAudioClient)", hr);
      return hr;
    }
    client.reset(raw);
    return hr;
  }

  // Declared first, destroyed last.
  std::unique_ptr<ComApartment> apartment_;
  ComPtr<IMMDevice> device_;
  ComPtr<IAudioClient> client_;
  ComPtr<IAudioCaptureClient> capture_;
  std::wstring name_;
  CaptureFormat format_;
  bool started_ = false;
  UINT32 held_ = 0;  // frames of the packet not yet released
};

ComPtr<IMMDeviceEnumerator> MakeEnumerator(std::wstring& error) {
  IMMDeviceEnumerator* raw = nullptr;
  HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&raw));
  if (FAILED(hr)) {
    error = capture_win32::DescribeResult(L"CoCreateInstance(MMDeviceEnumerator)", hr);
    return nullptr;
  }
  return ComPtr<IMMDeviceEnumerator>(raw);
}

class WasapiCaptureDevices final : public CaptureDevices {
 public:
  std::unique_ptr<CaptureDevice> Open(const CaptureEndpoint& endpoint, std::wstring& error) override {
    auto apartment = std::make_unique<ComApartment>();
    if (!apartment->usable()) {
      error = capture_win32::DescribeResult(L"CoInitializeEx", apartment->result());
      return nullptr;
    }
    ComPtr<IMMDevice> device;
    {
      ComPtr<IMMDeviceEnumerator> enumerator = MakeEnumerator(error);
      if (!enumerator) return nullptr;
      IMMDevice* raw = nullptr;
      if (FAILED(capture_win32::FindEndpointDevice(enumerator.get(), endpoint, &raw, error))) return nullptr;
      device.reset(raw);
    }
    std::wstring name = FriendlyName(device.get());
    auto opened = std::make_unique<WasapiCaptureDevice>(std::move(apartment), std::move(device), std::move(name));
    if (!opened->Start(endpoint.kind == CaptureEndpoint::Loopback, error)) return nullptr;
    return opened;
  }

  std::vector<std::wstring> CaptureDeviceNames() override {
    std::vector<std::wstring> names;
    ComApartment apartment;
    if (!apartment.usable()) return names;
    std::wstring error;
    ComPtr<IMMDeviceEnumerator> enumerator = MakeEnumerator(error);
    if (!enumerator) return names;
    IMMDeviceCollection* raw = nullptr;
    if (FAILED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &raw))) return names;
    ComPtr<IMMDeviceCollection> collection(raw);
    UINT count = 0;
    collection->GetCount(&count);
    for (UINT i = 0; i < count; ++i) {
      IMMDevice* item = nullptr;
      if (FAILED(collection->Item(i, &item))) continue;
      ComPtr<IMMDevice> device(item);
      std::wstring name = FriendlyName(device.get());
      if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
  }
};

}  // namespace

namespace capture_win32 {

std::wstring DescribeResult(const wchar_t* call, HRESULT hr) {
  const wchar_t* known = nullptr;
  switch (hr) {
    case AUDCLNT_E_WRONG_ENDPOINT_TYPE: known = L"AUDCLNT_E_WRONG_ENDPOINT_TYPE"; break;
    case AUDCLNT_E_DEVICE_INVALIDATED: known = L"AUDCLNT_E_DEVICE_INVALIDATED"; break;
    case AUDCLNT_E_UNSUPPORTED_FORMAT: known = L"AUDCLNT_E_UNSUPPORTED_FORMAT"; break;
    case AUDCLNT_E_DEVICE_IN_USE: known = L"AUDCLNT_E_DEVICE_IN_USE"; break;
    case AUDCLNT_E_SERVICE_NOT_RUNNING: known = L"AUDCLNT_E_SERVICE_NOT_RUNNING"; break;
    case AUDCLNT_E_ENDPOINT_CREATE_FAILED: known = L"AUDCLNT_E_ENDPOINT_CREATE_FAILED"; break;
    case AUDCLNT_E_CPUUSAGE_EXCEEDED: known = L"AUDCLNT_E_CPUUSAGE_EXCEEDED"; break;
    case E_NOTFOUND: known = L"E_NOTFOUND"; break;
    case E_ACCESSDENIED: known = L"E_ACCESSDENIED"; break;
    case E_OUTOFMEMORY: known = L"E_OUTOFMEMORY"; break;
    default: break;
  }
  wchar_t code[48];
  swprintf(code, sizeof code / sizeof code[0], L"0x%08lx", static_cast<unsigned long>(hr));
  std::wstring text = std::wstring(call) + L" failed: ";
  if (known) text += std::wstring(known) + L" (" + code + L")";
  else text += code;
  return text;
}

HRESULT FindEndpointDevice(IMMDeviceEnumerator* enumerator, const CaptureEndpoint& endpoint, IMMDevice** device,
                           std::wstring& error) {
  *device = nullptr;
  HRESULT hr = S_OK;
  switch (endpoint.kind) {
    case CaptureEndpoint::Loopback:
      hr = DefaultEndpoint(enumerator, eRender, device);
      if (FAILED(hr)) error = DescribeResult(L"no default render device: GetDefaultAudioEndpoint", hr);
      return hr;
    case CaptureEndpoint::DefaultCapture:
      hr = DefaultEndpoint(enumerator, eCapture, device);
      if (FAILED(hr)) error = DescribeResult(L"no default capture device: GetDefaultAudioEndpoint", hr);
      return hr;
    case CaptureEndpoint::Named:
      return FindNamedCapture(enumerator, endpoint.name, device, error);
  }
  error = L"unknown endpoint kind";
  return E_INVALIDARG;
}

}  // namespace capture_win32

int64_t CaptureClockNow() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const int64_t ticks = counter.QuadPart;
  // Whole seconds and the rest apart, so that the product cannot overflow.
  return ticks / frequency * kCaptureClockPerSecond + ticks % frequency * kCaptureClockPerSecond / frequency;
}

std::unique_ptr<CaptureDevices> MakeSystemCaptureDevices() { return std::make_unique<WasapiCaptureDevices>(); }
