#include "app/dialog_host.h"

#include <system_error>
#include <thread>

#include "app/about_dlg.h"
#include "app/recordings_dlg.h"
#include "app/setting_dlg.h"
#include "platform/debug_trace.h"
#include "ui/background_work.h"

DialogHost::DialogHost(CallRecorder& recorder, std::function<void()> onSettingsApplied,
                       std::function<void()> onSettingsClosed)
    : recorder_(recorder),
      onSettingsApplied_(std::move(onSettingsApplied)),
      onSettingsClosed_(std::move(onSettingsClosed)) {}

HWND DialogHost::SettingsWindow() const { return settings_->shown.load(); }
bool DialogHost::SettingsRunning() const { return settings_->running.load(); }

void DialogHost::OpenSettings() {
  if (exiting_.load()) return;
  std::shared_ptr<SettingsRun> run = settings_;
  // One test-and-set: two requests at once open one dialog.
  if (run->running.exchange(true)) {
    if (HWND dialog = run->shown.load()) {
      // The dialog itself comes to the front, not another window of its
      // thread (its tooltip, say), or what it shows in front of itself (the
      // folder browser, a message box).
      SetForegroundWindow(GetLastActivePopup(dialog));
    } else if (run->closing.load()) {
      // It is on its way out: it opens again once it has gone. (One that is
      // still coming up comes to the front by itself.)
      run->reopen = true;
    }
    return;
  }
  run->reopen = false;
  run->closing = false;
  HWND main = main_;
  CallRecorder* recorder = &recorder_;
  // The dialog's thread posts to the window, where this object still is when
  // the action runs (actions run only while their window exists).
  DialogHost* self = this;
  try {
    std::thread([run, main, recorder, self] {
      {
        CSettingDlg dialog(main, *recorder, [main, self] {
          PostToWindow(main, [self] {
            if (self->onSettingsApplied_) self->onSettingsApplied_();
          });
        });
        dialog.onShown = [run](HWND window) { run->shown = window; };
        dialog.onClosing = [run] {
          run->closing = true;
          run->shown = nullptr;
        };
        // Once its loop has ended the dialog takes no more input: a new request
        // opens a new one, however long this window then takes to go (wine
        // without a window manager waits 2 s for one).
        dialog.onModalEnd = [run, main, self] {
          run->closing = true;
          run->shown = nullptr;
          run->running = false;
          // The window's controls belong to its thread: it takes the rest there.
          PostToWindow(main, [self] { self->SettingsClosed(); });
        };
        dialog.DoModal();
      }
    }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"RunSettingsDialog: no thread");
    run->running = false;
  }
}

void DialogHost::SettingsClosed() {
  if (onSettingsClosed_) onSettingsClosed_();
  // A request that came while the dialog was closing is served now.
  if (settings_->reopen.exchange(false)) OpenSettings();
}

void DialogHost::CloseSettings() {
  if (HWND dialog = settings_->shown.load()) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  if (HWND dialog = recordings_->shown.load()) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

void DialogHost::OpenRecordings() {
  if (exiting_.load()) return;
  std::shared_ptr<RecordingsRun> run = recordings_;
  if (run->running.exchange(true)) {
    if (HWND window = run->shown.load()) {
      if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
      SetForegroundWindow(GetLastActivePopup(window));
    }
    return;
  }
  CallRecorder* recorder = &recorder_;
  try {
    std::thread([run, recorder] {
      CRecordingsDlg dialog(nullptr, *recorder);
      dialog.onShown = [run](HWND window) { run->shown = window; };
      dialog.onClosing = [run] { run->shown = nullptr; };
      dialog.onModalEnd = [run] {
        run->shown = nullptr;
        run->running = false;
      };
      dialog.DoModal();
    }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"OpenRecordings: no thread");
    run->running = false;
  }
}

void DialogHost::RecordingsChanged() {
  if (HWND window = recordings_->shown.load()) PostMessageW(window, WM_RECORDINGS_REFRESH, 0, 0);
}

void DialogHost::ShowAbout() {
  if (aboutOpen_) {
    // Reached again from the tray or the system menu while it is shown.
    if (HWND about = GetLastActivePopup(main_)) SetForegroundWindow(about);
    return;
  }
  aboutOpen_ = true;
  CAboutDlg about(main_, recorder_.language());
  about.DoModal();
  aboutOpen_ = false;
}
