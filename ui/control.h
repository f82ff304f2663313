// CControl: the base of the skinned controls. An object is bound to a child
// window, either one that exists (a template's control: Attach) or one it
// creates (Create); it subclasses the window, so its WindowProc sees every
// message first, and it receives the notifications the window sends its parent
// back from the parent (message reflection): WM_COMMAND, WM_DRAWITEM of a
// control and WM_CTLCOLOR*. A parent reflects with ReflectToControl (CDialog
// does it for every dialog); what the control does not handle goes on to the
// parent's own handling.
//
// Owner-drawn menus are routed the same way: while a menu object tracks its
// popup (see OptionMenu), the WM_MEASUREITEM and WM_DRAWITEM of its items reach
// it through ReflectToControl of the window that tracks it.
//
// A control is used only on the thread of its window.
#pragma once

#include <windows.h>

#include <string>

class CControl {
 public:
  CControl() = default;
  virtual ~CControl();
  CControl(const CControl&) = delete;
  CControl& operator=(const CControl&) = delete;

  // Binds the object to an existing window and subclasses it; false when the
  // window is missing or another object is bound to it.
  bool Attach(HWND window);
  bool AttachDlgItem(HWND parent, int id) { return Attach(::GetDlgItem(parent, id)); }
  // Creates the window (a child of `parent` with this id) and binds to it; the
  // object then destroys the window when it is destroyed itself.
  bool Create(const wchar_t* windowClass, const wchar_t* text, DWORD style, const RECT& rect, HWND parent, int id,
              DWORD exStyle = 0);
  // Unbinds; the window stays.
  HWND Detach();

  HWND GetSafeHwnd() const { return hwnd_; }
  int GetDlgCtrlID() const { return hwnd_ ? ::GetDlgCtrlID(hwnd_) : 0; }

  // The object bound to a window, or null.
  static CControl* FromHandle(HWND window);

 protected:
  // Every message of the window; the default hands it to the window's own
  // procedure.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }
  // A notification reflected from the parent; return true when handled, with
  // the parent's answer in `result`.
  virtual bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) { return false; }
  // Called once the object is bound to its window.
  virtual void OnAttach() {}

  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;

 private:
  friend bool ReflectToControl(UINT, WPARAM, LPARAM, LRESULT&);
  static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  bool ownsWindow_ = false;
};

// Receives the owner-drawn item requests of a popup menu while it is tracked.
class MenuItemPainter {
 public:
  virtual ~MenuItemPainter() = default;
  virtual void MeasureItem(MEASUREITEMSTRUCT& item) = 0;
  virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;
};

// Routes a message of a parent window to the control or menu it belongs to;
// true when that one handled it, with the answer in `result`.
bool ReflectToControl(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// The painter of the menu this thread is tracking; set by the menu for the
// duration of TrackPopupMenu.
class TrackedMenuScope {
 public:
  explicit TrackedMenuScope(MenuItemPainter* painter);
  ~TrackedMenuScope();
  TrackedMenuScope(const TrackedMenuScope&) = delete;
  TrackedMenuScope& operator=(const TrackedMenuScope&) = delete;

 private:
  MenuItemPainter* previous_;
};

// A window's text.
std::wstring GetWindowTextString(HWND window);
