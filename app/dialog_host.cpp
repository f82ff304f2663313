#include "app/dialog_host.h"

#include <algorithm>

#include "app/about_dlg.h"
#include "app/recordings_dlg.h"
#include "app/setting_dlg.h"

void BringToFront(HWND window) {
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  // The window itself, or what it shows in front of itself (the folder
  // browser, a message box), not another window it owns (its tooltip).
  SetForegroundWindow(GetLastActivePopup(window));
}

DialogHost::DialogHost(CallRecorder& recorder, std::function<void()> onSettingsClosed)
    : recorder_(recorder),
      onSettingsClosed_(std::move(onSettingsClosed)) {}

DialogHost::~DialogHost() {
  alive_.reset();
  CloseAll();
}

HWND DialogHost::SettingsWindow() const { return settings_ ? settings_->GetSafeHwnd() : nullptr; }
HWND DialogHost::RecordingsWindow() const { return recordings_ ? recordings_->GetSafeHwnd() : nullptr; }
HWND DialogHost::AboutWindow() const { return about_ ? about_->GetSafeHwnd() : nullptr; }

template <class Dialog, class Make>
bool DialogHost::Open(std::unique_ptr<Dialog>& dialog, Make make, std::function<void()> afterClose) {
  if (exiting_ || !main_) return false;
  if (dialog && dialog->GetSafeHwnd()) {
    BringToFront(dialog->GetSafeHwnd());
    return false;
  }
  DeleteClosed();
  dialog = make();
  dialog->onDestroyed = [this, &dialog, afterClose] {
    Closed(dialog);
    if (afterClose && !exiting_) afterClose();
  };
  if (!dialog->Create()) {
    dialog.reset();
    return false;
  }
  ShowWindow(dialog->GetSafeHwnd(), SW_SHOW);
  SetForegroundWindow(dialog->GetSafeHwnd());
  return true;
}

template <class Dialog>
void DialogHost::Closed(std::unique_ptr<Dialog>& dialog) {
  // Called from the dialog's own handling of its end: the object goes later,
  // from the main window's loop.
  closed_.push_back(std::move(dialog));
  PostToMain([this] { DeleteClosed(); });
}

void DialogHost::DeleteClosed() {
  // One that shows a message box or a nested dialog of its own stays until
  // that is over.
  closed_.erase(std::remove_if(closed_.begin(), closed_.end(),
                               [](const std::unique_ptr<CDialog>& dialog) { return !dialog->Busy(); }),
                closed_.end());
}

void DialogHost::OpenSettings() {
  if (settings_ && settings_->Closing()) {
    // Its OK waits for the apply: a new one opens once it has gone.
    reopenSettings_ = true;
    return;
  }
  Open(
      settings_,
      [this] { return std::make_unique<CSettingDlg>(main_, recorder_, settingsWork_); },
      [this] { SettingsClosed(); });
}

void DialogHost::SettingsClosed() {
  if (onSettingsClosed_) onSettingsClosed_();
  // A request that came while the dialog was closing is served now, from the
  // main window's loop rather than from inside the old dialog's end.
  if (reopenSettings_) {
    reopenSettings_ = false;
    PostToMain([this] { OpenSettings(); });
  }
}

void DialogHost::PostToMain(std::function<void()> action) {
  PostToWindow(main_, [alive = std::weak_ptr<char>(alive_), action = std::move(action)] {
    if (alive.lock()) action();
  });
}

void DialogHost::OpenRecordings() {
  Open(recordings_, [this] { return std::make_unique<CRecordingsDlg>(nullptr, recorder_); });
}

void DialogHost::ShowAbout() {
  Open(about_, [this] { return std::make_unique<CAboutDlg>(main_, recorder_.language()); });
}

void DialogHost::RecordingsChanged() {
  if (recordings_ && recordings_->GetSafeHwnd()) recordings_->Refresh();
}

void DialogHost::CloseAll() {
  exiting_ = true;
  reopenSettings_ = false;
  for (CDialog* dialog : std::initializer_list<CDialog*>{settings_.get(), recordings_.get(), about_.get()})
    if (dialog && dialog->GetSafeHwnd()) DestroyWindow(dialog->GetSafeHwnd());
}
