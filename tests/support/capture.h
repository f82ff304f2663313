// Captures what the product shows the user (message boxes) and writes to its
// diagnostics (DebugTrace) while a test runs.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  std::vector<std::wstring> lines() const;
  bool contains(const std::wstring& line) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> lines_;
};

class MessageBoxCapture {
 public:
  MessageBoxCapture();
  ~MessageBoxCapture();
  std::vector<std::wstring> texts() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> texts_;
};
