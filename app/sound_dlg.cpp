#include "app/sound_dlg.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "app/resource.h"
#include "app/status_text.h"
#include "common/strings.h"
#include "platform/message_box.h"
#include "ui/control.h"
#include "ui/gdi_objects.h"

namespace {

constexpr int kDeviceLists[] = {IDC_SOUND_FAR, IDC_SOUND_NEAR};
// What only the computer's sound uses.
constexpr int kSoundControls[] = {IDC_SOUND_FAR_LABEL,    IDC_SOUND_FAR,    IDC_SOUND_NEAR_LABEL,
                                  IDC_SOUND_NEAR,         IDC_SOUND_HOTKEY, IDC_SOUND_HOTKEY_LABEL,
                                  IDC_SOUND_APPS_LABEL,   IDC_SOUND_APPS,   IDC_SOUND_HINT};

constexpr wchar_t kNoHotkey[] = L"None";
constexpr wchar_t kHotkeyInvalidFallback[] =
    L"This hotkey cannot be used. Write it like Ctrl+Alt+R: Ctrl, Alt or Win (Shift may be added) and a letter or "
    L"a digit, or F1 to F24 (with any of them); None turns the hotkey off.";

std::wstring Trimmed(const std::wstring& text) {
  size_t begin = text.find_first_not_of(L" \t\r\n");
  if (begin == std::wstring::npos) return std::wstring();
  size_t end = text.find_last_not_of(L" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// The call apps as Config.ini keeps them: one ';' between names, whether the
// user separated them by ';' or by lines, without blanks around a name.
std::wstring AppListText(const std::wstring& typed) {
  std::wstring list;
  size_t begin = 0;
  while (begin <= typed.size()) {
    size_t end = typed.find_first_of(L";\r\n", begin);
    if (end == std::wstring::npos) end = typed.size();
    std::wstring name = Trimmed(typed.substr(begin, end - begin));
    if (!name.empty()) list += (list.empty() ? L"" : L";") + name;
    begin = end + 1;
  }
  return list;
}

// A device list: an editable drop-down list whose first item stands for the
// default device, which the settings keep as an empty name. Any other text,
// picked from the list or typed, is the device's name.
namespace device_list {

void Start(HWND list, const std::wstring& defaultItem) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(defaultItem.c_str()));
  SendMessageW(list, CB_SETMINVISIBLE, 8, 0);
  SendMessageW(list, CB_LIMITTEXT, 0, 0);
}

void Show(HWND list, const std::wstring& device) {
  if (device.empty()) {
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    return;
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetWindowTextW(list, device.c_str());
}

std::wstring Chosen(HWND list) {
  std::wstring text = Trimmed(GetWindowTextString(list));
  wchar_t defaultItem[256] = L"";
  if (SendMessageW(list, CB_GETLBTEXTLEN, 0, 0) < 256)
    SendMessageW(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(defaultItem));
  return text == defaultItem ? std::wstring() : text;
}

// Adds the names the list lacks after the items it has; the text in the
// field (typed, or chosen) stays as it is.
void Add(HWND list, const std::vector<std::wstring>& names) {
  std::wstring shown = GetWindowTextString(list);
  DWORD selection = static_cast<DWORD>(SendMessageW(list, CB_GETEDITSEL, 0, 0));
  for (const std::wstring& name : names) {
    if (name.empty()) continue;
    if (SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str())) !=
        CB_ERR)
      continue;
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  if (GetWindowTextString(list) != shown) {
    SetWindowTextW(list, shown.c_str());
    SendMessageW(list, CB_SETEDITSEL, 0, MAKELPARAM(LOWORD(selection), HIWORD(selection)));
  }
  // The open list is as wide as its longest name.
  ClientDC dc(list);
  SelectionScope useFont(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
  RECT shownRect;
  GetWindowRect(list, &shownRect);
  int widest = shownRect.right - shownRect.left;
  int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring item(static_cast<size_t>(std::max<LRESULT>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0), 0)), L'\0');
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    SIZE extent = {};
    if (GetTextExtentPoint32W(dc.get(), item.c_str(), static_cast<int>(item.size()), &extent))
      widest = std::max<int>(widest, extent.cx + GetSystemMetrics(SM_CXVSCROLL) + 8);
  }
  SendMessageW(list, CB_SETDROPPEDWIDTH, widest, 0);
}

}  // namespace device_list

void SkinPushButton(CImageButton& button, const ButtonImagePaths& images, int fontHeight) {
  button.SetImages(images);
  button.SetText(L"");
  button.font.SetHeight(fontHeight);
  button.textColor = RGB(0, 0, 0);
}

// Puts the dialog's middle over its owner's, inside the owner's screen.
void CenterOnOwner(HWND dialog, HWND owner) {
  RECT ownerRect, rect;
  if (!owner || !GetWindowRect(owner, &ownerRect) || !GetWindowRect(dialog, &rect)) return;
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  int x = (ownerRect.left + ownerRect.right - width) / 2, y = (ownerRect.top + ownerRect.bottom - height) / 2;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    x = std::max<int>(work.left, std::min<int>(x, work.right - width));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
  }
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CSoundSourceDlg::CSoundSourceDlg(HWND parent, const LanguageTable& language, SoundSourceValues values,
                                 BackgroundWork& work, std::function<std::vector<std::wstring>()> listDevices)
    : CSkinnedDialog(IDD_SOUND_DIALOG, parent),
      language_(language),
      values_(std::move(values)),
      listDevices_(std::move(listDevices)),
      work_(work) {}
CSoundSourceDlg::~CSoundSourceDlg() = default;

BOOL CSoundSourceDlg::OnInitDialog() {
  CenterOnOwner(hwnd_, parent_);
  // The settings dialog's picture: title band, body, a large and a small panel.
  SkinWindow(IDB_SETTING_BACKGROUND);
  SkinControls();
  AddTooltip(close_.GetSafeHwnd(), L"Close");
  ApplyTexts();
  ShowValues();
  ListDevices();
  // As in the settings dialog, the keyboard starts on OK.
  SetFocus(ok_.GetSafeHwnd());
  return FALSE;
}

void CSoundSourceDlg::SkinControls() {
  SkinPushButton(close_, SkinImages(L"Close"), 14);
  PlaceImageButton(hwnd_, close_, IDC_SOUND_CLOSE);
  const ButtonImagePaths white = SkinImages(L"white");
  SkinPushButton(ok_, white, 14);
  PlaceImageButton(hwnd_, ok_, IDOK);
  SkinPushButton(cancel_, white, 14);
  PlaceImageButton(hwnd_, cancel_, IDCANCEL);

  for (CEditEx* field : {&hotkey_, &apps_}) {
    field->borderColor = RGB(127, 157, 185);
    field->textColor = RGB(0, 0, 0);
    field->backColor = RGB(255, 255, 255);
  }
  hotkey_.AttachDlgItem(hwnd_, IDC_SOUND_HOTKEY);
  apps_.AttachDlgItem(hwnd_, IDC_SOUND_APPS);
  SendDlgItemMessageW(hwnd_, IDC_SOUND_APPS, EM_LIMITTEXT, 0, 0);

  // The title in silver on the band; the choices as large as the settings
  // dialog's check box captions; the labels in black; the note smaller, grey.
  AddLabel(IDC_SOUND_TITLE, RGB(192, 192, 192));
  for (int id : {IDC_SOUND_SOURCE_CLIENT, IDC_SOUND_SOURCE_SOUND}) AddLabel(id, RGB(0, 0, 0), 15);
  for (int id : {IDC_SOUND_FAR_LABEL, IDC_SOUND_NEAR_LABEL, IDC_SOUND_HOTKEY_LABEL, IDC_SOUND_APPS_LABEL})
    AddLabel(id, RGB(0, 0, 0));
  AddLabel(IDC_SOUND_HINT, RGB(80, 80, 80));
}

void CSoundSourceDlg::ApplyTexts() {
  auto text = [this](const wchar_t* key) { return language_.Text(key); };
  std::wstring title = text(L"Sound_Dialog_Title");
  SetWindowTextW(hwnd_, title.c_str());
  SetItemText(IDC_SOUND_TITLE, title.c_str());
  SetTooltipText(close_.GetSafeHwnd(), text(L"Button_Close_Tip").c_str());
  ok_.SetText(text(L"Button_OK"));
  cancel_.SetText(text(L"Button_Cancel"));
  SetItemText(IDC_SOUND_SOURCE_CLIENT, text(L"Sound_Source_Client").c_str());
  SetItemText(IDC_SOUND_SOURCE_SOUND, text(L"Sound_Source_Sound").c_str());
  SetItemText(IDC_SOUND_FAR_LABEL, text(L"Sound_Far_End").c_str());
  SetItemText(IDC_SOUND_NEAR_LABEL, text(L"Sound_Near_End").c_str());
  SetItemText(IDC_SOUND_HOTKEY_LABEL, text(L"Sound_Hotkey").c_str());
  SetItemText(IDC_SOUND_APPS_LABEL, text(L"Sound_Auto_Apps").c_str());
  SetItemText(IDC_SOUND_HINT, text(L"Sound_Auto_Hint").c_str());
  device_list::Start(GetDlgItem(IDC_SOUND_FAR), text(L"Sound_Default_Far"));
  device_list::Start(GetDlgItem(IDC_SOUND_NEAR), text(L"Sound_Default_Near"));
}

void CSoundSourceDlg::ShowValues() {
  const bool sound = values_.captureSource == CaptureSource::Sound;
  CheckRadioButton(hwnd_, IDC_SOUND_SOURCE_CLIENT, IDC_SOUND_SOURCE_SOUND,
                   sound ? IDC_SOUND_SOURCE_SOUND : IDC_SOUND_SOURCE_CLIENT);
  device_list::Show(GetDlgItem(IDC_SOUND_FAR), values_.farEndDevice);
  device_list::Show(GetDlgItem(IDC_SOUND_NEAR), values_.nearEndDevice);
  SetItemText(IDC_SOUND_HOTKEY, values_.recordHotkey.c_str());
  SetItemText(IDC_SOUND_APPS, values_.autoRecordApps.c_str());
  EnableSoundControls();
}

void CSoundSourceDlg::ListDevices() {
  if (!listDevices_) return;
  // The job keeps no part of the dialog but its window's handle: it may
  // still run when the dialog is gone, and then its names are dropped.
  HWND window = hwnd_;
  work_.Run([window, list = listDevices_] {
    std::vector<std::wstring> names = list();
    PostToWindow(window, [window, names = std::move(names)] {
      for (int id : kDeviceLists) device_list::Add(::GetDlgItem(window, id), names);
    });
  });
}

void CSoundSourceDlg::EnableSoundControls() {
  const bool sound = IsDlgButtonChecked(hwnd_, IDC_SOUND_SOURCE_SOUND) == BST_CHECKED;
  for (int id : kSoundControls) EnableItem(id, sound);
  // The skinned fields draw their own colours: greyed like the lists.
  for (CEditEx* field : {&hotkey_, &apps_}) {
    field->textColor = sound ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT);
    field->backColor = sound ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNFACE);
    RedrawWindow(field->GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
}

bool CSoundSourceDlg::TakeValues() {
  SoundSourceValues taken;
  taken.captureSource =
      IsDlgButtonChecked(hwnd_, IDC_SOUND_SOURCE_SOUND) == BST_CHECKED ? CaptureSource::Sound : CaptureSource::Client;
  taken.farEndDevice = device_list::Chosen(GetDlgItem(IDC_SOUND_FAR));
  taken.nearEndDevice = device_list::Chosen(GetDlgItem(IDC_SOUND_NEAR));
  taken.autoRecordApps = AppListText(GetWindowTextString(GetDlgItem(IDC_SOUND_APPS)));
  taken.recordHotkey = Trimmed(GetWindowTextString(GetDlgItem(IDC_SOUND_HOTKEY)));
  unsigned modifiers = 0, key = 0;
  if (EqualsNoCase(taken.recordHotkey, kNoHotkey)) {
    taken.recordHotkey = kNoHotkey;
  } else if (!taken.recordHotkey.empty() && !ParseHotkey(taken.recordHotkey, modifiers, key) &&
             taken.captureSource == CaptureSource::Sound) {
    // Only the computer's sound has a hotkey: while the client is chosen the
    // field cannot be corrected, and what it holds is kept as it is.
    MessageBoxW(hwnd_, language_.TextOr(L"Sound_Hotkey_Invalid", kHotkeyInvalidFallback).c_str(),
                kApplicationTitle, MB_OK | MB_ICONWARNING);
    HWND field = GetDlgItem(IDC_SOUND_HOTKEY);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return false;
  }
  values_ = std::move(taken);
  return true;
}

bool CSoundSourceDlg::OnCommand(WORD id, WORD notifyCode, HWND control) {
  switch (id) {
    case IDOK:
      if (TakeValues()) EndDialog(IDOK);
      return true;
    case IDCANCEL:
    case IDC_SOUND_CLOSE:
      EndDialog(IDCANCEL);
      return true;
    case IDC_SOUND_SOURCE_CLIENT:
    case IDC_SOUND_SOURCE_SOUND:
      if (notifyCode == BN_CLICKED) EnableSoundControls();
      return true;
    default:
      return false;
  }
}
