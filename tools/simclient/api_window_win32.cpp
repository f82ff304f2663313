#include "tools/simclient/api_window_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "common/strings.h"
#include "skype/skype_api.h"
#include "tools/simclient/audio_streams_win32.h"
#include "tools/simclient/client_state_win32.h"
#include "tools/simclient/commands.h"
#include "tools/simclient/logs_win32.h"
#include "tools/simclient/outbox_win32.h"

namespace simclient {
namespace {

constexpr wchar_t kApiWindowClass[] = L"SimSkypeApiWindow";
constexpr wchar_t kForeignWindowClass[] = L"SimSkypeForeignWindow";
constexpr UINT WM_APP_CREATE_WINDOW = WM_APP + 1;   // lParam: class name; result: the window
constexpr UINT WM_APP_DESTROY_WINDOW = WM_APP + 2;  // lParam: class name
constexpr UINT WM_APP_QUIT = WM_APP + 3;

std::string Narrow(const std::wstring& text) { return Utf8FromWide(text); }

std::map<std::string, HWND> clientWindows;  // main thread only

// A command from the recorder: written down, acted on (an ALTER CALL starts
// its stream, SET WINDOWSTATE shows or hides the client's main window) and
// answered through the outbox.
void HandleCommand(const COPYDATASTRUCT* copy) {
  const char* data = static_cast<const char*>(copy->lpData);
  size_t size = data ? copy->cbData : 0;
  const void* zero = size ? memchr(data, 0, size) : nullptr;
  std::string text(data ? data : "", zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : size);
  // The recorder's wire format: the text and two zero bytes, all counted.
  bool twoZeros = size >= 2 && data[size - 1] == 0 && data[size - 2] == 0 && text.size() + 2 == size;
  logs.Event("command " + std::to_string(size) + (twoZeros ? "" : " (not text+2 zero bytes)") + " " + text);
  logs.Command(text);
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.commands.push_back(text);
    shared.changed.notify_all();
  }
  ClientCommand command = ClassifyCommand(text);
  if (command.kind == ClientCommand::Kind::AlterCallAudio && command.port > 0)
    StartStream(command.call, command.direction, command.port);
  if (command.kind == ClientCommand::Kind::WindowState) {
    logs.Event("windowstate " + command.state);
    for (auto& entry : clientWindows) {
      if (scenario.hideWindows) break;
      bool isMain = false;
      for (const wchar_t* name : kSkypeMainWindowClasses) isMain = isMain || entry.first == Narrow(name);
      if (!isMain) continue;
      if (SameTextNoCase(command.state, "HIDDEN")) ShowWindow(entry.second, SW_HIDE);
      else if (SameTextNoCase(command.state, "NORMAL")) ShowWindow(entry.second, SW_SHOWNOACTIVATE);
    }
  }
  std::string answer = AnswerTo(scenario, command, text);
  if (!answer.empty()) {
    OutItem reply;
    reply.kind = OutItem::Kind::Reply;
    reply.text = answer;
    reply.delayMs = scenario.replyDelayMs;
    reply.userHandleReply = command.kind == ClientCommand::Kind::GetCurrentUserHandle;
    outbox.Push(reply);
  }
}

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    std::string className = Narrow(name);
    logs.Event("WM_CLOSE " + className);
    clientWindows.erase(className);
    DestroyWindow(window);
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.closedClasses.insert(className);
    shared.changed.notify_all();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateClientWindow(const std::string& className) {
  std::wstring wide = WideFromUtf8(className);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ClientWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = wide.c_str();
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&windowClass);  // may be registered already
  HWND window = CreateWindowExW(0, wide.c_str(), L"SimSkype", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window) {
    if (!scenario.hideWindows) ShowWindow(window, SW_SHOWNOACTIVATE);
    clientWindows[className] = window;
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.closedClasses.erase(className);
  }
  logs.Event((window ? "window " : "window-failed ") + className);
  return window;
}

LRESULT CALLBACK ApiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (discoverMessage != 0 && message == discoverMessage) {
    HWND recorder = reinterpret_cast<HWND>(wParam);
    size_t index;
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.recorder = recorder;
      index = static_cast<size_t>(shared.discovers++);
      shared.changed.notify_all();
    }
    logs.Event("discover " + HandleText(recorder));
    const auto& groups = scenario.attachGroups;
    for (uint32_t status : groups[std::min(index, groups.size() - 1)]) {
      OutItem item;
      item.kind = OutItem::Kind::Attach;
      item.status = status;
      outbox.Push(item);
    }
    return 0;
  }
  switch (message) {
    case WM_COPYDATA:
      HandleCommand(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return 1;
    case WM_APP_CREATE_WINDOW:
      return reinterpret_cast<LRESULT>(CreateClientWindow(*reinterpret_cast<const std::string*>(lParam)));
    case WM_APP_DESTROY_WINDOW: {
      auto it = clientWindows.find(*reinterpret_cast<const std::string*>(lParam));
      if (it != clientWindows.end()) {
        DestroyWindow(it->second);
        clientWindows.erase(it);
      }
      return 0;
    }
    case WM_APP_QUIT:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = name;
  return RegisterClassW(&windowClass) != 0;
}

}  // namespace

bool CreateApiWindows() {
  attachMessage = RegisterWindowMessageW(kAttachMessageName);
  discoverMessage = RegisterWindowMessageW(kDiscoverMessageName);
  RegisterWindowClass(kApiWindowClass, ApiWindowProc);
  RegisterWindowClass(kForeignWindowClass, DefWindowProcW);
  // Top-level (not message-only) windows: only those receive broadcasts.
  apiWindow = CreateWindowExW(0, kApiWindowClass, L"SimSkype API", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  foreignWindow = CreateWindowExW(0, kForeignWindowClass, L"SimSkype foreign", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
  return apiWindow && foreignWindow && attachMessage != 0 && discoverMessage != 0;
}

void DestroyApiWindows() {
  for (auto& entry : clientWindows) DestroyWindow(entry.second);
  clientWindows.clear();
  DestroyWindow(foreignWindow);
  DestroyWindow(apiWindow);
}

void ShowClientWindow(const std::string& className) {
  SendMessageW(apiWindow, WM_APP_CREATE_WINDOW, 0, reinterpret_cast<LPARAM>(&className));
}

void CloseClientWindow(const std::string& className) {
  SendMessageW(apiWindow, WM_APP_DESTROY_WINDOW, 0, reinterpret_cast<LPARAM>(&className));
}

void EndMessageLoop() { PostMessageW(apiWindow, WM_APP_QUIT, 0, 0); }

}  // namespace simclient
