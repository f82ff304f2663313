// Opening a folder or a web address with the shell (ShellExecuteW, verb
// "open"). It may take long (the shell starts a program, a share does not
// answer), so the main window calls it from a worker thread (ui/background_work.h).
#pragma once

#include <functional>
#include <string>

void ShellOpen(const std::wstring& target, int showCommand);

// Tests see what would be opened instead of the shell opening it; an empty
// hook gives the shell back.
using ShellOpenHook = std::function<void(const std::wstring& target, int showCommand)>;
void SetShellOpenHook(ShellOpenHook hook);
