// The record folder the recordings benchmarks read: 100,000 recordings with
// the Chinese date labels and varied partners, 60,000 of them a WAV only and
// 40,000 a WAV and an MP3, each file a valid 44-byte WAV header and a little
// data. Made once; a folder that already holds them is reused.
#pragma once

#include <cstdint>
#include <string>

#include "common/text_format.h"
#include "platform/file.h"
#include "record/wave_file.h"

constexpr int kBenchRecordings = 100000;
constexpr int kBenchWavOnly = 60000;

inline std::wstring BenchRecordingStem(int i) {
  static const wchar_t* const kPartners[] = {L"alice", L"bob carol", L"王小明", L"live_dmitri", L"Émile",
                                             L"echo123 someone_else", L"Zoom", L"李雷 韩梅梅"};
  // One recording a minute from 2020 on, spread over the calendar.
  int64_t minute = i;
  int day = static_cast<int>(minute / 1440), inDay = static_cast<int>(minute % 1440);
  int year = 2020 + day / 336, month = 1 + day / 28 % 12, dayOfMonth = 1 + day % 28;
  return FormatText(L"%d年%02d月%02d日 %02d时%02d分%02d秒(%s%d)",
                    {year, month, dayOfMonth, inDay / 60, inDay % 60, i % 60, kPartners[i % 8], i % 997});
}

// Makes the folder's files unless the last one is there already; false when a
// file cannot be written.
inline bool MakeBenchRecordings(const std::wstring& folder) {
  const std::wstring last = folder + L"\\" + BenchRecordingStem(kBenchRecordings - 1) + L".mp3";
  uint64_t size = 0;
  if (QueryFileSize(last, size)) return true;
  auto header = BuildWaveHeader(1, 36 + 100, 100);
  std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
  bytes.append(100, '\0');
  for (int i = 0; i < kBenchRecordings; ++i) {
    std::wstring stem = folder + L"\\" + BenchRecordingStem(i);
    for (const wchar_t* extension : {L".wav", L".mp3"}) {
      if (extension[1] == L'm' && i < kBenchWavOnly) continue;
      File file;
      if (!file.Create(stem + extension) || !file.Write(bytes.data(), bytes.size())) return false;
    }
  }
  return true;
}
