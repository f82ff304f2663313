#include "net/error_texts.h"

#include "net/event_socket_platform.h"

namespace {

struct CodeRange {
  uint32_t first;
  std::initializer_list<const wchar_t*> names;  // one per code from first on
};

// Codes with gaps between them are listed one range each.
const CodeRange kNamedCodes[] = {
    {6, {L"WSA_INVALID_HANDLE"}},
    {8, {L"WSA_NOT_ENOUGH_MEMORY"}},
    {87, {L"WSA_INVALID_PARAMETER"}},
    {995, {L"WSA_OPERATION_ABORTED", L"WSA_IO_INCOMPLETE", L"WSA_IO_PENDING"}},
    {10004, {L"WSAEINTR"}},
    {10009, {L"WSAEBADF"}},
    {10013, {L"WSAEACCES", L"WSAEFAULT"}},
    {10022, {L"WSAEINVAL"}},
    {10024, {L"WSAEMFILE"}},
    {10035,
     {L"WSAEWOULDBLOCK", L"WSAEINPROGRESS", L"WSAEALREADY", L"WSAENOTSOCK", L"WSAEDESTADDRREQ",
      L"WSAEMSGSIZE", L"WSAEPROTOTYPE", L"WSAENOPROTOOPT", L"WSAEPROTONOSUPPORT", L"WSAESOCKTNOSUPPORT",
      L"WSAEOPNOTSUPP", L"WSAEPFNOSUPPORT", L"WSAEAFNOSUPPORT", L"WSAEADDRINUSE", L"WSAEADDRNOTAVAIL",
      L"WSAENETDOWN", L"WSAENETUNREACH", L"WSAENETRESET", L"WSAECONNABORTED", L"WSAECONNRESET",
      L"WSAENOBUFS", L"WSAEISCONN", L"WSAENOTCONN", L"WSAESHUTDOWN", L"WSAETOOMANYREFS", L"WSAETIMEDOUT",
      L"WSAECONNREFUSED", L"WSAELOOP", L"WSAENAMETOOLONG", L"WSAEHOSTDOWN", L"WSAEHOSTUNREACH",
      L"WSAENOTEMPTY", L"WSAEPROCLIM", L"WSAEUSERS", L"WSAEDQUOT", L"WSAESTALE", L"WSAEREMOTE"}},
    {10091, {L"WSASYSNOTREADY", L"WSAVERNOTSUPPORTED", L"WSANOTINITIALISED"}},
    {10101,
     {L"WSAEDISCON", L"WSAENOMORE", L"WSAECANCELLED", L"WSAEINVALIDPROCTABLE", L"WSAEINVALIDPROVIDER",
      L"WSAEPROVIDERFAILEDINIT", L"WSASYSCALLFAILURE", L"WSASERVICE_NOT_FOUND", L"WSATYPE_NOT_FOUND",
      L"WSA_E_NO_MORE", L"WSA_E_CANCELLED", L"WSAEREFUSED"}},
    {11001, {L"WSAHOST_NOT_FOUND", L"WSATRY_AGAIN", L"WSANO_RECOVERY", L"WSANO_DATA"}},
};

bool IsTrailingSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

std::wstring WsaErrorName(uint32_t code) {
  for (const CodeRange& range : kNamedCodes) {
    if (code >= range.first && code - range.first < range.names.size())
      return range.names.begin()[code - range.first];
  }
  return FormatText(L"Code %u", {code});
}

std::wstring WsaErrorText(uint32_t code) {
  std::wstring message;
  std::wstring text;
  if (event_socket_platform::SystemErrorMessage(code, message))
    text = FormatText(L"%s: %s", {WsaErrorName(code), message});
  else
    text = FormatText(L"%s: Windows has no explanation for this error", {WsaErrorName(code)});
  while (!text.empty() && IsTrailingSpace(text.back())) text.pop_back();
  return text;
}

std::wstring ErrorBoxText(std::wstring_view format, std::initializer_list<FormatArg> args) {
  std::wstring formatted = FormatText(format, args);
  if (formatted.size() >= kErrorBoxMaxChars) {
    formatted.resize(kErrorBoxMaxChars);
    formatted += L"...<cut>";
  }
  std::wstring text;
  text.reserve(formatted.size() + 16);
  for (wchar_t c : formatted) {
    if (c == L'\r') continue;
    if (c == L'\n') text += L'\r';
    text += c;
  }
  text += L"\r\n";
  return text;
}
