#include "tests/support/capture.h"

#include <algorithm>

#include "platform/debug_trace.h"
#include "platform/message_box.h"

TraceCapture::TraceCapture() {
  SetDebugTraceHook([this](const std::wstring& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
  });
}

TraceCapture::~TraceCapture() { SetDebugTraceHook(nullptr); }

std::vector<std::wstring> TraceCapture::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool TraceCapture::contains(const std::wstring& line) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

void TraceCapture::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

MessageBoxCapture::MessageBoxCapture() {
  SetMessageBoxHook([this](const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(text);
  });
}

MessageBoxCapture::~MessageBoxCapture() { SetMessageBoxHook(nullptr); }

std::vector<std::wstring> MessageBoxCapture::texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_;
}
