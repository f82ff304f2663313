#include "app/user_messages.h"

#include "common/text_format.h"
#include "net/error_texts.h"

namespace {

constexpr UserText kHandoffMemory = {L"Error_Handoff_Memory", L"allocate stream buf fail"};
constexpr UserText kWriterThread = {L"Error_Writer_Thread", L"Create Record Thread Fail!\n"};
constexpr UserText kRecordFolderTooLong = {L"Error_Record_Folder_Too_Long", L"Record folder path is too long!"};
constexpr UserText kRecordFolderNotCreated = {L"Error_Record_Folder_Not_Created",
                                              L"Record folder cannot be created!"};
constexpr UserText kWriteFile = {L"Error_Write_File", L"write file fail!"};
constexpr UserText kMixOutput = {L"Error_Mix_Output", L"err 2"};
constexpr UserText kMixMemory = {L"Error_Mix_Memory", L"allocate memory failed!"};
constexpr UserText kSocketInUse = {L"Error_Socket_In_Use", L"Socket already in use!"};
constexpr UserText kNoAudioPort = {L"Error_No_Audio_Port",
                                   L"Calls cannot be recorded: no port for the audio can be opened (%s)."};
constexpr UserText kLocalAddress = {L"Error_Local_IP", L"Error retrieving Local IP: %s"};

std::wstring TextOf(const LanguageTable& language, const UserText& text) {
  return language.TextOr(text.key, text.fallback);
}

// The servers' boxes keep the form they always had: CR LF line ends, cut at
// 50,000 characters.
void AddServerMessage(const LanguageTable& language, const ServerStart& start, std::vector<std::wstring>& boxes) {
  if (start.failure == ServerStart::kSocketInUse) boxes.push_back(ErrorBoxText(TextOf(language, kSocketInUse)));
}

}  // namespace

const UserText kResourceLoadError = {L"Error_Resource_Load", L"Resource load error"};
const UserText kSocketsInitFailed = {L"Error_Sockets_Init", L"Windows sockets initialization failed."};

const UserText* FailureText(RecordingFailure failure) {
  switch (failure) {
    case RecordingFailure::HandoffMemory:
      return &kHandoffMemory;
    case RecordingFailure::WriterThread:
      return &kWriterThread;
    case RecordingFailure::BasePathTooLong:
      return &kRecordFolderTooLong;
    case RecordingFailure::StreamWriteFailed:
    case RecordingFailure::StreamNotCompleted:
    case RecordingFailure::MixWriteFailed:
      return &kWriteFile;
    case RecordingFailure::MixOutputNotCreated:
      return &kMixOutput;
    case RecordingFailure::MixMemory:
      return &kMixMemory;
    case RecordingFailure::StreamFileNotCreated:
      break;
  }
  return nullptr;
}

std::wstring FailureMessage(const LanguageTable* language, RecordingFailure failure) {
  const UserText* text = FailureText(failure);
  if (!text) return std::wstring();
  return language ? TextOf(*language, *text) : text->fallback;
}

std::wstring FailureMessage(const LanguageTable& language, RecordingFailure failure) {
  return FailureMessage(&language, failure);
}

std::vector<std::wstring> ServerStartMessages(const LanguageTable& language, const AudioServersStart& start) {
  std::vector<std::wstring> boxes;
  if (start.localAddressError != 0)
    boxes.push_back(ErrorBoxText(TextOf(language, kLocalAddress), {WsaErrorText(start.localAddressError)}));
  AddServerMessage(language, start.out, boxes);
  AddServerMessage(language, start.in, boxes);
  return boxes;
}

std::wstring NoAudioMessage(const LanguageTable& language, const AudioServersStart& start) {
  for (const ServerStart* server : {&start.out, &start.in}) {
    if (*server) continue;
    // The code's name: the line has room for no more. A thread that could
    // not be started has no socket code.
    std::wstring reason = server->code != 0 ? WsaErrorName(server->code) : std::wstring(L"no thread");
    return FormatText(TextOf(language, kNoAudioPort), {reason});
  }
  return std::wstring();
}

std::wstring ApplyFailureMessage(const LanguageTable& language, ApplyResult result) {
  switch (result) {
    case ApplyResult::FolderTooLong:
      return TextOf(language, kRecordFolderTooLong);
    case ApplyResult::FolderNotCreated:
      return TextOf(language, kRecordFolderNotCreated);
    case ApplyResult::Applied:
      break;
  }
  return std::wstring();
}

std::vector<UserText> AllUserMessages() {
  return {kHandoffMemory, kWriterThread, kRecordFolderTooLong, kRecordFolderNotCreated,
          kWriteFile,     kMixOutput,    kMixMemory,           kSocketInUse,
          kNoAudioPort,   kLocalAddress, kResourceLoadError,   kSocketsInitFailed};
}
