// CSettingDlg: the options dialog (template 131). It shows every setting in
// force, lets the user change them, and applies them with ApplySettings on OK
// or Apply. It is a modeless window on the main window's thread, owned by the
// main window, which stays usable meanwhile. The apply (it writes Config.ini,
// makes the record folder, writes the Run value) runs on the worker the
// dialog is given and posts its result back: until then the dialog takes no
// second OK or Apply, and a Cancel, its close button or Esc close it once the
// apply is done. An apply publishes the new settings to every thread at once;
// a recording already running keeps the settings it started with (folder,
// record way, stereo, formats) until it has been finished.
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
// modal on this one, opened by the button beside the record way. The
// settings dialog holds them from the settings in force when it opens; that
// dialog's OK changes what it holds, and they are applied with everything
// else.
#pragma once

#include <windows.h>

#include <string>

#include <functional>

#include "app/skinned_dialog.h"
#include "app/sound_dlg.h"
#include "engine/call_recorder.h"
#include "settings/settings.h"
#include "ui/background_work.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"

class CSettingDlg : public CSkinnedDialog {
 public:
  // `recorder`: whose settings the dialog shows and applies (an apply that
  // took effect the recorder tells the main window itself). `work` runs the
  // apply and lists the capture devices; it must outlive what it runs.
  CSettingDlg(HWND parent, CallRecorder& recorder, BackgroundWork& work);
  ~CSettingDlg() override;

  // Asked to close (OK, or Cancel, its close button, Esc), it waits for the
  // apply under way.
  bool Closing() const { return okPending_ || cancelAsked_; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;

 private:
  void FillLists();
  void SkinControls();
  void ShowSettings(const SettingsRecord& settings);
  void ApplyTexts();
  // Applies what the controls hold in the background; `thenClose`: OK.
  void Apply(bool thenClose);
  // The apply's result, back on the window's thread.
  void Applied(ApplyResult result);
  // Closes without applying, now or once the apply under way is done.
  void Cancel();
  SettingsDialogValues Values() const;
  void Browse();
  void ChooseSoundSource();
  // Shows page 0 (general) or 1 (rules).
  void ShowPage(int page);
  // The rules page's values; false (after telling the user) when the number
  // of days is not one.
  bool ReadRules(RecordingRulesValues& rules) const;

  CallRecorder& recorder_;
  BackgroundWork& work_;
  bool applying_ = false;
  bool okPending_ = false;    // the apply under way is OK's: the dialog closes after it
  bool cancelAsked_ = false;  // closed without applying while an apply was under way
  CImageButton close_, ok_, cancel_, apply_;
  CBoxImageButton autoRun_;
  CBoxImageButton autoRecord_, openFolder_, trayStatus_, savedNotice_, stereo_, hideSkype_, closeCallQuality_;
  CEditEx folder_;
  CImageButton browse_;
  CBoxImageButton mp3_, ogg_, opus_, flac_, wma_, wav_;
  CImageButton soundMore_;
  CImageButton pageGeneral_, pageRules_;
  CEditEx contactList_, keepDays_;
  SoundSourceValues sound_;
};
