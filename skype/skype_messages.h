// What becomes of a notification from the client: a call notification goes to
// the call state machine, which sends its commands through the link; every
// notification then goes to the link's connection handling. This file sits
// above both, so that neither the link nor the call state machine knows the
// other.
#pragma once

#include <string>

// Handles one notification (SkypeMessageThread only).
void ParseMessageFromSkype(const std::wstring& text);

// Back to the state of a fresh process: the link's flags and queue, the calls
// and the partners. For tests and the fuzzer; the product never resets them.
void ResetSkypeLinkState();
