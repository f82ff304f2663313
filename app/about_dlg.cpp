#include "app/about_dlg.h"

#include <cwchar>
#include <vector>

#include "app/dialog_skin.h"
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

// Font, weight and colour of each label; a height of 0 keeps the template's.
struct LabelSpec {
  int id;
  int height;
  int weight;
  COLORREF color;
};
constexpr LabelSpec kLabels[8] = {
    {IDC_ABOUT_TITLE, 0, FW_NORMAL, RGB(192, 192, 192)},  {IDC_ABOUT_VERSION, 16, FW_NORMAL, RGB(0, 0, 0)},
    {IDC_ABOUT_COPYRIGHT, 16, FW_NORMAL, RGB(0, 0, 0)},   {IDC_ABOUT_SUPPORT, 16, FW_BOLD, RGB(0, 128, 0)},
    {IDC_ABOUT_CONTACT_1, 16, FW_NORMAL, RGB(128, 0, 128)}, {IDC_ABOUT_CONTACT_2, 16, FW_NORMAL, RGB(128, 0, 128)},
    {IDC_ABOUT_CONTACT_3, 16, FW_NORMAL, RGB(128, 0, 128)}, {IDC_ABOUT_LINK, 16, FW_BOLD, RGB(0, 0, 255)},
};

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

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}
CAboutDlg::~CAboutDlg() = default;

BOOL CAboutDlg::OnInitDialog() {
  background_ = FittedBackground(hwnd_, IDB_ABOUT_BACKGROUND);
  ApplyRoundedOutline(hwnd_);

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

  tooltip_ = CreateControlTooltip(hwnd_, close_.GetSafeHwnd(), L"Close");
  for (int i = 0; i < 8; ++i) {
    labels_[i].AttachDlgItem(hwnd_, kLabels[i].id);
    labels_[i].height = kLabels[i].height;
    labels_[i].weight = kLabels[i].weight;
    labels_[i].textColor = kLabels[i].color;
    labels_[i].backgroundSource = background_.bitmap.get();
  }
  ApplyTexts();
  // A click on the first contact line gives it the focus.
  HWND contact = GetDlgItem(IDC_ABOUT_CONTACT_1);
  SetWindowLongPtrW(contact, GWL_STYLE, GetWindowLongPtrW(contact, GWL_STYLE) | SS_NOTIFY);
  return TRUE;
}

void CAboutDlg::ApplyTexts() {
  IniFile language(LanguageIniPath());
  auto text = [&language](const wchar_t* key) { return LanguageText(language, key); };
  std::wstring title = text(L"About");
  SetWindowTextW(hwnd_, title.c_str());
  SetItemText(IDC_ABOUT_TITLE, title.c_str());
  SetControlTooltipText(tooltip_, hwnd_, close_.GetSafeHwnd(), text(L"Button_Close_Tip").c_str());
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
  handled = false;
  switch (message) {
    case WM_CTLCOLORDLG:
      if (!background_) return 0;
      handled = true;
      return reinterpret_cast<INT_PTR>(background_.get());
    case WM_ERASEBKGND:
      if (!background_) return 0;
      EraseWithPattern(hwnd_, reinterpret_cast<HDC>(wParam), background_.get());
      handled = true;
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      for (int i = 0; i < 8; ++i) {
        if (kLabels[i].id != id) continue;
        handled = true;
        return reinterpret_cast<INT_PTR>(
            labels_[i].OnParentCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), CTLCOLOR_STATIC));
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
      DragByAnyPoint(hwnd_);
      return 0;
    case WM_MOUSEMOVE: {
      // Over the link line, while it is shown, the pointer is a hand.
      HWND link = GetDlgItem(IDC_ABOUT_LINK);
      RECT area;
      POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (link && IsWindowVisible(link) && GetWindowRect(link, &area)) {
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
        if (PtInRect(&area, at)) SetCursor(LoadCursorW(nullptr, IDC_HAND));
      }
      return 0;
    }
    default:
      return 0;
  }
}

bool CAboutDlg::PreTranslateMessage(MSG* msg) {
  RelayToTooltip(tooltip_, hwnd_, *msg);
  return false;
}
