#include "app/rename_dlg.h"

#include <tuple>
#include <utility>

#include "app/resource.h"
#include "ui/control.h"

CRenameDlg::CRenameDlg(HWND parent, const LanguageTable& language, std::wstring name)
    : CSkinnedDialog(IDD_RENAME_DIALOG, parent), language_(language), name_(std::move(name)) {}

BOOL CRenameDlg::OnInitDialog() {
  SkinWindow(IDB_SETTING_BACKGROUND);
  const ButtonImagePaths white = SkinImages(L"white");
  for (auto [button, id, key] : {std::tuple{&ok_, IDOK, L"Button_OK"}, std::tuple{&cancel_, IDCANCEL, L"Button_Cancel"}}) {
    button->SetImages(white);
    button->SetText(language_.Text(key));
    button->font.SetHeight(14);
    button->textColor = RGB(0, 0, 0);
    PlaceImageButton(hwnd_, *button, id);
  }
  AddLabel(IDC_RENAME_TITLE, RGB(192, 192, 192));
  const std::wstring title = language_.TextOr(L"Recordings_Rename_Title", L"Rename recording");
  SetWindowTextW(hwnd_, title.c_str());
  SetItemText(IDC_RENAME_TITLE, title.c_str());
  edit_.borderColor = RGB(127, 157, 185);
  edit_.textColor = RGB(0, 0, 0);
  edit_.backColor = RGB(255, 255, 255);
  edit_.AttachDlgItem(hwnd_, IDC_RENAME_NAME);
  SetItemText(IDC_RENAME_NAME, name_.c_str());
  HWND field = GetDlgItem(IDC_RENAME_NAME);
  SetFocus(field);
  SendMessageW(field, EM_SETSEL, 0, -1);
  return FALSE;
}

bool CRenameDlg::OnCommand(WORD id, WORD, HWND) {
  if (id == IDOK) name_ = GetWindowTextString(GetDlgItem(IDC_RENAME_NAME));
  if (id != IDOK && id != IDCANCEL) return false;
  EndDialog(id);
  return true;
}
