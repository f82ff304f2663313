// The name of a finished recording: the session's base path, the call
// partners' handles in parentheses, and ".wav".
#pragma once

#include <string>
#include <string_view>

#include "skype/call_partners.h"

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
// The same from finishedCallPartners and callPartners.
std::wstring BuildPartnerList();

// "%s(%s).wav", or "%s.wav" when that would be 260 characters or longer. An
// empty list keeps its empty parentheses.
std::wstring OutputWaveName(std::wstring_view basePath, std::wstring_view partnerList);
