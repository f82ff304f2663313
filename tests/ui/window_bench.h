// Window bench: drives real windows in-process under wine (or Windows) and
// reads back what the user would see. Tests run on a virtual display
// (xvfb-run); everything happens on the test's own thread unless said.
//
//   BenchDialog host(400, 300);                    // a modeless CDialog, shown and in front
//   host.SetBackground(bitmap);                    // painted as its window background
//   CImageButton ok; ... PlaceImageButton(host.hwnd(), ok, 1);
//   Mouse::ClickAt(ok.GetSafeHwnd(), {5, 5});      // real input: SendInput
//   EXPECT_EQ(host.commands(), (std::vector<int>{1}));
//   Pixels shot = Pixels::OfClient(ok.GetSafeHwnd());
//   EXPECT_EQ(shot.at(2, 2), RGB(255, 0, 0));
//   GuiCounts before = GuiCounts::Now();           // GDI and USER handles of the process
//
// Input: SendInput works under wine 8 on Xvfb once the window is in the
// foreground (BenchDialog brings itself there); every Mouse call waits until
// the system has delivered the input and this thread has handled it, so a
// check right after sees its effect. Mouse capture, WM_MOUSELEAVE and double
// clicks behave as with a real mouse, which posted messages would not show.
//
// Pixels are read from the window's surface (a BitBlt into a 32-bit DIB after
// every pending paint is done), so they include what the parent painted
// under transparent parts of a child. Pixels::OfScreen reads the screen itself,
// for windows of other threads such as an open popup menu.
//
// Handle counts: GetGuiResources where it works (Windows). Wine 8 does not
// implement it (it returns 0), so there GDI objects are counted in the
// process's GDI handle table (the same table Windows publishes in the PEB)
// and USER objects by looking up every window and menu handle.
//
// Test images with exact colours: WriteBmp (24-bit) and WritePng (32-bit RGBA,
// stored without compression) write any picture given as a function of (x, y)
// returning 0xAARRGGBB.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/wait.h"
#include "ui/dialog.h"
#include "ui/skin_bitmap.h"

// Handles this thread's messages (sent, posted, paint) until `condition`
// holds or the deadline passes; the condition's final value.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = kGenerousDeadline);
// Handles everything that is queued now, painting included.
void PumpPending();

class Pixels {
 public:
  // The client area of a window, as painted now.
  static Pixels OfClient(HWND window);
  // A rectangle of the screen.
  static Pixels OfScreen(const RECT& area);

  int width() const { return width_; }
  int height() const { return height_; }
  // RGB of a pixel; CLR_INVALID outside.
  COLORREF at(int x, int y) const;
  // How many pixels of the area have exactly this colour.
  int count(const RECT& area, COLORREF color) const;
  // For looking at a failure: a 24-bit BMP.
  bool SaveBmp(const std::wstring& path) const;

 private:
  static Pixels Grab(HDC source, int x, int y, int width, int height);
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;  // 0x00RRGGBB, top-down
};

struct Mouse {
  // Moves the pointer to a point of a window's client area, or of the screen.
  static void MoveTo(HWND window, POINT client);
  static void MoveToScreen(POINT screen);
  // A point of the screen away from every test window.
  static POINT Away();
  static void Press();
  static void Release();
  static void ClickAt(HWND window, POINT client);
  // A click as a user makes it, who presses once the pointer has arrived and
  // moves on once the click has been taken. The system sends a press to the
  // window that holds the mouse at that moment, and a skinned button holds it
  // while the pointer is over it (giving it up makes the system repeat the
  // pointer's position, which may make the button take it again): so the
  // press waits until the target holds the mouse (a skinned button) or nobody
  // does, and after a skinned button's click it waits until the button has
  // the mouse again or its window has given way (ended, or a window of its
  // own opened). Before the press and the release the pointer has stayed put
  // while the window's thread caught up (wine may hand it a pointer event of
  // an earlier move). Pumps this thread's messages meanwhile.
  static void ClickAsUser(HWND window, POINT client);
};

// The window that holds the mouse in the thread of `window`; null for none.
HWND MouseCaptureOf(HWND window);

// Real key input to the window that has the keyboard focus (of any thread).
// Keys are queued in order with the mouse input; a test waits for their
// effect on a condition.
struct Keyboard {
  // Types the text, one Unicode character per key stroke.
  static void Type(const std::wstring& text);
  // Presses and releases a key, with Shift and Control held when asked.
  static void Press(WORD key, bool shift = false, bool control = false);
};

// An in-memory dialog template without controls (10 x 10 dialog units, MS
// Shell Dlg 8) for CDialog's template constructor.
std::vector<WORD> DialogTemplateWords(DWORD style);

// A modeless dialog from an in-memory template, sized in pixels, in front of
// every other window. It writes down the commands that reach its own command
// handling (after its controls had their say) and paints its background with
// a pattern brush of a bitmap, as the program's windows do.
class BenchDialog : public CDialog {
 public:
  BenchDialog(int clientWidth, int clientHeight);
  ~BenchDialog() override;
  HWND hwnd() const { return hwnd_; }
  // Command ids in the order they arrived.
  std::vector<int> commands() const { return commands_; }
  void clearCommands() { commands_.clear(); }
  // The background, fitted to the client area; the dialog owns its copy.
  void SetBackground(HBITMAP picture);
  HBITMAP background() const { return background_.bitmap.get(); }
  // Answers WM_CTLCOLORSTATIC instead of the default when set.
  std::function<HBRUSH(HDC dc, HWND control)> onCtlColorStatic;

 protected:
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  std::vector<WORD> templateWords_;
  std::vector<int> commands_;
  PatternBrush background_;
};

// A bitmap of the screen's format with every pixel from `color(x, y)` (RGB).
GdiBitmap MakeBitmap(int width, int height, const std::function<COLORREF(int x, int y)>& color);

// Test image files; `argb(x, y)` gives 0xAARRGGBB (BMP drops the alpha).
bool WriteBmp(const std::wstring& path, int width, int height, const std::function<uint32_t(int, int)>& argb);
bool WritePng(const std::wstring& path, int width, int height, const std::function<uint32_t(int, int)>& argb);

// GDI and USER objects of this process.
struct GuiCounts {
  long gdi = 0;
  long user = 0;
  static GuiCounts Now();
};
