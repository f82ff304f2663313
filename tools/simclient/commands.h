// What SimSkype makes of a command from the recorder, and what it answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/simclient/scenario.h"

namespace simclient {

struct ClientCommand {
  enum class Kind { GetCurrentUserHandle, GetPartnerHandle, AlterCallAudio, WindowState, Focus, Other };
  Kind kind = Kind::Other;
  int32_t call = 0;                                  // GET CALL, ALTER CALL
  AudioDirection direction = AudioDirection::Out;    // ALTER CALL: SET_OUTPUT or SET_CAPTURE_MIC
  int port = 0;                                      // ALTER CALL: port="N"; 0 when missing
  std::string state;                                 // SET WINDOWSTATE <state>
};

// Reads a command; keywords in any ASCII letter case.
ClientCommand ClassifyCommand(std::string_view text);

// The answer to a command (scenario replies first, then the built-in ones);
// empty for none.
std::string AnswerTo(const Scenario& scenario, const ClientCommand& command, std::string_view text);

// Whether a notification ends a call (CALL <id> STATUS FINISHED, REFUSED,
// MISSED, FAILED, BUSY or CANCELLED), and which.
bool EndsCall(std::string_view notification, int32_t& call);
// Whether a notification puts a call in progress (CALL <id> STATUS INPROGRESS).
bool StartsCall(std::string_view notification, int32_t& call);

}  // namespace simclient
