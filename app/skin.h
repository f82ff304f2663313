// What the program's skinned windows share: the background bitmap of a
// resource fitted to the window's real size, the rounded outline, and image
// buttons from the files under Image\ beside the program.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog.h"
#include "ui/image_button.h"
#include "ui/skin_bitmap.h"

// The bitmap resource scaled to the window's client size (a dialog's size
// follows its font and the screen's DPI), as a pattern brush that keeps its
// bitmap: the window paints its background with the brush, and its
// transparent labels cut their pieces from the same bitmap. Empty when the
// resource cannot be loaded.
PatternBrush LoadFittedBackground(HWND window, int bitmapId);

// Cuts the window to a rounded rectangle over its whole area (corner ellipse
// 4 x 4); the system owns the region from then on.
void ApplyRoundedOutline(HWND window);

// The four state images of a button, as file names under the program's
// folder ("Image\Close_normal.bmp", ...).
ButtonImagePaths SkinImages(const wchar_t* normal, const wchar_t* hover, const wchar_t* down,
                            const wchar_t* disabled);

// Loads the button's images, gives it an empty caption in black at the font
// height (at 96 DPI), and puts it in place of the dialog's control `id`.
void SetUpImageButton(HWND dialog, CImageButton& button, int id, const ButtonImagePaths& images, int fontHeight);

// A skinned dialog frame: the background bitmap fitted to the dialog, the
// rounded outline, a close button (control 1002) that ends the dialog like
// Esc, a title from the language file, and dragging by any point of the
// background.
class CSkinnedDialog : public CDialog {
 public:
  CSkinnedDialog(UINT templateId, int backgroundId, const wchar_t* titleKey, HWND parent);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  PatternBrush background_;
  CImageButton closeButton_;

 private:
  int backgroundId_;
  const wchar_t* titleKey_;
};
