// The tooltip of a window's controls: one tooltip window owned by the window
// (destroyed with it), that watches each control it is given itself
// (TTF_SUBCLASS), so that the tips show in every message loop: the window's
// own, a menu's, a nested dialog's.
#pragma once

#include <windows.h>

class ToolTip {
 public:
  // Creates the tooltip window for `owner`; false when it cannot be made (the
  // window then works without tips).
  bool Create(HWND owner);
  // The tip of one control, and its text; nothing before Create.
  void Add(HWND control, const wchar_t* text);
  void SetText(HWND control, const wchar_t* text);

  HWND window() const { return tooltip_; }

 private:
  HWND owner_ = nullptr;
  HWND tooltip_ = nullptr;
};
