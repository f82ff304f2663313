// The call state machine: follows the client's CALL notifications, keeps the
// calls in progress and their partners, asks the client for the partner's
// handle and the call's audio, and tells the application when a call starts
// and ends. Everything that changes it runs on SkypeMessageThread; the other
// threads read.
//
// Its commands go out through the sender it is given (the link's SendCommand
// in the program), so it depends on no link.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/contracts.h"
#include "skype/call_partners.h"
#include "skype/skype_events.h"

class SettingsStore;

// A call id is read from at most this many characters.
constexpr size_t kCallIdMaxChars = 31;

// The ids of the calls seen in progress and not finished yet, in order of
// arrival; each id at most once. Only SkypeMessageThread changes it; the lock
// lets other threads take a consistent copy.
class CallIdList {
 public:
  // The id's place in the list, or -1.
  int Find(int32_t id) const;
  void Append(int32_t id);
  // Removes the first occurrence; false when the id is not in the list.
  bool RemoveFirst(int32_t id);
  std::vector<int32_t> Snapshot() const;
  size_t Size() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<int32_t> ids_;
};

// Sends one command to the client; true when the client accepted it.
using CommandSender = std::function<bool(std::wstring_view command)>;

class CallStateMachine {
 public:
  // `settings`: the record way of the recording in progress decides which
  // audio a call is asked for, and whether the client's window hides.
  CallStateMachine(const SettingsStore& settings, SkypeEvents& events);
  CallStateMachine(const CallStateMachine&) = delete;
  CallStateMachine& operator=(const CallStateMachine&) = delete;

  // The calls in progress as the recorder counts them, and the handles of
  // their partners. `callPartners` slot k-1 holds the partner of the call
  // that made `activeCallCount` equal to k. When the last call finishes, the
  // whole table is copied over `finishedCallPartners` and cleared, so that
  // the recording, which finishes after that, can still be named after its
  // partners.
  CallIdList activeCallIds;
  std::atomic<int32_t> activeCallCount{0};
  PartnerTable callPartners;
  PartnerTable finishedCallPartners;

  // Handles one notification that begins with "CALL ":
  //   CALL <id> <property> <value>
  // PSTN_STATUS (the two credit errors are logged), STATUS (INPROGRESS starts
  // following the call, FINISHED ends it), PARTNER_HANDLE (stored in the slot
  // of the newest call) and DURATION (starts following the call like
  // INPROGRESS) are acted on; every other property is ignored.
  void ParseCallMessage(const std::wstring& text, const CommandSender& send);

  // A call is in progress; `position` is its place in activeCallIds or -1.
  void OnCallInProgress(int32_t id, int position, const CommandSender& send);
  // A call has finished.
  void OnCallFinished(int32_t id);
  // The client vanished: its calls end as if each had finished (the partners
  // are saved for the recording's name and the application is told).
  void OnClientGone();

  // The end of the last call: callPartners is copied over
  // finishedCallPartners, then cleared.
  void SaveAndClearCallPartners();

  // The local ports the audio servers listen on, which every call is asked
  // to send its two directions to; 0: that direction has no server. Until
  // set, the usual ports.
  void SetAudioPorts(uint16_t outPort, uint16_t inPort) {
    outPort_.store(outPort);
    inPort_.store(inPort);
  }

  bool CallInProgress() const { return activeCallCount.load() > 0; }
  // The partners of the recording now: the live table while a call is in
  // progress, else finishedCallPartners before callPartners
  // (BuildPartnerList).
  std::wstring PartnerList() const;
  // The handles of the calls in progress as the client sent them (not made
  // file-name safe); a call whose partner is not known yet has none.
  std::vector<std::wstring> LivePartners() const;

 private:
  const SettingsStore& settings_;
  SkypeEvents& events_;
  std::atomic<uint16_t> outPort_{kOutPort};
  std::atomic<uint16_t> inPort_{kInPort};
};

// Up to three partners of the live table, each followed by a blank, then
// "......" when a fourth exists: what the status line and the tray name a
// recording after. With `orFinished`, a slot empty in the live table is taken
// from the table saved when the calls ended.
std::wstring StatusPartnerList(const CallStateMachine& calls, bool orFinished);

