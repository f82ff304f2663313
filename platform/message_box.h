// Failures the user must see: a plain modal box with an OK button and a fixed
// text, titled with the application's name.
#pragma once

#include <functional>
#include <string>
#include <string_view>

void ShowMessageBox(std::wstring_view text);
// The same box shown on a thread of its own, for threads that must not wait
// for the user (a writer whose recording is to be finished meanwhile). With a
// test's hook the hook is called at once, on the calling thread.
void ShowMessageBoxDetached(std::wstring_view text);

// Tests take the boxes instead of showing them; an empty function removes the
// hook. The native build has no boxes: without a hook the text goes to
// DebugTrace.
void SetMessageBoxHook(std::function<void(const std::wstring&)> hook);

// The application's title on the boxes.
constexpr wchar_t kApplicationTitle[] = L"Calvoro Record";
