#include "ui/dialog.h"

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
  }
}

INT_PTR CDialog::DoModal() {
  HWND created = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_,
                                    &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (!created) return -1;
  bool parentWasEnabled = parent_ && IsWindowEnabled(parent_);
  if (parentWasEnabled) EnableWindow(parent_, FALSE);
  modalRunning_ = true;
  modalResult_ = 0;
  MSG msg;
  while (modalRunning_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT ends the dialog.
      modalRunning_ = false;
      break;
    }
    if (got < 0) break;
    if (PreTranslateMessage(&msg)) continue;
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (parentWasEnabled) EnableWindow(parent_, TRUE);
  if (hwnd_) DestroyWindow(hwnd_);
  return modalResult_;
}

void CDialog::EndDialog(INT_PTR result) {
  modalResult_ = result;
  modalRunning_ = false;
  // Wake the loop in case it waits for a message.
  if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool CDialog::OnCommand(WORD id, WORD, HWND) {
  if (id == IDOK || id == IDCANCEL) {
    EndDialog(id);
    return true;
  }
  return false;
}

INT_PTR CDialog::WindowProc(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_COMMAND) {
    if (self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return TRUE;
  }
  bool handled = false;
  INT_PTR result = self->WindowProc(message, wParam, lParam, handled);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->hwnd_ = nullptr;
    self->OnDestroy();
  }
  if (handled) {
    switch (message) {
      // These messages take their answer as the procedure's own result.
      case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
      case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON:
        return result;
      default:
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
  }
  return FALSE;
}
