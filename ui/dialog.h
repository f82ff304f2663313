// A thin dialog class: runs a dialog template (a resource, or one built in
// memory), modal or modeless, and routes its messages to virtual handlers.
//
// Every dialog of a thread, modal or modeless, takes part in that thread's
// message loops: a loop hands each message to RouteDialogMessage, which gives
// it to the dialog the message belongs to (its PreTranslateMessage, then the
// dialog manager's keyboard interface: Tab, Enter, Esc, the arrows). So the
// main window's loop serves the modeless windows beside it, and a modal
// dialog's loop serves every other window of the thread, which stays usable.
//
// The modal loop is our own (as the classic framework's is). An owner on the
// same thread is disabled while the dialog runs. A WM_QUIT that reaches the
// loop ends the dialog and is posted again once the dialog is gone, so that
// every loop around this one ends too: an exit asked for while a nested
// dialog is open still ends the program.
//
// A modeless dialog (Create) lives until its window is destroyed: EndDialog,
// DestroyWindow, or its owner's end. Its object must outlive the window, and
// must not be deleted while Busy(): a message box or a modal dialog it shows
// runs a loop inside its own handler, in which its window may go.
//
// Notifications of the dialog's controls are reflected to the control objects
// that sent them (ui/control.h) before the dialog's own handlers see them.
#pragma once

#include <windows.h>

#include <functional>

class CDialog {
 public:
  CDialog(UINT templateId, HWND parent = nullptr);
  // A template in memory; it must stay valid while the dialog is created.
  CDialog(const DLGTEMPLATE* dialogTemplate, HWND parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog until EndDialog, its window is destroyed or WM_QUIT; the
  // result of EndDialog, -1 when the dialog could not be created, 0 otherwise.
  INT_PTR DoModal();
  // Creates the dialog as a modeless window, served by the thread's loops;
  // false when it could not be created.
  bool Create();
  // Ends the dialog with `result`: a modal dialog's loop ends, a modeless
  // dialog's window is destroyed. On the dialog's thread (from elsewhere,
  // post the dialog a WM_COMMAND with IDCANCEL).
  void EndDialog(INT_PTR result);
  // What EndDialog was given; 0 before.
  INT_PTR result() const { return result_; }

  // A handler of the dialog is under way, or its modal loop runs: the object
  // is on the stack and must not be deleted yet.
  bool Busy() const { return handling_ > 0 || modalRunning_; }

  // Called once when the dialog's window has been destroyed (however that
  // came about), on its thread. The object may be Busy() then.
  std::function<void()> onDestroyed;

  HWND GetSafeHwnd() const { return hwnd_; }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
  void EnableItem(int id, bool enable) const { ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE); }
  void ShowItem(int id, bool show) const { ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE); }
  void SetItemText(int id, const wchar_t* text) const { ::SetWindowTextW(GetDlgItem(id), text); }

 protected:
  // Return TRUE to let the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // A WM_COMMAND that no control kept for itself; return true when handled.
  // The default ends the dialog on IDOK and IDCANCEL.
  virtual bool OnCommand(WORD id, WORD notifyCode, HWND control);
  // Every other message; set `handled` to answer it with the result.
  virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Each message of a loop for this dialog or a window inside it, before the
  // keyboard interface and the dispatch see it; true to drop it.
  virtual bool PreTranslateMessage(MSG* msg) { return false; }
  // After WM_DESTROY.
  virtual void OnDestroy() {}

  UINT templateId_ = 0;
  const DLGTEMPLATE* template_ = nullptr;
  HWND parent_;
  HWND hwnd_ = nullptr;

 private:
  friend bool RouteDialogMessage(MSG* msg);
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR Answer(HWND hwnd, UINT message, LRESULT result);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  bool modalRunning_ = false;
  INT_PTR result_ = 0;
  int handling_ = 0;
};

// Gives a message of this thread's loop to the dialog of this thread that it
// belongs to (the dialog's window or a window inside it, the innermost dialog
// first); true when the dialog took it, and the loop then neither translates
// nor dispatches it. Every message loop of the program calls it.
bool RouteDialogMessage(MSG* msg);
