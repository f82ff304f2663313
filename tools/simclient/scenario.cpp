#include "tools/simclient/scenario.h"

#include <cerrno>
#include <cstdlib>

#include "common/strings.h"

namespace simclient {

const char kScenarioHelp[] =
    "SimSkype: a simulated Skype desktop client for testing Calvoro Record.\n"
    "\n"
    "Usage:\n"
    "  SimSkype.exe [--dir <folder>] [<scenario file>]\n"
    "  SimSkype.exe --install <folder>   copy this program to <folder>\\skype.exe and set\n"
    "                                    HKCU\\Software\\Skype\\Phone \"SkypePath\" to it\n"
    "  SimSkype.exe --uninstall          remove that \"SkypePath\" value again\n"
    "  SimSkype.exe --recorder-state     exit code 0: the recorder's main window is\n"
    "                                    visible, 5: it exists but is hidden, 6: none\n"
    "  SimSkype.exe --tray-balloon [<file>]\n"
    "                                    writes the text of the balloon that the\n"
    "                                    notification area shows (UTF-8) to <file> or\n"
    "                                    the output; exit code 0, or 7 when none shows\n"
    "  SimSkype.exe --recorder-text <id> [<file>]\n"
    "  SimSkype.exe --recordings list|status [<file>]   (the recordings window's rows, or its count and status)\n"
    "  SimSkype.exe --recordings select <row> | command <id>\n"
    "                                    writes the text of the recorder's main window's\n"
    "                                    control <id> (UTF-8) to <file> or the output,\n"
    "                                    and 1 or 0 (visible or not) on a line before it;\n"
    "                                    exit code 0, 6: no recorder, 8: no such control\n"
    "  SimSkype.exe --help\n"
    "\n"
    "It registers the client API's window messages, answers the recorder's discover\n"
    "broadcasts, takes commands by WM_COPYDATA and answers them asynchronously, plays\n"
    "the scenario's steps, and on the two ALTER CALL commands connects to the port\n"
    "named in the command on 127.0.0.1 and streams 16-bit 16 kHz mono PCM in real\n"
    "time until the call finishes. It ends when its scenario ends. As it plays, it\n"
    "prints each step to its output, and for a wait also when the wait is over.\n"
    "\n"
    "Without a scenario file it reads SimSkype.scenario beside itself, and without\n"
    "that it shows its main window until that window is closed; a second copy started\n"
    "this way while a main window is shown notes \"second-start\" and ends at once.\n"
    "\n"
    "Files written to --dir (default: the current folder; beside the program when\n"
    "started without a scenario file):\n"
    "  commands.log          every command received, in order, one per line (UTF-8)\n"
    "  events.log            what happened, one event per line (see below)\n"
    "  call<id>_out.raw      exactly the bytes sent on the SET_OUTPUT connection\n"
    "  call<id>_in.raw       exactly the bytes sent on the SET_CAPTURE_MIC connection\n"
    "Exit code: 0 the scenario ended, 1 bad command line, 2 bad scenario, 3 a wait\n"
    "timed out, 4 install or uninstall failed.\n"
    "\n"
    "Scenario file: UTF-8, one statement per line, '#' starts a comment line.\n"
    "Settings (they hold for the whole run, wherever they stand):\n"
    "  user <handle>                 answer to GET CURRENTUSERHANDLE (default echo123)\n"
    "  attach <group> [<group>...]   answers to the discover broadcasts: group k answers\n"
    "                                broadcast k, the last group repeats. A group is attach\n"
    "                                statuses joined by commas, sent in order (0 success,\n"
    "                                1 pending, 2 refused, 3 not available, 0x8001 API\n"
    "                                available), or \"none\". Default: attach 0\n"
    "  partner <call> <handle>       answer to GET CALL <call> PARTNER_HANDLE\n"
    "                                (default partner<call>)\n"
    "  audio <call> out|in <signal>  what one direction of a call streams (out: SET_OUTPUT,\n"
    "                                in: SET_CAPTURE_MIC). Signals:\n"
    "      sine <hz> <amplitude>     round(amplitude * sin(2 pi hz n / 16000))\n"
    "      noise <seed> <amplitude>  uniform in [-amplitude, amplitude], xorshift32(seed)\n"
    "      mls <seed> <amplitude>    position-coded: a 31-bit maximal-length sequence\n"
    "                                (x^31 + x^28 + 1, state = seed, 0 taken as 1); each\n"
    "                                sample takes the next 16 output bits, first bit most\n"
    "                                significant, as a signed word w, and is\n"
    "                                w * amplitude / 32767 (truncated). Any 4 consecutive\n"
    "                                samples (amplitude >= 256) tell their position.\n"
    "      wav <file>                a 16-bit mono 16 kHz PCM WAV file, looped\n"
    "      silence\n"
    "                                default: out sine 440 8000, in sine 880 8000\n"
    "  reply <command> => <text>     answer <command> (ASCII case ignored) with <text>\n"
    "  reply-delay <ms>              wait before each answer (default 0)\n"
    "  duration-ticks <ms>           while a call is in progress, send CALL <id> DURATION\n"
    "                                <seconds> every <ms> (default 0: never)\n"
    "  chunk <ms>                    audio is sent in chunks this long, paced by a clock\n"
    "                                (default 20)\n"
    "  timeout <ms>                  how long any wait may take (default 30000; 0: no limit)\n"
    "  hide-windows                  the windows below are made but not shown (faster\n"
    "                                under wine; they are found all the same)\n"
    "Steps (run in order):\n"
    "  wait discover                 until the next discover broadcast has arrived\n"
    "  wait attach                   until the next GET CURRENTUSERHANDLE has been answered\n"
    "  wait command <text>           until <text> (ASCII case ignored) arrives as a command,\n"
    "                                later than the command the previous such wait matched\n"
    "  wait audio <call> out|in <ms> until that much audio of the stream has been sent\n"
    "  wait closed <class>           until the window of that class has received WM_CLOSE\n"
    "  reset <call> out|in           close that stream's connection abortively (SO_LINGER 0:\n"
    "                                the recorder sees a reset), connect again at once and\n"
    "                                go on streaming where the signal was\n"
    "  sleep <ms>\n"
    "  notify <text>                 send a notification\n"
    "  call <id> <status>            same as: notify CALL <id> STATUS <status>\n"
    "  logout                        same as: notify USERSTATUS LOGGEDOUT\n"
    "  foreign <text>                send a notification from a window that is not the\n"
    "                                API window (the recorder must refuse it)\n"
    "  send-attach <status>          send an attach status to the recorder (a broadcast\n"
    "                                while no recorder is known)\n"
    "  window <class>                show a top-level window of that class (hidden and\n"
    "                                shown again on SET WINDOWSTATE for the main window\n"
    "                                classes)\n"
    "  close-window <class>          destroy it\n"
    "  press <id>                    post WM_COMMAND <id> to the recorder's main window\n"
    "                                (class SkypeDorvRecorder.Class): 1003 Record,\n"
    "                                1004 Pause, 1005 Stop\n"
    "  post-recorder <message> [<wparam> [<lparam>]]\n"
    "                                post a message to it, e.g. 1030 (WM_USER+6) to exit,\n"
    "                                or 1525 128 515: a double click on its tray icon\n"
    "  post-link <message>           post a message to the recorder's window that\n"
    "                                attached, e.g. 16 (WM_CLOSE)\n"
    "  signal <name>                 write the empty file <name> into the --dir folder\n"
    "  wait-file <name>              until a file <name> is in the --dir folder (written\n"
    "                                by whatever drives the scenario, a screenshot taker)\n"
    "  hold-recorder-threads         suspend every thread of the recorder that was started\n"
    "                                after this scenario began (its writers, for one), so\n"
    "                                that a Stop shows the recording being finished\n"
    "  release-recorder-threads      resume them\n"
    "  exit [<code>]                 end here (the end of the file ends too)\n"
    "A notification CALL <id> STATUS FINISHED (or REFUSED, MISSED, FAILED, BUSY,\n"
    "CANCELLED) first ends that call's audio streams, then is sent.\n"
    "\n"
    "Built-in answers: GET CURRENTUSERHANDLE -> CURRENTUSERHANDLE <user>;\n"
    "GET CALL <id> PARTNER_HANDLE -> CALL <id> PARTNER_HANDLE <partner>; ALTER CALL\n"
    "commands are echoed; SET WINDOWSTATE <s> -> WINDOWSTATE <s> (the main window is\n"
    "hidden or shown); FOCUS -> FOCUS; anything else -> ERROR 2 Unknown command.\n"
    "\n"
    "events.log lines: ready <api window>, discover <recorder window>,\n"
    "attach <status> <result>, command <cbData> <text>, reply <result> <text>,\n"
    "notify <result> <text>, foreign <result> <text>, connect <call> <out|in> <port>,\n"
    "connect-failed <call> <out|in> <port>, stream-end <call> <out|in> <bytes>,\n"
    "window <class>, WM_CLOSE <class>, windowstate <state>, second-start,\n"
    "timeout <line>, exit <code>.\n";

const char* DirectionName(AudioDirection d) { return d == AudioDirection::Out ? "out" : "in"; }

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits off the first word; `rest` is what follows it, trimmed.
std::string_view NextWord(std::string_view& rest) {
  rest = Trim(rest);
  size_t end = rest.find_first_of(" \t");
  std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : Trim(rest.substr(end));
  return word;
}

bool ParseInt(std::string_view word, int64_t& value) {
  if (word.empty() || word.size() > 20) return false;
  std::string s(word);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 0);  // decimal, or 0x hex
  if (errno != 0 || end != s.c_str() + s.size()) return false;
  value = v;
  return true;
}

bool ParseCount(std::string_view word, int64_t& value) { return ParseInt(word, value) && value >= 0; }

bool ParseCall(std::string_view word, int32_t& call) {
  int64_t v;
  if (!ParseInt(word, v) || v < INT32_MIN || v > INT32_MAX) return false;
  call = static_cast<int32_t>(v);
  return true;
}

bool ParseDirection(std::string_view word, AudioDirection& d) {
  if (word == "out") d = AudioDirection::Out;
  else if (word == "in") d = AudioDirection::In;
  else return false;
  return true;
}

bool ParseSignal(std::string_view rest, SignalParams& params, std::string& why) {
  std::string_view kind = NextWord(rest);
  int64_t a = 0, b = 0;
  if (kind == "sine") {
    std::string_view hz = NextWord(rest), amp = NextWord(rest);
    char* end = nullptr;
    std::string hzText(hz);
    double f = std::strtod(hzText.c_str(), &end);
    if (hz.empty() || end != hzText.c_str() + hzText.size() || !(f >= 0 && f <= 8000) || !ParseCount(amp, b) ||
        b > 32767 || !rest.empty()) {
      why = "sine needs <hz> (0 to 8000) and <amplitude> (0 to 32767)";
      return false;
    }
    params.kind = SignalKind::Sine;
    params.frequency = f;
    params.amplitude = static_cast<int32_t>(b);
    return true;
  }
  if (kind == "noise" || kind == "mls") {
    if (!ParseCount(NextWord(rest), a) || a > UINT32_MAX || !ParseCount(NextWord(rest), b) || b > 32767 ||
        !rest.empty()) {
      why = std::string(kind) + " needs <seed> (0 to 4294967295) and <amplitude> (0 to 32767)";
      return false;
    }
    params.kind = kind == "noise" ? SignalKind::Noise : SignalKind::Mls;
    params.seed = static_cast<uint32_t>(a);
    params.amplitude = static_cast<int32_t>(b);
    return true;
  }
  if (kind == "wav") {
    if (rest.empty()) {
      why = "wav needs a file";
      return false;
    }
    params.kind = SignalKind::Wav;
    params.wavPath = WideFromUtf8(rest);
    return true;
  }
  if (kind == "silence" && rest.empty()) {
    params.kind = SignalKind::Silence;
    return true;
  }
  why = "unknown signal (sine, noise, mls, wav, silence)";
  return false;
}

bool ParseAttachGroups(std::string_view rest, std::vector<std::vector<uint32_t>>& groups, std::string& why) {
  groups.clear();
  while (!rest.empty()) {
    std::string_view word = NextWord(rest);
    std::vector<uint32_t> group;
    if (word != "none") {
      while (!word.empty()) {
        size_t comma = word.find(',');
        int64_t status;
        if (!ParseCount(word.substr(0, comma), status) || status > UINT32_MAX) {
          why = "an attach status is a number (0, 1, 2, 3, 0x8001, ...)";
          return false;
        }
        group.push_back(static_cast<uint32_t>(status));
        word = comma == std::string_view::npos ? std::string_view() : word.substr(comma + 1);
      }
    }
    groups.push_back(group);
  }
  if (groups.empty()) {
    why = "attach needs at least one group";
    return false;
  }
  return true;
}

}  // namespace

bool SameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Scenario::PartnerOf(int32_t call) const {
  auto it = partners.find(call);
  return it != partners.end() ? it->second : "partner" + std::to_string(call);
}

SignalParams Scenario::AudioOf(int32_t call, AudioDirection direction) const {
  auto it = audio.find({call, direction});
  if (it != audio.end()) return it->second;
  SignalParams params;
  params.kind = SignalKind::Sine;
  params.frequency = direction == AudioDirection::Out ? 440 : 880;
  params.amplitude = 8000;
  return params;
}

bool IsWait(Step::Kind kind) {
  switch (kind) {
    case Step::Kind::WaitDiscover:
    case Step::Kind::WaitAttach:
    case Step::Kind::WaitCommand:
    case Step::Kind::WaitAudio:
    case Step::Kind::WaitClosed:
    case Step::Kind::WaitFile:
      return true;
    default:
      return false;
  }
}

std::string StepBeginText(size_t number, const Step& step) {
  std::string text = "step " + std::to_string(number) + ": ";
  switch (step.kind) {
    case Step::Kind::WaitDiscover:
      return text + "waiting for a discover broadcast...";
    case Step::Kind::WaitAttach:
      return text + "waiting for attach...";
    case Step::Kind::WaitCommand:
      return text + "waiting for command " + step.text + "...";
    case Step::Kind::WaitAudio:
      return text + "waiting until " + std::to_string(step.number) + " ms of call " + std::to_string(step.call) +
             " " + DirectionName(step.direction) + " are sent...";
    case Step::Kind::WaitClosed:
      return text + "waiting for WM_CLOSE to " + step.text + "...";
    case Step::Kind::WaitFile:
      return text + "waiting for file " + step.text + "...";
    default:
      return text + step.source;
  }
}

std::string WaitEndText(size_t number, bool over, int64_t elapsedMs) {
  // Tenths of a second: "2.4 s".
  int64_t tenths = (elapsedMs + 50) / 100;
  std::string seconds = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
  return "step " + std::to_string(number) + ": " + (over ? "done after " : "timed out after ") + seconds;
}

bool ParseScenario(std::string_view text, Scenario& scenario, std::string& error) {
  scenario = Scenario();
  // A byte order mark is allowed at the start.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int lineNumber = 0;
  while (!text.empty()) {
    size_t newline = text.find('\n');
    std::string_view line = Trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;

    std::string why;
    std::string_view rest = line;
    std::string_view word = NextWord(rest);
    Step step;
    step.line = lineNumber;
    step.source = std::string(line);
    bool isStep = true;
    int64_t n = 0;

    if (word == "user") {
      isStep = false;
      if (rest.empty()) why = "user needs a handle";
      scenario.user = std::string(rest);
    } else if (word == "attach") {
      isStep = false;
      ParseAttachGroups(rest, scenario.attachGroups, why);
    } else if (word == "partner") {
      isStep = false;
      int32_t call;
      std::string_view callWord = NextWord(rest);
      if (!ParseCall(callWord, call) || rest.empty()) why = "partner needs <call> <handle>";
      else scenario.partners[call] = std::string(rest);
    } else if (word == "audio") {
      isStep = false;
      int32_t call;
      AudioDirection d;
      SignalParams params;
      if (!ParseCall(NextWord(rest), call) || !ParseDirection(NextWord(rest), d)) why = "audio needs <call> out|in <signal>";
      else if (ParseSignal(rest, params, why)) scenario.audio[{call, d}] = params;
    } else if (word == "reply") {
      isStep = false;
      size_t arrow = rest.find("=>");
      if (arrow == std::string_view::npos || Trim(rest.substr(0, arrow)).empty()) why = "reply needs <command> => <text>";
      else scenario.replies.emplace_back(std::string(Trim(rest.substr(0, arrow))), std::string(Trim(rest.substr(arrow + 2))));
    } else if (word == "hide-windows") {
      isStep = false;
      scenario.hideWindows = true;
      if (!rest.empty()) why = "hide-windows takes nothing";
    } else if (word == "reply-delay" || word == "duration-ticks" || word == "chunk" || word == "timeout") {
      isStep = false;
      if (!ParseCount(NextWord(rest), n) || !rest.empty() || n > 3600000) why = std::string(word) + " needs a number of ms";
      else if (word == "chunk" && (n < 1 || n > 1000)) why = "chunk is 1 to 1000 ms";
      else if (word == "reply-delay") scenario.replyDelayMs = n;
      else if (word == "duration-ticks") scenario.durationTickMs = n;
      else if (word == "chunk") scenario.chunkMs = n;
      else scenario.timeoutMs = n;
    } else if (word == "wait") {
      std::string_view what = NextWord(rest);
      if (what == "discover" && rest.empty()) {
        step.kind = Step::Kind::WaitDiscover;
      } else if (what == "attach" && rest.empty()) {
        step.kind = Step::Kind::WaitAttach;
      } else if (what == "command" && !rest.empty()) {
        step.kind = Step::Kind::WaitCommand;
        step.text = std::string(rest);
      } else if (what == "audio") {
        step.kind = Step::Kind::WaitAudio;
        if (!ParseCall(NextWord(rest), step.call) || !ParseDirection(NextWord(rest), step.direction) ||
            !ParseCount(NextWord(rest), step.number) || !rest.empty())
          why = "wait audio needs <call> out|in <ms>";
      } else if (what == "closed" && !rest.empty()) {
        step.kind = Step::Kind::WaitClosed;
        step.text = std::string(rest);
      } else {
        why = "wait discover | attach | command <text> | audio <call> out|in <ms> | closed <class>";
      }
    } else if (word == "reset") {
      step.kind = Step::Kind::Reset;
      if (!ParseCall(NextWord(rest), step.call) || !ParseDirection(NextWord(rest), step.direction) || !rest.empty())
        why = "reset needs <call> out|in";
    } else if (word == "sleep") {
      step.kind = Step::Kind::Sleep;
      if (!ParseCount(NextWord(rest), step.number) || !rest.empty()) why = "sleep needs a number of ms";
    } else if (word == "notify" || word == "foreign") {
      step.kind = word == "notify" ? Step::Kind::Notify : Step::Kind::Foreign;
      if (rest.empty()) why = std::string(word) + " needs a text";
      step.text = std::string(rest);
    } else if (word == "call") {
      step.kind = Step::Kind::Notify;
      int32_t call;
      std::string_view callWord = NextWord(rest);
      if (!ParseCall(callWord, call) || rest.empty()) why = "call needs <id> <status>";
      step.text = "CALL " + std::string(callWord) + " STATUS " + std::string(rest);
    } else if (word == "logout") {
      step.kind = Step::Kind::Notify;
      step.text = "USERSTATUS LOGGEDOUT";
      if (!rest.empty()) why = "logout takes nothing";
    } else if (word == "send-attach") {
      step.kind = Step::Kind::SendAttach;
      if (!ParseCount(NextWord(rest), step.number) || step.number > UINT32_MAX || !rest.empty())
        why = "send-attach needs a status";
    } else if (word == "window" || word == "close-window") {
      step.kind = word == "window" ? Step::Kind::Window : Step::Kind::CloseWindow;
      if (rest.empty() || rest.size() > 255) why = std::string(word) + " needs a class name";
      step.text = std::string(rest);
    } else if (word == "press" || word == "post-recorder" || word == "post-link") {
      step.kind = word == "press"           ? Step::Kind::Press
                  : word == "post-recorder" ? Step::Kind::PostRecorder
                                            : Step::Kind::PostLink;
      if (!ParseCount(NextWord(rest), step.number) || step.number > 0xFFFF)
        why = std::string(word) + " needs a number";
      // A posted message may carry its two parameters (the tray icon's
      // WM_USER+501 carries the icon id and a mouse message).
      int64_t parameter = 0;
      if (why.empty() && step.kind == Step::Kind::PostRecorder && !rest.empty()) {
        if (!ParseCount(NextWord(rest), parameter) || parameter > UINT32_MAX) why = "post-recorder parameters are numbers";
        step.wParam = static_cast<uint32_t>(parameter);
        if (why.empty() && !rest.empty()) {
          if (!ParseCount(NextWord(rest), parameter) || parameter > UINT32_MAX) why = "post-recorder parameters are numbers";
          step.lParam = static_cast<uint32_t>(parameter);
        }
      }
      if (why.empty() && !rest.empty()) why = std::string(word) + " needs a number";
    } else if (word == "signal" || word == "wait-file") {
      step.kind = word == "signal" ? Step::Kind::Signal : Step::Kind::WaitFile;
      step.text = std::string(NextWord(rest));
      if (step.text.empty() || !rest.empty() || step.text.find_first_of("\\/:") != std::string::npos)
        why = std::string(word) + " needs a file name";
    } else if (word == "hold-recorder-threads" || word == "release-recorder-threads") {
      step.kind = word == "hold-recorder-threads" ? Step::Kind::HoldRecorderThreads : Step::Kind::ReleaseRecorderThreads;
      if (!rest.empty()) why = std::string(word) + " takes nothing";
    } else if (word == "exit") {
      step.kind = Step::Kind::Exit;
      if (!rest.empty() && (!ParseInt(NextWord(rest), step.number) || !rest.empty())) why = "exit takes an exit code";
    } else {
      why = "unknown statement \"" + std::string(word) + "\"";
    }

    if (!why.empty()) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return false;
    }
    if (isStep) scenario.steps.push_back(step);
  }
  return true;
}

}  // namespace simclient
