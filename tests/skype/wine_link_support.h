// Windows tests of the client link against SimSkype.exe as a second process.
//
// RecorderSide: the recorder's half of the link in this process, as the
// application sets it up: a client object of its own, a user-interface thread
// with a message loop and a test main window, the message window created by
// the main window's initialisation, and the two link threads. It is the
// application's side of the link too: like the application's adapter, it
// carries each event to the main window's thread (the calls and the client's
// state by SendMessageW, which waits until the window has handled them; the
// partner by PostMessageW), where the window writes it down.
//
// EventNames, BareClient: a client without a user-interface thread, for tests
// of the window control that need only a link or the watcher.
//
// SimClient: one run of SimSkype.exe with a scenario, its files read back.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"
#include "skype/skype_link.h"
#include "tests/support/temp_dir.h"

class RecorderSide : public SkypeEvents {
 public:
  // `settings` is the set in force from the start: the watcher reads it from
  // its first cycle on.
  explicit RecorderSide(const SettingsRecord& settings = SettingsRecord());
  ~RecorderSide() override;
  RecorderSide(const RecorderSide&) = delete;
  RecorderSide& operator=(const RecorderSide&) = delete;

  SettingsStore& settings() { return settings_; }
  SkypeClient& client() { return client_; }
  SkypeLink& link() { return client_.link; }
  CallStateMachine& calls() { return client_.calls; }

  bool linkActive() const { return linkActive_; }
  HWND mainWindow() const { return mainWindow_; }

  // The link's flags right after the message window handled an attach message.
  struct AttachSeen {
    uintptr_t status;
    WindowId apiWindow;
    uint32_t attached;
    uint32_t loggedOut;
  };
  std::vector<AttachSeen> attachesSeen() const;

  // The events the main window handled: "STARTED", "ENDED", "STATUS", "PARTNER".
  std::vector<std::wstring> messages() const;
  // attached and loggedOut as each STATUS was handled.
  std::vector<std::pair<uint32_t, uint32_t>> flagsAtStatus() const;
  size_t countOf(const std::wstring& message) const;

  // Runs `task` on the user-interface thread, from its message loop.
  void post(std::function<void()> task);

  // SkypeEvents, on the thread that tells them.
  void OnClientStateChanged() override;
  void OnCallStarted() override;
  void OnCallEnded() override;
  void OnPartnerKnown() override;

 private:
  static LRESULT CALLBACK MainWindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK MessageWindowSubclass(HWND, UINT, WPARAM, LPARAM);
  void Run();

  SettingsStore settings_;
  mutable std::mutex mutex_;
  std::vector<AttachSeen> attaches_;
  std::vector<std::wstring> messages_;
  std::vector<std::pair<uint32_t, uint32_t>> flagsAtStatus_;
  std::thread thread_;
  HWND mainWindow_ = nullptr;
  bool linkActive_ = false;
  WNDPROC originalProc_ = nullptr;
  // Last, so that it goes first: its threads tell this object.
  SkypeClient client_;
};

// The application's side of a client without a window: the events it was
// told, by name, on whichever thread told them.
class EventNames : public SkypeEvents {
 public:
  std::vector<std::wstring> names() const;
  void OnClientStateChanged() override { Add(L"STATUS"); }
  void OnCallStarted() override { Add(L"STARTED"); }
  void OnCallEnded() override { Add(L"ENDED"); }
  void OnPartnerKnown() override { Add(L"PARTNER"); }

 private:
  void Add(const wchar_t* name);
  mutable std::mutex mutex_;
  std::vector<std::wstring> names_;
};

// A client of the test's own, with default settings, not attached.
struct BareClient {
  SettingsStore settings;
  EventNames events;
  SkypeClient client{settings, events};
};

class SimClient {
 public:
  // Writes the scenario to a file of its own folder and starts `program`
  // (SimSkype.exe beside the tests when empty) with --dir that folder.
  explicit SimClient(const std::string& scenario, const std::wstring& program = std::wstring());
  ~SimClient();

  bool started() const { return process_ != nullptr; }
  // Waits for the program to end; its exit code, or -1 when it did not end in time.
  int waitExit(std::chrono::milliseconds deadline = std::chrono::milliseconds(90000));
  bool running() const;

  std::vector<std::string> commands() const;  // commands.log
  std::vector<std::string> events() const;    // events.log
  // Waits until events.log has a line that starts with `prefix`.
  bool waitForEvent(const std::string& prefix) const;
  // Waits until events.log has exactly this line.
  bool waitForLine(const std::string& line) const;
  bool hasEvent(const std::string& line) const;
  // The API window, from the "ready" event.
  WindowId apiWindow() const;

  const TempDir& dir() const { return dir_; }
  std::string rawFile(int call, const char* direction) const;

 private:
  TempDir dir_;
  HANDLE process_ = nullptr;
};

// SimSkype.exe beside the test program.
std::wstring SimSkypePath();
// Runs a program with arguments and returns its exit code (-1 on failure).
int RunProgram(const std::wstring& program, const std::wstring& arguments);
// Lines of a UTF-8 text file, without line ends.
std::vector<std::string> ReadLines(const std::wstring& path);
