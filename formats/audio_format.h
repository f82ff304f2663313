// The audio formats the recorder writes, as the bits of RecordFormat in
// Config.ini, and what names a file of each.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// RecordFormat bits.
constexpr uint8_t kFormatMp3 = 1;
constexpr uint8_t kFormatWma = 2;
constexpr uint8_t kFormatOgg = 4;
constexpr uint8_t kFormatFlac = 8;
constexpr uint8_t kFormatWav = 16;
constexpr uint8_t kFormatOpus = 32;
constexpr uint8_t kFormatKnownBits = kFormatMp3 | kFormatWma | kFormatOgg | kFormatFlac | kFormatWav | kFormatOpus;

struct AudioFormatName {
  const wchar_t* extension;  // without the dot
  const wchar_t* label;      // as the recordings window names it
  uint8_t bit;
};

// Every format, the cheapest to read a length from first: also the order in
// which the recordings window names a recording's formats.
inline constexpr std::array<AudioFormatName, 6> kAudioFormats = {{{L"wav", L"WAV", kFormatWav},
                                                                  {L"flac", L"FLAC", kFormatFlac},
                                                                  {L"ogg", L"OGG", kFormatOgg},
                                                                  {L"opus", L"Opus", kFormatOpus},
                                                                  {L"mp3", L"MP3", kFormatMp3},
                                                                  {L"wma", L"WMA", kFormatWma}}};

// The file extension of one format bit, without the dot ("wav", "mp3", "ogg",
// "flac", "opus", "wma"); empty for anything else.
const wchar_t* FormatExtension(uint8_t format);

// The format bit of an extension (without the dot, any case); 0 for none.
uint8_t FormatOfExtension(std::wstring_view extension);
// The format bit of a file by the extension of its name (any case; a dot in
// a folder's name is no extension); 0 for none.
uint8_t FormatOfFileName(std::wstring_view path);

// The file a format makes of a WAV file: its name with the format's extension
// in place of "wav".
std::wstring EncodedFileName(const std::wstring& wavName, uint8_t format);
