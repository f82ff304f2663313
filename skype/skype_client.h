// Everything the recorder knows of and does with the Skype client: the link
// (skype_link.h), the call state machine (call_state.h) that the link's
// notifications drive, and the two link threads (link_threads.h) that run
// them. The recorder owns one; the application hands it the settings the
// calls read and the events it wants to hear.
#pragma once

#include <chrono>
#include <string>

#include "skype/call_state.h"
#include "skype/link_threads.h"
#include "skype/skype_events.h"
#include "skype/skype_link.h"

class SettingsStore;

class SkypeClient {
 public:
  SkypeClient(const SettingsStore& settings, SkypeEvents& events);
  // Stops the link threads.
  ~SkypeClient();
  SkypeClient(const SkypeClient&) = delete;
  SkypeClient& operator=(const SkypeClient&) = delete;

  SkypeLink link;
  CallStateMachine calls;

  const SettingsStore& settings() const { return settings_; }

  // Handles one notification (SkypeMessageThread only): a call notification
  // goes to the call state machine, which sends its commands through the link;
  // every notification then goes to the link's connection handling.
  void ParseMessage(const std::wstring& text);

  // Starts SkypeWatchThread, then SkypeMessageThread; nothing when they run.
  void StartThreads() { threads_.Start(); }
  // See LinkThreads::Stop.
  bool StopThreads(std::chrono::milliseconds deadline = kLinkStopDeadline) { return threads_.Stop(deadline); }

 private:
  const SettingsStore& settings_;
  LinkThreads threads_;
};
