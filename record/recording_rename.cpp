#include "record/recording_rename.h"

#include <cwchar>
#include <vector>

#include "formats/audio_format.h"
#include "platform/file.h"
#include "platform/paths.h"

bool RenameRecording(const RecordingEntry& entry, const std::wstring& newFileStem, std::wstring* error) {
  auto refuse = [error](const wchar_t* why) {
    if (error) *error = why;
    return false;
  };
  if (newFileStem.empty()) return refuse(L"The name is empty.");
  for (wchar_t c : newFileStem)
    if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return refuse(L"The name holds a character a file name cannot.");
  if (newFileStem.back() == L'.' || newFileStem.back() == L' ') return refuse(L"The name ends with a dot or a space.");
  if (entry.stem.size() < entry.fileStem.size()) return refuse(L"The recording's path is not whole.");
  if (newFileStem == entry.fileStem) return true;
  std::wstring folder = entry.stem.substr(0, entry.stem.size() - entry.fileStem.size());
  std::wstring target = folder + newFileStem;
  for (const AudioFormatName& known : kAudioFormats)
    if (PathExists(target + L"." + known.extension)) return refuse(L"A recording of that name exists.");

  std::vector<const wchar_t*> moved;
  for (const AudioFormatName& known : kAudioFormats) {
    if (!(entry.formats & known.bit)) continue;
    std::wstring extension = std::wstring(L".") + known.extension;
    if (MoveFileNoReplace(entry.stem + extension, target + extension)) {
      moved.push_back(known.extension);
      continue;
    }
    // All or none: the files renamed so far get their old name back.
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      std::wstring done = std::wstring(L".") + *it;
      MoveFileNoReplace(target + done, entry.stem + done);
    }
    return refuse(L"A file of the recording could not be renamed.");
  }
  return true;
}
