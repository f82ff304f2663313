#include "ui/dialog.h"

#include "ui/control.h"

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}
CDialog::CDialog(const DLGTEMPLATE* dialogTemplate, HWND parent) : template_(dialogTemplate), parent_(parent) {}

CDialog::~CDialog() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
  }
}

bool CDialog::Create() {
  if (hwnd_) return false;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  LPARAM self = reinterpret_cast<LPARAM>(this);
  HWND created = template_ ? CreateDialogIndirectParamW(instance, template_, parent_, &CDialog::DialogProc, self)
                           : CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId_), parent_,
                                                &CDialog::DialogProc, self);
  return created != nullptr;
}

INT_PTR CDialog::DoModal() {
  // The owner is disabled before the dialog exists, so that nothing reaches it
  // meanwhile. Disabling a window of another thread would stop that thread's
  // user too, so such an owner stays enabled.
  bool disableParent = parent_ && IsWindowEnabled(parent_) &&
                       GetWindowThreadProcessId(parent_, nullptr) == GetCurrentThreadId();
  if (disableParent) EnableWindow(parent_, FALSE);
  if (!Create()) {
    if (disableParent) EnableWindow(parent_, TRUE);
    if (onModalEnd) onModalEnd();
    return -1;
  }
  modalRunning_ = true;
  modalResult_ = 0;
  bool quit = false;
  WPARAM quitCode = 0;
  MSG msg;
  while (modalRunning_ && hwnd_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quitCode = msg.wParam;
      break;
    }
    if (got < 0) break;
    if (PreTranslateMessage(&msg)) continue;
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  modalRunning_ = false;
  // The owner comes back before this window goes, so that the system gives it
  // the activation and not some other program's window.
  if (disableParent) EnableWindow(parent_, TRUE);
  if (onModalEnd) onModalEnd();
  if (hwnd_) DestroyWindow(hwnd_);
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
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

INT_PTR CDialog::Answer(HWND hwnd, UINT message, LRESULT result) {
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
  LRESULT reflected = 0;
  if (ReflectToControl(message, wParam, lParam, reflected)) return Answer(hwnd, message, reflected);
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
  return handled ? Answer(hwnd, message, result) : FALSE;
}
