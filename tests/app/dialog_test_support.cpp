#include "tests/app/dialog_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/autorun.h"
#include "platform/paths.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "ui/control.h"
#include "ui/gdi_objects.h"

ProgramCopy::ProgramCopy(CaptureDevices* devices) {
  std::wstring real = GetModuleDirectory();
  CreateDirectoryTree(folder.file(L"Language"));
  CreateDirectoryTree(folder.file(L"Image"));
  EXPECT_TRUE(CopyFileW((real + L"Language\\Language.ini").c_str(), LanguageFile().c_str(), FALSE));
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((real + L"Image\\*.bmp").c_str(), &found);
  EXPECT_NE(find, INVALID_HANDLE_VALUE);
  do {
    CopyFileW((real + L"Image\\" + found.cFileName).c_str(), (folder.file(L"Image\\") + found.cFileName).c_str(),
              FALSE);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  IniFile language(LanguageFile());
  EXPECT_TRUE(language.WriteString(L"LANGUAGE", L"Language_3", kThirdLanguage));
  // A title in Latin letters, whose pixels a prefix without Chinese fonts draws too.
  EXPECT_TRUE(language.WriteString(L"Chs", L"Menu_Setting", L"Settings \u8bbe\u7f6e"));
  OverrideProgramFolder(folder.path() + L"\\");
  OverrideDocumentsFolder(documents.path());
  DeleteAutorunValue(kAutorunValueName);
  recorder = std::make_unique<CallRecorder>(events, RecorderPlaces{PrepareConfigIniPath(), LanguageIniPath()},
                                            RecorderDevices{devices, nullptr});
  recorder->LoadSettings();
  // Only the applies from here on are noted with their caption.
  events.NoteCaptions(&recorder->language());
}

ProgramCopy::~ProgramCopy() {
  recorder.reset();
  DeleteAutorunValue(kAutorunValueName);
  OverrideProgramFolder(L"");
  OverrideDocumentsFolder(L"");
}

std::wstring ProgramCopy::Setting(const wchar_t* key) const {
  return IniFile(recorder->configPath()).ReadString(L"Setting", key);
}

std::wstring ProgramCopy::Text(const wchar_t* section, const wchar_t* key) const {
  return IniFile(LanguageFile()).ReadString(section, key);
}

// --- The window thread -------------------------------------------------------------

namespace {

// What the test's thread sends the stand-in main window to run an action on
// the window thread (the program's windows only ever take posted actions).
constexpr UINT kRunAction = WM_APP + 0x42;

// The main window as the dialogs meet it: their owner, whose loop serves
// them, and which runs what is posted and sent to it.
class StandInMain : public CDialog {
 public:
  StandInMain() : CDialog(static_cast<const DLGTEMPLATE*>(nullptr)), words_(DialogTemplateWords(WS_POPUP | WS_VISIBLE)) {
    template_ = reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }
  std::function<void(HWND)> onInit;

 protected:
  BOOL OnInitDialog() override {
    SetWindowPos(hwnd_, HWND_TOPMOST, 60, 60, 120, 40, SWP_SHOWWINDOW);
    onInit(hwnd_);
    return TRUE;
  }
  // Enter and Esc that reach it end nothing: only the test ends it.
  bool OnCommand(WORD, WORD, HWND) override { return true; }
  INT_PTR WindowProc(UINT message, WPARAM, LPARAM lParam, bool& handled) override {
    handled = true;
    if (message == WM_POSTED_ACTION) RunPostedAction(lParam);
    else if (message == kRunAction) (*reinterpret_cast<const std::function<void()>*>(lParam))();
    else handled = false;
    return 0;
  }

 private:
  std::vector<WORD> words_;
};

}  // namespace

WindowThread::WindowThread() {
  thread_ = std::thread([this] {
    id_ = GetCurrentThreadId();
    StandInMain main;
    mainDialog_ = &main;
    main.onInit = [this](HWND window) { main_ = window; };
    main.DoModal();
    // An exit left behind is no part of the next test.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  });
  EXPECT_TRUE(PumpUntil([this] { return main_.load() && IsWindowVisible(main_.load()); }));
}

WindowThread::~WindowThread() {
  // The loop ends at its next message.
  Run([this] { mainDialog_->EndDialog(0); });
  PumpUntil([this] { return !IsWindow(main_.load()); });
  if (thread_.joinable()) thread_.join();
}

void WindowThread::Run(const std::function<void()>& action) const {
  if (IsWindow(main_.load())) SendMessageW(main_.load(), kRunAction, 0, reinterpret_cast<LPARAM>(&action));
}


// --- A dialog of the window thread ---------------------------------------------------

std::unique_ptr<OpenDialog> OpenDialog::Open(WindowThread& thread, std::function<std::unique_ptr<CDialog>()> make) {
  std::unique_ptr<OpenDialog> opened(new OpenDialog(thread));
  OpenDialog* self = opened.get();
  thread.Run([self, &make] {
    self->dialog_ = make();
    if (self->dialog_->Create()) self->hwnd_ = self->dialog_->GetSafeHwnd();
  });
  EXPECT_NE(self->hwnd_, nullptr);
  // The user looks at it, the pointer away from every control.
  SetForegroundWindow(self->hwnd_);
  Mouse::MoveToScreen(Mouse::Away());
  EXPECT_TRUE(PumpUntil([self] { return GetForegroundWindow() == self->hwnd_; }));
  return opened;
}

OpenDialog::~OpenDialog() {
  thread_.Run([this] {
    if (dialog_ && dialog_->GetSafeHwnd()) DestroyWindow(dialog_->GetSafeHwnd());
  });
  // A box it showed is over once its window has gone.
  PumpUntil([this] {
    bool busy = false;
    thread_.Run([&] { busy = dialog_ && dialog_->Busy(); });
    return !busy;
  });
  thread_.Run([this] { dialog_.reset(); });
}

bool OpenDialog::WaitEnded() const {
  return PumpUntil([this] { return ended(); });
}

INT_PTR OpenDialog::result() const {
  INT_PTR result = 0;
  thread_.Run([&] { result = dialog_->result(); });
  return result;
}

HWND OpenDialog::FindWindowOfClass(const wchar_t* windowClass, HWND owner) const {
  for (HWND window : VisibleWindowsOfClass(thread_.id(), windowClass))
    if (GetWindow(window, GW_OWNER) == owner) return window;
  return nullptr;
}

std::vector<HWND> VisibleWindowsOfClass(DWORD thread, const wchar_t* windowClass) {
  struct Search {
    const wchar_t* windowClass;
    std::vector<HWND> found;
  } search{windowClass, {}};
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM data) {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (IsWindowVisible(window) && std::wstring(name) == s->windowClass) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// --- Input -----------------------------------------------------------------------------

POINT Middle(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  return {client.right / 2, client.bottom / 2};
}

void ClickAt(HWND window, POINT point) { Mouse::ClickAsUser(window, point); }
void Click(HWND window) { ClickAt(window, Middle(window)); }

bool AwaitKeyboardIn(HWND window) {
  return PumpUntil([window] {
    GUITHREADINFO foreground = {};
    foreground.cbSize = sizeof foreground;
    return GetGUIThreadInfo(0, &foreground) &&
           (foreground.hwndFocus == window || IsChild(window, foreground.hwndFocus));
  });
}

bool ShowsText(HWND window, const std::wstring& text) {
  struct Search {
    const std::wstring& text;
    bool found;
  } search = {text, false};
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) {
        auto* s = reinterpret_cast<Search*>(data);
        s->found = GetWindowTextString(child) == s->text;
        return s->found ? FALSE : TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// --- Pixels ----------------------------------------------------------------------------

COLORREF ImagePixel(const std::wstring& path, int x, int y) {
  GdiBitmap bitmap(static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  MemoryDC dc(nullptr);
  SelectionScope keep(dc.get(), bitmap.get());
  return GetPixel(dc.get(), x, y);
}

RECT RectIn(HWND dialog, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool SameColour(COLORREF a, COLORREF b) {
  return a != CLR_INVALID && b != CLR_INVALID && std::abs(GetRValue(a) - GetRValue(b)) <= 3 &&
         std::abs(GetGValue(a) - GetGValue(b)) <= 3 && std::abs(GetBValue(a) - GetBValue(b)) <= 3;
}

int RunOfColour(const Pixels& shot, POINT from, int dx, int dy) {
  COLORREF colour = shot.at(from.x, from.y);
  int n = 0;
  while (SameColour(shot.at(from.x + n * dx, from.y + n * dy), colour)) ++n;
  return n;
}

bool ColourComesBack(const Pixels& shot, POINT from, int dx, int dy) {
  COLORREF colour = shot.at(from.x, from.y);
  int end = RunOfColour(shot, from, dx, dy);
  for (int n = end; n < end + 5; ++n)
    if (SameColour(shot.at(from.x + n * dx, from.y + n * dy), colour)) return true;
  return false;
}

int FirstInkRow(const Pixels& shot, const RECT& area, COLORREF paper) {
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      COLORREF c = shot.at(x, y);
      if (std::abs(GetRValue(c) - GetRValue(paper)) + std::abs(GetGValue(c) - GetGValue(paper)) +
              std::abs(GetBValue(c) - GetBValue(paper)) > 150)
        return y;
    }
  return area.bottom;
}

int DarkPixels(const Pixels& shot, const RECT& area) {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      COLORREF c = shot.at(x, y);
      n += c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 384;
    }
  return n;
}
