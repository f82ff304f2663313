// The tray icon's balloons as the shell's notification area shows them, read
// back from the tray itself: SimSkype.exe --tray-balloon reads the text of the
// balloon on display. The shell shows a balloon a while after it is asked for
// (wine's tray: 2 s), so every check waits for what the tray shows.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/tray_icon.h"
#include "common/strings.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"

namespace {

// The text of the balloon the tray shows now; empty when none shows.
std::wstring ShownBalloon(const TempDir& dir) {
  std::wstring answer = dir.file(L"balloon.txt");
  DeleteFileW(answer.c_str());
  ProcessRun run = RunProcessAndWait(L"\"" + GetModuleDirectory() + L"SimSkype.exe\" --tray-balloon \"" + answer + L"\"",
                                     std::chrono::seconds(60));
  if (!run.ended || run.exitCode != 0) return std::wstring();
  return WideFromUtf8(ReadFileBytes(answer));
}

}  // namespace

// A balloon asked for while another shows replaces it, and one taken away
// before its time is gone; texts longer than the field show cut to it.
TEST(TrayBalloons, TheTrayShowsTheLastBalloonAskedFor) {
  TempDir dir;
  BenchDialog owner(120, 40);
  TrayIcon icon;
  icon.Init(owner.hwnd(), LoadIconW(nullptr, IDI_APPLICATION));
  ASSERT_TRUE(icon.Add(L"Calvoro Record"));
  std::wstring shown;
  EXPECT_TRUE(PumpUntil([&] { return ShownBalloon(dir).empty(); }));

  ASSERT_TRUE(icon.ShowBalloon(L"Recording: bob"));
  EXPECT_TRUE(PumpUntil([&] { return (shown = ShownBalloon(dir)) == L"Recording: bob"; })) << shown.c_str();
  ASSERT_TRUE(icon.ShowBalloon(L"Cannot create the recording's files \u65e0\u6cd5\u521b\u5efa"));
  EXPECT_TRUE(PumpUntil([&] {
    return (shown = ShownBalloon(dir)) == L"Cannot create the recording's files \u65e0\u6cd5\u521b\u5efa";
  })) << shown.c_str();

  ASSERT_TRUE(icon.RemoveBalloon());
  EXPECT_TRUE(PumpUntil([&] { return ShownBalloon(dir).empty(); }));

  std::wstring longText(400, L'b');
  ASSERT_TRUE(icon.ShowBalloon(longText));
  EXPECT_TRUE(PumpUntil([&] { return (shown = ShownBalloon(dir)) == longText.substr(0, kTrayBalloonMaxChars); }))
      << shown.size();
  EXPECT_TRUE(icon.Delete());
  EXPECT_TRUE(PumpUntil([&] { return ShownBalloon(dir).empty(); }));
}
