#include "app/about_dlg.h"

#include <cwchar>
#include <vector>

#include "app/skinned_dialog.h"
#include "app/resource.h"
#include "common/text_format.h"
#include "platform/paths.h"
#include "settings/language.h"

namespace {

// The rights holder and years of "About_Copyright", and the support contacts.
constexpr wchar_t kRightsHolder[] = L"Calvoro";
constexpr wchar_t kCopyrightYears[] = L"2011";
constexpr wchar_t kContactMail[] = L"support@calvoro.example";
constexpr wchar_t kContactPhone[] = L"+1 555 0100";
constexpr wchar_t kContactWeb[] = L"www.calvoro.example";

}  // namespace

std::wstring ProgramVersionText() {
  std::wstring program = GetModuleFilePath();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  if (size == 0) return std::wstring();
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(program.c_str(), 0, size, info.data())) return std::wstring();
  struct Translation {
    WORD language, codePage;
  };
  Translation* translations = nullptr;
  UINT bytes = 0;
  if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes) &&
      bytes >= sizeof(Translation)) {
    wchar_t key[64];
    std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language,
                  translations[0].codePage);
    wchar_t* text = nullptr;
    UINT chars = 0;
    if (VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&text), &chars) && text && *text) return text;
  }
  // The numbers alone (their build field holds at most 65535).
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes) || !fixed) return std::wstring();
  return FormatText(L"%u.%u.%u.%u", {static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                                     static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                                     static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                                     static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS))});
}

CAboutDlg::CAboutDlg(HWND parent, const LanguageTable& language)
    : CSkinnedDialog(IDD_ABOUTBOX, parent), language_(language) {}
CAboutDlg::~CAboutDlg() = default;

BOOL CAboutDlg::OnInitDialog() {
  SkinWindow(IDB_ABOUT_BACKGROUND);

  close_.SetImages(SkinImages(L"Close"));
  close_.SetText(L"");
  close_.textColor = RGB(0, 0, 0);
  close_.font.SetHeight(17);
  PlaceImageButton(hwnd_, close_, IDC_ABOUT_CLOSE);
  ok_.SetImages(SkinImages(L"white"));
  ok_.SetText(L"OK");
  ok_.textColor = RGB(0, 0, 0);
  ok_.font.SetHeight(14);
  PlaceImageButton(hwnd_, ok_, IDOK);

  AddTooltip(close_.GetSafeHwnd(), L"Close");
  AddLabel(IDC_ABOUT_TITLE, RGB(192, 192, 192));
  AddLabel(IDC_ABOUT_VERSION, RGB(0, 0, 0), 16);
  AddLabel(IDC_ABOUT_COPYRIGHT, RGB(0, 0, 0), 16);
  AddLabel(IDC_ABOUT_SUPPORT, RGB(0, 128, 0), 16, FW_BOLD);
  for (int id : {IDC_ABOUT_CONTACT_1, IDC_ABOUT_CONTACT_2, IDC_ABOUT_CONTACT_3}) AddLabel(id, RGB(128, 0, 128), 16);
  AddLabel(IDC_ABOUT_LINK, RGB(0, 0, 255), 16, FW_BOLD);
  ApplyTexts();
  // A click on the first contact line gives it the focus.
  HWND contact = GetDlgItem(IDC_ABOUT_CONTACT_1);
  SetWindowLongPtrW(contact, GWL_STYLE, GetWindowLongPtrW(contact, GWL_STYLE) | SS_NOTIFY);
  return TRUE;
}

void CAboutDlg::ApplyTexts() {
  auto text = [this](const wchar_t* key) { return language_.Text(key); };
  std::wstring title = text(L"About");
  SetWindowTextW(hwnd_, title.c_str());
  SetItemText(IDC_ABOUT_TITLE, title.c_str());
  SetTooltipText(close_.GetSafeHwnd(), text(L"Button_Close_Tip").c_str());
  ok_.SetText(text(L"Button_OK"));
  SetItemText(IDC_ABOUT_VERSION, FormatText(text(L"About_Version"), {ProgramVersionText()}).c_str());
  SetItemText(IDC_ABOUT_COPYRIGHT, FormatText(text(L"About_Copyright"), {kRightsHolder, kCopyrightYears}).c_str());
  SetItemText(IDC_ABOUT_SUPPORT, text(L"About_Support").c_str());
  SetItemText(IDC_ABOUT_LINK, text(L"About_HomePage_Link_1").c_str());
  SetItemText(IDC_ABOUT_CONTACT_1, kContactMail);
  SetItemText(IDC_ABOUT_CONTACT_2, kContactPhone);
  SetItemText(IDC_ABOUT_CONTACT_3, kContactWeb);
}

bool CAboutDlg::OnCommand(WORD id, WORD notifyCode, HWND control) {
  switch (id) {
    case IDOK:
      EndDialog(IDOK);
      return true;
    case IDCANCEL:  // Esc
    case IDC_ABOUT_CLOSE:
      EndDialog(IDCANCEL);
      return true;
    case IDC_ABOUT_CONTACT_1:
      if (notifyCode == STN_CLICKED) SetFocus(control);
      return true;
    default:
      return false;
  }
}

INT_PTR CAboutDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (message == WM_MOUSEMOVE) {
    // Over the link line, while it is shown, the pointer is a hand.
    HWND link = GetDlgItem(IDC_ABOUT_LINK);
    RECT area;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (link && IsWindowVisible(link) && GetWindowRect(link, &area)) {
      MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
      if (PtInRect(&area, at)) SetCursor(LoadCursorW(nullptr, IDC_HAND));
    }
  }
  return CSkinnedDialog::WindowProc(message, wParam, lParam, handled);
}
