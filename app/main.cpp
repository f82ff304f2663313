#include <windows.h>

#include "ui/win_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
  return AfxWinMain(instance, showCommand);
}
