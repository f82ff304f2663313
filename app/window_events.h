// WindowEventChannel: the one way the recorder's events reach the main window.
// The recorder tells them on its own thread (engine/recorder_events.h); the
// channel posts each to the main window's thread and tells it there to the
// window's handler, which may then touch its controls freely.
//
//   - Events told before the window exists (the start-up: the recovery, the
//     settings) wait and reach the window once it is attached.
//   - An event for a window that is gone (the exit) is dropped.
//   - A failure that has a box is shown at once, in the user's language, on a
//     thread of its own: it needs no window, and it never holds the thread
//     that reported it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/recorder_events.h"
#include "settings/language.h"

class WindowEventChannel : public RecorderEvents {
 public:
  // The language of the failure boxes; until then they are in English.
  void SetLanguage(const LanguageTable* language) { language_.store(language); }
  // From the window's initialisation: from now on the events go to `handler`
  // on `window`'s thread, those that waited first. Detach when the window
  // goes.
  void Attach(HWND window, RecorderEvents* handler);
  void Detach();

  void OnClientStateChanged() override;
  void OnCallStarted() override;
  void OnCallsEnded() override;
  void OnPartnerKnown() override;
  void OnStarting() override;
  void OnNothingToRecord() override;
  void OnNoAudio() override;
  void OnCallSkipped(const std::wstring& partners) override;
  void OnHolding(bool stopping) override;
  void OnHoldCalledOff() override;
  void OnSettingsChanged() override;
  void OnRecordingsExpired(const RetentionResult& result) override;
  void OnRecordingStarted() override;
  void OnRecordingResumed(bool timeRunning) override;
  void OnRecordingPaused() override;
  void OnRecordingFinishing() override;
  void OnRecordingStopped() override;
  void OnRecordingFinished(const FinishedRecording& finished) override;
  void OnRecordingFailed(RecordingFailure failure, bool ending) override;
  void OnRecordingsRecovered(const RecoveryReport& report) override;
  void OnFailureNotice(RecordingFailure failure) override;
  void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) override;

  // Shows a box on a thread of its own (the failures', the start-up's).
  void ShowBox(const std::wstring& text) const;

 private:
  using Event = std::function<void(RecorderEvents&)>;
  void Post(Event event);

  std::mutex mutex_;
  HWND window_ = nullptr;
  RecorderEvents* handler_ = nullptr;
  bool detached_ = false;
  std::vector<Event> waiting_;  // told before the window was attached
  std::atomic<const LanguageTable*> language_{nullptr};
};
