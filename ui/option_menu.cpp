#include "ui/option_menu.h"

#include "ui/dpi.h"
#include "ui/gdi_objects.h"

OptionMenu::~OptionMenu() {
  if (menu_) DestroyMenu(menu_);
}

bool OptionMenu::CreatePopupMenu() {
  if (menu_) return false;
  menu_ = ::CreatePopupMenu();
  return menu_ != nullptr;
}

bool OptionMenu::AppendItem(UINT command, const OptionMenuItem& item) {
  if (!menu_) return false;
  items_.push_back(item);
  if (AppendMenuW(menu_, MF_OWNERDRAW, command, reinterpret_cast<const wchar_t*>(&items_.back()))) return true;
  items_.pop_back();
  return false;
}

void OptionMenu::SetBackground(HBRUSH brush) {
  MENUINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND;
  info.hbrBack = brush;
  SetMenuInfo(menu_, &info);
}

BOOL OptionMenu::Track(HWND window, int x, int y, UINT flags) {
  TrackedMenuScope tracked(this);
  return TrackPopupMenu(menu_, flags, x, y, 0, window, nullptr);
}

void OptionMenu::MeasureItem(MEASUREITEMSTRUCT& item) {
  item.itemWidth = static_cast<UINT>(ScaleForScreen(itemWidth));
  item.itemHeight = static_cast<UINT>(ScaleForScreen(itemHeight));
}

void OptionMenu::DrawItem(const DRAWITEMSTRUCT& item) {
  auto* data = reinterpret_cast<const OptionMenuItem*>(item.itemData);
  if (!data) return;
  HDC dc = item.hDC;
  SavedDCState saved(dc);
  SetBkMode(dc, TRANSPARENT);
  RECT rect = item.rcItem;
  RECT fill = rect;
  InflateRect(&fill, -1, -1);
  FillSolidRect(dc, fill, (item.itemState & ODS_SELECTED) ? kSelectedFill : kItemFill);
  if (data->separatorBelow == 1) {
    // A groove: the shadow line on the item's last row, the light one just below.
    RECT line = {rect.left + 2, rect.bottom, rect.right - 2, rect.bottom};
    Draw3dRect(dc, line, kSeparatorLight, kSeparatorShadow);
  }
  SetTextColor(dc, data->textColor);
  rect.left += ScaleForScreen(textIndent + 8);
  DrawTextW(dc, data->text.c_str(), static_cast<int>(data->text.size()), &rect, DT_SINGLELINE | DT_VCENTER);
}
