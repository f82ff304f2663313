// Which file of a recording the recordings window uses for what: a recording
// is one name with up to six files (WAV, MP3, OGG, Opus, FLAC, WMA).
#pragma once

#include <string>
#include <vector>

#include "record/recording_scan.h"

// The file played inside the program: the first format present that the
// player decodes, in the order that decodes most cheaply (WAV, FLAC, OGG,
// MP3, Opus); empty when none plays here.
std::wstring PlayableFile(const RecordingEntry& entry);

// The file opened with the default player or shown in the explorer: the one
// the recorder names in its balloon (an encoded copy before the WAV); the
// stem itself when no file is known.
std::wstring ShownFile(const RecordingEntry& entry);

// Every file of the recording, WAV first.
std::vector<std::wstring> FilesOf(const RecordingEntry& entry);
