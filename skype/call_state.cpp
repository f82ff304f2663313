#include "skype/call_state.h"

#include <algorithm>

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "settings/settings.h"
#include "skype/skype_api.h"

int CallIdList::Find(int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(ids_.begin(), ids_.end(), id);
  return it == ids_.end() ? -1 : static_cast<int>(it - ids_.begin());
}

void CallIdList::Append(int32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  ids_.push_back(id);
}

bool CallIdList::RemoveFirst(int32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(ids_.begin(), ids_.end(), id);
  if (it == ids_.end()) return false;
  ids_.erase(it);
  return true;
}

std::vector<int32_t> CallIdList::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ids_;
}

size_t CallIdList::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ids_.size();
}

void CallIdList::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  ids_.clear();
}

namespace {

// Status words that mean something to the recorder. RINGING, ROUTING,
// EARLYMEDIA, the hold states, MISSED, REFUSED, FAILED, BUSY, CANCELLED and the
// voicemail states change nothing: a call ends, for the recorder, only by
// FINISHED, and a held call goes on being recorded.
constexpr wchar_t kStatusInProgress[] = L"INPROGRESS";
constexpr wchar_t kStatusFinished[] = L"FINISHED";

constexpr wchar_t kNoCredit[] = L"PSTN_STATUS 9401 Database failure";
constexpr wchar_t kCreditNotEnough[] = L"PSTN_STATUS 9402 Database failure";

}  // namespace

CallStateMachine::CallStateMachine(const SettingsStore& settings, SkypeEvents& events)
    : settings_(settings), events_(events) {}

void CallStateMachine::ParseCallMessage(const std::wstring& text, const CommandSender& send) {
  if (!StartsWithNoCase(text, L"CALL ")) return;
  // CALL <id> <property> <value>: the value runs to the end of the text and may
  // hold anything (a display name, a topic), so only the property decides what
  // the notification is; words inside a value never do.
  std::wstring_view rest = std::wstring_view(text).substr(text.find(L' ') + 1);
  size_t idEnd = rest.find(L' ');
  std::wstring_view idText = rest.substr(0, std::min(idEnd, kCallIdMaxChars));
  int32_t id = ParseDecimalInt(idText);
  if (idEnd == std::wstring_view::npos) return;  // no property
  std::wstring_view propertyAndValue = rest.substr(idEnd + 1);
  size_t propertyEnd = propertyAndValue.find(L' ');
  if (propertyEnd == std::wstring_view::npos) return;  // a property without a value
  std::wstring_view property = propertyAndValue.substr(0, propertyEnd);
  std::wstring_view value = propertyAndValue.substr(propertyEnd + 1);

  if (property == L"PSTN_STATUS") {
    if (EqualsNoCase(propertyAndValue, kNoCredit))
      DebugTrace(L"Call %d: the client has no SkypeOut credit", {id});
    else if (EqualsNoCase(propertyAndValue, kCreditNotEnough))
      DebugTrace(L"Call %d: the SkypeOut credit is not enough", {id});
    return;
  }
  if (property == L"STATUS") {
    if (StartsWithNoCase(value, kStatusInProgress))
      OnCallInProgress(id, activeCallIds.Find(id), send);
    else if (StartsWithNoCase(value, kStatusFinished))
      OnCallFinished(id);
    return;
  }
  if (property == L"PARTNER_HANDLE") {
    int32_t count = activeCallCount.load();
    if (count > 0 && !callPartners.Set(static_cast<size_t>(count - 1), value))
      DebugTrace(L"No partner slot is left for call %d", {id});
    DebugTrace(L"Call %d: the partner is %s", {id, value});
    events_.OnPartnerKnown();
    return;
  }
  if (property == L"DURATION") {
    // A call whose INPROGRESS was missed is still followed from its first
    // DURATION on.
    OnCallInProgress(id, activeCallIds.Find(id), send);
  }
}

void CallStateMachine::OnCallInProgress(int32_t id, int position, const CommandSender& send) {
  if (position >= 0) return;
  activeCallIds.Append(id);
  activeCallCount.fetch_add(1);
  send(FormatText(kGetPartnerHandleFormat, {id}));
  events_.OnCallStarted();
  // A call that joins a running recording is asked for the directions that
  // recording writes, whatever was chosen since it started.
  const RecordWay way = settings_.ForRecording()->recordWay;
  // A direction without a listening port is not asked for: the client would
  // only fail to connect.
  const int outPort = outPort_.load(), inPort = inPort_.load();
  if (WayRecords(way, Direction::Out) && outPort != 0) send(FormatText(kSetOutputFormat, {id, outPort}));
  if (WayRecords(way, Direction::In) && inPort != 0)
    send(FormatText(kSetCaptureMicFormat, {id, inPort}));
  if (settings_.Current()->hideClientWindowInCall != 0) send(kSetWindowStateHidden);
}

void CallStateMachine::OnCallFinished(int32_t id) {
  activeCallIds.RemoveFirst(id);
  // Lowered on every FINISHED, known call or not, never below 0. Only this
  // thread changes the count, so the test and the change cannot be split.
  int32_t count = activeCallCount.load();
  if (count > 0) activeCallCount.store(--count);
  if (count == 0) SaveAndClearCallPartners();
  events_.OnCallEnded();
}

void CallStateMachine::OnClientGone() {
  if (activeCallCount.load() == 0 && activeCallIds.Size() == 0) return;
  activeCallIds.Clear();
  activeCallCount.store(0);
  SaveAndClearCallPartners();
  events_.OnCallEnded();
}

void CallStateMachine::SaveAndClearCallPartners() {
  finishedCallPartners.CopyFrom(callPartners);
  callPartners.Clear();
}

std::wstring CallStateMachine::PartnerList() const {
  // While a call is in progress the recording is named after the calls it is
  // recording: the saved copy still names the last recording's partners.
  // Once the last call has ended, the saved copy names them.
  static const PartnerTable none;
  if (activeCallCount.load() > 0) return BuildPartnerList(none, callPartners);
  return BuildPartnerList(finishedCallPartners, callPartners);
}

std::vector<std::wstring> CallStateMachine::LivePartners() const {
  std::vector<std::wstring> partners;
  const int32_t count = activeCallCount.load();
  for (int32_t slot = 0; slot < count; ++slot) {
    std::wstring handle = callPartners.Get(static_cast<size_t>(slot));
    if (!handle.empty()) partners.push_back(std::move(handle));
  }
  return partners;
}

std::wstring StatusPartnerList(const CallStateMachine& calls, bool orFinished) {
  auto slot = [&calls, orFinished](size_t i) {
    std::wstring name = calls.callPartners.Get(i);
    if (name.empty() && orFinished) name = calls.finishedCallPartners.Get(i);
    return name;
  };
  std::wstring list;
  for (size_t i = 0; i < 3; ++i) {
    std::wstring name = slot(i);
    if (name.empty()) return list;
    list += name;
    list += L' ';
  }
  if (!slot(3).empty()) list += L"......";
  return list;
}
