#include "app/setting_dlg.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <utility>

#include "app/skinned_dialog.h"
#include "app/resource.h"
#include "common/strings.h"
#include "app/user_messages.h"
#include "platform/message_box.h"
#include "settings/contact_rule.h"
#include "settings/language.h"
#include "ui/control.h"

namespace {

// Check box captions: Arial 15, black, left-aligned beside the box.
void SkinCheckBox(CBoxImageButton& box, const ButtonImagePaths& on, const ButtonImagePaths& off) {
  box.SetOnImages(on);
  box.SetOffImages(off);
  box.SetCheck(0);
  box.font.SetHeight(15);
  box.textColor = RGB(0, 0, 0);
  box.textLeftAligned = 1;
  box.textOffsetX = 22;
  box.textOffsetY = 0;
}

// A check box in place of its template control. The box image is about 16 x 16
// and the caption is drawn beside it inside the same window, so the window
// keeps the template control's width (a window as narrow as the image would
// cut the caption off) and takes the image's height.
void PlaceCheckBox(HWND dialog, CBoxImageButton& box, int id) {
  RECT templateRect = {};
  if (HWND old = GetDlgItem(dialog, id)) GetWindowRect(old, &templateRect);
  if (!PlaceImageButton(dialog, box, id)) return;
  SIZE image = box.ImageSize();
  int width = std::max<int>(templateRect.right - templateRect.left, image.cx);
  SetWindowPos(box.GetSafeHwnd(), nullptr, 0, 0, width, image.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SkinPushButton(CImageButton& button, const ButtonImagePaths& images, const wchar_t* caption, int fontHeight) {
  button.SetImages(images);
  button.SetText(caption);
  button.font.SetHeight(fontHeight);
  button.textColor = RGB(0, 0, 0);
}

void SetCheckFromSetting(CBoxImageButton& box, bool on) { box.SetCheck(on ? 1 : 0); }

// The controls of each page (the title, the page buttons and OK, Cancel,
// Apply and close are on both).
constexpr int kGeneralPage[] = {
    IDC_SETTING_LANGUAGE_LABEL, IDC_SETTING_LANGUAGE,   IDC_SETTING_AUTORUN,        IDC_SETTING_RECORD_GROUP,
    IDC_SETTING_FOLDER_LABEL,   IDC_SETTING_FOLDER,     IDC_SETTING_BROWSE,         IDC_SETTING_RECORD_WAY_LABEL,
    IDC_SETTING_RECORD_WAY,     IDC_SETTING_SOUND_MORE, IDC_SETTING_FORMAT_LABEL,   IDC_SETTING_MP3,
    IDC_SETTING_OGG,            IDC_SETTING_OPUS,       IDC_SETTING_FLAC,           IDC_SETTING_WMA,
    IDC_SETTING_WAV,            IDC_SETTING_STEREO,     IDC_SETTING_AUTO_RECORD,    IDC_SETTING_OPEN_FOLDER,
    IDC_SETTING_TRAY_STATUS,    IDC_SETTING_SAVED_NOTICE, IDC_SETTING_SKYPE_GROUP,  IDC_SETTING_HIDE_SKYPE,
    IDC_SETTING_CLOSE_CALL_QUALITY};
constexpr int kRulesPage[] = {IDC_SETTING_CONTACT_RULE_LABEL, IDC_SETTING_CONTACT_RULE, IDC_SETTING_CONTACT_RULE_HINT,
                              IDC_SETTING_CONTACTS_GROUP,     IDC_SETTING_CONTACT_LIST, IDC_SETTING_CONTACTS_HINT,
                              IDC_SETTING_KEEP_GROUP,         IDC_SETTING_KEEP_LABEL,   IDC_SETTING_KEEP_DAYS,
                              IDC_SETTING_KEEP_HINT};

// The labels and group captions, and the keys of their texts.
constexpr std::pair<int, const wchar_t*> kLabelTexts[] = {
    {IDC_SETTING_LANGUAGE_LABEL, L"Static_Language"},      {IDC_SETTING_FOLDER_LABEL, L"Static_Wave_Path"},
    {IDC_SETTING_RECORD_WAY_LABEL, L"Static_Record_Way"},  {IDC_SETTING_FORMAT_LABEL, L"Static_Record_Format"},
    {IDC_SETTING_RECORD_GROUP, L"Group_Record_Setting"},   {IDC_SETTING_SKYPE_GROUP, L"Group_Skype_Setting"},
    {IDC_SETTING_CONTACT_RULE_LABEL, L"Rules_Record_Which"}, {IDC_SETTING_CONTACT_RULE_HINT, L"Rules_Record_Hint"},
    {IDC_SETTING_CONTACTS_GROUP, L"Rules_Contact_List"},   {IDC_SETTING_CONTACTS_HINT, L"Rules_Contact_List_Hint"},
    {IDC_SETTING_KEEP_GROUP, L"Rules_Keep_Group"},         {IDC_SETTING_KEEP_LABEL, L"Rules_Keep_Days"},
    {IDC_SETTING_KEEP_HINT, L"Rules_Keep_Hint"}};

// The contact list as Config.ini keeps it: one line of handles separated by
// single blanks, whatever separated them in the field.
std::wstring ContactListText(const std::wstring& typed) {
  std::wstring list;
  for (const std::wstring& handle : ParseContactList(typed)) list += (list.empty() ? L"" : L" ") + handle;
  return list;
}

}  // namespace

CSettingDlg::CSettingDlg(HWND parent, CallRecorder& recorder, BackgroundWork& work)
    : CSkinnedDialog(IDD_SETTING_DIALOG, parent), recorder_(recorder), work_(work) {}
CSettingDlg::~CSettingDlg() = default;

BOOL CSettingDlg::OnInitDialog() {
  FillLists();
  SkinWindow(IDB_SETTING_BACKGROUND);
  SkinControls();
  ShowSettings(*recorder_.settings().Current());
  AddTooltip(close_.GetSafeHwnd(), L"Close");
  ApplyTexts();
  ShowPage(0);
  // The keyboard starts on OK, the default button (Enter applies, Esc
  // cancels, Tab reaches the lists). Left to the system, the focus would go to
  // the first list, which then shows its text highlighted as if selected.
  SetFocus(ok_.GetSafeHwnd());
  return FALSE;
}

void CSettingDlg::Cancel() {
  if (applying_) {
    cancelAsked_ = true;
    return;
  }
  EndDialog(IDCANCEL);
}

void CSettingDlg::FillLists() {
  const LanguageTable& language = recorder_.language();
  // Inserted at their positions, so the lists keep the file's order although
  // the template's lists sort.
  std::vector<std::wstring> languages = language.Languages();
  for (size_t n = 0; n < languages.size(); ++n)
    SendDlgItemMessageW(hwnd_, IDC_SETTING_LANGUAGE, CB_INSERTSTRING, n,
                        reinterpret_cast<LPARAM>(languages[n].c_str()));
  std::vector<std::wstring> ways = language.RecordWayItems();
  for (size_t n = 0; n < ways.size(); ++n)
    SendDlgItemMessageW(hwnd_, IDC_SETTING_RECORD_WAY, CB_INSERTSTRING, n, reinterpret_cast<LPARAM>(ways[n].c_str()));
  // Every item shows when the list drops down.
  SendDlgItemMessageW(hwnd_, IDC_SETTING_RECORD_WAY, CB_SETMINVISIBLE, std::max<size_t>(ways.size(), 1), 0);
  for (const wchar_t* key : {L"Rules_Record_Every_Call", L"Rules_Record_Listed_Only", L"Rules_Record_All_But_Listed"})
    SendDlgItemMessageW(hwnd_, IDC_SETTING_CONTACT_RULE, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(language.Text(key).c_str()));
}

void CSettingDlg::SkinControls() {
  SkinPushButton(close_, SkinImages(L"Close"), L"", 14);
  PlaceImageButton(hwnd_, close_, IDC_SETTING_CLOSE);
  const ButtonImagePaths white = SkinImages(L"white");
  SkinPushButton(ok_, white, L"OK", 14);
  PlaceImageButton(hwnd_, ok_, IDOK);
  SkinPushButton(cancel_, white, L"Cancel", 14);
  PlaceImageButton(hwnd_, cancel_, IDCANCEL);
  SkinPushButton(apply_, white, L"Apply", 14);
  PlaceImageButton(hwnd_, apply_, IDC_SETTING_APPLY);
  SkinPushButton(browse_, white, L"Browse", 14);
  PlaceImageButton(hwnd_, browse_, IDC_SETTING_BROWSE);
  SkinPushButton(soundMore_, white, L"Sound source...", 14);
  PlaceImageButton(hwnd_, soundMore_, IDC_SETTING_SOUND_MORE);
  SkinPushButton(pageGeneral_, white, L"General", 14);
  PlaceImageButton(hwnd_, pageGeneral_, IDC_SETTING_PAGE_GENERAL);
  SkinPushButton(pageRules_, white, L"Rules", 14);
  PlaceImageButton(hwnd_, pageRules_, IDC_SETTING_PAGE_RULES);

  const ButtonImagePaths on = SkinImages(L"CheckBox_on"), off = SkinImages(L"CheckBox_off", L"disabled");
  struct Box {
    CBoxImageButton& box;
    int id;
    const wchar_t* caption;
  };
  Box boxes[] = {
      {autoRun_, IDC_SETTING_AUTORUN, L""},        {autoRecord_, IDC_SETTING_AUTO_RECORD, L""},
      {openFolder_, IDC_SETTING_OPEN_FOLDER, L""}, {trayStatus_, IDC_SETTING_TRAY_STATUS, L""},
      {savedNotice_, IDC_SETTING_SAVED_NOTICE, L""},
      {stereo_, IDC_SETTING_STEREO, L""},          {hideSkype_, IDC_SETTING_HIDE_SKYPE, L""},
      {closeCallQuality_, IDC_SETTING_CLOSE_CALL_QUALITY, L""},
      // The format names are never translated.
      {mp3_, IDC_SETTING_MP3, L"MP3"},    {ogg_, IDC_SETTING_OGG, L"OGG"}, {opus_, IDC_SETTING_OPUS, L"Opus"},
      {flac_, IDC_SETTING_FLAC, L"FLAC"}, {wma_, IDC_SETTING_WMA, L"WMA"}, {wav_, IDC_SETTING_WAV, L"WAV"},
  };
  for (Box& b : boxes) {
    SkinCheckBox(b.box, on, off);
    b.box.SetText(b.caption);
    PlaceCheckBox(hwnd_, b.box, b.id);
  }

  folder_.borderColor = RGB(127, 157, 185);
  folder_.textColor = RGB(0, 0, 0);
  folder_.backColor = RGB(255, 255, 255);
  folder_.AttachDlgItem(hwnd_, IDC_SETTING_FOLDER);
  SendDlgItemMessageW(hwnd_, IDC_SETTING_FOLDER, EM_LIMITTEXT, 0, 0);
  for (CEditEx* field : {&contactList_, &keepDays_}) {
    field->borderColor = folder_.borderColor;
    field->textColor = folder_.textColor;
    field->backColor = folder_.backColor;
  }
  contactList_.AttachDlgItem(hwnd_, IDC_SETTING_CONTACT_LIST);
  SendDlgItemMessageW(hwnd_, IDC_SETTING_CONTACT_LIST, EM_LIMITTEXT, kContactListMaxChars, 0);
  keepDays_.AttachDlgItem(hwnd_, IDC_SETTING_KEEP_DAYS);
  SendDlgItemMessageW(hwnd_, IDC_SETTING_KEEP_DAYS, EM_LIMITTEXT, 5, 0);

  // On the picture: the title in silver, the labels in black, and each
  // group's caption in bold black as the heading of its panel.
  AddLabel(IDC_SETTING_TITLE, RGB(192, 192, 192));
  for (int id : {IDC_SETTING_LANGUAGE_LABEL, IDC_SETTING_FOLDER_LABEL, IDC_SETTING_RECORD_WAY_LABEL,
                 IDC_SETTING_FORMAT_LABEL, IDC_SETTING_CONTACT_RULE_LABEL, IDC_SETTING_KEEP_LABEL})
    AddLabel(id, RGB(0, 0, 0));
  for (int id : {IDC_SETTING_CONTACT_RULE_HINT, IDC_SETTING_CONTACTS_HINT, IDC_SETTING_KEEP_HINT})
    AddLabel(id, RGB(80, 80, 80));
  for (int id : {IDC_SETTING_RECORD_GROUP, IDC_SETTING_SKYPE_GROUP, IDC_SETTING_CONTACTS_GROUP, IDC_SETTING_KEEP_GROUP})
    AddLabel(id, RGB(0, 0, 0), 0, FW_BOLD);
}

void CSettingDlg::ShowSettings(const SettingsRecord& settings) {
  SetCheckFromSetting(autoRecord_, settings.autoRecord != 0);
  // What the Run key says, not what Config.ini remembers: the installer may
  // have added this program's entry, and a box shown unchecked would remove it
  // at the next OK.
  SetCheckFromSetting(autoRun_, AutorunStartsThisProgram());
  SetCheckFromSetting(closeCallQuality_, settings.closeCallQualityWindow != 0);
  SetCheckFromSetting(hideSkype_, settings.hideClientWindowInCall != 0);
  SendDlgItemMessageW(hwnd_, IDC_SETTING_LANGUAGE, CB_SETCURSEL, settings.languageIndex, 0);
  SendDlgItemMessageW(hwnd_, IDC_SETTING_RECORD_WAY, CB_SETCURSEL, static_cast<WPARAM>(settings.recordWay), 0);
  SetItemText(IDC_SETTING_FOLDER, settings.recordFolder.c_str());
  SetCheckFromSetting(openFolder_, settings.openFolderAfterRecording != 0);
  SetCheckFromSetting(trayStatus_, settings.stateBalloons != 0);
  SetCheckFromSetting(savedNotice_, settings.savedNotice != 0);
  SetCheckFromSetting(stereo_, settings.stereo != 0);
  SetCheckFromSetting(mp3_, settings.formats & kFormatMp3);
  SetCheckFromSetting(wma_, settings.formats & kFormatWma);
  SetCheckFromSetting(ogg_, settings.formats & kFormatOgg);
  SetCheckFromSetting(opus_, settings.formats & kFormatOpus);
  SetCheckFromSetting(flac_, settings.formats & kFormatFlac);
  SetCheckFromSetting(wav_, settings.formats & kFormatWav);
  sound_ = SoundSourceValues::Of(settings);
  SendDlgItemMessageW(hwnd_, IDC_SETTING_CONTACT_RULE, CB_SETCURSEL, static_cast<WPARAM>(settings.recordContacts), 0);
  SetItemText(IDC_SETTING_CONTACT_LIST, settings.contactList.c_str());
  SetItemText(IDC_SETTING_KEEP_DAYS, std::to_wstring(settings.keepDays).c_str());
}

void CSettingDlg::ApplyTexts() {
  const LanguageTable& language = recorder_.language();
  auto text = [&language](const wchar_t* key) { return language.Text(key); };
  std::wstring title = text(L"Menu_Setting");
  SetWindowTextW(hwnd_, title.c_str());
  SetItemText(IDC_SETTING_TITLE, title.c_str());
  ok_.SetText(text(L"Button_OK"));
  cancel_.SetText(text(L"Button_Cancel"));
  apply_.SetText(text(L"Button_Apply"));
  browse_.SetText(text(L"Button_Browse"));
  soundMore_.SetText(text(L"Setting_Sound_More"));
  autoRun_.SetText(text(L"Button_AutoRun"));
  autoRecord_.SetText(text(L"Button_Auto_Record"));
  openFolder_.SetText(text(L"Button_Auto_Open_Record_Folder"));
  trayStatus_.SetText(text(L"Button_Show_Status_On_Tray"));
  savedNotice_.SetText(text(L"Button_Show_Saved_Notice"));
  stereo_.SetText(text(L"Button_Save_LF"));
  hideSkype_.SetText(text(L"Button_Hide_Skype"));
  closeCallQuality_.SetText(text(L"Button_Close_Skype_Call_Quality"));
  for (const auto& [id, key] : kLabelTexts) SetItemText(id, text(key).c_str());
  SetTooltipText(close_.GetSafeHwnd(), text(L"Button_Close_Tip").c_str());
  pageGeneral_.SetText(text(L"Setting_Page_General"));
  pageRules_.SetText(text(L"Setting_Page_Rules"));
}

void CSettingDlg::ShowPage(int page) {
  for (int id : kGeneralPage) ShowItem(id, page == 0);
  for (int id : kRulesPage) ShowItem(id, page == 1);
  // The page shown has its button pressed.
  const ButtonImagePaths white = SkinImages(L"white");
  ButtonImagePaths pressed = white;
  pressed.normal = pressed.hover = pressed.disabled = white.down;
  pageGeneral_.SetImages(page == 0 ? pressed : white);
  pageRules_.SetImages(page == 1 ? pressed : white);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool CSettingDlg::ReadRules(RecordingRulesValues& rules) const {
  int rule = static_cast<int>(SendDlgItemMessageW(hwnd_, IDC_SETTING_CONTACT_RULE, CB_GETCURSEL, 0, 0));
  rules.recordContacts = rule >= 0 && rule <= static_cast<int>(RecordContacts::AllButListed)
                            ? static_cast<RecordContacts>(rule)
                            : RecordContacts::EveryCall;
  rules.contactList = ContactListText(GetWindowTextString(GetDlgItem(IDC_SETTING_CONTACT_LIST)));
  // The field takes digits only; empty keeps everything.
  const std::wstring days = GetWindowTextString(GetDlgItem(IDC_SETTING_KEEP_DAYS));
  const int32_t n = days.empty() ? 0 : ParseDecimalInt(days);
  if (n < 0 || n > kKeepDaysMax) return false;
  rules.keepDays = n;
  return true;
}

SettingsDialogValues CSettingDlg::Values() const {
  SettingsDialogValues values;
  values.autoRecord = autoRecord_.GetCheck() != 0;
  values.openFolderAfterRecording = openFolder_.GetCheck() != 0;
  values.stateBalloons = trayStatus_.GetCheck() != 0;
  values.savedNotice = savedNotice_.GetCheck() != 0;
  values.stereo = stereo_.GetCheck() != 0;
  values.formatMp3 = mp3_.GetCheck() != 0;
  values.formatWma = wma_.GetCheck() != 0;
  values.formatOgg = ogg_.GetCheck() != 0;
  values.formatOpus = opus_.GetCheck() != 0;
  values.formatFlac = flac_.GetCheck() != 0;
  values.formatWav = wav_.GetCheck() != 0;
  values.startWithWindows = autoRun_.GetCheck() != 0;
  values.closeCallQualityWindow = closeCallQuality_.GetCheck() != 0;
  values.hideClientWindowInCall = hideSkype_.GetCheck() != 0;
  values.languageIndex = static_cast<int>(SendDlgItemMessageW(hwnd_, IDC_SETTING_LANGUAGE, CB_GETCURSEL, 0, 0));
  values.recordWayIndex = static_cast<int>(SendDlgItemMessageW(hwnd_, IDC_SETTING_RECORD_WAY, CB_GETCURSEL, 0, 0));
  values.recordFolder = GetWindowTextString(GetDlgItem(IDC_SETTING_FOLDER));
  values.sound = sound_;
  return values;
}

void CSettingDlg::Apply(bool thenClose) {
  if (applying_) return;
  SettingsDialogValues values = Values();
  if (!ReadRules(values.rules)) {
    MessageBoxW(hwnd_,
                recorder_.language()
                    .TextOr(L"Rules_Keep_Days_Invalid", L"Write the number of days as a whole number from 0 to 36500.")
                    .c_str(),
                kApplicationTitle, MB_OK | MB_ICONWARNING);
    ShowPage(1);
    HWND field = GetDlgItem(IDC_SETTING_KEEP_DAYS);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return;
  }
  applying_ = true;
  okPending_ = thenClose;
  // The job keeps the window's handle and the recorder: the result is
  // dropped when the window is gone by then (the exit).
  HWND window = hwnd_;
  CSettingDlg* self = this;
  CallRecorder* recorder = &recorder_;
  work_.Run([window, self, recorder, values] {
    const ApplyResult result = recorder->ApplySettings(values);
    PostToWindow(window, [self, result] { self->Applied(result); });
  });
}

void CSettingDlg::Applied(ApplyResult result) {
  applying_ = false;
  const bool ok = okPending_;
  okPending_ = false;
  if (result != ApplyResult::Applied) {
    // The folder in force stays, and so does everything else: the user corrects
    // the folder here, or cancels.
    MessageBoxW(hwnd_, ApplyFailureMessage(recorder_.language(), result).c_str(), kApplicationTitle,
                MB_OK | MB_ICONWARNING);
    if (cancelAsked_ || !hwnd_) {
      Cancel();
      return;
    }
    ShowPage(0);
    HWND field = GetDlgItem(IDC_SETTING_FOLDER);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return;
  }
  if (ok || cancelAsked_) {
    EndDialog(ok ? IDOK : IDCANCEL);
    return;
  }
  // The lists keep their items: a new language shows in them at the next
  // opening.
  ApplyTexts();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CSettingDlg::Browse() {
  // The folder browser needs COM on this thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::wstring title = recorder_.language().Text(L"Static_Browse_Folder");
  BROWSEINFOW browse = {};
  browse.hwndOwner = hwnd_;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse)) {
    wchar_t path[MAX_PATH + 1] = {};
    // Nothing is applied until OK or Apply.
    if (SHGetPathFromIDListW(chosen, path)) SetItemText(IDC_SETTING_FOLDER, path);
    CoTaskMemFree(chosen);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

void CSettingDlg::ChooseSoundSource() {
  CaptureDevices& devices = recorder_.captureDevices();
  CSoundSourceDlg dialog(hwnd_, recorder_.language(), sound_, work_,
                         [&devices] { return devices.CaptureDeviceNames(); });
  // Modal on this dialog; its end ends it too, without its values.
  INT_PTR result = dialog.DoModal();
  // Nothing is applied until OK or Apply.
  if (result == IDOK) sound_ = dialog.values();
}

bool CSettingDlg::OnCommand(WORD id, WORD notifyCode, HWND control) {
  switch (id) {
    case IDOK:
      Apply(true);
      return true;
    case IDCANCEL:
    case IDC_SETTING_CLOSE:
      Cancel();
      return true;
    case IDC_SETTING_APPLY:
      Apply(false);
      return true;
    case IDC_SETTING_BROWSE:
      Browse();
      return true;
    case IDC_SETTING_SOUND_MORE:
      ChooseSoundSource();
      return true;
    case IDC_SETTING_PAGE_GENERAL:
      ShowPage(0);
      return true;
    case IDC_SETTING_PAGE_RULES:
      ShowPage(1);
      return true;
    default:
      return false;
  }
}
