// The Run Skype button's three cases, against the native client stand-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skype/skype_api.h"
#include "skype/window_control.h"
#include "tests/skype/link_recorder.h"
#include "tests/support/skype_client_standin.h"

using Events = std::vector<std::wstring>;

namespace {

// The button's effects on the client's side, in order, beside the commands
// (made after the LinkRecorder, whose client stand-in it extends).
struct ButtonEffects {
  explicit ButtonEffects(bool installed) {
    SkypeClientStandIn standIn = CurrentSkypeClientStandIn();
    standIn.skypePath = [installed](std::wstring& path) {
      path = L"C:\\Skype\\skype.exe";
      return installed;
    };
    standIn.shellOpen = [this](const std::wstring& target) { log.push_back(L"open " + target); };
    standIn.focusMainWindow = [this] { log.push_back(L"focus"); };
    SetSkypeClientStandIn(standIn);
  }
  Events log;
};

}  // namespace

TEST(OpenSkype, NotInstalledOpensTheMakersWebSite) {
  LinkRecorder recorder;
  ButtonEffects effects(/*installed=*/true);  // the stored state decides, not a new check
  attached.store(1);
  OpenSkype(NotInstalled);
  EXPECT_EQ(effects.log, (Events{L"open https://www.skype.com/", L"focus"}));
  EXPECT_TRUE(recorder.events().empty());
}

TEST(OpenSkype, WhileAttachedBringsTheClientsWindowBackAndStartsNothing) {
  LinkRecorder recorder;
  ButtonEffects effects(/*installed=*/true);
  attached.store(1);
  OpenSkype(Attached);
  EXPECT_EQ(recorder.events(), (Events{L"> SET WINDOWSTATE NORMAL", L"> FOCUS"}));
  EXPECT_EQ(effects.log, Events{L"focus"});
  // The stored state may be older than the flag: the flag decides.
  recorder.clear();
  effects.log.clear();
  OpenSkype(NotRunning);
  EXPECT_EQ(recorder.events(), (Events{L"> SET WINDOWSTATE NORMAL", L"> FOCUS"}));
}

TEST(OpenSkype, OtherwiseStartsTheClientWhenItsPathIsKnown) {
  {
    LinkRecorder recorder;
    ButtonEffects effects(/*installed=*/true);
    OpenSkype(NotRunning);
    EXPECT_EQ(effects.log, (Events{L"open C:\\Skype\\skype.exe", L"focus"}));
    EXPECT_TRUE(recorder.events().empty());
  }
  {
    LinkRecorder recorder;
    ButtonEffects effects(/*installed=*/false);
    OpenSkype(NotAttached);
    EXPECT_TRUE(effects.log.empty()) << "no path: nothing happens, not even the focus";
    EXPECT_TRUE(recorder.events().empty());
  }
}
