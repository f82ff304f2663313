// Captures what the product shows the user in message boxes while a test
// runs, instead of showing it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class MessageBoxCapture {
 public:
  MessageBoxCapture();
  ~MessageBoxCapture();
  std::vector<std::wstring> texts() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> texts_;
};
