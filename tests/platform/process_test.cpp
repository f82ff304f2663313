#include <gtest/gtest.h>

#include "platform/process.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {
const wchar_t* const kLines[] = {
    L"lame.exe -h \"C:\\Rec\\a b.wav\" \"C:\\Rec\\a b.mp3\"",
    L"oggenc2.exe -q 10 \"D:\\Rec\\2011-03-07 09h05m02s(alice bob).wav\"",
    L"  \"C:\\Program Files\\x.exe\"  one   two\t three ",
    L"\"C:\\a b\\x.exe\"tail next",
    L"p a\\\\\\\"b c",           // 3 backslashes + quote: one backslash and a literal quote
    L"p a\\\\\"b c\" d",         // 2 backslashes + quote: one backslash, the quote opens
    L"p a\\b\\\\c \\\\server\\share\\",  // backslashes not before a quote are literal
    L"p \"a\"\"b\" c",           // "" inside quotes: a literal quote, the quoted part ends
    L"p \"\"\"a\"\"\" b",
    L"p \"\" x",                 // an empty argument
    L"p \"unterminated arg",
    L"p \"a\"\"\"\"b c\" d",
    L"p a\\\"\"b c\" d",
};
}  // namespace

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(SplitCommandLine(kLines[0]), (V{L"lame.exe", L"-h", L"C:\\Rec\\a b.wav", L"C:\\Rec\\a b.mp3"}));
  EXPECT_EQ(SplitCommandLine(kLines[2]), (V{L"", L"C:\\Program Files\\x.exe", L"one", L"two", L"three"}));
  EXPECT_EQ(SplitCommandLine(kLines[3]), (V{L"C:\\a b\\x.exe", L"tail", L"next"}));
  EXPECT_EQ(SplitCommandLine(kLines[4]), (V{L"p", L"a\\\"b", L"c"}));
  EXPECT_EQ(SplitCommandLine(kLines[5]), (V{L"p", L"a\\b c", L"d"}));
  EXPECT_EQ(SplitCommandLine(kLines[6]), (V{L"p", L"a\\b\\\\c", L"\\\\server\\share\\"}));
  EXPECT_EQ(SplitCommandLine(kLines[8]), (V{L"p", L"\"a\"", L"b"}));
  EXPECT_EQ(SplitCommandLine(kLines[9]), (V{L"p", L"", L"x"}));
  EXPECT_EQ(SplitCommandLine(kLines[10]), (V{L"p", L"unterminated arg"}));
  EXPECT_TRUE(SplitCommandLine(L"").empty());
  EXPECT_EQ(SplitCommandLine(L"   "), V{L""});
}

#ifdef _WIN32
// The system's own splitter is the reference.
TEST(SplitCommandLine, AgreesWithCommandLineToArgvW) {
  for (const wchar_t* line : kLines) {
    SCOPED_TRACE(testing::Message() << std::string(line, line + wcslen(line)));
    int n = 0;
    wchar_t** argv = CommandLineToArgvW(line, &n);
    ASSERT_NE(argv, nullptr);
    std::vector<std::wstring> expected(argv, argv + n);
    LocalFree(argv);
    EXPECT_EQ(SplitCommandLine(line), expected);
  }
}
#endif

TEST(ProcessSeam, AMissingProgramOrAnInjectedFaultIsNotStarted) {
  EXPECT_FALSE(RunProcessAndWait(L"calvoro-no-such-program.exe a b").started);
  EXPECT_FALSE(RunProcessAndWait(L"").started);
  EXPECT_FALSE(RunProcessAndWait(L" lame.exe").started);  // an empty program name
  InjectProcessStartFailure(L"CMD.EXE");
  InjectProcessStartFailure(L"sh");
  EXPECT_FALSE(RunProcessAndWait(L"cmd.exe /c exit 0").started);
  EXPECT_FALSE(RunProcessAndWait(L"\"/bin/sh\" -c true").started);
  ClearProcessFaults();
}

TEST(ProcessSeam, TheExitCodeComesBack) {
#ifdef _WIN32
  ProcessRun run = RunProcessAndWait(L"cmd.exe /c exit 7");
#else
  ProcessRun run = RunProcessAndWait(L"sh -c \"exit 7\"");
#endif
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 7u);
}
