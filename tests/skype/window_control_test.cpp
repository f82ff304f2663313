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
    SetSkypeClientStandIn(standIn);
  }
  Events log;
};

}  // namespace

// OpenSkype's result tells the caller whether something was opened, after
// which the recorder's window takes the focus back.

TEST(OpenSkype, NotInstalledOpensTheMakersWebSite) {
  LinkRecorder recorder;
  ButtonEffects effects(/*installed=*/true);  // the stored state decides, not a new check
  recorder.link().attached.store(1);
  EXPECT_TRUE(OpenSkype(recorder.link(), NotInstalled));
  EXPECT_EQ(effects.log, Events{L"open https://www.skype.com/"});
  EXPECT_TRUE(recorder.events().empty());
}

TEST(OpenSkype, WhileAttachedBringsTheClientsWindowBackAndStartsNothing) {
  LinkRecorder recorder;
  ButtonEffects effects(/*installed=*/true);
  recorder.link().attached.store(1);
  EXPECT_TRUE(OpenSkype(recorder.link(), Attached));
  EXPECT_EQ(recorder.events(), (Events{L"> SET WINDOWSTATE NORMAL", L"> FOCUS"}));
  EXPECT_TRUE(effects.log.empty());
  // The stored state may be older than the flag: the flag decides.
  recorder.clear();
  EXPECT_TRUE(OpenSkype(recorder.link(), NotRunning));
  EXPECT_EQ(recorder.events(), (Events{L"> SET WINDOWSTATE NORMAL", L"> FOCUS"}));
  EXPECT_TRUE(effects.log.empty());
}

TEST(OpenSkype, OtherwiseStartsTheClientWhenItsPathIsKnown) {
  {
    LinkRecorder recorder;
    ButtonEffects effects(/*installed=*/true);
    EXPECT_TRUE(OpenSkype(recorder.link(), NotRunning));
    EXPECT_EQ(effects.log, Events{L"open C:\\Skype\\skype.exe"});
    EXPECT_TRUE(recorder.events().empty());
  }
  {
    LinkRecorder recorder;
    ButtonEffects effects(/*installed=*/false);
    EXPECT_FALSE(OpenSkype(recorder.link(), NotAttached)) << "no path: nothing is opened, nothing to focus after";
    EXPECT_TRUE(effects.log.empty());
    EXPECT_TRUE(recorder.events().empty());
  }
}
