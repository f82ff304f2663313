// What the user is told of a failure, in the user's language: each failure the
// engine reports as a value has a key in both sections of Language.ini, and
// the English text it had before the language file knew it stands in where
// the file has no text for the key.
#pragma once

#include <string>
#include <vector>

#include "net/audio_server.h"
#include "record/recording_failure.h"
#include "settings/language.h"
#include "settings/settings.h"

// A text the user is shown: its key in Language.ini and the English text used
// where the file has none.
struct UserText {
  const wchar_t* key;
  const wchar_t* fallback;
};

// The text of a recording failure's box; null for a failure told by the window
// alone (a stream file that cannot be created shows the error line).
const UserText* FailureText(RecordingFailure failure);
// The box of a recording failure in the language (in English without one);
// empty when the failure has no box.
std::wstring FailureMessage(const LanguageTable* language, RecordingFailure failure);
std::wstring FailureMessage(const LanguageTable& language, RecordingFailure failure);

// The boxes of the audio servers' start, in the order they are shown: the
// local-address lookup, then the Out server, then the In server. A server that
// found no port to listen on has no box: see NoAudioMessage.
std::vector<std::wstring> ServerStartMessages(const LanguageTable& language, const AudioServersStart& start);
// The recording line's text when a server found no port to listen on at all
// (calls cannot be recorded), with the system's reason; empty when both
// listen.
std::wstring NoAudioMessage(const LanguageTable& language, const AudioServersStart& start);

// The box of a refused apply of the settings dialog; empty for Applied.
std::wstring ApplyFailureMessage(const LanguageTable& language, ApplyResult result);

// Every text of this kind, for the check that the language file has them all.
std::vector<UserText> AllUserMessages();

// Messages of the application itself.
extern const UserText kResourceLoadError;
extern const UserText kSocketsInitFailed;
