// Moving files to the Recycle Bin, where the user can still get them back.
// Nothing here ever deletes a file for good: when a file cannot be recycled
// it stays where it is (or Windows asks the user first, as Explorer does).
#pragma once

#include <functional>
#include <string>
#include <vector>

// Moves the files (full paths) to the Recycle Bin in one shell operation.
// True only when every one of them has left its place; a file that could not
// be recycled stays in its folder. `ownerWindow` (an HWND, or null) owns any
// question Windows asks.
bool MoveToRecycleBin(const std::vector<std::wstring>& paths, void* ownerWindow);

// Tests answer in place of the platform; an empty function gives it back.
using RecycleHook = std::function<bool(const std::vector<std::wstring>&)>;
void OverrideRecycleBin(RecycleHook hook);
