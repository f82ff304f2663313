// A thin dialog class: runs a dialog template, modal or modeless, and routes its
// messages to virtual handlers. The modal loop is our own (as the classic
// framework's is), so that every message passes PreTranslateMessage first and a
// WM_QUIT posted to the thread ends the loop.
#pragma once

#include <windows.h>

class CDialog {
 public:
  CDialog(UINT templateId, HWND parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog until EndDialog or WM_QUIT; the result of EndDialog, or -1
  // when the dialog could not be created (0 after WM_QUIT).
  INT_PTR DoModal();
  void EndDialog(INT_PTR result);

  HWND GetSafeHwnd() const { return hwnd_; }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
  void EnableItem(int id, bool enable) const { ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE); }
  void ShowItem(int id, bool show) const { ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE); }
  void SetItemText(int id, const wchar_t* text) const { ::SetWindowTextW(GetDlgItem(id), text); }

 protected:
  // Return TRUE to let the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // A WM_COMMAND; return true when handled. The default ends the dialog on
  // IDOK and IDCANCEL.
  virtual bool OnCommand(WORD id, WORD notifyCode, HWND control);
  // Every other message; set `handled` to answer it with the result.
  virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Each message of the modal loop before it is dispatched; true to drop it.
  virtual bool PreTranslateMessage(MSG* msg) { return false; }
  // After WM_DESTROY.
  virtual void OnDestroy() {}

  UINT templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  bool modalRunning_ = false;
  INT_PTR modalResult_ = 0;
};
