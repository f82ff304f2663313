#include "skype/client_window.h"

bool OpenClientWindow(SkypeLink&) { return false; }
void CloseClientWindow(SkypeLink&) {}
