#include "app/recording_files.h"

#include <cstdint>

#include "formats/audio_format.h"
#include "formats/playback_source.h"

namespace {

std::wstring FileOf(const RecordingEntry& entry, uint8_t format) {
  return entry.stem + L"." + FormatExtension(format);
}

}  // namespace

std::wstring PlayableFile(const RecordingEntry& entry) {
  const uint8_t playable = PlayableFormats() & entry.formats;
  for (uint8_t format : {kFormatWav, kFormatFlac, kFormatOgg, kFormatMp3, kFormatOpus}) {
    if (playable & format) return FileOf(entry, format);
  }
  return std::wstring();
}

std::wstring ShownFile(const RecordingEntry& entry) {
  for (uint8_t format : {kFormatMp3, kFormatOgg, kFormatOpus, kFormatFlac, kFormatWma, kFormatWav}) {
    if (entry.formats & format) return FileOf(entry, format);
  }
  return entry.stem;
}

std::vector<std::wstring> FilesOf(const RecordingEntry& entry) {
  std::vector<std::wstring> files;
  for (uint8_t format : {kFormatWav, kFormatMp3, kFormatOgg, kFormatOpus, kFormatFlac, kFormatWma}) {
    if (entry.formats & format) files.push_back(FileOf(entry, format));
  }
  return files;
}
