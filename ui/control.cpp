#include "ui/control.h"

#include <commctrl.h>

namespace {
// Our one subclass on a window; the object is its reference data, and a window
// property finds it from the window.
constexpr UINT_PTR kSubclassId = 0xC0C0;
constexpr wchar_t kObjectProperty[] = L"Calvoro.CControl";

thread_local MenuItemPainter* trackedMenu = nullptr;

// The child window a notification to its parent comes from.
HWND SenderOf(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return reinterpret_cast<HWND>(lParam);  // null for menus and accelerators
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      return item->CtlType == ODT_MENU ? nullptr : item->hwndItem;
    }
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
      return reinterpret_cast<HWND>(lParam);
    default:
      return nullptr;
  }
}
}  // namespace

CControl::~CControl() {
  if (!hwnd_) return;
  HWND window = Detach();
  if (ownsWindow_) DestroyWindow(window);
}

bool CControl::Attach(HWND window) {
  if (!window || hwnd_ || FromHandle(window)) return false;
  if (!SetPropW(window, kObjectProperty, this)) return false;
  if (!SetWindowSubclass(window, &CControl::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    RemovePropW(window, kObjectProperty);
    return false;
  }
  hwnd_ = window;
  OnAttach();
  return true;
}

bool CControl::Create(const wchar_t* windowClass, const wchar_t* text, DWORD style, const RECT& rect, HWND parent,
                      int id, DWORD exStyle) {
  if (hwnd_) return false;
  HWND window = CreateWindowExW(exStyle, windowClass, text, style, rect.left, rect.top, rect.right - rect.left,
                                rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
  if (!window) return false;
  if (!Attach(window)) {
    DestroyWindow(window);
    return false;
  }
  ownsWindow_ = true;
  return true;
}

HWND CControl::Detach() {
  HWND window = hwnd_;
  if (window) {
    RemoveWindowSubclass(window, &CControl::SubclassProc, kSubclassId);
    RemovePropW(window, kObjectProperty);
  }
  hwnd_ = nullptr;
  return window;
}

CControl* CControl::FromHandle(HWND window) {
  return window ? static_cast<CControl*>(GetPropW(window, kObjectProperty)) : nullptr;
}

LRESULT CControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR object) {
  auto* self = reinterpret_cast<CControl*>(object);
  if (message == WM_NCDESTROY) {
    // The window goes; the object stays, unbound.
    self->Detach();
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return self->WindowProc(message, wParam, lParam);
}

bool ReflectToControl(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if ((message == WM_MEASUREITEM || message == WM_DRAWITEM) && trackedMenu) {
    if (message == WM_MEASUREITEM) {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (item->CtlType == ODT_MENU) {
        trackedMenu->MeasureItem(*item);
        result = TRUE;
        return true;
      }
    } else if (reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->CtlType == ODT_MENU) {
      trackedMenu->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      result = TRUE;
      return true;
    }
  }
  CControl* control = CControl::FromHandle(SenderOf(message, wParam, lParam));
  return control && control->OnReflected(message, wParam, lParam, result);
}

TrackedMenuScope::TrackedMenuScope(MenuItemPainter* painter) : previous_(trackedMenu) { trackedMenu = painter; }
TrackedMenuScope::~TrackedMenuScope() { trackedMenu = previous_; }

std::wstring GetWindowTextString(HWND window) {
  int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(window, text.data(), n + 1);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}
