// CSkinnedDialog: what the program's skinned dialogs (settings, about,
// recordings, audio source, rename) share.
// A picture of the program's resources fitted to the dialog's real size is its
// background, painted in place also where a themed control asks its parent to
// paint under it; the window has rounded corners; its labels and group boxes
// lie on the picture in their own colours and fonts; its controls have tips
// (ui/tooltip.h, the main window's helper, fed by the thread's loops); a
// press on the dialog's own surface drags it, as it has no caption bar; and
// it runs the actions its background jobs post to it (PostToWindow).
#pragma once

#include <windows.h>

#include <deque>
#include <string_view>
#include <vector>

#include "ui/dialog.h"
#include "ui/image_button.h"
#include "ui/skin_bitmap.h"
#include "ui/tooltip.h"
#include "ui/transparent_static.h"

// The four state images "Image\<name>_normal.bmp", "_down", "_on" (hover) and
// "_<disabled>" beside the program (the skin spells the disabled image of some
// sets "disabled").
ButtonImagePaths SkinImages(std::wstring_view name, std::wstring_view disabled = L"disable");

// The bitmap resource scaled to the window's client size (a dialog's size
// follows its font and the screen's DPI), as a pattern brush that keeps its
// bitmap: the window paints its background with the brush, and its
// transparent labels cut their pieces from the same bitmap. Empty when the
// resource cannot be loaded.
PatternBrush LoadFittedBackground(HWND window, int bitmapId);

// Cuts the window to a rounded rectangle over its whole area; the system owns
// the region from then on.
void ApplyRoundedOutline(HWND window);

class CSkinnedDialog : public CDialog {
 protected:
  CSkinnedDialog(UINT templateId, HWND parent);

  // From OnInitDialog: the background from a bitmap resource, the outline.
  void SkinWindow(int backgroundBitmapId);
  // A label (or group box) of the template drawn on the picture; the font is
  // the label's own with this height (at 96 DPI; 0 keeps it) and weight.
  void AddLabel(int id, COLORREF color, int height = 0, int weight = FW_NORMAL);
  // The tooltip of one control, and its text.
  void AddTooltip(HWND control, const wchar_t* text);
  void SetTooltipText(HWND control, const wchar_t* text);

  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;
  // The background as a brush for a control that paints its own ground (a
  // trackbar): aligned to where the control lies on the picture. Null
  // without a background.
  HBRUSH BackgroundFor(HWND control, HDC dc) const;

 private:
  PatternBrush background_;
  ToolTip tooltip_;
  std::vector<int> labelIds_;
  std::deque<CTransparentStatic> labels_;
};
