// Catches the messages the engine sends or posts to the main window: natively
// through the stand-in user-interface thread, on Windows through a hidden
// window of its own published as the main window.
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class MainWindowProbe {
 public:
  MainWindowProbe();
  ~MainWindowProbe();
  std::vector<uint32_t> messages() const;
  size_t count(uint32_t message) const;
  void Record(uint32_t message);

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> messages_;
#ifdef _WIN32
  std::thread thread_;
  void* window_ = nullptr;
  unsigned long threadId_ = 0;
#endif
};
