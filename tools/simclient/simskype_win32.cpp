// SimSkype.exe: a simulated Skype desktop client (see kScenarioHelp).
//
// Threads: the main thread owns the windows (the API window that talks to the
// recorder, a second window for foreign senders, the client-class windows) and
// runs their message loop; the scenario thread runs the steps; the outbox
// thread sends everything that goes to the recorder, in order, so that answers
// and notifications reach it in the order they were made; one thread per audio
// stream; one for the DURATION ticks.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/strings.h"
#include "skype/skype_api.h"
#include "tools/simclient/commands.h"
#include "tools/simclient/scenario.h"
#include "tools/simclient/signal.h"

namespace sc = simclient;
using Clock = std::chrono::steady_clock;

namespace {

constexpr wchar_t kApiWindowClass[] = L"SimSkypeApiWindow";
constexpr wchar_t kForeignWindowClass[] = L"SimSkypeForeignWindow";
constexpr UINT WM_APP_CREATE_WINDOW = WM_APP + 1;   // lParam: class name; result: the window
constexpr UINT WM_APP_DESTROY_WINDOW = WM_APP + 2;  // lParam: class name
constexpr UINT WM_APP_QUIT = WM_APP + 3;
constexpr char kDefaultScenario[] =
    "timeout 0\n"
    "window tSkMainForm.UnicodeClass\n"
    "wait closed tSkMainForm.UnicodeClass\n";

constexpr int kExitOk = 0, kExitUsage = 1, kExitScenario = 2, kExitTimeout = 3, kExitInstall = 4;
constexpr int kExitRecorderHidden = 5, kExitNoRecorder = 6, kExitNoBalloon = 7, kExitNoControl = 8;
// The recorder's main window, for the steps that press its buttons.
constexpr wchar_t kRecorderWindowClass[] = L"SkypeDorvRecorder.Class";

UINT attachMessage = 0;
UINT discoverMessage = 0;

std::string Narrow(const std::wstring& text) { return Utf8FromWide(text); }
std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

// --- Files the tests read ----------------------------------------------------

class Logs {
 public:
  bool Open(const std::wstring& dir) {
    dir_ = dir;
    events_ = _wfopen(Path(L"events.log").c_str(), L"wb");
    commands_ = _wfopen(Path(L"commands.log").c_str(), L"wb");
    return events_ && commands_;
  }
  ~Logs() {
    if (events_) fclose(events_);
    if (commands_) fclose(commands_);
  }
  std::wstring Path(const std::wstring& name) const {
    if (dir_.empty()) return name;
    wchar_t last = dir_.back();
    return dir_ + (last == L'\\' || last == L'/' ? L"" : L"\\") + name;
  }
  void Event(const std::string& line) { Write(events_, line); }
  void Command(const std::string& line) { Write(commands_, line); }

 private:
  void Write(FILE* file, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file) return;
    fwrite(line.data(), 1, line.size(), file);
    fputc('\n', file);
    fflush(file);
  }
  std::mutex mutex_;
  std::wstring dir_;
  FILE* events_ = nullptr;
  FILE* commands_ = nullptr;
};

Logs logs;

// One progress line to the standard output, written through at once (the
// logs above are what the tests read; this is for whoever watches). LF only,
// whatever the C runtime's text mode would make of it.
void Say(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// --- What the threads share ---------------------------------------------------

struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  HWND recorder = nullptr;
  int discovers = 0;
  int userHandleReplies = 0;
  std::vector<std::string> commands;
  std::set<std::string> closedClasses;
  std::map<std::pair<int32_t, sc::AudioDirection>, int64_t> bytesSent;
  std::map<int32_t, Clock::time_point> callsInProgress;
  bool ending = false;
};

Shared shared;
sc::Scenario scenario;
HWND apiWindow = nullptr;
HWND foreignWindow = nullptr;
DWORD mainThreadId = 0;

// --- The outbox: everything sent to the recorder, in order ---------------------

struct OutItem {
  enum class Kind { Attach, Notify, Foreign, Reply } kind;
  std::string text;
  uint32_t status = 0;
  int64_t delayMs = 0;
  bool userHandleReply = false;
  std::shared_ptr<std::atomic<bool>> sent = std::make_shared<std::atomic<bool>>(false);
};

class Outbox {
 public:
  void Push(OutItem item) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
    changed_.notify_all();
  }
  // Pushes and waits until the item has gone out.
  void PushAndWait(OutItem item) {
    auto sent = item.sent;
    Push(std::move(item));
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return sent->load() || stopped_; });
  }
  void Run();
  // Sends what is queued, then ends the thread.
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finishing_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }
  void Start() { thread_ = std::thread([this] { Run(); }); }

 private:
  void Send(const OutItem& item);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<OutItem> items_;
  bool finishing_ = false;
  bool stopped_ = false;
  std::thread thread_;
};

Outbox outbox;

// WM_COPYDATA with the text and one zero byte; the recorder's answer, or -1
// when the send failed or timed out.
long long SendCopyData(HWND to, HWND from, const std::string& text) {
  std::string data = text;
  data.push_back('\0');
  COPYDATASTRUCT copy = {};
  copy.cbData = static_cast<DWORD>(data.size());
  copy.lpData = data.data();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&copy),
                           SMTO_NORMAL, 10000, &result))
    return -1;
  return static_cast<long long>(result);
}

HWND Recorder() {
  std::lock_guard<std::mutex> lock(shared.mutex);
  return shared.recorder;
}

void Outbox::Send(const OutItem& item) {
  if (item.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(item.delayMs));
  HWND recorder = Recorder();
  switch (item.kind) {
    case OutItem::Kind::Attach: {
      if (recorder == nullptr) {
        PostMessageW(HWND_BROADCAST, attachMessage, reinterpret_cast<WPARAM>(apiWindow), item.status);
        logs.Event("attach " + std::to_string(item.status) + " broadcast");
        break;
      }
      DWORD_PTR result = 0;
      long long r = SendMessageTimeoutW(recorder, attachMessage, reinterpret_cast<WPARAM>(apiWindow), item.status,
                                        SMTO_NORMAL, 10000, &result)
                        ? static_cast<long long>(result)
                        : -1;
      logs.Event("attach " + std::to_string(item.status) + " " + std::to_string(r));
      break;
    }
    case OutItem::Kind::Notify:
    case OutItem::Kind::Reply:
    case OutItem::Kind::Foreign: {
      const char* name = item.kind == OutItem::Kind::Notify ? "notify "
                         : item.kind == OutItem::Kind::Reply ? "reply "
                                                              : "foreign ";
      if (recorder == nullptr) {
        logs.Event(std::string(name) + "none " + item.text);
        break;
      }
      HWND from = item.kind == OutItem::Kind::Foreign ? foreignWindow : apiWindow;
      long long r = SendCopyData(recorder, from, item.text);
      logs.Event(name + std::to_string(r) + " " + item.text);
      if (item.userHandleReply && r > 0) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        ++shared.userHandleReplies;
        shared.changed.notify_all();
      }
      break;
    }
  }
}

void Outbox::Run() {
  for (;;) {
    OutItem item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !items_.empty() || finishing_; });
      if (items_.empty()) {
        stopped_ = true;
        changed_.notify_all();
        return;
      }
      item = items_.front();
      items_.pop_front();
    }
    Send(item);
    std::lock_guard<std::mutex> lock(mutex_);
    item.sent->store(true);
    changed_.notify_all();
  }
}

// --- Audio streams ---------------------------------------------------------------

struct Stream {
  int32_t call;
  sc::AudioDirection direction;
  int port;
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool reset = false;  // a reset step asks for an abortive close and a new connection
  bool ended = false;
  std::thread thread;
};

std::mutex streamsMutex;
std::map<std::pair<int32_t, sc::AudioDirection>, std::shared_ptr<Stream>> streams;
std::map<std::pair<int32_t, sc::AudioDirection>, std::shared_ptr<sc::SignalGenerator>> generators;

std::string StreamName(int32_t call, sc::AudioDirection d) {
  return std::to_string(call) + " " + sc::DirectionName(d);
}

std::wstring RawFilePath(int32_t call, sc::AudioDirection d) {
  return logs.Path(L"call" + std::to_wstring(call) + (d == sc::AudioDirection::Out ? L"_out.raw" : L"_in.raw"));
}

// The recorder listens for its whole run; a few tries cover a server that is
// just starting. Gives up early when the call ends meanwhile.
SOCKET Connect(Stream& stream) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(stream.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return s;
    closesocket(s);
    std::unique_lock<std::mutex> lock(stream.mutex);
    if (stream.changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return stream.stop; })) break;
  }
  return INVALID_SOCKET;
}

void StreamBody(Stream& stream, sc::SignalGenerator& generator) {
  std::string name = StreamName(stream.call, stream.direction);
  SOCKET s = Connect(stream);
  if (s == INVALID_SOCKET) {
    logs.Event("connect-failed " + name + " " + std::to_string(stream.port));
    return;
  }
  logs.Event("connect " + name + " " + std::to_string(stream.port));
  FILE* raw = _wfopen(RawFilePath(stream.call, stream.direction).c_str(), L"ab");
  const size_t chunkSamples = static_cast<size_t>(sc::kSampleRate * scenario.chunkMs / 1000);
  std::vector<int16_t> samples(chunkSamples);
  long long total = 0;
  auto key = std::make_pair(stream.call, stream.direction);
  // Chunks go out on a fixed schedule, so the stream keeps real time on
  // average even when one send is late.
  auto next = Clock::now();
  for (;;) {
    bool reset = false;
    {
      std::unique_lock<std::mutex> lock(stream.mutex);
      stream.changed.wait_until(lock, next, [&] { return stream.stop || stream.reset; });
      if (stream.stop) break;
      reset = std::exchange(stream.reset, false);
    }
    if (reset) {
      // SO_LINGER with a zero time: the close sends a reset, not an orderly end.
      linger abortive = {1, 0};
      setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
      closesocket(s);
      logs.Event("reset " + name);
      s = Connect(stream);
      if (s == INVALID_SOCKET) {
        logs.Event("connect-failed " + name + " " + std::to_string(stream.port));
        if (raw) fclose(raw);
        return;
      }
      logs.Event("connect " + name + " " + std::to_string(stream.port));
      continue;
    }
    generator.Fill(samples.data(), samples.size());
    const char* bytes = reinterpret_cast<const char*>(samples.data());
    size_t size = samples.size() * sizeof(int16_t), done = 0;
    bool failed = false;
    while (done < size) {
      int n = send(s, bytes + done, static_cast<int>(size - done), 0);
      if (n <= 0) {
        failed = true;
        break;
      }
      // Exactly what the connection took goes to the file.
      if (raw) {
        fwrite(bytes + done, 1, static_cast<size_t>(n), raw);
        fflush(raw);
      }
      done += static_cast<size_t>(n);
      total += n;
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.bytesSent[key] += n;
      shared.changed.notify_all();
    }
    if (failed) break;
    next += std::chrono::milliseconds(scenario.chunkMs);
  }
  if (raw) fclose(raw);
  shutdown(s, SD_SEND);
  closesocket(s);
  logs.Event("stream-end " + name + " " + std::to_string(total));
}

void RunStream(std::shared_ptr<Stream> stream, std::shared_ptr<sc::SignalGenerator> generator) {
  StreamBody(*stream, *generator);
  std::lock_guard<std::mutex> lock(stream->mutex);
  stream->ended = true;
}

void StartStream(int32_t call, sc::AudioDirection direction, int port) {
  auto key = std::make_pair(call, direction);
  std::lock_guard<std::mutex> lock(streamsMutex);
  auto it = streams.find(key);
  if (it != streams.end()) {
    bool running;
    {
      std::lock_guard<std::mutex> streamLock(it->second->mutex);
      running = !it->second->stop && !it->second->ended;
    }
    if (running) return;  // this direction of the call streams already
    if (it->second->thread.joinable()) it->second->thread.join();
  }
  auto& generator = generators[key];
  if (!generator) {
    std::string error;
    generator = sc::SignalGenerator::Create(scenario.AudioOf(call, direction), error);
    if (!generator) {
      logs.Event("signal-failed " + StreamName(call, direction) + " " + error);
      return;
    }
  }
  auto stream = std::make_shared<Stream>();
  stream->call = call;
  stream->direction = direction;
  stream->port = port;
  stream->thread = std::thread(RunStream, stream, generator);
  streams[key] = stream;
}

// Ends the streams of one call (or all, for `all`) and waits for them.
void StopStreams(int32_t call, bool all) {
  std::vector<std::shared_ptr<Stream>> stopping;
  {
    std::lock_guard<std::mutex> lock(streamsMutex);
    for (auto& entry : streams)
      if (all || entry.first.first == call) stopping.push_back(entry.second);
  }
  for (auto& stream : stopping) {
    std::lock_guard<std::mutex> lock(stream->mutex);
    stream->stop = true;
    stream->changed.notify_all();
  }
  std::lock_guard<std::mutex> lock(streamsMutex);
  for (auto& stream : stopping)
    if (stream->thread.joinable()) stream->thread.join();
}

// --- Windows -------------------------------------------------------------------------

std::map<std::string, HWND> clientWindows;  // main thread only

void HandleCommand(const COPYDATASTRUCT* copy) {
  const char* data = static_cast<const char*>(copy->lpData);
  size_t size = data ? copy->cbData : 0;
  const void* zero = size ? memchr(data, 0, size) : nullptr;
  std::string text(data ? data : "", zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : size);
  // The recorder's wire format: the text and two zero bytes, all counted.
  bool twoZeros = size >= 2 && data[size - 1] == 0 && data[size - 2] == 0 && text.size() + 2 == size;
  logs.Event("command " + std::to_string(size) + (twoZeros ? "" : " (not text+2 zero bytes)") + " " + text);
  logs.Command(text);
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.commands.push_back(text);
    shared.changed.notify_all();
  }
  sc::ClientCommand command = sc::ClassifyCommand(text);
  if (command.kind == sc::ClientCommand::Kind::AlterCallAudio && command.port > 0)
    StartStream(command.call, command.direction, command.port);
  if (command.kind == sc::ClientCommand::Kind::WindowState) {
    logs.Event("windowstate " + command.state);
    for (auto& entry : clientWindows) {
      if (scenario.hideWindows) break;
      bool isMain = false;
      for (const wchar_t* name : kSkypeMainWindowClasses) isMain = isMain || entry.first == Narrow(name);
      if (!isMain) continue;
      if (sc::SameTextNoCase(command.state, "HIDDEN")) ShowWindow(entry.second, SW_HIDE);
      else if (sc::SameTextNoCase(command.state, "NORMAL")) ShowWindow(entry.second, SW_SHOWNOACTIVATE);
    }
  }
  std::string answer = sc::AnswerTo(scenario, command, text);
  if (!answer.empty()) {
    OutItem reply;
    reply.kind = OutItem::Kind::Reply;
    reply.text = answer;
    reply.delayMs = scenario.replyDelayMs;
    reply.userHandleReply = command.kind == sc::ClientCommand::Kind::GetCurrentUserHandle;
    outbox.Push(reply);
  }
}

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    std::string className = Narrow(name);
    logs.Event("WM_CLOSE " + className);
    clientWindows.erase(className);
    DestroyWindow(window);
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.closedClasses.insert(className);
    shared.changed.notify_all();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateClientWindow(const std::string& className) {
  std::wstring wide = WideFromUtf8(className);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ClientWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = wide.c_str();
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&windowClass);  // may be registered already
  HWND window = CreateWindowExW(0, wide.c_str(), L"SimSkype", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window) {
    if (!scenario.hideWindows) ShowWindow(window, SW_SHOWNOACTIVATE);
    clientWindows[className] = window;
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.closedClasses.erase(className);
  }
  logs.Event((window ? "window " : "window-failed ") + className);
  return window;
}

LRESULT CALLBACK ApiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (discoverMessage != 0 && message == discoverMessage) {
    HWND recorder = reinterpret_cast<HWND>(wParam);
    size_t index;
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.recorder = recorder;
      index = static_cast<size_t>(shared.discovers++);
      shared.changed.notify_all();
    }
    logs.Event("discover " + HandleText(recorder));
    const auto& groups = scenario.attachGroups;
    for (uint32_t status : groups[std::min(index, groups.size() - 1)]) {
      OutItem item;
      item.kind = OutItem::Kind::Attach;
      item.status = status;
      outbox.Push(item);
    }
    return 0;
  }
  switch (message) {
    case WM_COPYDATA:
      HandleCommand(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return 1;
    case WM_APP_CREATE_WINDOW:
      return reinterpret_cast<LRESULT>(CreateClientWindow(*reinterpret_cast<const std::string*>(lParam)));
    case WM_APP_DESTROY_WINDOW: {
      auto it = clientWindows.find(*reinterpret_cast<const std::string*>(lParam));
      if (it != clientWindows.end()) {
        DestroyWindow(it->second);
        clientWindows.erase(it);
      }
      return 0;
    }
    case WM_APP_QUIT:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// --- The scenario -----------------------------------------------------------------------

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
  if (!foreign && sc::EndsCall(text, call)) {
    // The call's audio ends before the client says that the call has.
    StopStreams(call, false);
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.callsInProgress.erase(call);
  }
  OutItem item;
  item.kind = foreign ? OutItem::Kind::Foreign : OutItem::Kind::Notify;
  item.text = text;
  outbox.PushAndWait(item);
  if (!foreign && sc::StartsCall(text, call)) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.callsInProgress.emplace(call, Clock::now());
  }
}

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
  for (const sc::Step& step : scenario.steps) {
    bool ok = true;
    ++number;
    Say(sc::StepBeginText(number, step));
    const auto began = Clock::now();
    switch (step.kind) {
      case sc::Step::Kind::WaitDiscover:
        ok = WaitFor([&] {
          if (shared.discovers <= consumedDiscovers) return false;
          consumedDiscovers = shared.discovers;
          return true;
        });
        break;
      case sc::Step::Kind::WaitAttach:
        ok = WaitFor([&] {
          if (shared.userHandleReplies <= consumedAttach) return false;
          consumedAttach = shared.userHandleReplies;
          return true;
        });
        break;
      case sc::Step::Kind::WaitCommand:
        ok = WaitFor([&] {
          for (size_t i = commandCursor; i < shared.commands.size(); ++i)
            if (sc::SameTextNoCase(shared.commands[i], step.text)) {
              commandCursor = i + 1;
              return true;
            }
          return false;
        });
        break;
      case sc::Step::Kind::WaitAudio: {
        int64_t bytes = step.number * sc::kSampleRate * 2 / 1000;
        ok = WaitFor([&] { return shared.bytesSent[{step.call, step.direction}] >= bytes; });
        break;
      }
      case sc::Step::Kind::WaitClosed:
        ok = WaitFor([&] { return shared.closedClasses.count(step.text) != 0; });
        break;
      case sc::Step::Kind::Sleep:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.number));
        break;
      case sc::Step::Kind::Reset: {
        std::shared_ptr<Stream> stream;
        {
          std::lock_guard<std::mutex> lock(streamsMutex);
          auto found = streams.find({step.call, step.direction});
          if (found != streams.end()) stream = found->second;
        }
        ok = stream != nullptr;
        if (stream) {
          std::lock_guard<std::mutex> lock(stream->mutex);
          stream->reset = true;
          stream->changed.notify_all();
        }
        break;
      }
      case sc::Step::Kind::Notify:
      case sc::Step::Kind::Foreign:
        SendNotification(step.text, step.kind == sc::Step::Kind::Foreign);
        break;
      case sc::Step::Kind::SendAttach: {
        OutItem item;
        item.kind = OutItem::Kind::Attach;
        item.status = static_cast<uint32_t>(step.number);
        outbox.PushAndWait(item);
        break;
      }
      case sc::Step::Kind::Window:
        SendMessageW(apiWindow, WM_APP_CREATE_WINDOW, 0, reinterpret_cast<LPARAM>(&step.text));
        break;
      case sc::Step::Kind::CloseWindow:
        SendMessageW(apiWindow, WM_APP_DESTROY_WINDOW, 0, reinterpret_cast<LPARAM>(&step.text));
        break;
      case sc::Step::Kind::Press:
      case sc::Step::Kind::PostRecorder: {
        HWND recorder = FindWindowW(kRecorderWindowClass, nullptr);
        bool posted = recorder && (step.kind == sc::Step::Kind::Press
                                       ? PostMessageW(recorder, WM_COMMAND, static_cast<WPARAM>(step.number), 0)
                                       : PostMessageW(recorder, static_cast<UINT>(step.number), step.wParam,
                                                      static_cast<LPARAM>(step.lParam)));
        logs.Event(std::string(step.kind == sc::Step::Kind::Press ? "press " : "post-recorder ") +
                   std::to_string(step.number) + (posted ? " 1" : " 0"));
        break;
      }
      case sc::Step::Kind::PostLink: {
        HWND recorder = Recorder();
        bool posted = recorder && PostMessageW(recorder, static_cast<UINT>(step.number), 0, 0);
        logs.Event("post-link " + std::to_string(step.number) + (posted ? " 1" : " 0"));
        break;
      }
      case sc::Step::Kind::Signal: {
        std::wstring path = logs.Path(WideFromUtf8(step.text));
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE;
        if (ok) CloseHandle(file);
        logs.Event("signal " + step.text);
        break;
      }
      case sc::Step::Kind::WaitFile: {
        std::wstring path = logs.Path(WideFromUtf8(step.text));
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(scenario.timeoutMs);
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && ok) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          ok = scenario.timeoutMs == 0 || std::chrono::steady_clock::now() < end;
        }
        break;
      }
      case sc::Step::Kind::HoldRecorderThreads: {
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
      case sc::Step::Kind::ReleaseRecorderThreads:
        for (HANDLE handle : heldThreads) {
          ResumeThread(handle);
          CloseHandle(handle);
        }
        logs.Event("release-recorder-threads " + std::to_string(heldThreads.size()));
        heldThreads.clear();
        break;
      case sc::Step::Kind::Exit:
        return static_cast<int>(step.number);
    }
    if (sc::IsWait(step.kind))
      Say(sc::WaitEndText(
          number, ok, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count()));
    if (!ok) {
      logs.Event("timeout " + std::to_string(step.line));
      return kExitTimeout;
    }
  }
  return kExitOk;
}

// --- Install mode -------------------------------------------------------------------------

int Install(const std::wstring& folder) {
  wchar_t self[MAX_PATH + 1] = {};
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return kExitInstall;
  std::wstring target = folder;
  if (!target.empty() && target.back() != L'\\' && target.back() != L'/') target += L'\\';
  target += L"skype.exe";
  if (!CopyFileW(self, target.c_str(), FALSE)) {
    fwprintf(stderr, L"cannot copy to %ls\n", target.c_str());
    return kExitInstall;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSkypeRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return kExitInstall;
  LONG set = RegSetValueExW(key, kSkypePathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(target.c_str()),
                            static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  if (set != ERROR_SUCCESS) return kExitInstall;
  wprintf(L"%ls\n", target.c_str());
  return kExitOk;
}

// Deletes a key when it holds no values and no subkeys.
void DeleteKeyIfEmpty(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD subkeys = 0, values = 0;
  LONG info = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr);
  RegCloseKey(key);
  if (info == ERROR_SUCCESS && subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

// The text of the balloon that the notification area shows now. The shell
// shows it as a visible tooltip window of the balloon style; the tooltip
// copies its tool's text only into memory of its own process, so the request
// and the answer's room are put there.
// A question's answer: into the file `path` names, or to the output without
// one. The exit code.
int Answer(const std::string& bytes, const wchar_t* path) {
  if (path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.good() ? kExitOk : kExitUsage;
  }
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fflush(stdout);
  return kExitOk;
}

// The recordings window of the recorder: the dialog that holds the
// recordings list (control 1205).
constexpr int kRecordingsListId = 1205;
constexpr int kRecordingsStatusId = 1214;
constexpr int kRecordingsCountId = 1215;

HWND RecordingsWindow() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t cls[64] = L"";
        GetClassNameW(window, cls, 64);
        if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window) || !GetDlgItem(window, kRecordingsListId))
          return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The rows of the recordings list, a line each, the columns separated by
// tabs. The list keeps its texts in its own process: the request and the
// room for the answer are put there.
bool RecordingsRows(HWND list, std::string& rows) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  constexpr size_t kRoom = 1024;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kRoom * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE);
  bool ok = remote != nullptr;
  const int count = ok ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  auto* room = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
  for (int row = 0; ok && row < count; ++row) {
    for (int column = 0; ok && column < columns; ++column) {
      LVITEMW item = {};
      item.iSubItem = column;
      item.pszText = room;
      item.cchTextMax = kRoom;
      ok = WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
      if (!ok) break;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
      wchar_t text[kRoom] = L"";
      ok = ReadProcessMemory(process, room, text, sizeof text, nullptr);
      text[kRoom - 1] = 0;
      rows += (column ? "\t" : "") + Utf8FromWide(text);
    }
    rows += "\n";
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

// Selects one row of the recordings list (and only that one).
bool SelectRecordingsRow(HWND list, int row) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
  bool ok = remote != nullptr;
  for (int at : {-1, row}) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = at < 0 ? 0 : item.stateMask;
    ok = ok && WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
         SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(remote));
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

// --recordings list|status [<file>], --recordings select <row>,
// --recordings command <id>.
int AskRecordings(int argc, wchar_t** argv, int i) {
  HWND window = RecordingsWindow();
  if (!window) return kExitNoControl;
  const std::wstring what = argv[i];
  const wchar_t* file = i + 1 < argc ? argv[i + 1] : nullptr;
  if (what == L"list") {
    std::string rows;
    if (!RecordingsRows(GetDlgItem(window, kRecordingsListId), rows)) return kExitNoControl;
    return Answer(rows, file);
  }
  if (what == L"status") {
    wchar_t status[1024] = L"", count[256] = L"";
    GetWindowTextW(GetDlgItem(window, kRecordingsStatusId), status, 1024);
    GetWindowTextW(GetDlgItem(window, kRecordingsCountId), count, 256);
    return Answer(Utf8FromWide(count) + "\n" + Utf8FromWide(status), file);
  }
  if (what == L"select" && file) return SelectRecordingsRow(GetDlgItem(window, kRecordingsListId), _wtoi(file)) ? kExitOk : kExitNoControl;
  if (what == L"command" && file) return PostMessageW(window, WM_COMMAND, _wtoi(file), 0) ? kExitOk : kExitNoControl;
  return kExitUsage;
}

bool ShownTrayBalloon(std::wstring& text) {
  HWND balloon = nullptr;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[32] = L"";
        GetClassNameW(window, name, 32);
        if (_wcsicmp(name, TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(window) ||
            !(GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON))
          return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&balloon));
  if (!balloon) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(balloon, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (!process) return false;
  // A balloon's text holds at most 255 characters.
  constexpr size_t kChars = 1024;
  std::vector<wchar_t> answer(kChars, L'\0');
  auto* remote = static_cast<BYTE*>(
      VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t), MEM_COMMIT | MEM_RESERVE,
                     PAGE_READWRITE));
  bool read = false;
  if (remote) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof tool);
    DWORD_PTR found = 0;
    read = WriteProcessMemory(process, remote, &tool, sizeof tool, nullptr) &&
           WriteProcessMemory(process, tool.lpszText, answer.data(), kChars * sizeof(wchar_t), nullptr) &&
           SendMessageTimeoutW(balloon, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000,
                               &found) &&
           found && ReadProcessMemory(process, tool.lpszText, answer.data(), (kChars - 1) * sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  if (read) text = answer.data();
  return read;
}

int Uninstall() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSkypeRegistryKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    LONG deleted = RegDeleteValueW(key, kSkypePathValue);
    RegCloseKey(key);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return kExitInstall;
  }
  DeleteKeyIfEmpty(kSkypeRegistryKey);
  DeleteKeyIfEmpty(L"Software\\Skype");
  return kExitOk;
}

// --- Start-up ----------------------------------------------------------------------------------

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
  fclose(file);
  return true;
}

std::wstring ModuleFolder() {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = name;
  return RegisterClassW(&windowClass) != 0;
}

int Run(const std::wstring& dir, const std::wstring& scenarioPath) {
  bool defaultMode = scenarioPath.empty();
  std::wstring folder = dir;
  if (defaultMode && folder.empty()) folder = ModuleFolder();
  if (!logs.Open(folder)) {
    fwprintf(stderr, L"cannot write the logs in %ls\n", folder.c_str());
    return kExitUsage;
  }
  std::string text;
  if (defaultMode) {
    // A copy started as the installed client: one main window at a time.
    for (const wchar_t* name : kSkypeMainWindowClasses)
      if (FindWindowW(name, nullptr) != nullptr) {
        logs.Event("second-start");
        logs.Event("exit 0");
        return kExitOk;
      }
    std::wstring beside = ModuleFolder() + L"\\SimSkype.scenario";
    if (!ReadWholeFile(beside, text)) text = kDefaultScenario;
  } else if (!ReadWholeFile(scenarioPath, text)) {
    fwprintf(stderr, L"cannot read %ls\n", scenarioPath.c_str());
    return kExitScenario;
  }
  std::string error;
  if (!sc::ParseScenario(text, scenario, error)) {
    fprintf(stderr, "scenario: %s\n", error.c_str());
    logs.Event("scenario-error " + error);
    return kExitScenario;
  }
  for (const auto& entry : scenario.audio) {
    if (entry.second.kind != sc::SignalKind::Wav) continue;
    if (!sc::SignalGenerator::Create(entry.second, error)) {
      fprintf(stderr, "scenario: audio %s: %s\n", StreamName(entry.first.first, entry.first.second).c_str(),
              error.c_str());
      return kExitScenario;
    }
  }

  attachMessage = RegisterWindowMessageW(kAttachMessageName);
  discoverMessage = RegisterWindowMessageW(kDiscoverMessageName);
  mainThreadId = GetCurrentThreadId();
  RegisterWindowClass(kApiWindowClass, ApiWindowProc);
  RegisterWindowClass(kForeignWindowClass, DefWindowProcW);
  // Top-level (not message-only) windows: only those receive broadcasts.
  apiWindow = CreateWindowExW(0, kApiWindowClass, L"SimSkype API", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  foreignWindow = CreateWindowExW(0, kForeignWindowClass, L"SimSkype foreign", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!apiWindow || !foreignWindow || attachMessage == 0 || discoverMessage == 0) {
    fprintf(stderr, "cannot create the API window\n");
    return kExitUsage;
  }
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  logs.Event("ready " + HandleText(apiWindow));

  outbox.Start();
  std::thread ticker;
  if (scenario.durationTickMs > 0) ticker = std::thread(TickDurations);
  std::atomic<int> exitCode{kExitOk};
  std::thread runner([&] {
    exitCode.store(RunScenario());
    PostMessageW(apiWindow, WM_APP_QUIT, 0, 0);
  });

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  runner.join();
  Say("the scenario is over (exit code " + std::to_string(exitCode.load()) + ")");
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.ending = true;
    shared.changed.notify_all();
  }
  if (ticker.joinable()) ticker.join();
  StopStreams(0, true);
  // Answers still queued go out; the API window goes on taking commands
  // meanwhile, so a recorder waiting on it cannot stall the end.
  std::atomic<bool> finished{false};
  std::thread finisher([&finished] {
    outbox.Finish();
    finished.store(true);
  });
  while (!finished.load()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  finisher.join();
  for (auto& entry : clientWindows) DestroyWindow(entry.second);
  DestroyWindow(foreignWindow);
  DestroyWindow(apiWindow);
  WSACleanup();
  logs.Event("exit " + std::to_string(exitCode.load()));
  return exitCode.load();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring dir, scenarioPath;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      fputs(sc::kScenarioHelp, stdout);
      return kExitOk;
    }
    if (arg == L"--install" && i + 1 < argc) return Install(argv[++i]);
    if (arg == L"--uninstall") return Uninstall();
    if (arg == L"--recorder-state") {
      HWND recorder = FindWindowW(kRecorderWindowClass, nullptr);
      if (!recorder) return kExitNoRecorder;
      return IsWindowVisible(recorder) ? kExitOk : kExitRecorderHidden;
    }
    if (arg == L"--recorder-text" && i + 1 < argc) {
      HWND recorder = FindWindowW(kRecorderWindowClass, nullptr);
      if (!recorder) return kExitNoRecorder;
      HWND control = GetDlgItem(recorder, _wtoi(argv[i + 1]));
      if (!control) return kExitNoControl;
      // The text the control keeps (for a window of another process
      // GetWindowText reads it without asking the window).
      wchar_t text[1024] = L"";
      GetWindowTextW(control, text, 1024);
      return Answer((IsWindowVisible(control) ? "1\n" : "0\n") + Utf8FromWide(text), i + 2 < argc ? argv[i + 2] : nullptr);
    }
    if (arg == L"--recordings" && i + 1 < argc) return AskRecordings(argc, argv, i + 1);
    if (arg == L"--tray-balloon") {
      std::wstring text;
      if (!ShownTrayBalloon(text)) return kExitNoBalloon;
      return Answer(Utf8FromWide(text), i + 1 < argc ? argv[i + 1] : nullptr);
    }
    if (arg == L"--dir" && i + 1 < argc) {
      dir = argv[++i];
      continue;
    }
    if (arg.rfind(L"--", 0) == 0 || !scenarioPath.empty()) {
      fputs(sc::kScenarioHelp, stderr);
      return kExitUsage;
    }
    scenarioPath = arg;
  }
  return Run(dir, scenarioPath);
}
