#include "tests/skype/wine_link_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>

#include "platform/paths.h"
#include "skype/message_window_win32.h"
#include "skype/skype_api.h"
#include "tests/support/wait.h"

namespace {

constexpr wchar_t kTestMainWindowClass[] = L"CalvoroLinkTestMainWindow";
constexpr UINT WM_TEST_SHUTDOWN = WM_APP + 40;
constexpr UINT WM_TEST_RUN = WM_APP + 41;  // lParam: a std::function<void()> to run and delete
// The events as the main window receives them from the other threads.
constexpr UINT WM_TEST_CALL_STARTED = WM_APP + 50;
constexpr UINT WM_TEST_CALL_ENDED = WM_APP + 51;
constexpr UINT WM_TEST_STATUS_CHANGED = WM_APP + 52;
constexpr UINT WM_TEST_PARTNER_KNOWN = WM_APP + 53;

RecorderSide* current = nullptr;  // one recorder side at a time

const wchar_t* NameOf(UINT message) {
  switch (message) {
    case WM_TEST_CALL_STARTED: return L"STARTED";
    case WM_TEST_CALL_ENDED: return L"ENDED";
    case WM_TEST_STATUS_CHANGED: return L"STATUS";
    case WM_TEST_PARTNER_KNOWN: return L"PARTNER";
    default: return nullptr;
  }
}

}  // namespace

RecorderSide::RecorderSide(const SettingsRecord& settings) : client_(settings_, *this) {
  settings_.Publish(settings);
  current = this;
  std::promise<void> ready;
  auto started = ready.get_future();
  thread_ = std::thread([this, &ready] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTestMainWindowClass;
    RegisterClassW(&windowClass);  // registered already by an earlier test: fine
    mainWindow_ = CreateWindowExW(0, kTestMainWindowClass, L"link test", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    // What the main window's initialisation does for the link.
    linkActive_ = InitSkypeMessageWindow(client_.link);
    if (linkActive_) {
      HWND window = reinterpret_cast<HWND>(client_.link.messageWindow.load());
      originalProc_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MessageWindowSubclass)));
    }
    ready.set_value();
    Run();
  });
  started.wait();
  // What the application's start-up does.
  client_.StartThreads();
}

RecorderSide::~RecorderSide() {
  // The application's exit: the link threads first, then the windows.
  client_.StopThreads();
  PostMessageW(mainWindow_, WM_TEST_SHUTDOWN, 0, 0);
  thread_.join();
  current = nullptr;
  // The message window's end let go of the link.
  EXPECT_EQ(client_.link.messageWindow.load(), 0u);
}

void RecorderSide::OnClientStateChanged() { SendMessageW(mainWindow_, WM_TEST_STATUS_CHANGED, 0, 0); }
void RecorderSide::OnCallStarted() { SendMessageW(mainWindow_, WM_TEST_CALL_STARTED, 0, 0); }
void RecorderSide::OnCallEnded() { SendMessageW(mainWindow_, WM_TEST_CALL_ENDED, 0, 0); }
void RecorderSide::OnPartnerKnown() { PostMessageW(mainWindow_, WM_TEST_PARTNER_KNOWN, 0, 0); }

void RecorderSide::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (mainWindow_) DestroyWindow(mainWindow_);
  UnregisterClassW(kMessageWindowClassName, GetModuleHandleW(nullptr));
}

LRESULT CALLBACK RecorderSide::MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RecorderSide* self = current;
  if (message == WM_TEST_RUN) {
    std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lParam));
    (*task)();
    return 0;
  }
  if (message == WM_TEST_SHUTDOWN) {
    // The message window's WM_DESTROY ends the loop. The loop ends here as
    // well, so that a link without a window, or a window that is not the
    // link's, cannot leave the test waiting for it.
    HWND link = self ? reinterpret_cast<HWND>(self->client_.link.messageWindow.load()) : nullptr;
    if (link) DestroyWindow(link);
    PostQuitMessage(0);
    return 0;
  }
  const wchar_t* name = NameOf(message);
  if (self && name) {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->messages_.push_back(name);
    if (message == WM_TEST_STATUS_CHANGED)
      self->flagsAtStatus_.emplace_back(self->client_.link.attached.load(), self->client_.link.loggedOut.load());
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK RecorderSide::MessageWindowSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  RecorderSide* self = current;
  LRESULT result = CallWindowProcW(self->originalProc_, window, message, wParam, lParam);
  if (message == AttachMessage()) {
    const SkypeLink& link = self->client_.link;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->attaches_.push_back(
        {static_cast<uintptr_t>(lParam), link.skypeApiWindow.load(), link.attached.load(), link.loggedOut.load()});
  }
  return result;
}

std::vector<RecorderSide::AttachSeen> RecorderSide::attachesSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return attaches_;
}

std::vector<std::wstring> RecorderSide::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<std::pair<uint32_t, uint32_t>> RecorderSide::flagsAtStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flagsAtStatus_;
}

void RecorderSide::post(std::function<void()> task) {
  auto* heap = new std::function<void()>(std::move(task));
  if (!PostMessageW(mainWindow_, WM_TEST_RUN, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
}

size_t RecorderSide::countOf(const std::wstring& message) const {
  auto m = messages();
  return static_cast<size_t>(std::count(m.begin(), m.end(), message));
}

// --- EventNames ---------------------------------------------------------------------

std::vector<std::wstring> EventNames::names() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return names_;
}

void EventNames::Add(const wchar_t* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  names_.push_back(name);
}

// --- SimClient ---------------------------------------------------------------------

std::wstring SimSkypePath() { return GetModuleDirectory() + L"SimSkype.exe"; }

namespace {

HANDLE Launch(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info))
    return nullptr;
  CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace

int RunProgram(const std::wstring& program, const std::wstring& arguments) {
  HANDLE process = Launch(program, arguments);
  if (!process) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int>(code);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::string bytes = ReadFileBytes(path);
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) break;  // a line still being written
    lines.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

SimClient::SimClient(const std::string& scenario, const std::wstring& program) {
  WriteFileBytes(dir_.file(L"scenario.txt"), scenario);
  process_ = Launch(program.empty() ? SimSkypePath() : program,
                    L"--dir \"" + dir_.path() + L"\" \"" + dir_.file(L"scenario.txt") + L"\"");
}

SimClient::~SimClient() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 99);  // a failed test's client must not outlive it
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
}

int SimClient::waitExit(std::chrono::milliseconds deadline) {
  if (!process_) return -1;
  if (WaitForSingleObject(process_, static_cast<DWORD>(deadline.count())) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<int>(code);
}

bool SimClient::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::vector<std::string> SimClient::commands() const { return ReadLines(dir_.file(L"commands.log")); }
std::vector<std::string> SimClient::events() const { return ReadLines(dir_.file(L"events.log")); }

bool SimClient::waitForEvent(const std::string& prefix) const {
  return WaitUntil([&] {
    for (const std::string& line : events())
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  });
}

bool SimClient::waitForLine(const std::string& line) const {
  return WaitUntil([&] { return hasEvent(line); });
}

bool SimClient::hasEvent(const std::string& line) const {
  auto e = events();
  return std::find(e.begin(), e.end(), line) != e.end();
}

WindowId SimClient::apiWindow() const {
  for (const std::string& line : events())
    if (line.rfind("ready ", 0) == 0) return static_cast<WindowId>(std::stoull(line.substr(6)));
  return 0;
}

std::string SimClient::rawFile(int call, const char* direction) const {
  return ReadFileBytes(dir_.file(L"call" + std::to_wstring(call) + L"_" +
                                 std::wstring(direction, direction + strlen(direction)) + L".raw"));
}
