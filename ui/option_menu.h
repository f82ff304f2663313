// OptionMenu: an owner-drawn popup menu of flat coloured items, each with an
// optional separator line along its bottom edge. The menu owns its items and
// destroys its popup when it goes.
//
//   OptionMenu menu;
//   menu.itemWidth = 130; menu.itemHeight = 23;
//   menu.CreatePopupMenu();
//   menu.AppendItem(5006, {L"Setting", RGB(0, 0, 0), 0});
//   menu.SetBackground(menuBrush);
//   menu.Track(window, x, y);   // commands go to `window`
//
// While Track runs, the window's WM_MEASUREITEM and WM_DRAWITEM for the items
// reach the menu through ReflectToControl (ui/control.h).
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "ui/control.h"

struct OptionMenuItem {
  std::wstring text;
  COLORREF textColor = RGB(0, 0, 0);
  int separatorBelow = 0;  // 1: a separator line along the item's bottom edge
};

class OptionMenu : public MenuItemPainter {
 public:
  OptionMenu() = default;
  ~OptionMenu() override;
  OptionMenu(const OptionMenu&) = delete;
  OptionMenu& operator=(const OptionMenu&) = delete;

  bool CreatePopupMenu();
  bool AppendItem(UINT command, const OptionMenuItem& item);
  // The menu's background; the brush stays the caller's and must outlive the menu.
  void SetBackground(HBRUSH brush);
  // TrackPopupMenu at screen position (x, y) for `window`; its result.
  BOOL Track(HWND window, int x, int y, UINT flags = TPM_LEFTALIGN);
  HMENU GetSafeHmenu() const { return menu_; }

  void MeasureItem(MEASUREITEMSTRUCT& item) override;
  void DrawItem(const DRAWITEMSTRUCT& item) override;

  // Sizes at 96 DPI, scaled to the screen.
  int itemWidth = 118;
  int itemHeight = 17;
  int textIndent = 15;

  static constexpr COLORREF kSelectedFill = RGB(97, 151, 247);
  static constexpr COLORREF kItemFill = RGB(215, 215, 215);
  static constexpr COLORREF kSeparatorLight = RGB(255, 255, 255);
  static constexpr COLORREF kSeparatorShadow = RGB(140, 140, 140);

 private:
  HMENU menu_ = nullptr;
  std::deque<OptionMenuItem> items_;  // a deque keeps each item where the menu points
};
