// What a stream writer sleeps on between its pieces of work: an auto-reset
// event (a Windows event object; a mutex, a condition variable and a flag on
// POSIX). The hand-off sets it when a block becomes Ready or when audio
// arrives for a writer that has written everything, and the session sets it
// when it asks for a pause, a resume or a stop. A writer therefore wakes for
// these and for a deadline of its own, never to look for work.
#pragma once

#include <chrono>
#include <cstdint>

class WriterWake {
 public:
  using Clock = std::chrono::steady_clock;

  WriterWake();
  ~WriterWake();
  WriterWake(const WriterWake&) = delete;
  WriterWake& operator=(const WriterWake&) = delete;

  // Sets the event; it stays set until a wait takes it.
  void Notify();
  // Waits until the event is set (it is reset then) or the deadline passes;
  // Clock::time_point::max() waits without a limit. True when the event woke it.
  bool WaitUntil(Clock::time_point deadline);

 private:
  struct State;
  State* state_;
};
