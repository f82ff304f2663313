// The main window as its user meets it, under wine: the real MainWindow from
// the program's own template, resources, skin and language file, driven by
// real mouse clicks at its buttons, key presses in its menus and the tray
// icon's messages, and read back from its texts, its pixels and what it asks
// of the shell.
#include "tests/app/main_window_test_support.h"

namespace {

TEST_F(MainWindowTest, StatusLinesShowTheClientAndTheFolderInTheirColours) {
  Open();
  // No client installed: red, and the button offers to get one.
  EXPECT_EQ(ClientState(), NotInstalled);
  EXPECT_EQ(Text(IDC_CLIENT_STATUS), Lang(L"Skype_Status_5"));
  EXPECT_EQ(Text(IDC_RUN_SKYPE), Lang(L"Button_Access_Skype_Network"));
  EXPECT_GT(Shows(IDC_CLIENT_STATUS, kRed), 5);

  // Installed (the path names an existing file) but not running.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Skype\\Phone", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  std::wstring self = GetModuleFilePath();
  RegSetValueExW(key, L"SkypePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(self.c_str()),
                 static_cast<DWORD>((self.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  RefreshClientLine();
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Skype\\Phone");
  EXPECT_EQ(ClientState(), NotRunning);
  EXPECT_EQ(Text(IDC_CLIENT_STATUS), Lang(L"Skype_Status_1"));
  EXPECT_EQ(Text(IDC_RUN_SKYPE), Lang(L"Button_Open_Skype"));

  // Enough space: green, with the size; the button to open the folder.
  freeBytes = 104857600;
  RefreshFolderLine();
  EXPECT_EQ(FolderState(), 2);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS), FormatText(Lang(L"RecordPath_Status_3"), {records}) + L", " +
                                         FormatText(Lang(L"Free_Disk_Size"), {L"100 MB"}));
  EXPECT_GT(Shows(IDC_FOLDER_STATUS, kGreen), 5);
  EXPECT_EQ(Shows(IDC_FOLDER_STATUS, kRed), 0);
  EXPECT_TRUE(Visible(IDC_OPEN_FOLDER));

  // A text that did not change paints nothing again.
  int erased = 0;
  auto countErase = [](HWND w, UINT m, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR count) -> LRESULT {
    if (m == WM_ERASEBKGND) ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(w, m, wp, lp);
  };
  ASSERT_TRUE(SetWindowSubclass(hwnd, countErase, 1, reinterpret_cast<DWORD_PTR>(&erased)));
  RefreshFolderLine();
  EXPECT_EQ(erased, 0);

  // One byte short of 100 MiB: red, the other text.
  freeBytes = 104857599;
  RefreshFolderLine();
  EXPECT_GT(erased, 0);
  RemoveWindowSubclass(hwnd, countErase, 1);
  EXPECT_EQ(FolderState(), 1);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS), FormatText(Lang(L"RecordPath_Status_2"), {records, L"99 MB"}));
  EXPECT_GT(Shows(IDC_FOLDER_STATUS, kRed), 5);

  // Free space that cannot be read: the line says it is not known.
  freeKnown = false;
  RefreshFolderLine();
  EXPECT_EQ(FolderState(), 2);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS),
            FormatText(Lang(L"RecordPath_Status_3"), {records}) + L", " + Lang(L"Free_Disk_Size_Unknown"));
  freeKnown = true;

  // The folder gone: red, and nothing to open.
  RemoveDirectoryW(records.c_str());
  RefreshFolderLine();
  EXPECT_EQ(FolderState(), 3);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS), FormatText(Lang(L"RecordPath_Status_1"), {records}));
  EXPECT_FALSE(Visible(IDC_OPEN_FOLDER));

  // The VirtualStore hint shows while the folder's VirtualStore copy exists,
  // and its button opens that copy.
  std::wstring copy = dir.file(L"Local") + L"\\VirtualStore" + records.substr(2);
  EXPECT_FALSE(Visible(IDC_VIRTUALSTORE_HINT));
  EXPECT_FALSE(Visible(IDC_OPEN_VIRTUALSTORE));
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, copy.c_str(), nullptr), ERROR_SUCCESS);
  RefreshFolderLine();
  EXPECT_TRUE(Visible(IDC_VIRTUALSTORE_HINT));
  EXPECT_TRUE(Visible(IDC_OPEN_VIRTUALSTORE));
  Click(IDC_OPEN_VIRTUALSTORE);
  ASSERT_TRUE(PumpUntil([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), std::vector<std::wstring>{copy});
}

TEST_F(MainWindowTest, TheSkinIsWholeAtTheSizeTheWindowReallyHas) {
  Open();
  RECT client, banner;
  GetClientRect(hwnd, &client);
  GetWindowRect(Item(IDC_BANNER), &banner);
  MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&banner), 2);
  if (banner.right + 20 >= client.right) {
    // The dialog font gives the window the width it has on Windows: it is
    // made wider, as another font would make it, so that the background is
    // stretched beyond the banner.
    RECT outer;
    GetWindowRect(hwnd, &outer);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    PumpPending();
    GetClientRect(hwnd, &client);
    GetWindowRect(Item(IDC_BANNER), &banner);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&banner), 2);
  }
  ASSERT_LT(banner.right + 20, client.right) << "the window is wider than the banner here";
  // The banner's lower edge and the band's are one line, left of the banner,
  // across it and right of it: no seam, no step.
  Pixels shot = Pixels::OfClient(hwnd);
  for (LONG x : {2L, (banner.left + banner.right) / 2, banner.right + 10, client.right - 3}) {
    COLORREF band = shot.at(x, banner.bottom - 1), body = shot.at(x, banner.bottom);
    EXPECT_LT(GetRValue(band) + GetGValue(band) + GetBValue(band), 200) << "band at " << x;
    EXPECT_GT(GetRValue(body) + GetGValue(body) + GetBValue(body), 600) << "body at " << x;
    EXPECT_EQ(body, shot.at(2, banner.bottom)) << x;
  }
  // Rounded corners; the small icon in its place, clear of the title line.
  EXPECT_FALSE(PtInRegionOfWindow(hwnd, {0, 0}));
  EXPECT_TRUE(PtInRegionOfWindow(hwnd, {client.right / 2, 0}));
  RECT icon, title;
  GetWindowRect(Item(IDC_APP_ICON), &icon);
  GetWindowRect(Item(IDC_TITLE), &title);
  EXPECT_EQ(icon.right - icon.left, GetSystemMetrics(SM_CXSMICON));
  EXPECT_LE(icon.right, title.left);
  // The status lines and the texts draw with the font height of their table
  // (the control's own font is the one a static draws with).
  for (auto [id, height] : {std::pair{IDC_CLIENT_STATUS, 16}, {IDC_FOLDER_STATUS, 16}, {IDC_RECORD_STATUS, 16},
                            {IDC_VIRTUALSTORE_HINT, 16}, {IDC_HELP_TEXT, 15}, {IDC_INFO_1, 16}, {IDC_INFO_3, 16}}) {
    LOGFONTW font = {};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_EQ(font.lfHeight, ScaleForScreen(height)) << id;
  }
}

TEST_F(MainWindowTest, TheProgramsOwnMessagesLeaveTheDefaultButtonAndThePlaceAlone) {
  Open();
  // Partly off the screen, where the dialog's own repositioning would move it.
  SetWindowPos(hwnd, nullptr, -200, -100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT before;
  GetWindowRect(hwnd, &before);
  LRESULT defaultButton = SendMessageW(hwnd, DM_GETDEFID, 0, 0);
  ASSERT_EQ(HIWORD(defaultButton), DC_HASDEFID);
  EXPECT_EQ(LOWORD(defaultButton), IDOK);
  // The recorder's events, each as its channel carries it, and the shell's
  // messages.
  for (int i = 0; i < 3; ++i) {
    events.OnCallStarted();
    events.OnCallsEnded();
  }
  events.OnClientStateChanged();
  events.OnPartnerKnown();
  events.OnRecordingsRecovered(RecoveryReport());
  SendMessageW(hwnd, WM_TRAY_NOTIFY, 99, WM_MOUSEMOVE);
  SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  PumpPending();
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(SendMessageW(hwnd, DM_GETDEFID, 0, 0), defaultButton);
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_FALSE(Session().Exists());
}

TEST_F(MainWindowTest, TrayIconShowsTipAndBalloonsAndComesBackWithTheTaskbar) {
  TrayRecorder tray;
  recorder->settings().Change([](SettingsRecord& s) { s.stateBalloons = 1; });
  Open();
  std::wstring caption = Lang(L"Main_Caption");
  std::vector<TrayCall> calls = tray.calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(calls[0].flags, kTrayIconFlags);
  EXPECT_EQ(calls[0].tip, L"Skype");
  EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(calls[1].tip, caption);

  // A recording's balloon, then a tip change: the tip's flags go with it, not
  // the balloon's, which would show the old balloon again.
  tray.clear();
  CallWith(L"bob");
  Click(IDC_RECORD);
  std::wstring balloon = FormatText(Lang(L"Record_Status1"), {L"bob "});
  ASSERT_TRUE(PumpUntil([&] {
    for (const TrayCall& call : tray.calls())
      if (call.flags == NIF_INFO && call.info == balloon) return true;
    return false;
  }));
  // The one request the window makes of the shell for `act`.
  auto onlyRequest = [&](const std::function<void()>& act) {
    tray.clear();
    act();
    std::vector<TrayCall> made = tray.calls();
    EXPECT_EQ(made.size(), 1u);
    return made.empty() ? TrayCall{} : made[0];
  };
  TrayCall tip = onlyRequest([&] { window->ApplyMainWindowTexts(); });
  EXPECT_EQ(tip.message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(tip.flags, kTrayIconFlags);
  EXPECT_EQ(tip.tip, caption);

  // The shell restarted: its new taskbar gets the icon again.
  TrayCall again = onlyRequest([&] { SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0); });
  EXPECT_EQ(again.message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(again.flags, kTrayIconFlags);
  EXPECT_EQ(again.tip, caption);

  // Seven seconds after a balloon the icon is deleted and added again.
  tray.clear();
  ASSERT_TRUE(PumpUntil([&] { return tray.calls().size() >= 2; }, std::chrono::seconds(30)));
  calls = tray.calls();
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(calls[1].flags, kTrayIconFlags);

  // Texts longer than their fields are cut to fit.
  TrayIcon icon;
  icon.Init(hwnd, nullptr);
  icon.Add(std::wstring(300, L't'));
  icon.ShowBalloon(std::wstring(400, L'b'));
  calls = tray.calls();
  EXPECT_EQ(calls[calls.size() - 2].tip, std::wstring(kTrayTipMaxChars, L't'));
  EXPECT_EQ(calls.back().info, std::wstring(kTrayBalloonMaxChars, L'b'));
  icon.Delete();
}

TEST_F(MainWindowTest, TrayDoubleClickAndMenuBringTheWindowBackAndExitKeepsTheRecording) {
  TrayRecorder tray;
  Open();
  // Close and the window's close request hide the window; the program goes on.
  Click(IDOK);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  ShowWindow(hwnd, SW_SHOW);
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_TRUE(IsWindow(hwnd));
  // Another icon's messages are answered with 1; only the double click and
  // the right button's release act.
  EXPECT_EQ(SendMessageW(hwnd, WM_TRAY_NOTIFY, 99, WM_LBUTTONDBLCLK), 1);
  for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE})
    EXPECT_EQ(SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, mouse), 0);
  PumpPending();
  EXPECT_FALSE(IsWindowVisible(hwnd));
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << "back in the normal order";

  // The tray menu: its texts follow the language, padded; Open brings the
  // minimised window back. (A menu needs its window in the foreground, which
  // wine does not give a hidden window; Windows does.)
  ShowWindow(hwnd, SW_MINIMIZE);
  SetForegroundWindow(hwnd);
  std::vector<std::wstring> texts;
  WhenMenuOpens([&](const OpenMenu& open) {
    for (int i = 0; i < GetMenuItemCount(open.menu); ++i) texts.push_back(MenuText(open.menu, i));
    return Choose(1);
  });
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] { return !IsIconic(hwnd) && IsWindowVisible(hwnd); })) << texts.size() << " items";
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"  " + Lang(L"Menu_Open") + L"  ", L"",
                                              L"  " + Lang(L"Menu_Setting") + L"  ",
                                              L"  " + Lang(L"Menu_Recordings") + L"  ",
                                              L"  " + Lang(L"Menu_About") + L"  ", L"",
                                              L"  " + Lang(L"Menu_Exit") + L"  "}));

  // Exit from the tray menu during a recording: the recording is finished,
  // complete, the icon goes and the loop is asked to end.
  CallWith(L"carol");
  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_STOP); }));
  Stream(1000, 2000, 48000);
  tray.clear();
  WhenMenuOpens([](const OpenMenu&) { return Choose(5); });
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] {
    MSG quit;
    return PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
  }));
  Session().WaitForFinishing();
  std::vector<TrayCall> calls = tray.calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(RecordingOf(L"carol"), std::vector<int16_t>(48000, 3000));
  // No new recording on the way out (the quit is taken first: the window
  // would otherwise not see the click).
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  Click(IDC_RECORD);
  PumpPending();
  EXPECT_FALSE(Session().Exists());
}

TEST_F(MainWindowTest, KeepOnTopTwiceThroughTheOptionMenu) {
  Open();
  RECT option;
  GetWindowRect(Item(IDC_OPTION), &option);
  HWND tips = nullptr;
  while ((tips = FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr)) && GetWindow(tips, GW_OWNER) != hwnd) {
  }
  ASSERT_NE(tips, nullptr);
  for (int round = 0; round < 2; ++round) {
    // The pointer rests on the button until its tip shows.
    RECT button;
    GetClientRect(Item(IDC_OPTION), &button);
    Mouse::MoveTo(Item(IDC_OPTION), {button.right / 2, button.bottom / 2});
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tips) != FALSE; })) << "the Option button's tip";
    std::vector<std::wstring> texts;
    RECT menuRect = {};
    bool tipWithMenu = true;
    WhenMenuOpens([&](const OpenMenu& open) {
      for (int i = 0; i < GetMenuItemCount(open.menu); ++i) texts.push_back(OptionMenuText(open.menu, i));
      GetWindowRect(open.window, &menuRect);
      // The pointer stays where it was while the menu is open, longer than a
      // tip takes to show; then the choice.
      Later(1500, [&] {
        tipWithMenu = IsWindowVisible(tips) != FALSE;
        PressKeys(Choose(4));
      });
      return std::vector<WORD>();
    });
    // By a click, then as the keyboard opens it, the pointer still on the
    // button with its tip showing.
    if (round == 0)
      Click(IDC_OPTION);
    else
      PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTION, BN_CLICKED), reinterpret_cast<LPARAM>(Item(IDC_OPTION)));
    ASSERT_TRUE(PumpUntil([&] { return !texts.empty() && window->keepOnTop() == (round == 0); }));
    // The item always names what choosing it does.
    EXPECT_EQ(texts, (std::vector<std::wstring>{Lang(L"Menu_Setting"), Lang(L"Menu_Recordings"), Lang(L"Menu_About"),
                                                Lang(round == 0 ? L"Menu_Top_Window" : L"Menu_Cancel_Top_Window"),
                                                Lang(L"Menu_Exit")}));
    EXPECT_EQ(menuRect.left, option.right - 92);
    EXPECT_EQ(menuRect.top, option.top + 23);
    EXPECT_FALSE(tipWithMenu) << "the tip would cover the menu's first item";
    EXPECT_EQ((GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, round == 0);
  }
  EXPECT_FALSE(window->keepOnTop());
}

TEST_F(MainWindowTest, AHiddenStartStaysHiddenUntilTheStartUpPeriodIsOver) {
  Open(false, true);
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "the template's visible style is not obeyed";
  ShowWindow(hwnd, SW_SHOWNORMAL);
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "nor a request within the first two seconds";
  auto start = std::chrono::steady_clock::now();
  PumpUntil([] { return false; }, std::chrono::milliseconds(2500));
  ASSERT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(MainWindowTest, HandleCountsStayFlatOverManyRefreshesAndMenus) {
  Open();
  Calls().activeCallCount = 1;
  auto round = [&](int i) {
    freeBytes = (i & 1) ? 104857599 : (uint64_t(2) << 30);
    RefreshFolderLine();
    Calls().callPartners.Set(0, (i & 1) ? L"erin" : L"frank");
    window->ApplyMainWindowTexts();
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  };
  round(0);
  WhenMenuOpens([](const OpenMenu&) { return std::vector<WORD>{VK_ESCAPE}; });
  Click(IDC_OPTION);
  PumpPending();
  GuiCounts before = GuiCounts::Now();
  for (int i = 1; i <= 50; ++i) round(i);
  for (int i = 0; i < 20; ++i) {
    WhenMenuOpens([](const OpenMenu&) { return std::vector<WORD>{VK_ESCAPE}; });
    Click(IDC_OPTION);
  }
  PumpPending();
  GuiCounts after = GuiCounts::Now();
  std::printf("GDI objects %ld -> %ld, USER objects %ld -> %ld over 50 refreshes and 20 menus\n", before.gdi,
              after.gdi, before.user, after.user);
  EXPECT_LE(after.gdi, before.gdi + 2);
  EXPECT_LE(after.user, before.user + 2);
}


TEST_F(MainWindowTest, DialogsOpenOnceOnTheWindowsThreadAndTheWindowStaysUsable) {
  Open();
  // Setting from the Option menu: a modeless dialog on the window's own
  // thread; the window goes on.
  WhenMenuOpens([](const OpenMenu&) { return Choose(1); });
  Click(IDC_OPTION);
  ASSERT_TRUE(PumpUntil([&] { return OtherDialogs(hwnd).size() == 1; }));
  HWND settings = OtherDialogs(hwnd).front();
  EXPECT_EQ(GetWindowThreadProcessId(settings, nullptr), GetCurrentThreadId());
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  // Setting again, from the tray menu while the main window is in front:
  // still the one dialog, and it is the dialog that comes to the front (not
  // another window it owns, such as its tooltip).
  SetForegroundWindow(hwnd);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == hwnd; }));
  SendMessageW(hwnd, WM_COMMAND, ID_TRAY_SETTING, 0);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == settings; }));
  EXPECT_EQ(OtherDialogs(hwnd), std::vector<HWND>{settings});
  EXPECT_EQ(window->dialogs().SettingsWindow(), settings);

  // The user comes back to the dialog, picks the second language and
  // presses OK: once the apply is done and the dialog has gone, the window
  // speaks it.
  LanguageTable second(LanguageIniPath());
  second.Select(1);
  const std::wstring caption = second.Text(L"Main_Caption");
  ASSERT_NE(caption, GetWindowTextString(hwnd));
  SetForegroundWindow(settings);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == settings; }));
  SendDlgItemMessageW(settings, IDC_SETTING_LANGUAGE, CB_SETCURSEL, 1, 0);
  RECT ok;
  GetClientRect(GetDlgItem(settings, IDOK), &ok);
  Mouse::ClickAsUser(GetDlgItem(settings, IDOK), {ok.right / 2, ok.bottom / 2});
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(settings) && GetWindowTextString(hwnd) == caption; }))
      << "dialog still there: " << IsWindow(settings) << ", caption matches " << (GetWindowTextString(hwnd) == caption);
  EXPECT_EQ(recorder->settings().Current()->languageIndex, 1);
  EXPECT_EQ(window->dialogs().SettingsWindow(), nullptr);
  EXPECT_EQ(Text(IDC_TITLE), caption);
  EXPECT_EQ(Text(IDC_OPEN_FOLDER), Lang(L"Button_Open_Record_Folder"));
  // The six buttons' tips too.
  HWND tips = nullptr;
  while ((tips = FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr)) && GetWindow(tips, GW_OWNER) != hwnd) {
  }
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 6);
  const std::pair<int, const wchar_t*> kTips[] = {{IDC_RECORD, L"Button_Record_Tip"}, {IDC_STOP, L"Button_Stop_Tip"},
                                                  {IDOK, L"Button_Close_Tip"}};
  for (const auto& tip : kTips) {
    wchar_t text[128] = L"";
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(tip.first));
    tool.lpszText = text;
    SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::wstring(text), Lang(tip.second));
  }

  // Settings asked for again the moment the dialog has closed: a new one
  // opens.
  WhenMenuOpens([](const OpenMenu&) { return Choose(1); });
  Click(IDC_OPTION);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().SettingsWindow() != nullptr; }));
  HWND closing = window->dialogs().SettingsWindow();
  PostMessageW(closing, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().SettingsWindow() != closing; }));
  SendMessageW(hwnd, WM_COMMAND, ID_MENU_SETTING, 0);
  ASSERT_TRUE(PumpUntil([&] {
    HWND shown = window->dialogs().SettingsWindow();
    return shown && shown != closing && !IsWindow(closing);
  }));
  EXPECT_TRUE(PumpUntil([&] { return OtherDialogs(hwnd).size() == 1; }));
  HWND reopened = window->dialogs().SettingsWindow();
  PostMessageW(reopened, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().SettingsWindow() == nullptr && !IsWindow(reopened); }));

  // The recordings window, from the Option menu: on the window's thread and
  // without an owner, the main window usable beside it; asked for again
  // from the tray menu's item, the same one comes to the front.
  WhenMenuOpens([](const OpenMenu&) { return Choose(2); });
  Click(IDC_OPTION);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().RecordingsWindow() != nullptr; }));
  HWND recordings = window->dialogs().RecordingsWindow();
  EXPECT_EQ(GetWindowThreadProcessId(recordings, nullptr), GetCurrentThreadId());
  EXPECT_EQ(GetWindow(recordings, GW_OWNER), nullptr);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_EQ(GetWindowTextString(recordings), Lang(L"Recordings_Title"));
  SetForegroundWindow(hwnd);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == hwnd; }));
  SendMessageW(hwnd, WM_COMMAND, ID_MENU_RECORDINGS, 0);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == recordings; }));
  EXPECT_EQ(OtherDialogs(hwnd), std::vector<HWND>{recordings});

  // About, from the system menu: modeless on the window's own thread, the
  // window enabled beside it; asked for again from the tray, no second box.
  SendMessageW(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().AboutWindow() != nullptr; }));
  HWND about = window->dialogs().AboutWindow();
  EXPECT_EQ(GetWindowThreadProcessId(about, nullptr), GetCurrentThreadId());
  EXPECT_EQ(GetWindow(about, GW_OWNER), hwnd);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  SendMessageW(hwnd, WM_COMMAND, ID_TRAY_ABOUT, 0);
  EXPECT_EQ(OtherDialogs(hwnd).size(), 2u);
  EXPECT_EQ(window->dialogs().AboutWindow(), about);

  // The exit's closing of the dialogs closes both.
  window->dialogs().CloseAll();
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(recordings) && !IsWindow(about); }));
  EXPECT_EQ(window->dialogs().RecordingsWindow(), nullptr);
  EXPECT_EQ(window->dialogs().AboutWindow(), nullptr);
  EXPECT_TRUE(OtherDialogs(hwnd).empty());
}

}  // namespace
