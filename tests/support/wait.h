// Waiting on a condition in tests: poll until it holds or a generous deadline
// passes. Never a fixed sleep alone, so a loaded machine only makes a test
// slower, not flaky.
#pragma once

#include <chrono>
#include <functional>

// The default deadline: far beyond what any condition needs on an idle machine.
constexpr std::chrono::milliseconds kGenerousDeadline{30000};

bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = kGenerousDeadline);
