// The audio SimSkype streams to the recorder: one thread per direction of a
// call, connecting to the port that the recorder's ALTER CALL named, sending
// the scenario's signal in chunks on a fixed schedule and writing exactly
// what each connection took to call<id>_out.raw / call<id>_in.raw in the
// --dir folder.
#pragma once

#include <cstdint>
#include <string>

#include "tools/simclient/scenario.h"

namespace simclient {

// "<call> out" or "<call> in", as the logs name a stream.
std::string StreamName(int32_t call, AudioDirection direction);

// Starts streaming one direction of a call to `port`; nothing when that
// direction streams already.
void StartStream(int32_t call, AudioDirection direction, int port);

// Ends the streams of one call (or all, for `all`) and waits for them.
void StopStreams(int32_t call, bool all);

// Resets the stream of (call, direction) with an abortive close; it then
// connects again. False when that stream was never started.
bool ResetStream(int32_t call, AudioDirection direction);

}  // namespace simclient
