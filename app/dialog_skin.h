// What the program's skinned dialogs (settings, about) share: their state
// images from Image\ beside the program, a background picture fitted to the
// dialog's real size, the rounded outline, the tooltip of the close button and
// dragging the window by any point of its surface.
#pragma once

#include <windows.h>

#include <string_view>

#include "ui/image_button.h"
#include "ui/skin_bitmap.h"

// The four state images "Image\<name>_normal.bmp", "_down", "_on" (hover) and
// "_<disabled>" (the skin spells the disabled image of some sets "disabled").
ButtonImagePaths SkinImages(std::wstring_view name, std::wstring_view disabled = L"disable");

// A bitmap resource of the program scaled to the dialog's client area, as a
// pattern brush (empty when the resource is missing): the template's dialog
// units give other pixel sizes on other screens and fonts than the picture's.
PatternBrush FittedBackground(HWND dialog, int bitmapId);

// Paints a dialog's background with its pattern brush, the picture's top-left
// corner at the dialog's client origin. A themed control asks its parent to
// paint under it on the control's own surface, moved by the control's
// position; a pattern brush does not follow that move by itself.
void EraseWithPattern(HWND dialog, HDC dc, HBRUSH pattern);

// Cuts the window to a rectangle with rounded corners (ellipse 4 x 4 at 96 DPI).
void ApplyRoundedOutline(HWND window);

// A tooltip of the dialog for one of its controls; the dialog relays its
// messages to it (RelayToTooltip) and destroys it with itself.
HWND CreateControlTooltip(HWND dialog, HWND control, const wchar_t* text);
void SetControlTooltipText(HWND tooltip, HWND dialog, HWND control, const wchar_t* text);
void RelayToTooltip(HWND tooltip, HWND dialog, const MSG& msg);

// The dialog has no caption: a press on its surface drags it.
void DragByAnyPoint(HWND dialog);
