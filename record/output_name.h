// The names of a recording's files: the stream files, and the finished
// recording, named after the session's base path with the call partners'
// handles in parentheses and ".wav".
#pragma once

#include <string>
#include <string_view>

#include "common/direction.h"

// The direction's stream file for a base path: "%s_Out.sky" or "%s_In.sky".
std::wstring StreamFileName(const std::wstring& basePath, Direction direction);

// A name this long or longer is not used; the base path + ".wav" is.
constexpr size_t kOutputNameLimit = 260;

// "%s(%s).wav", or "%s.wav" when that would be 260 characters or longer. An
// empty list keeps its empty parentheses.
std::wstring OutputWaveName(std::wstring_view basePath, std::wstring_view partnerList);

// OutputWaveName, unless a file of that name already exists with ".wav" or
// with an encoder's extension (a recording of the same second with the same
// partners, or its MP3 whose WAV was deleted): then the first free
// "<name> (2)", "<name> (3)" ... is used, so that no recording replaces
// another.
std::wstring FreeOutputWaveName(std::wstring_view basePath, std::wstring_view partnerList);

// The base path itself when no stream file of it exists, else the first
// "<base> (2)", "<base> (3)" ... without one: a recording started in the
// second another one started must not replace that one's stream files (which
// stay on disk when their mix failed).
std::wstring FreeBasePath(std::wstring_view basePath);
