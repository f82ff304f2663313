// The client's windows, registered path and process, against SimSkype.exe
// showing windows of the client's classes and installed as skype.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings.h"
#include "skype/skype_api.h"
#include "skype/skype_client.h"
#include "skype/skype_link.h"
#include "skype/window_control.h"
#include "tests/skype/wine_link_support.h"
#include "tests/support/wait.h"

using Strings = std::vector<std::string>;

namespace {

std::wstring ClassOf(WindowId window) {
  wchar_t name[256] = {};
  GetClassNameW(reinterpret_cast<HWND>(window), name, 256);
  return name;
}

void SetRegistryPath(HKEY root, const wchar_t* value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, kSkypeRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (value)
    RegSetValueExW(key, kSkypePathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void DeleteRegistryKey(HKEY root) {
  RegDeleteKeyW(root, kSkypeRegistryKey);
  RegDeleteKeyW(root, L"Software\\Skype");
}

// Every test starts and ends with no client registered anywhere.
class WindowControlWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteRegistryKey(HKEY_CURRENT_USER);
    DeleteRegistryKey(HKEY_LOCAL_MACHINE);
  }
  void TearDown() override { SetUp(); }

  // Installs SimSkype as skype.exe into `dir`; its path.
  std::wstring Install(const TempDir& dir) {
    EXPECT_EQ(RunProgram(SimSkypePath(), L"--install \"" + dir.path() + L"\""), 0);
    return dir.file(L"skype.exe");
  }
};

}  // namespace

TEST_F(WindowControlWineTest, TheMainWindowIsFoundByItsClassesInOrder) {
  EXPECT_EQ(FindSkypeMainWindow(), 0u);
  SimClient client(
      "hide-windows\n"
      "window TZapMainForm\n"
      "window tSkMainForm.UnicodeClass\n"
      "wait closed tSkMainForm.UnicodeClass\n"
      "close-window TZapMainForm\n");
  ASSERT_TRUE(client.waitForLine("window tSkMainForm.UnicodeClass"));
  WindowId found = FindSkypeMainWindow();
  EXPECT_EQ(ClassOf(found), L"tSkMainForm.UnicodeClass");
  PostMessageW(reinterpret_cast<HWND>(found), WM_CLOSE, 0, 0);
  ASSERT_TRUE(client.waitForLine("WM_CLOSE tSkMainForm.UnicodeClass"));
  EXPECT_EQ(client.waitExit(), 0);
  EXPECT_EQ(FindSkypeMainWindow(), 0u);
}

TEST_F(WindowControlWineTest, EachCallQualityWindowClassGetsWmClose) {
  std::string scenario = "hide-windows\n";
  for (const wchar_t* name : kSkypeCallQualityWindowClasses) {
    std::string n(name, name + wcslen(name));
    scenario += "window " + n + "\n";
  }
  for (const wchar_t* name : kSkypeCallQualityWindowClasses) {
    std::string n(name, name + wcslen(name));
    scenario += "wait closed " + n + "\n";
  }
  SimClient client(scenario);
  ASSERT_TRUE(client.waitForLine("window TCallQualityForm"));
  CloseCallQualityWindows();
  EXPECT_EQ(client.waitExit(), 0);
  int closes = 0;
  for (const std::string& line : client.events()) closes += line.rfind("WM_CLOSE ", 0) == 0;
  EXPECT_EQ(closes, 4);
}

TEST_F(WindowControlWineTest, TheWatcherClosesQualityWindowsWhileAttachedWhenTheSettingIsOn) {
  SettingsRecord settings;
  settings.closeCallQualityWindow = 1;
  RecorderSide recorder(settings);
  SimClient client(
      "hide-windows\n"
      "wait attach\n"
      "window TskCallQualityForm.UnicodeClass\n"
      "wait closed TskCallQualityForm.UnicodeClass\n"
      "window TCallQualityForm\n"
      "wait closed TCallQualityForm\n");
  EXPECT_EQ(client.waitExit(), 0);
  EXPECT_TRUE(client.hasEvent("WM_CLOSE TskCallQualityForm.UnicodeClass"));
  EXPECT_TRUE(client.hasEvent("WM_CLOSE TCallQualityForm"));
  EXPECT_EQ(recorder.link().attached.load(), 1u);
}

TEST_F(WindowControlWineTest, ThePathComesFromTheUserKeyFirstAndTheFileMustExist) {
  TempDir dir;
  std::wstring path;
  EXPECT_FALSE(GetSkypePath(path));
  std::wstring installed = Install(dir);
  ASSERT_TRUE(GetSkypePath(path));
  EXPECT_EQ(path, installed);

  // The file gone: no path.
  {
    ASSERT_TRUE(DeleteFileW(installed.c_str()));
    EXPECT_FALSE(GetSkypePath(path));
    BareClient bare;
    EXPECT_EQ(GetSkypeClientState(bare.client.link), NotInstalled);
  }
  // A folder is not a program file.
  SetRegistryPath(HKEY_CURRENT_USER, dir.path().c_str());
  EXPECT_FALSE(GetSkypePath(path));

  // The machine key is asked only when the user key is missing.
  std::wstring machineCopy = dir.file(L"machine.exe");
  ASSERT_TRUE(CopyFileW(SimSkypePath().c_str(), machineCopy.c_str(), FALSE));
  SetRegistryPath(HKEY_LOCAL_MACHINE, machineCopy.c_str());
  DeleteRegistryKey(HKEY_CURRENT_USER);
  SetRegistryPath(HKEY_CURRENT_USER, nullptr);  // the key without the value
  EXPECT_FALSE(GetSkypePath(path));
  DeleteRegistryKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(GetSkypePath(path));
  EXPECT_EQ(path, machineCopy);

  // Uninstalling removes the user's value (and the then empty keys).
  Install(dir);
  EXPECT_EQ(RunProgram(SimSkypePath(), L"--uninstall"), 0);
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kSkypeRegistryKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  ASSERT_TRUE(GetSkypePath(path));
  EXPECT_EQ(path, machineCopy);
}

TEST_F(WindowControlWineTest, TheClientStateFollowsInstallProcessAndLink) {
  TempDir dir;
  BareClient bare;
  EXPECT_EQ(GetSkypeClientState(bare.client.link), NotInstalled);
  std::wstring program = Install(dir);
  EXPECT_FALSE(IsSkypeRunning());
  EXPECT_EQ(GetSkypeClientState(bare.client.link), NotRunning);
  {
    RecorderSide recorder;
    SimClient client(
        "user erin\n"
        "hide-windows\n"
        "attach 0 none\n"
        "window tSkMainForm\n"
        "wait attach\n"
        "wait command FOCUS\n",
        program);
    ASSERT_TRUE(client.waitForLine("window tSkMainForm"));
    EXPECT_TRUE(IsSkypeRunning());
    ASSERT_TRUE(WaitUntil([&] { return recorder.link().attached.load() == 1; }));
    EXPECT_EQ(GetSkypeClientState(recorder.link()), Attached);
    // The Run Skype button while attached: the client's window comes back.
    EXPECT_TRUE(OpenSkype(recorder.link(), Attached));
    EXPECT_EQ(client.waitExit(), 0);
    EXPECT_EQ(client.commands(), (Strings{"GET CURRENTUSERHANDLE", "SET WINDOWSTATE NORMAL", "FOCUS"}));
    EXPECT_TRUE(client.hasEvent("windowstate NORMAL"));
  }
  EXPECT_FALSE(IsSkypeRunning());
  EXPECT_EQ(GetSkypeClientState(bare.client.link), NotRunning);
}

TEST_F(WindowControlWineTest, RunSkypeStartsTheInstalledClient) {
  TempDir dir;
  std::wstring program = Install(dir);
  // Installed but not running: the button starts it.
  BareClient bare;
  EXPECT_TRUE(OpenSkype(bare.client.link, NotRunning));
  ASSERT_TRUE(WaitUntil([] { return FindSkypeMainWindow() != 0; }));
  EXPECT_TRUE(IsSkypeRunning());
  PostMessageW(reinterpret_cast<HWND>(FindSkypeMainWindow()), WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] {
    auto lines = ReadLines(dir.file(L"events.log"));
    return !lines.empty() && lines.back() == "exit 0";
  }));
  ASSERT_TRUE(WaitUntil([] { return !IsSkypeRunning(); }));
}

TEST_F(WindowControlWineTest, TheWatcherStartsTheClientAgainWhenItsWindowIsThere) {
  TempDir dir;
  std::wstring program = Install(dir);
  SimClient client(
      "hide-windows\n"
      "window tSkMainForm.UnicodeClass\n"
      "wait closed tSkMainForm.UnicodeClass\n");
  ASSERT_TRUE(client.waitForLine("window tSkMainForm.UnicodeClass"));
  // The watcher's start: the main window is there and the path is known, so
  // the program is opened again; a second copy sees the window and ends.
  BareClient bare;
  bare.client.StartThreads();
  ASSERT_TRUE(WaitUntil([&] {
    auto lines = ReadLines(dir.file(L"events.log"));
    return lines.size() >= 2 && lines[0] == "second-start" && lines[1] == "exit 0";
  }));
  EXPECT_TRUE(bare.client.StopThreads());
  PostMessageW(reinterpret_cast<HWND>(FindSkypeMainWindow()), WM_CLOSE, 0, 0);
  EXPECT_EQ(client.waitExit(), 0);
}
