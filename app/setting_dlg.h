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
#pragma once

#include <windows.h>

#include <string>

#include "settings/settings.h"
#include "ui/dialog.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"
#include "ui/skin_bitmap.h"
#include "ui/transparent_static.h"

class CSettingDlg : public CDialog {
 public:
  explicit CSettingDlg(HWND parent = nullptr);
  ~CSettingDlg() override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;

 private:
  void FillLists();
  void SkinControls();
  void ShowSettings(const SettingsRecord& settings);
  void ApplyTexts();
  // Applies what the controls hold; false (after telling the user) when the
  // apply was refused.
  bool Apply();
  SettingsDialogValues Values() const;
  void Browse();
  HBRUSH LabelColors(HDC dc, HWND label);

  PatternBrush background_;
  CImageButton close_, ok_, cancel_, apply_;
  CBoxImageButton autoRun_;
  CBoxImageButton autoRecord_, openFolder_, trayStatus_, stereo_, hideSkype_, closeCallQuality_;
  CEditEx folder_;
  CImageButton browse_;
  HWND tooltip_ = nullptr;
  CBoxImageButton mp3_, wma_, ogg_, flac_, wav_;
  // The title, the four labels and the two group boxes, on the picture.
  CTransparentStatic labels_[7];
};
