// Image buttons: push buttons drawn from image files (PNG or BMP) instead of the
// system's look, with four state images (normal, hover, down, disabled) and an
// optional caption. Pure magenta (0xFFFF00FF) in an image is transparent: the
// owner window's background shows there, so every change of state repaints the
// button's rectangle in the owner too.
//
// CBoxImageButton is a check box made the same way, with one set of images per
// check state; it handles its own click, and its owner reads the state.
//
// Images are read into memory and decoded from there, so no image file stays
// open: the skin can be replaced while the program runs. At a screen DPI other
// than 96 they are scaled once when loaded, so a button keeps its size relative
// to its window.
#pragma once

#include <windows.h>

#include <string>

#include "ui/control.h"
#include "ui/dpi.h"
#include "ui/gdi_objects.h"
#include "ui/gdiplus_session.h"

// A caption font with its editable description. Starts as the system's default
// GUI font changed to Arial, ANSI character set, weight 400, anti-aliased.
class ButtonFont {
 public:
  ButtonFont();
  HFONT get() const { return font_.get(); }
  // Deletes the font and makes it again from the description.
  void Recreate();
  // A character cell height given at 96 DPI, scaled to the screen; re-creates.
  void SetHeight(int height);

  LOGFONTW description = {};

 private:
  GdiFont font_;
};

// One state image; 0 x 0 and empty when nothing could be loaded.
struct ButtonImage {
  int width = 0;
  int height = 0;
  // What is drawn: the decoded image in 32-bit ARGB with the colour key
  // applied, at the size it has on the screen.
  GdiplusImage prepared;
};

struct ButtonImagePaths {
  std::wstring normal;
  std::wstring down;
  std::wstring hover;
  std::wstring disabled;
};

struct ButtonImageSet {
  ButtonImage normal;
  ButtonImage hover;
  ButtonImage down;
  ButtonImage disabled;
};

// Loads one state image for a screen of `dpi`. A missing, empty or unreadable
// file gives a 0 x 0 image; false then.
bool LoadButtonImage(const std::wstring& path, ButtonImage& image, int dpi);
// Draws the image at the rectangle's top-left corner at its own size; an empty
// image draws nothing.
void DrawButtonImage(const ButtonImage& image, HDC dc, const RECT& client);

class CImageButton : public CControl {
 public:
  CImageButton();

  // Loads the four state images (normal, disabled, hover, down) and repaints.
  void SetImages(const ButtonImagePaths& paths);
  // Replaces the caption (also the window's text).
  void SetText(const std::wstring& text);
  const std::wstring& text() const { return caption_; }
  // The size the button gets from its normal image.
  SIZE ImageSize() const;

  bool hover() const { return hover_ != 0; }
  bool pressed() const { return pressed_ != 0; }

  // Set directly by the owner.
  ButtonFont font;
  COLORREF textColor;
  int textLeftAligned = 0;  // 0: caption centred; otherwise left-aligned
  int textOffsetY = 0;      // added to the caption rectangle's top
  int textOffsetX = 0;      // added to the caption rectangle's left

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnAttach() override;
  virtual void DrawItem(const DRAWITEMSTRUCT& item);
  // The images the button shows now.
  virtual const ButtonImageSet& ShownImages() const { return images_; }

  // Repaints the button and the owner's background under it.
  void InvalidateWithOwner();
  void InvalidateOwnerRect();

  // Declared first: GDI+ stays up until every image below is gone.
  GdiplusSession gdiplus_;
  ButtonImageSet images_;
  int hover_ = 0;
  int pressed_ = 0;
  std::wstring caption_;

 private:
  LRESULT OnMouseMove(WPARAM keys, POINT position);
  LRESULT OnLButtonDown(WPARAM keys, LPARAM position);
  LRESULT OnLButtonUp(WPARAM keys, LPARAM position);
  void TrackLeave();
};

class CBoxImageButton : public CImageButton {
 public:
  // Store the paths only; SetCheck loads what they name.
  void SetOnImages(const ButtonImagePaths& paths);
  void SetOffImages(const ButtonImagePaths& paths);
  // Sets the check state and shows the images of that state. Both image sets
  // are loaded here once, so a click switches images without reading files.
  void SetCheck(int state);
  int GetCheck() const { return checkState_; }

 protected:
  bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  const ButtonImageSet& ShownImages() const override;

 private:
  int checkState_ = 0;
  bool checkSet_ = false;
  ButtonImagePaths onPaths_, offPaths_;
  ButtonImageSet onImages_, offImages_;
  bool onLoaded_ = false, offLoaded_ = false;
};

// Puts an image button in place of the parent's child window with this id: the
// old window gives the position (and its place in the tab order) and is
// destroyed; the button is created there as a visible owner-drawn child at the
// size of its normal image. False when there is no such window or the button
// could not be created.
bool PlaceImageButton(HWND parent, CImageButton& button, int id);
