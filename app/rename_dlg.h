// CRenameDlg: the recordings window's rename dialog (template 141): the
// recording's name without folder and extension, selected in one field for
// the user to edit. Modal on the recordings window; OK or Enter takes the
// name, Cancel or Esc leaves it.
#pragma once

#include <windows.h>

#include <string>

#include "app/skinned_dialog.h"
#include "settings/language.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"

class CRenameDlg : public CSkinnedDialog {
 public:
  CRenameDlg(HWND parent, const LanguageTable& language, std::wstring name);
  // The name in the field when OK was pressed; before, the one given.
  const std::wstring& name() const { return name_; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;

 private:
  const LanguageTable& language_;
  std::wstring name_;
  CImageButton ok_, cancel_;
  CEditEx edit_;
};
