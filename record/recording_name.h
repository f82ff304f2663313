// The names this program gives its recordings' files, read back: the
// recordings window lists a folder by them and the keeping of recordings goes
// by their dates.
//
// A recording's files are named "<base>(<partners>).<ext>", where <base> is
// the start time with the language's date labels ("2026年12月09日 21时30分05秒"),
// or one of the variants the program also makes: "<base> (N)(<partners>)"
// (a second recording of the same second), "<base>(<partners>) (N)" (a name
// already taken), "<base> (recovered)(<partners>)", "<base>" (a name too long
// for the partners) and "<base>()" (no partners). One recording may have
// several files, one per format: the "extension set".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct RecordingName {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::wstring partners;
  bool hasPartners = false;  // false for "<base>.ext"; true (and empty) for "<base>().ext"
  bool recovered = false;
  int number = 0;            // the " (N)" of a name that was taken; 0 when none
};

// True only for a name this program makes, with one of its extensions (any
// case) and a plausible date (month 1-12, day 1-31, hour 0-23, minute and
// second 0-59). `format` receives the extension's RecordFormat bit.
bool ParseRecordingName(std::wstring_view fileName, RecordingName& name, uint8_t* format = nullptr);
