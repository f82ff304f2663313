// CSoundSourceDlg: the audio source dialog (template 138), opened from the
// settings dialog's "Sound source..." button. It shows where calls are
// recorded from (the client's calls, or this computer's sound) and, for the
// computer's sound, the two devices, the record hotkey and the call apps of
// the automatic start; the device lists, the hotkey and the apps are enabled
// only while the computer's sound is chosen.
//
// The dialog edits a copy of the settings dialog's values: OK hands its
// values back (values()), Cancel, its close button and Esc leave them; the
// settings dialog applies them with its own OK or Apply. A hotkey that is not
// one (see ParseHotkey) is refused on OK with a message box, and the dialog
// stays open.
//
// The capture devices are listed on the worker the dialog is given (COM may
// take its time to answer) and join the lists when they arrive; meanwhile
// each list holds its default item, and a name the user typed stays.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/skinned_dialog.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "ui/background_work.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"

class CSoundSourceDlg : public CSkinnedDialog {
 public:
  // `listDevices` gives the names of the capture devices; it is called on
  // `work`, and must stay callable while `work` lasts (it may still run when
  // the dialog is gone).
  CSoundSourceDlg(HWND parent, const LanguageTable& language, SoundSourceValues values, BackgroundWork& work,
                  std::function<std::vector<std::wstring>()> listDevices);
  ~CSoundSourceDlg() override;

  // What the controls held when OK was pressed (before: what the dialog
  // was given).
  const SoundSourceValues& values() const { return values_; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;

 private:
  void SkinControls();
  void ApplyTexts();
  void ShowValues();
  void ListDevices();
  // The controls of the computer's sound are enabled while it is chosen.
  void EnableSoundControls();
  // Reads the controls into values_; false (after telling the user) when
  // the hotkey is refused.
  bool TakeValues();

  const LanguageTable& language_;
  SoundSourceValues values_;
  std::function<std::vector<std::wstring>()> listDevices_;
  BackgroundWork& work_;
  CImageButton close_, ok_, cancel_;
  CEditEx hotkey_, apps_;
};
