#include "app/window_events.h"

#include "app/user_messages.h"
#include "platform/message_box.h"
#include "ui/background_work.h"

void WindowEventChannel::Attach(HWND window, RecorderEvents* handler) {
  handler_.store(handler);
  window_.store(window);
}

void WindowEventChannel::Detach() {
  window_.store(nullptr);
  handler_.store(nullptr);
}

template <typename Event>
void WindowEventChannel::Post(Event event) {
  HWND window = window_.load();
  RecorderEvents* handler = handler_.load();
  if (!window || !handler) return;
  // The action runs only while its window exists, and the handler lives as
  // long as the window.
  PostToWindow(window, [handler, event] { event(*handler); });
}

template <typename Event>
void WindowEventChannel::Send(Event event) {
  HWND window = window_.load();
  RecorderEvents* handler = handler_.load();
  if (!window || !handler) return;
  SendToWindow(window, [handler, &event] { event(*handler); });
}

void WindowEventChannel::OnClientStateChanged() {
  Post([](RecorderEvents& h) { h.OnClientStateChanged(); });
}
void WindowEventChannel::OnCallStarted() {
  Send([](RecorderEvents& h) { h.OnCallStarted(); });
}
void WindowEventChannel::OnCallEnded() {
  Send([](RecorderEvents& h) { h.OnCallEnded(); });
}
void WindowEventChannel::OnPartnerKnown() {
  Post([](RecorderEvents& h) { h.OnPartnerKnown(); });
}
void WindowEventChannel::OnRecordingStarted() {
  Post([](RecorderEvents& h) { h.OnRecordingStarted(); });
}
void WindowEventChannel::OnRecordingResumed(bool timeRunning) {
  Post([timeRunning](RecorderEvents& h) { h.OnRecordingResumed(timeRunning); });
}
void WindowEventChannel::OnRecordingPaused() {
  Post([](RecorderEvents& h) { h.OnRecordingPaused(); });
}
void WindowEventChannel::OnRecordingFinishing() {
  Post([](RecorderEvents& h) { h.OnRecordingFinishing(); });
}
void WindowEventChannel::OnRecordingStopped() {
  Post([](RecorderEvents& h) { h.OnRecordingStopped(); });
}
void WindowEventChannel::OnRecordingFinished(const FinishedRecording& finished) {
  Post([finished](RecorderEvents& h) { h.OnRecordingFinished(finished); });
}
void WindowEventChannel::OnRecordingFailed(RecordingFailure failure) {
  ShowFailure(failure);
  Post([failure](RecorderEvents& h) { h.OnRecordingFailed(failure); });
}
void WindowEventChannel::OnRecordingsRecovered(const RecoveryReport& report) {
  for (RecordingFailure failure : report.failures) ShowFailure(failure);
  Post([report](RecorderEvents& h) { h.OnRecordingsRecovered(report); });
}

void WindowEventChannel::OnCaptureHeld(uint64_t hold) {
  Post([hold](RecorderEvents& h) { h.OnCaptureHeld(hold); });
}
void WindowEventChannel::OnCaptureDevice(Direction direction, bool open, const std::wstring& what) {
  Post([direction, open, what](RecorderEvents& h) { h.OnCaptureDevice(direction, open, what); });
}
void WindowEventChannel::OnAutoRecord(bool start, const std::wstring& app) {
  Post([start, app](RecorderEvents& h) { h.OnAutoRecord(start, app); });
}

void WindowEventChannel::ShowBox(const std::wstring& text) const { ShowMessageBoxDetached(text); }

void WindowEventChannel::ShowFailure(RecordingFailure failure) const {
  std::wstring text = FailureMessage(language_.load(), failure);
  if (!text.empty()) ShowBox(text);
}
