// What SimSkype writes down: events.log (every message it sent and got, every
// stream's connect and end, each step's outcome) and commands.log (each
// command from the recorder, one a line) in the --dir folder, which the tests
// read; and the progress lines on the standard output for whoever watches.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace simclient {

class Logs {
 public:
  bool Open(const std::wstring& dir);
  ~Logs();
  // `name` in the --dir folder.
  std::wstring Path(const std::wstring& name) const;
  void Event(const std::string& line) { Write(events_, line); }
  void Command(const std::string& line) { Write(commands_, line); }

 private:
  void Write(FILE* file, const std::string& line);
  std::mutex mutex_;
  std::wstring dir_;
  FILE* events_ = nullptr;
  FILE* commands_ = nullptr;
};

extern Logs logs;

// One progress line to the standard output, written through at once. LF only,
// whatever the C runtime's text mode would make of it.
void Say(const std::string& line);

}  // namespace simclient
