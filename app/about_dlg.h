// CAboutDlg: the about box (template 100): the program's title, the version of
// the running file (from its own version resource), the copyright and support
// texts of the language file and the support contacts. Closed by OK, its close
// button or Esc; dragged by any point.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog.h"
#include "ui/image_button.h"
#include "ui/skin_bitmap.h"
#include "ui/transparent_static.h"

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND parent = nullptr);
  ~CAboutDlg() override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;

 private:
  void ApplyTexts();

  PatternBrush background_;
  CImageButton close_, ok_;
  HWND tooltip_ = nullptr;
  // Title, version, copyright, support heading, the three contact lines and
  // the (hidden) link line.
  CTransparentStatic labels_[8];
};

// The version text of the running program's version resource ("FileVersion"
// of its first translation, else the four numbers); empty when it has none.
std::wstring ProgramVersionText();
