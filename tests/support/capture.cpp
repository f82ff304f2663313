#include "tests/support/capture.h"

#include "platform/message_box.h"

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
