#include "app/dialog_skin.h"

#include <commctrl.h>

#include <string>

#include "platform/paths.h"
#include "ui/dpi.h"

ButtonImagePaths SkinImages(std::wstring_view name, std::wstring_view disabled) {
  std::wstring base = GetModuleDirectory() + L"Image\\" + std::wstring(name) + L"_";
  return {base + L"normal.bmp", base + L"down.bmp", base + L"on.bmp", base + std::wstring(disabled) + L".bmp"};
}

PatternBrush FittedBackground(HWND dialog, int bitmapId) {
  GdiBitmap picture(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  RECT client;
  GetClientRect(dialog, &client);
  return MakePatternBrush(FitBitmap(picture.get(), client.right, client.bottom));
}

void EraseWithPattern(HWND dialog, HDC dc, HBRUSH pattern) {
  POINT origin = {0, 0};
  // Where the dialog's client origin lies on this surface, in device units.
  LPtoDP(dc, &origin, 1);
  POINT previous;
  SetBrushOrgEx(dc, origin.x, origin.y, &previous);
  RECT client;
  GetClientRect(dialog, &client);
  FillRect(dc, &client, pattern);
  SetBrushOrgEx(dc, previous.x, previous.y, nullptr);
}

void ApplyRoundedOutline(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int ellipse = ScaleForScreen(4);
  HRGN outline = CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, ellipse, ellipse);
  // The window owns the region from here on.
  if (outline && !SetWindowRgn(window, outline, TRUE)) DeleteObject(outline);
}

namespace {
TTTOOLINFOW ToolOf(HWND dialog, HWND control, const wchar_t* text) {
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  return tool;
}
}  // namespace

HWND CreateControlTooltip(HWND dialog, HWND control, const wchar_t* text) {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (!tooltip) return nullptr;
  SendMessageW(tooltip, TTM_ACTIVATE, TRUE, 0);
  TTTOOLINFOW tool = ToolOf(dialog, control, text);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  return tooltip;
}

void SetControlTooltipText(HWND tooltip, HWND dialog, HWND control, const wchar_t* text) {
  if (!tooltip) return;
  TTTOOLINFOW tool = ToolOf(dialog, control, text);
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void RelayToTooltip(HWND tooltip, HWND dialog, const MSG& msg) {
  if (tooltip && (msg.hwnd == dialog || IsChild(dialog, msg.hwnd)))
    SendMessageW(tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

void DragByAnyPoint(HWND dialog) {
  POINT at;
  GetCursorPos(&at);
  PostMessageW(dialog, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(at.x, at.y));
}
