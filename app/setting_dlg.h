// CSettingDlg: the options dialog (template 131). It shows every setting in
// force, lets the user change them, and applies them with ApplySettings on OK
// or Apply. It runs modally on a thread of its own (the main window starts one
// per opening), so disk work and the folder browser never hold up the main
// window; an apply publishes the new settings to every thread at once, and a
// recording already running keeps the settings it started with (folder, record
// way, stereo, formats) until it has been finished.
//
// A record folder that cannot be recorded into (too long, or not creatable) is
// refused with a message box owned by the dialog; the dialog stays open and
// nothing of that apply takes effect.
//
// The dialog has two pages, chosen by the two buttons in its title band: the
// general settings, and the rules (whose calls the automatic recording takes,
// and how many days recordings are kept). Both pages are applied together.
//
// The audio source's settings have a dialog of their own (CSoundSourceDlg),
// opened by the button beside the record way. The settings dialog holds them
// from the settings in force when it opens; that dialog's OK changes what it
// holds, and they are applied with everything else.
#pragma once

#include <windows.h>

#include <string>

#include <functional>

#include "app/skinned_dialog.h"
#include "app/sound_dlg.h"
#include "engine/call_recorder.h"
#include "settings/settings.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"

class CSettingDlg : public CSkinnedDialog {
 public:
  // `recorder`: whose settings the dialog shows and applies. `onApplied` is
  // called on the dialog's thread after each apply that took effect.
  CSettingDlg(HWND parent, CallRecorder& recorder, std::function<void()> onApplied = nullptr);
  ~CSettingDlg() override;

  // Called on the dialog's thread: once its window is shown, and once it is
  // on its way out (OK that applied, Cancel, its close button, Esc).
  std::function<void(HWND)> onShown;
  std::function<void()> onClosing;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;

 private:
  void FillLists();
  void SkinControls();
  void ShowSettings(const SettingsRecord& settings);
  void ApplyTexts();
  // Applies what the controls hold; false (after telling the user) when the
  // apply was refused.
  bool Apply();
  void Close(INT_PTR result);
  SettingsDialogValues Values() const;
  void Browse();
  void ChooseSoundSource();
  // Shows page 0 (general) or 1 (rules).
  void ShowPage(int page);
  // The rules page's values; false (after telling the user) when the number
  // of days is not one.
  bool ReadRules(RecordingRulesValues& rules) const;

  CallRecorder& recorder_;
  std::function<void()> onApplied_;
  CImageButton close_, ok_, cancel_, apply_;
  CBoxImageButton autoRun_;
  CBoxImageButton autoRecord_, openFolder_, trayStatus_, savedNotice_, stereo_, hideSkype_, closeCallQuality_;
  CEditEx folder_;
  CImageButton browse_;
  CBoxImageButton mp3_, ogg_, opus_, flac_, wma_, wav_;
  CImageButton soundMore_;
  CImageButton pageGeneral_, pageRules_;
  CEditEx contactList_, keepDays_;
  int page_ = 0;
  SoundSourceValues sound_;
  // The audio source dialog while it is open (it runs inside this dialog's
  // handling of its button).
  CSoundSourceDlg* soundDialog_ = nullptr;
};
