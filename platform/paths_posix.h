// POSIX only: turns an engine path (Windows style) into a file system path
// (paths_posix.cpp).
#pragma once

#include <string>
#include <string_view>

// UTF-8, with every backslash turned into a slash.
std::string NativePath(std::wstring_view path);
