// Native builds only: the Skype client's stand-in. There is no client and no
// window system off Windows, so the native tests, benchmarks and fuzzers link
// these implementations of the link's platform operations
// (skype/skype_transport.h, skype/window_control.h), which call what a test
// sets here: skype_transport_standin.cpp, window_control_standin.cpp. Without
// a hook: a command is not accepted, a broadcast goes nowhere, no client is
// installed, running or showing a window, and nothing is opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "skype/skype_api.h"

struct SkypeClientStandIn {
  // A command as the client's window receives it: lpData with cbData bytes.
  std::function<bool(WindowId apiWindow, WindowId fromWindow, const std::string& data)> command;
  std::function<void(WindowId fromWindow)> discover;
  // Whether the client's API window still exists (without a hook: it does).
  std::function<bool(WindowId apiWindow)> windowExists;
  // The process that owns the client's API window (without a hook: none, 0).
  std::function<uint32_t(WindowId apiWindow)> windowProcess;
  std::function<WindowId()> findMainWindow;
  std::function<void()> closeCallQualityWindows;
  std::function<bool(std::wstring& path)> skypePath;
  std::function<bool()> skypeRunning;
  std::function<void(const std::wstring& target)> shellOpen;
  // A thread begins to wait for threads to end while it serves the messages
  // sent to it (a stop of the link threads does so).
  std::function<void()> waitBegins;
};

// Replaces the stand-in; an empty record removes every hook.
void SetSkypeClientStandIn(SkypeClientStandIn standIn);

// Used by the implementations: a copy of the current hooks.
SkypeClientStandIn CurrentSkypeClientStandIn();
