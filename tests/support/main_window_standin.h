// Native builds only: the main window's stand-in, which the native tests,
// benchmarks and fuzzers link as the implementation of platform/main_window.h.
// One thread runs the handler for each message in turn; SendToMainWindow waits
// for its message to be handled. Without a stand-in started, no main window is
// there and both deliveries return false.
#pragma once

#include <cstdint>
#include <functional>

void StartMainWindowStandIn(std::function<void(uint32_t message)> handler);
void StopMainWindowStandIn();
