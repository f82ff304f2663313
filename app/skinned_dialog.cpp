#include "app/skinned_dialog.h"

#include <commctrl.h>

#include <string>

#include "platform/paths.h"
#include "ui/background_work.h"
#include "ui/dpi.h"

ButtonImagePaths SkinImages(std::wstring_view name, std::wstring_view disabled) {
  std::wstring base = GetModuleDirectory() + L"Image\\" + std::wstring(name) + L"_";
  return {base + L"normal.bmp", base + L"down.bmp", base + L"on.bmp", base + std::wstring(disabled) + L".bmp"};
}

namespace {

// Paints with the pattern's top-left corner at the dialog's client origin,
// wherever that lies on the surface: a themed control has its parent paint
// under it on the control's own surface, moved by the control's position, and
// a pattern brush does not follow that move by itself.
void EraseWithPattern(HWND dialog, HDC dc, HBRUSH pattern) {
  POINT origin = {0, 0};
  LPtoDP(dc, &origin, 1);
  POINT previous;
  SetBrushOrgEx(dc, origin.x, origin.y, &previous);
  RECT client;
  GetClientRect(dialog, &client);
  FillRect(dc, &client, pattern);
  SetBrushOrgEx(dc, previous.x, previous.y, nullptr);
}

}  // namespace

PatternBrush LoadFittedBackground(HWND window, int bitmapId) {
  GdiBitmap picture(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!picture) return PatternBrush();
  RECT client;
  GetClientRect(window, &client);
  return MakePatternBrush(FitBitmap(picture.get(), client.right, client.bottom));
}

void ApplyRoundedOutline(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int ellipse = ScaleForScreen(4);
  // A region's right and bottom edges lie outside it: one more pixel each way
  // keeps the last column and row.
  HRGN region = CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, ellipse, ellipse);
  if (region && !SetWindowRgn(window, region, TRUE)) DeleteObject(region);
}

CSkinnedDialog::CSkinnedDialog(UINT templateId, HWND parent) : CDialog(templateId, parent) {}

void CSkinnedDialog::SkinWindow(int backgroundBitmapId) {
  // The template's dialog units give other pixel sizes on other screens and
  // fonts than the picture's own: it is scaled to the real client area.
  background_ = LoadFittedBackground(hwnd_, backgroundBitmapId);
  ApplyRoundedOutline(hwnd_);
}

void CSkinnedDialog::AddLabel(int id, COLORREF color, int height, int weight) {
  labels_.emplace_back();
  CTransparentStatic& label = labels_.back();
  labelIds_.push_back(id);
  label.AttachDlgItem(hwnd_, id);
  label.textColor = color;
  label.height = height;
  label.weight = weight;
  label.backgroundSource = background_.bitmap.get();
}

void CSkinnedDialog::AddTooltip(HWND control, const wchar_t* text) {
  // The thread's loops feed the tip (PreTranslateMessage): the skinned buttons
  // keep their mouse messages to themselves.
  tooltip_.Create(hwnd_, ToolTip::kRelayed);
  tooltip_.Add(control, text);
}

void CSkinnedDialog::SetTooltipText(HWND control, const wchar_t* text) { tooltip_.SetText(control, text); }

HBRUSH CSkinnedDialog::BackgroundFor(HWND control, HDC dc) const {
  if (!background_) return nullptr;
  POINT at = {0, 0};
  MapWindowPoints(control, hwnd_, &at, 1);
  SetBrushOrgEx(dc, -at.x, -at.y, nullptr);
  return background_.get();
}

bool CSkinnedDialog::PreTranslateMessage(MSG* msg) {
  tooltip_.Relay(msg);
  return false;
}

INT_PTR CSkinnedDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  switch (message) {
    case WM_POSTED_ACTION:
      // What a background job of the dialog reports.
      RunPostedAction(lParam);
      handled = true;
      return 0;
    case WM_CTLCOLORDLG:
      if (!background_) return 0;
      handled = true;
      return reinterpret_cast<INT_PTR>(background_.get());
    case WM_ERASEBKGND:
      if (!background_) return 0;
      EraseWithPattern(hwnd_, reinterpret_cast<HDC>(wParam), background_.get());
      handled = true;
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      auto label = reinterpret_cast<HWND>(lParam);
      int id = GetDlgCtrlID(label);
      for (size_t i = 0; i < labelIds_.size(); ++i) {
        if (labelIds_[i] != id) continue;
        HBRUSH brush = labels_[i].OnParentCtlColor(reinterpret_cast<HDC>(wParam), label, CTLCOLOR_STATIC);
        handled = brush != nullptr;
        return reinterpret_cast<INT_PTR>(brush);
      }
      return 0;
    }
    case WM_LBUTTONDOWN: {
      POINT at;
      GetCursorPos(&at);
      PostMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(at.x, at.y));
      return 0;
    }
    default:
      return 0;
  }
}
