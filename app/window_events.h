// WindowEventChannel: the one way the recorder's events reach the main window.
// The recorder calls it on its own threads (the link's, the writers', the
// finishing's, the recovery's); it carries each event to the main window's
// thread and calls the same event there on the window's handler, which may
// then touch its controls freely.
//
//   - A call that starts or ends is sent: the link's thread waits until the
//     window has acted on it, so that a recording that starts for the call is
//     there before the call's audio is asked for, and a recording that ends
//     with the last call is being finished before the next call can start.
//   - Everything else is posted; an event for a window that is gone (the exit)
//     is dropped.
//   - A failure that has a box is shown at once, in the user's language, on a
//     thread of its own: it needs no window, and it never holds the thread
//     that reported it.
#pragma once

#include <windows.h>

#include <atomic>

#include "engine/call_recorder.h"

class WindowEventChannel : public RecorderEvents {
 public:
  // The language of the failure boxes; until then they are in English.
  void SetLanguage(const LanguageTable* language) { language_.store(language); }
  // From the window's initialisation: from now on the events go to `handler`
  // on `window`'s thread. Detach when the window goes.
  void Attach(HWND window, RecorderEvents* handler);
  void Detach();

  // SkypeEvents
  void OnClientStateChanged() override;
  void OnCallStarted() override;
  void OnCallEnded() override;
  void OnPartnerKnown() override;
  // RecordingEvents
  void OnRecordingStarted() override;
  void OnRecordingResumed(bool timeRunning) override;
  void OnRecordingPaused() override;
  void OnRecordingFinishing() override;
  void OnRecordingStopped() override;
  void OnRecordingFinished(const FinishedRecording& finished) override;
  void OnRecordingFailed(RecordingFailure failure) override;
  void OnRecordingsRecovered(const RecoveryReport& report) override;
  // SoundEvents
  void OnCaptureHeld(uint64_t hold) override;
  void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) override;
  void OnAutoRecord(bool start, const std::wstring& app) override;

  // Shows a box on a thread of its own (the failures', the start-up's).
  void ShowBox(const std::wstring& text) const;

 private:
  template <typename Event>
  void Post(Event event);
  template <typename Event>
  void Send(Event event);
  void ShowFailure(RecordingFailure failure) const;

  std::atomic<HWND> window_{nullptr};
  std::atomic<RecorderEvents*> handler_{nullptr};
  std::atomic<const LanguageTable*> language_{nullptr};
};
