// The tooltip of a window's controls: one tooltip window owned by the window
// (destroyed with it). It learns of the pointer one of two ways:
//   kWatchControls  it watches each control itself (TTF_SUBCLASS), so that the
//                   tips show in every message loop: the window's own, a
//                   menu's, a nested dialog's (the main window);
//   kRelayed        the window's own loop hands it each message (Relay), and
//                   the controls' messages stay their own (a dialog with its
//                   own modal loop).
#pragma once

#include <windows.h>

class ToolTip {
 public:
  enum Mode { kWatchControls, kRelayed };

  // Creates the tooltip window for `owner`; false when it cannot be made (the
  // window then works without tips). Once made, later calls change nothing.
  bool Create(HWND owner, Mode mode = kWatchControls);
  // The tip of one control, and its text; nothing before Create.
  void Add(HWND control, const wchar_t* text);
  void SetText(HWND control, const wchar_t* text);
  // kRelayed: a message of the owner's loop, for the tooltip to see.
  void Relay(MSG* msg);
  // A tip that shows goes, and no tip shows until Resume: a menu opened from
  // a control must not lie under its tip.
  void Suspend();
  void Resume();

  HWND window() const { return tooltip_; }

 private:
  HWND owner_ = nullptr;
  HWND tooltip_ = nullptr;
  Mode mode_ = kWatchControls;
};
