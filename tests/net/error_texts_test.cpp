// The failure texts: the Winsock names and the codes around them, the
// system's message or the fixed fallback, and the message box's text after
// cutting and line-end conversion.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "net/error_texts.h"
#include "net/event_socket.h"

// Every name is a Winsock name and names one code only: a name left out of
// a run of codes would move every later name of that run onto its neighbour.
TEST(WsaErrorName, EachNameIsAWinsockNameOfOneCode) {
  std::map<std::wstring, uint32_t> named;
  for (uint32_t code = 0; code < 12000; ++code) {
    const std::wstring name = WsaErrorName(code);
    if (name == L"Code " + std::to_wstring(code)) continue;
    EXPECT_EQ(name.compare(0, 3, L"WSA"), 0) << code;
    EXPECT_TRUE(named.emplace(name, code).second) << "both " << named[name] << " and " << code;
  }
  EXPECT_EQ(named.size(), 68u) << "the codes that Winsock names";
}

// The codes the servers meet and report are named as Winsock names them.
TEST(WsaErrorName, TheServersCodesHaveTheirNames) {
  EXPECT_EQ(WsaErrorName(kWsaNotEnoughMemory), L"WSA_NOT_ENOUGH_MEMORY");
  EXPECT_EQ(WsaErrorName(kWsaEWouldBlock), L"WSAEWOULDBLOCK");
  EXPECT_EQ(WsaErrorName(kWsaEAddrInUse), L"WSAEADDRINUSE");
  EXPECT_EQ(WsaErrorName(kWsaENetDown), L"WSAENETDOWN");
  EXPECT_EQ(WsaErrorName(kWsaEConnAborted), L"WSAECONNABORTED");
  EXPECT_EQ(WsaErrorName(kWsaEConnReset), L"WSAECONNRESET");
  EXPECT_EQ(WsaErrorName(kWsaEIsConn), L"WSAEISCONN");
  EXPECT_EQ(WsaErrorName(kWsaENotConn), L"WSAENOTCONN");
  EXPECT_EQ(WsaErrorName(kWsaEShutdown), L"WSAESHUTDOWN");
  EXPECT_EQ(WsaErrorName(kWsaEConnRefused), L"WSAECONNREFUSED");
  EXPECT_EQ(WsaErrorName(kWsaSysCallFailure), L"WSASYSCALLFAILURE");
  // The last of each run of codes.
  EXPECT_EQ(WsaErrorName(997), L"WSA_IO_PENDING");
  EXPECT_EQ(WsaErrorName(10071), L"WSAEREMOTE");
  EXPECT_EQ(WsaErrorName(10093), L"WSANOTINITIALISED");
  EXPECT_EQ(WsaErrorName(10112), L"WSAEREFUSED");
  EXPECT_EQ(WsaErrorName(11004), L"WSANO_DATA");
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
