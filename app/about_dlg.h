// CAboutDlg: the about box (template 100): the program's title, the version of
// the running file (from its own version resource), the copyright and support
// texts of the language file and the support contacts. Closed by OK, its close
// button or Esc; dragged by any point.
#pragma once

#include <windows.h>

#include <string>

#include "app/skinned_dialog.h"
#include "settings/language.h"
#include "ui/image_button.h"

class CAboutDlg : public CSkinnedDialog {
 public:
  CAboutDlg(HWND parent, const LanguageTable& language);
  ~CAboutDlg() override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  void ApplyTexts();

  const LanguageTable& language_;
  CImageButton close_, ok_;
};

// The version text of the running program's version resource ("FileVersion"
// of its first translation, else the four numbers); empty when it has none.
std::wstring ProgramVersionText();
