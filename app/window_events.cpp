#include "app/window_events.h"

#include "app/user_messages.h"
#include "platform/message_box.h"
#include "ui/background_work.h"

void WindowEventChannel::Attach(HWND window, RecorderEvents* handler) {
  // Those that waited are posted under the lock, so that an event told
  // meanwhile cannot overtake them. The action runs only while its window
  // exists, and the handler lives as long as the window.
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = window;
  handler_ = handler;
  detached_ = false;
  for (Event& event : waiting_) PostToWindow(window, [handler, event] { event(*handler); });
  waiting_.clear();
}

void WindowEventChannel::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = nullptr;
  handler_ = nullptr;
  detached_ = true;
  waiting_.clear();
}

void WindowEventChannel::Post(Event event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!window_) {
    if (!detached_) waiting_.push_back(std::move(event));
    return;
  }
  RecorderEvents* handler = handler_;
  PostToWindow(window_, [handler, event] { event(*handler); });
}

void WindowEventChannel::OnClientStateChanged() {
  Post([](RecorderEvents& h) { h.OnClientStateChanged(); });
}
void WindowEventChannel::OnCallStarted() {
  Post([](RecorderEvents& h) { h.OnCallStarted(); });
}
void WindowEventChannel::OnCallsEnded() {
  Post([](RecorderEvents& h) { h.OnCallsEnded(); });
}
void WindowEventChannel::OnPartnerKnown() {
  Post([](RecorderEvents& h) { h.OnPartnerKnown(); });
}
void WindowEventChannel::OnStarting() {
  Post([](RecorderEvents& h) { h.OnStarting(); });
}
void WindowEventChannel::OnNothingToRecord() {
  Post([](RecorderEvents& h) { h.OnNothingToRecord(); });
}
void WindowEventChannel::OnNoAudio() {
  Post([](RecorderEvents& h) { h.OnNoAudio(); });
}
void WindowEventChannel::OnCallSkipped(const std::wstring& partners) {
  Post([partners](RecorderEvents& h) { h.OnCallSkipped(partners); });
}
void WindowEventChannel::OnHolding(bool stopping) {
  Post([stopping](RecorderEvents& h) { h.OnHolding(stopping); });
}
void WindowEventChannel::OnHoldCalledOff() {
  Post([](RecorderEvents& h) { h.OnHoldCalledOff(); });
}
void WindowEventChannel::OnSettingsChanged() {
  Post([](RecorderEvents& h) { h.OnSettingsChanged(); });
}
void WindowEventChannel::OnRecordingsExpired(const RetentionResult& result) {
  Post([result](RecorderEvents& h) { h.OnRecordingsExpired(result); });
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
void WindowEventChannel::OnRecordingFailed(RecordingFailure failure, bool ending) {
  Post([failure, ending](RecorderEvents& h) { h.OnRecordingFailed(failure, ending); });
}
void WindowEventChannel::OnRecordingsRecovered(const RecoveryReport& report) {
  Post([report](RecorderEvents& h) { h.OnRecordingsRecovered(report); });
}
void WindowEventChannel::OnCaptureDevice(Direction direction, bool open, const std::wstring& what) {
  Post([direction, open, what](RecorderEvents& h) { h.OnCaptureDevice(direction, open, what); });
}

void WindowEventChannel::OnFailureNotice(RecordingFailure failure) {
  std::wstring text = FailureMessage(language_.load(), failure);
  if (!text.empty()) ShowBox(text);
}

void WindowEventChannel::ShowBox(const std::wstring& text) const { ShowMessageBoxDetached(text); }
