#include "ui/dialog.h"

#include <algorithm>
#include <vector>

#include "ui/control.h"

namespace {

// The dialogs of this thread whose windows exist, in the order they came.
thread_local std::vector<CDialog*> threadDialogs;

// Counts a handler of the dialog while it runs.
class Handling {
 public:
  explicit Handling(int& depth) : depth_(depth) { ++depth_; }
  ~Handling() { --depth_; }
  Handling(const Handling&) = delete;
  Handling& operator=(const Handling&) = delete;

 private:
  int& depth_;
};

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}
CDialog::CDialog(const DLGTEMPLATE* dialogTemplate, HWND parent) : template_(dialogTemplate), parent_(parent) {}

CDialog::~CDialog() {
  if (hwnd_) {
    // Its handlers see nothing more: the window goes without this object.
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    threadDialogs.erase(std::remove(threadDialogs.begin(), threadDialogs.end(), this), threadDialogs.end());
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
  // meanwhile. An owner of another thread is left to that thread's user.
  bool disableParent = parent_ && IsWindowEnabled(parent_) &&
                       GetWindowThreadProcessId(parent_, nullptr) == GetCurrentThreadId();
  if (disableParent) EnableWindow(parent_, FALSE);
  modalRunning_ = true;
  result_ = 0;
  if (!Create()) {
    modalRunning_ = false;
    if (disableParent) EnableWindow(parent_, TRUE);
    return -1;
  }
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
    if (RouteDialogMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The owner comes back before this window goes, so that the system gives it
  // the activation and not some other program's window.
  if (disableParent) EnableWindow(parent_, TRUE);
  if (hwnd_) DestroyWindow(hwnd_);
  modalRunning_ = false;
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
  return result_;
}

void CDialog::EndDialog(INT_PTR result) {
  result_ = result;
  if (modalRunning_) {
    modalRunning_ = false;
    // Wake the loop in case it waits for a message.
    if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
    return;
  }
  if (hwnd_) DestroyWindow(hwnd_);
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

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  Handling handling(handling_);
  HWND hwnd = hwnd_;
  LRESULT reflected = 0;
  if (ReflectToControl(message, wParam, lParam, reflected)) return Answer(hwnd, message, reflected);
  if (message == WM_COMMAND) {
    if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return TRUE;
  }
  bool handled = false;
  INT_PTR result = WindowProc(message, wParam, lParam, handled);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    threadDialogs.erase(std::remove(threadDialogs.begin(), threadDialogs.end(), this), threadDialogs.end());
    hwnd_ = nullptr;
    OnDestroy();
    if (onDestroyed) onDestroyed();
  }
  return handled ? Answer(hwnd, message, result) : FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    threadDialogs.push_back(self);
    Handling handling(self->handling_);
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return self ? self->Dispatch(message, wParam, lParam) : FALSE;
}

bool RouteDialogMessage(MSG* msg) {
  if (!msg->hwnd || threadDialogs.empty()) return false;
  // From the window up through its parents: the first dialog met is the one
  // the message belongs to. An owned popup (a combo box's list, a tooltip)
  // is no part of its owner.
  for (HWND window = msg->hwnd; window;) {
    auto found = std::find_if(threadDialogs.begin(), threadDialogs.end(),
                              [window](const CDialog* dialog) { return dialog->hwnd_ == window; });
    if (found != threadDialogs.end()) {
      CDialog* dialog = *found;
      if (dialog->PreTranslateMessage(msg)) return true;
      // PreTranslateMessage may have ended the dialog.
      return dialog->hwnd_ == window && IsDialogMessageW(window, msg);
    }
    if (!(GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) break;
    window = GetParent(window);
  }
  return false;
}
