#include "ui/tooltip.h"

#include <commctrl.h>

namespace {

TTTOOLINFOW ToolOf(HWND owner, HWND control, const wchar_t* text, ToolTip::Mode mode) {
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | (mode == ToolTip::kWatchControls ? TTF_SUBCLASS : 0);
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  return tool;
}

}  // namespace

bool ToolTip::Create(HWND owner, Mode mode) {
  if (tooltip_) return true;
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  owner_ = owner;
  mode_ = mode;
  // Owned by the window, which destroys it with itself.
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (!tooltip_) return false;
  SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
  return true;
}

void ToolTip::Add(HWND control, const wchar_t* text) {
  if (!tooltip_ || !control) return;
  TTTOOLINFOW tool = ToolOf(owner_, control, text, mode_);
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void ToolTip::SetText(HWND control, const wchar_t* text) {
  if (!tooltip_ || !control) return;
  TTTOOLINFOW tool = ToolOf(owner_, control, text, mode_);
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void ToolTip::Suspend() {
  if (!tooltip_) return;
  SendMessageW(tooltip_, TTM_POP, 0, 0);
  SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
}

void ToolTip::Resume() {
  if (tooltip_) SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
}

void ToolTip::Relay(MSG* msg) {
  if (tooltip_ && mode_ == kRelayed && (msg->hwnd == owner_ || IsChild(owner_, msg->hwnd)))
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}
