// The failure texts: every Winsock name of the table and the codes around it,
// the system's message or the fixed fallback, and the message box's text after
// cutting and line-end conversion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/error_texts.h"
#include "tests/support/capture.h"

TEST(WsaErrorName, EveryCodeOfTheTableHasItsName) {
  struct Named {
    uint32_t code;
    const wchar_t* name;
  };
  const Named table[] = {
      {6, L"WSA_INVALID_HANDLE"}, {8, L"WSA_NOT_ENOUGH_MEMORY"}, {87, L"WSA_INVALID_PARAMETER"},
      {995, L"WSA_OPERATION_ABORTED"}, {996, L"WSA_IO_INCOMPLETE"}, {997, L"WSA_IO_PENDING"},
      {10004, L"WSAEINTR"}, {10009, L"WSAEBADF"}, {10013, L"WSAEACCES"}, {10014, L"WSAEFAULT"},
      {10022, L"WSAEINVAL"}, {10024, L"WSAEMFILE"},
      {10035, L"WSAEWOULDBLOCK"}, {10036, L"WSAEINPROGRESS"}, {10037, L"WSAEALREADY"},
      {10038, L"WSAENOTSOCK"}, {10039, L"WSAEDESTADDRREQ"}, {10040, L"WSAEMSGSIZE"},
      {10041, L"WSAEPROTOTYPE"}, {10042, L"WSAENOPROTOOPT"}, {10043, L"WSAEPROTONOSUPPORT"},
      {10044, L"WSAESOCKTNOSUPPORT"}, {10045, L"WSAEOPNOTSUPP"}, {10046, L"WSAEPFNOSUPPORT"},
      {10047, L"WSAEAFNOSUPPORT"}, {10048, L"WSAEADDRINUSE"}, {10049, L"WSAEADDRNOTAVAIL"},
      {10050, L"WSAENETDOWN"}, {10051, L"WSAENETUNREACH"}, {10052, L"WSAENETRESET"},
      {10053, L"WSAECONNABORTED"}, {10054, L"WSAECONNRESET"}, {10055, L"WSAENOBUFS"},
      {10056, L"WSAEISCONN"}, {10057, L"WSAENOTCONN"}, {10058, L"WSAESHUTDOWN"},
      {10059, L"WSAETOOMANYREFS"}, {10060, L"WSAETIMEDOUT"}, {10061, L"WSAECONNREFUSED"},
      {10062, L"WSAELOOP"}, {10063, L"WSAENAMETOOLONG"}, {10064, L"WSAEHOSTDOWN"},
      {10065, L"WSAEHOSTUNREACH"}, {10066, L"WSAENOTEMPTY"}, {10067, L"WSAEPROCLIM"},
      {10068, L"WSAEUSERS"}, {10069, L"WSAEDQUOT"}, {10070, L"WSAESTALE"}, {10071, L"WSAEREMOTE"},
      {10091, L"WSASYSNOTREADY"}, {10092, L"WSAVERNOTSUPPORTED"}, {10093, L"WSANOTINITIALISED"},
      {10101, L"WSAEDISCON"}, {10102, L"WSAENOMORE"}, {10103, L"WSAECANCELLED"},
      {10104, L"WSAEINVALIDPROCTABLE"}, {10105, L"WSAEINVALIDPROVIDER"}, {10106, L"WSAEPROVIDERFAILEDINIT"},
      {10107, L"WSASYSCALLFAILURE"}, {10108, L"WSASERVICE_NOT_FOUND"}, {10109, L"WSATYPE_NOT_FOUND"},
      {10110, L"WSA_E_NO_MORE"}, {10111, L"WSA_E_CANCELLED"}, {10112, L"WSAEREFUSED"},
      {11001, L"WSAHOST_NOT_FOUND"}, {11002, L"WSATRY_AGAIN"}, {11003, L"WSANO_RECOVERY"},
      {11004, L"WSANO_DATA"},
  };
  for (const Named& entry : table) EXPECT_EQ(WsaErrorName(entry.code), entry.name) << entry.code;
}

TEST(WsaErrorName, CodesBesideTheTableAreNumbered) {
  for (uint32_t code : {0u, 5u, 7u, 9u, 86u, 88u, 994u, 998u, 1460u, 10000u, 10003u, 10005u, 10010u, 10012u,
                        10015u, 10023u, 10025u, 10034u, 10072u, 10090u, 10094u, 10100u, 10113u, 11000u, 11005u,
                        4294967295u}) {
    EXPECT_EQ(WsaErrorName(code), L"Code " + std::to_wstring(code)) << code;
  }
}

#ifdef _WIN32
namespace {
bool EndsInSpace(const std::wstring& text) {
  wchar_t last = text.empty() ? L'x' : text.back();
  return last == L' ' || last == L'\r' || last == L'\n' || last == L'\t';
}
}  // namespace
#endif

TEST(WsaErrorText, NameThenTheSystemsMessageWithoutTrailingSpace) {
#ifdef _WIN32
  // The system's messages end with a line break, which goes. Not every system
  // has texts for the Winsock codes (wine has none), so the code taken here is a
  // general one that every system explains.
  std::wstring text = WsaErrorText(5);  // ERROR_ACCESS_DENIED
  ASSERT_EQ(text.compare(0, 8, L"Code 5: "), 0);
  EXPECT_GT(text.size(), 8u);
  EXPECT_NE(text, L"Code 5: Windows has no explanation for this error");
  EXPECT_FALSE(EndsInSpace(text));
  for (uint32_t code : {10048u, 10054u, 10061u}) {
    std::wstring wsa = WsaErrorText(code);
    std::wstring prefix = WsaErrorName(code) + L": ";
    EXPECT_EQ(wsa.compare(0, prefix.size(), prefix), 0) << code;
    EXPECT_GT(wsa.size(), prefix.size()) << code;
    EXPECT_FALSE(EndsInSpace(wsa)) << code;
  }
#else
  EXPECT_EQ(WsaErrorText(10054), L"WSAECONNRESET: Connection reset by peer");
  EXPECT_EQ(WsaErrorText(10048), L"WSAEADDRINUSE: Address already in use");
  EXPECT_EQ(WsaErrorText(10061), L"WSAECONNREFUSED: Connection refused");
  EXPECT_EQ(WsaErrorText(10057), L"WSAENOTCONN: Transport endpoint is not connected");
  // A code with a name but no system text.
  EXPECT_EQ(WsaErrorText(10112), L"WSAEREFUSED: Windows has no explanation for this error");
#endif
}

TEST(WsaErrorText, CodeWithoutAnyExplanation) {
  EXPECT_EQ(WsaErrorText(123456789u), L"Code 123456789: Windows has no explanation for this error");
  EXPECT_EQ(WsaErrorText(4294967295u), L"Code 4294967295: Windows has no explanation for this error");
}

TEST(ErrorBox, TheTextHasCrLfLineEnds) {
  EXPECT_EQ(ErrorBoxText(L"Listen failed!"), L"Listen failed!\r\n");
  EXPECT_EQ(ErrorBoxText(L"Error retrieving Local IP: %s", {L"WSAENETDOWN: down"}),
            L"Error retrieving Local IP: WSAENETDOWN: down\r\n");
  EXPECT_EQ(ErrorBoxText(L"a\r\nb\nc\r\rd\n"), L"a\r\nb\r\ncd\r\n\r\n");
  EXPECT_EQ(ErrorBoxText(L"%s and 100%% %d", {L"x\ny", 7}), L"x\r\ny and 100% 7\r\n");
}

TEST(ErrorBox, TextsOfFiftyThousandCharactersAreCut) {
  std::wstring under(49999, L'a');
  EXPECT_EQ(ErrorBoxText(L"%s", {under}), under + L"\r\n");
  std::wstring exactly(50000, L'b');
  EXPECT_EQ(ErrorBoxText(L"%s", {exactly}), exactly + L"...<cut>\r\n");
  std::wstring over = std::wstring(49999, L'c') + L"dXYZ";
  EXPECT_EQ(ErrorBoxText(L"%s", {over}), std::wstring(49999, L'c') + L"d...<cut>\r\n");
  // The cut comes before the line ends change: 50,000 LFs become 50,000 CR LFs.
  std::wstring lines(60000, L'\n');
  std::wstring expected;
  for (int i = 0; i < 50000; ++i) expected += L"\r\n";
  EXPECT_EQ(ErrorBoxText(L"%s", {lines}), expected + L"...<cut>\r\n");
  // And CRs count before they are removed.
  EXPECT_EQ(ErrorBoxText(L"%s", {std::wstring(50001, L'\r')}), L"...<cut>\r\n");
}
