// What the tests of the program's dialogs share. The dialogs run as the
// program runs them: modeless windows on one window thread beside a stand-in
// main window, whose loop (CDialog::DoModal's, the main window's own) serves
// them all. The test's thread is the user's hand and eye: it clicks and types
// with real input, reads back texts and pixels, and runs code on the window
// thread where a window's object must be touched there.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/call_recorder.h"
#include "settings/language.h"
#include "tests/app/app_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"
#include "ui/background_work.h"
#include "ui/control.h"
#include "ui/dialog.h"

// A language the file lists without a section of its own.
constexpr wchar_t kThirdLanguage[] = L"Third language";

// A copy of the program as a user has it: its own folder with Language\ and
// Image\, where Config.ini is kept, and a documents folder of its own. The
// language file lists a third language that has no section. `devices`, when
// given, are the capture devices the recorder sees.
class ProgramCopy {
 public:
  explicit ProgramCopy(CaptureDevices* devices = nullptr);
  ~ProgramCopy();
  std::wstring LanguageFile() const { return folder.file(L"Language\\Language.ini"); }
  std::wstring Setting(const wchar_t* key) const;
  std::wstring Text(const wchar_t* section, const wchar_t* key) const;

  TempDir folder;
  TempDir documents;
  SettingsEvents events;
  std::unique_ptr<CallRecorder> recorder;
};

// The program's window thread: a stand-in main window (small, in the screen's
// corner) running its loop on a thread of its own until the object goes. It
// notes the caption the main window would show whenever it is told of an
// apply.
class WindowThread {
 public:
  WindowThread();
  // Ends the loop and the thread; the dialogs of the thread must be gone.
  ~WindowThread();
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  HWND main() const { return main_; }
  DWORD id() const { return id_; }
  // Runs `action` on the window thread; returns once it has run.
  void Run(const std::function<void()>& action) const;
  // The worker the dialogs are given for the recorder's work (the program's
  // is the dialog host's).
  BackgroundWork& work() { return work_; }

 private:
  std::atomic<HWND> main_{nullptr};
  CDialog* mainDialog_ = nullptr;  // the window thread's
  std::atomic<DWORD> id_{0};
  std::thread thread_;
  BackgroundWork work_;
};

// A dialog of the window thread, made there by `make` and created modeless,
// in front, with the pointer away from every control. Gone with this object.
class OpenDialog {
 public:
  static std::unique_ptr<OpenDialog> Open(WindowThread& thread, std::function<std::unique_ptr<CDialog>()> make);
  ~OpenDialog();
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;

  HWND hwnd() const { return hwnd_; }
  HWND item(int id) const { return GetDlgItem(hwnd_, id); }
  std::wstring text(int id) const { return GetWindowTextString(item(id)); }
  // Until the dialog's window has gone.
  bool WaitEnded() const;
  bool ended() const { return !IsWindow(hwnd_); }
  // What the dialog was ended with (EndDialog); 0 before.
  INT_PTR result() const;
  // A visible top-level window of the window thread of this class, owned by
  // `owner`: a message box, a nested dialog, the folder browser.
  HWND FindWindowOfClass(const wchar_t* windowClass, HWND owner) const;

 private:
  OpenDialog(WindowThread& thread) : thread_(thread) {}
  WindowThread& thread_;
  std::unique_ptr<CDialog> dialog_;
  HWND hwnd_ = nullptr;
};

// Real input, as a user gives it.
// The visible windows of `thread` of the class `windowClass`, in Z order.
std::vector<HWND> VisibleWindowsOfClass(DWORD thread, const wchar_t* windowClass);

POINT Middle(HWND window);
void ClickAt(HWND window, POINT point);
void Click(HWND window);
// Until the keys the user presses go to this window or one inside it, as the
// user sees the caret or the selection there before typing.
bool AwaitKeyboardIn(HWND window);
// One of the window's children shows this text (a message box's text line).
bool ShowsText(HWND window, const std::wstring& text);

// Reading the layout on the pixels. The background pictures draw a light
// panel behind each group of controls; its edge is a darker line with the
// window's body beyond it.

// A pixel of a skin image file.
COLORREF ImagePixel(const std::wstring& path, int x, int y);
// A control's rectangle in its dialog's client coordinates.
RECT RectIn(HWND dialog, HWND control);
bool SameColour(COLORREF a, COLORREF b);
// Walks from `from` in steps of (dx, dy) across the colour found there: how
// many pixels have it before the first that does not (the panel's edge, or a
// line drawn on the panel).
int RunOfColour(const Pixels& shot, POINT from, int dx, int dy);
// Whether the colour found at `from` shows again within a few pixels, going
// on in steps of (dx, dy), after its first run ended: a second outline drawn
// inside the panel ends the run, and the panel's colour follows right after
// it. (Beyond the panel's own edge comes the window's body; the next panel is
// farther away.)
bool ColourComesBack(const Pixels& shot, POINT from, int dx, int dy);
// The first row of the area that holds a pixel of text on the background
// colour `paper`.
int FirstInkRow(const Pixels& shot, const RECT& area, COLORREF paper);
// Pixels of the area darker than mid grey: text ink (the thin strokes of
// Chinese characters are smoothed into greys).
int DarkPixels(const Pixels& shot, const RECT& area);
