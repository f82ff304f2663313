#include "tools/simclient/commands.h"

#include <cstdlib>
#include <vector>

namespace simclient {

namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    size_t end = text.find(' ', start);
    words.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    at = end == std::string_view::npos ? text.size() : end;
  }
  return words;
}

bool ReadCall(std::string_view word, int32_t& call) {
  if (word.empty() || word.size() > 11) return false;
  std::string s(word);
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (end != s.c_str() + s.size() || v < INT32_MIN || v > INT32_MAX) return false;
  call = static_cast<int32_t>(v);
  return true;
}

// The number in port="N", or 0.
int ReadPort(std::string_view text) {
  for (size_t at = 0; at + 6 <= text.size(); ++at) {
    if (!StartsNoCase(text.substr(at), "port=\"")) continue;
    size_t begin = at + 6, end = text.find('"', begin);
    if (end == std::string_view::npos || end == begin || end - begin > 5) return 0;
    int port = 0;
    for (size_t i = begin; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9') return 0;
      port = port * 10 + (text[i] - '0');
    }
    return port <= 65535 ? port : 0;
  }
  return 0;
}

bool CallStatus(std::string_view notification, int32_t& call, std::string_view& status) {
  auto words = Words(notification);
  if (words.size() != 4 || !SameTextNoCase(words[0], "CALL") || words[2] != "STATUS") return false;
  if (!ReadCall(words[1], call)) return false;
  status = words[3];
  return true;
}

}  // namespace

ClientCommand ClassifyCommand(std::string_view text) {
  ClientCommand c;
  auto w = Words(text);
  if (w.size() == 2 && SameTextNoCase(w[0], "GET") && SameTextNoCase(w[1], "CURRENTUSERHANDLE")) {
    c.kind = ClientCommand::Kind::GetCurrentUserHandle;
  } else if (w.size() == 4 && SameTextNoCase(w[0], "GET") && SameTextNoCase(w[1], "CALL") &&
             SameTextNoCase(w[3], "PARTNER_HANDLE") && ReadCall(w[2], c.call)) {
    c.kind = ClientCommand::Kind::GetPartnerHandle;
  } else if (w.size() >= 4 && SameTextNoCase(w[0], "ALTER") && SameTextNoCase(w[1], "CALL") && ReadCall(w[2], c.call) &&
             (SameTextNoCase(w[3], "SET_OUTPUT") || SameTextNoCase(w[3], "SET_CAPTURE_MIC"))) {
    c.kind = ClientCommand::Kind::AlterCallAudio;
    c.direction = SameTextNoCase(w[3], "SET_OUTPUT") ? AudioDirection::Out : AudioDirection::In;
    c.port = ReadPort(text);
  } else if (w.size() == 3 && SameTextNoCase(w[0], "SET") && SameTextNoCase(w[1], "WINDOWSTATE")) {
    c.kind = ClientCommand::Kind::WindowState;
    c.state = std::string(w[2]);
  } else if (w.size() == 1 && SameTextNoCase(w[0], "FOCUS")) {
    c.kind = ClientCommand::Kind::Focus;
  }
  return c;
}

std::string AnswerTo(const Scenario& scenario, const ClientCommand& command, std::string_view text) {
  for (const auto& reply : scenario.replies)
    if (SameTextNoCase(reply.first, text)) return reply.second;
  switch (command.kind) {
    case ClientCommand::Kind::GetCurrentUserHandle: return "CURRENTUSERHANDLE " + scenario.user;
    case ClientCommand::Kind::GetPartnerHandle:
      return "CALL " + std::to_string(command.call) + " PARTNER_HANDLE " + scenario.PartnerOf(command.call);
    case ClientCommand::Kind::AlterCallAudio: return std::string(text);
    case ClientCommand::Kind::WindowState: return "WINDOWSTATE " + command.state;
    case ClientCommand::Kind::Focus: return "FOCUS";
    case ClientCommand::Kind::Other: break;
  }
  return "ERROR 2 Unknown command";
}

bool EndsCall(std::string_view notification, int32_t& call) {
  std::string_view status;
  if (!CallStatus(notification, call, status)) return false;
  for (const char* end : {"FINISHED", "REFUSED", "MISSED", "FAILED", "BUSY", "CANCELLED"})
    if (SameTextNoCase(status, end)) return true;
  return false;
}

bool StartsCall(std::string_view notification, int32_t& call) {
  std::string_view status;
  return CallStatus(notification, call, status) && SameTextNoCase(status, "INPROGRESS");
}

}  // namespace simclient
