// SimSkype.exe --install <folder> and --uninstall: the simulated client made
// the installed one (a copy named skype.exe, and the registry value that
// names the client's program), and that value removed again.
#pragma once

#include <string>

namespace simclient {

// Copies this program to <folder>\skype.exe and sets SkypePath under
// HKCU\Software\Skype\Phone to it; prints the copy's path. The exit code.
int Install(const std::wstring& folder);

// Removes SkypePath, and the keys left empty. The exit code.
int Uninstall();

}  // namespace simclient
