// A thin dialog class: runs a dialog template (a resource, or one built in
// memory), modal or modeless, and routes its messages to virtual handlers.
//
// The modal loop is our own (as the classic framework's is), so that every
// message passes PreTranslateMessage first. It runs on whichever thread calls
// DoModal: a dialog may have a thread of its own. An owner on the same thread
// is disabled while the dialog runs; an owner on another thread is left alone
// (that thread goes on with its own windows). A WM_QUIT that reaches the loop
// ends the dialog and is posted again once the dialog is gone, so that every
// loop around this one ends too: an exit asked for while a nested dialog is
// open still ends the program.
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
  // Creates the dialog without a loop of its own; false when it failed.
  bool Create();
  // Ends a modal dialog; call it on the dialog's thread (from elsewhere, post
  // the dialog a WM_COMMAND with IDCANCEL).
  void EndDialog(INT_PTR result);

  // Called once on the dialog's thread when DoModal is done with the user:
  // its loop has ended (EndDialog, WM_QUIT, or the window destroyed), or the
  // dialog could not be created. The window, if any, still exists then, and
  // is destroyed right after. Destroying it may take a while (wine without a
  // window manager waits up to 2 s for one to confirm the window gone), so
  // whoever keeps a second such dialog from opening lets go here, not when
  // DoModal returns.
  std::function<void()> onModalEnd;

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
  // Each message of the modal loop before it is dispatched; true to drop it.
  virtual bool PreTranslateMessage(MSG* msg) { return false; }
  // After WM_DESTROY.
  virtual void OnDestroy() {}

  UINT templateId_ = 0;
  const DLGTEMPLATE* template_ = nullptr;
  HWND parent_;
  HWND hwnd_ = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR Answer(HWND hwnd, UINT message, LRESULT result);
  bool modalRunning_ = false;
  INT_PTR modalResult_ = 0;
};
