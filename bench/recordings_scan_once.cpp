// One scan of a record folder of 100,000 recordings, timed, for the Windows
// build (wine): RecordingsBench.exe <folder> [repetitions]. The folder is made
// first when it lacks the recordings (bench/recordings_folder.h); making it
// natively with recordings_bench and passing its Z:\ path saves the minutes
// wine takes to create 140,000 files.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "bench/recordings_folder.h"
#include "platform/paths.h"
#include "record/recording_list.h"

namespace {
double NowMs() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: RecordingsBench.exe <folder> [repetitions]\n");
    return 2;
  }
  std::wstring folder = argv[1];
  int repetitions = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
  CreateDirectoryOneLevel(folder);
  double start = NowMs();
  if (!MakeBenchRecordings(folder)) {
    std::fwprintf(stderr, L"cannot make the recordings in %ls\n", folder.c_str());
    return 1;
  }
  std::printf("folder ready in %.0f ms\n", NowMs() - start);
  std::vector<double> times;
  size_t count = 0;
  for (int i = 0; i < repetitions; ++i) {
    start = NowMs();
    count = ScanRecordFolder(folder).size();
    times.push_back(NowMs() - start);
  }
  std::sort(times.begin(), times.end());
  std::printf("ScanRecordFolder: %zu recordings, median %.1f ms, best %.1f ms of %d\n", count,
              times[times.size() / 2], times.front(), repetitions);
  start = NowMs();
  RecordingListModel model;
  model.Replace(ScanRecordFolder(folder));
  std::printf("scan + Replace + default sort: %.1f ms\n", NowMs() - start);
  return count == static_cast<size_t>(kBenchRecordings) ? 0 : 1;
}
