#include "tools/simclient/scenario_runner_win32.h"

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/strings.h"
#include "tools/simclient/api_window_win32.h"
#include "tools/simclient/audio_streams_win32.h"
#include "tools/simclient/client_state_win32.h"
#include "tools/simclient/commands.h"
#include "tools/simclient/logs_win32.h"
#include "tools/simclient/outbox_win32.h"
#include "tools/simclient/signal.h"

namespace simclient {
namespace {

// Waits for `condition` (under shared.mutex) for the scenario's timeout; 0 is
// no limit.
template <typename Condition>
bool WaitFor(Condition condition) {
  std::unique_lock<std::mutex> lock(shared.mutex);
  if (scenario.timeoutMs == 0) {
    shared.changed.wait(lock, condition);
    return true;
  }
  return shared.changed.wait_for(lock, std::chrono::milliseconds(scenario.timeoutMs), condition);
}

void SendNotification(const std::string& text, bool foreign) {
  int32_t call = 0;
  if (!foreign && EndsCall(text, call)) {
    // The call's audio ends before the client says that the call has.
    StopStreams(call, false);
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.callsInProgress.erase(call);
  }
  OutItem item;
  item.kind = foreign ? OutItem::Kind::Foreign : OutItem::Kind::Notify;
  item.text = text;
  outbox.PushAndWait(item);
  if (!foreign && StartsCall(text, call)) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.callsInProgress.emplace(call, Clock::now());
  }
}

// The threads of the recorder's process.
std::set<DWORD> RecorderThreads(DWORD process) {
  std::set<DWORD> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == process) threads.insert(entry.th32ThreadID);
  CloseHandle(snapshot);
  return threads;
}

DWORD RecorderProcess() {
  DWORD process = 0;
  if (HWND recorder = FindWindowW(kRecorderWindowClass, nullptr)) GetWindowThreadProcessId(recorder, &process);
  return process;
}

}  // namespace

void TickDurations() {
  std::unique_lock<std::mutex> lock(shared.mutex);
  while (!shared.ending) {
    if (shared.changed.wait_for(lock, std::chrono::milliseconds(scenario.durationTickMs), [] { return shared.ending; }))
      break;
    auto now = Clock::now();
    for (const auto& call : shared.callsInProgress) {
      auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - call.second).count();
      OutItem item;
      item.kind = OutItem::Kind::Notify;
      item.text = "CALL " + std::to_string(call.first) + " DURATION " + std::to_string(seconds);
      outbox.Push(item);
    }
  }
}

int RunScenario() {
  int consumedDiscovers = 0, consumedAttach = 0;
  // What the recorder ran when the scenario began; the threads it starts
  // later (a recording's writers) are the ones a hold suspends.
  const DWORD recorderProcess = RecorderProcess();
  const std::set<DWORD> recorderThreadsAtStart = RecorderThreads(recorderProcess);
  std::vector<HANDLE> heldThreads;
  // However the scenario ends, no thread of the recorder stays held.
  struct ReleaseAtEnd {
    std::vector<HANDLE>& threads;
    ~ReleaseAtEnd() {
      for (HANDLE handle : threads) {
        ResumeThread(handle);
        CloseHandle(handle);
      }
    }
  } releaseAtEnd{heldThreads};
  size_t commandCursor = 0;
  size_t number = 0;
  for (const Step& step : scenario.steps) {
    bool ok = true;
    ++number;
    Say(StepBeginText(number, step));
    const auto began = Clock::now();
    switch (step.kind) {
      case Step::Kind::WaitDiscover:
        ok = WaitFor([&] {
          if (shared.discovers <= consumedDiscovers) return false;
          consumedDiscovers = shared.discovers;
          return true;
        });
        break;
      case Step::Kind::WaitAttach:
        ok = WaitFor([&] {
          if (shared.userHandleReplies <= consumedAttach) return false;
          consumedAttach = shared.userHandleReplies;
          return true;
        });
        break;
      case Step::Kind::WaitCommand:
        ok = WaitFor([&] {
          for (size_t i = commandCursor; i < shared.commands.size(); ++i)
            if (SameTextNoCase(shared.commands[i], step.text)) {
              commandCursor = i + 1;
              return true;
            }
          return false;
        });
        break;
      case Step::Kind::WaitAudio: {
        int64_t bytes = step.number * kSampleRate * 2 / 1000;
        ok = WaitFor([&] { return shared.bytesSent[{step.call, step.direction}] >= bytes; });
        break;
      }
      case Step::Kind::WaitClosed:
        ok = WaitFor([&] { return shared.closedClasses.count(step.text) != 0; });
        break;
      case Step::Kind::Sleep:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.number));
        break;
      case Step::Kind::Reset:
        ok = ResetStream(step.call, step.direction);
        break;
      case Step::Kind::Notify:
      case Step::Kind::Foreign:
        SendNotification(step.text, step.kind == Step::Kind::Foreign);
        break;
      case Step::Kind::SendAttach: {
        OutItem item;
        item.kind = OutItem::Kind::Attach;
        item.status = static_cast<uint32_t>(step.number);
        outbox.PushAndWait(item);
        break;
      }
      case Step::Kind::Window:
        ShowClientWindow(step.text);
        break;
      case Step::Kind::CloseWindow:
        CloseClientWindow(step.text);
        break;
      case Step::Kind::Press:
      case Step::Kind::PostRecorder: {
        HWND recorder = FindWindowW(kRecorderWindowClass, nullptr);
        bool posted = recorder && (step.kind == Step::Kind::Press
                                       ? PostMessageW(recorder, WM_COMMAND, static_cast<WPARAM>(step.number), 0)
                                       : PostMessageW(recorder, static_cast<UINT>(step.number), step.wParam,
                                                      static_cast<LPARAM>(step.lParam)));
        logs.Event(std::string(step.kind == Step::Kind::Press ? "press " : "post-recorder ") +
                   std::to_string(step.number) + (posted ? " 1" : " 0"));
        break;
      }
      case Step::Kind::PostLink: {
        HWND recorder = Recorder();
        bool posted = recorder && PostMessageW(recorder, static_cast<UINT>(step.number), 0, 0);
        logs.Event("post-link " + std::to_string(step.number) + (posted ? " 1" : " 0"));
        break;
      }
      case Step::Kind::Signal: {
        std::wstring path = logs.Path(WideFromUtf8(step.text));
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE;
        if (ok) CloseHandle(file);
        logs.Event("signal " + step.text);
        break;
      }
      case Step::Kind::WaitFile: {
        std::wstring path = logs.Path(WideFromUtf8(step.text));
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(scenario.timeoutMs);
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && ok) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          ok = scenario.timeoutMs == 0 || std::chrono::steady_clock::now() < end;
        }
        break;
      }
      case Step::Kind::HoldRecorderThreads: {
        if (recorderProcess != 0 && recorderProcess == RecorderProcess())
          for (DWORD thread : RecorderThreads(recorderProcess)) {
            if (recorderThreadsAtStart.count(thread)) continue;
            HANDLE handle = OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread);
            if (handle && SuspendThread(handle) != static_cast<DWORD>(-1))
              heldThreads.push_back(handle);
            else if (handle)
              CloseHandle(handle);
          }
        logs.Event("hold-recorder-threads " + std::to_string(heldThreads.size()));
        break;
      }
      case Step::Kind::ReleaseRecorderThreads:
        for (HANDLE handle : heldThreads) {
          ResumeThread(handle);
          CloseHandle(handle);
        }
        logs.Event("release-recorder-threads " + std::to_string(heldThreads.size()));
        heldThreads.clear();
        break;
      case Step::Kind::Exit:
        return static_cast<int>(step.number);
    }
    if (IsWait(step.kind))
      Say(WaitEndText(
          number, ok, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count()));
    if (!ok) {
      logs.Event("timeout " + std::to_string(step.line));
      return kExitTimeout;
    }
  }
  return kExitOk;
}

}  // namespace simclient
