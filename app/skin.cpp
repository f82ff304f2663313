#include "app/skin.h"

#include "app/resource.h"
#include "platform/paths.h"
#include "settings/language.h"

PatternBrush LoadFittedBackground(HWND window, int bitmapId) {
  GdiBitmap picture(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!picture) return PatternBrush();
  RECT client;
  GetClientRect(window, &client);
  return MakePatternBrush(FitBitmap(picture.get(), client.right, client.bottom));
}

void ApplyRoundedOutline(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  // A region's right and bottom edges lie outside it: one more pixel each way
  // keeps the last column and row.
  HRGN region = CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, 4, 4);
  if (region && !SetWindowRgn(window, region, TRUE)) DeleteObject(region);
}

ButtonImagePaths SkinImages(const wchar_t* normal, const wchar_t* hover, const wchar_t* down,
                            const wchar_t* disabled) {
  std::wstring folder = GetModuleDirectory();
  return {folder + normal, folder + down, folder + hover, folder + disabled};
}

void SetUpImageButton(HWND dialog, CImageButton& button, int id, const ButtonImagePaths& images, int fontHeight) {
  button.SetImages(images);
  button.SetText(L"");
  button.textColor = RGB(0, 0, 0);
  button.font.SetHeight(fontHeight);
  PlaceImageButton(dialog, button, id);
}

CSkinnedDialog::CSkinnedDialog(UINT templateId, int backgroundId, const wchar_t* titleKey, HWND parent)
    : CDialog(templateId, parent), backgroundId_(backgroundId), titleKey_(titleKey) {}

BOOL CSkinnedDialog::OnInitDialog() {
  background_ = LoadFittedBackground(hwnd_, backgroundId_);
  ApplyRoundedOutline(hwnd_);
  SetUpImageButton(hwnd_, closeButton_, IDC_DIALOG_CLOSE,
                   SkinImages(L"Image\\Close_normal.bmp", L"Image\\Close_on.bmp", L"Image\\Close_down.bmp",
                              L"Image\\Close_disable.bmp"),
                   17);
  SetWindowTextW(hwnd_, LanguageText(titleKey_).c_str());
  return TRUE;
}

bool CSkinnedDialog::OnCommand(WORD id, WORD notifyCode, HWND control) {
  return CDialog::OnCommand(id == IDC_DIALOG_CLOSE ? IDCANCEL : id, notifyCode, control);
}

INT_PTR CSkinnedDialog::WindowProc(UINT message, WPARAM, LPARAM lParam, bool& handled) {
  handled = false;
  if (message == WM_CTLCOLORDLG && background_) {
    handled = true;
    return reinterpret_cast<INT_PTR>(background_.get());
  }
  // No caption: a press on the background drags the dialog.
  if (message == WM_LBUTTONDOWN) PostMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
  return 0;
}
