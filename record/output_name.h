// The names of a recording's files: the stream files, and the finished
// recording, named after the session's base path with the call partners'
// handles in parentheses and ".wav".
#pragma once

#include <string>
#include <string_view>

#include "common/direction.h"
#include "skype/call_partners.h"

// The direction's stream file for a base path: "%s_Out.sky" or "%s_In.sky".
std::wstring StreamFileName(const std::wstring& basePath, Direction direction);

// A name this long or longer is not used; the base path + ".wav" is.
constexpr size_t kOutputNameLimit = 260;

// A handle as it may stand in a file name: each character that Windows does not
// allow in a name (\ / : * ? " < > | and the control characters) becomes '_'.
// Handles such as "live:alice" would otherwise name an alternate data stream,
// and one holding a backslash would leave the record folder.
std::wstring FileNameSafeText(std::wstring_view text);

// For each slot from the first on, the finished table's handle if there is one,
// else the live table's; the list ends at the first slot empty in both. The
// handles are made file-name safe and separated by single blanks.
std::wstring BuildPartnerList(const PartnerTable& finished, const PartnerTable& live);
// The partners of the recording now: the live table while a call is in
// progress, else finishedCallPartners before callPartners as above.
std::wstring BuildPartnerList();

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
