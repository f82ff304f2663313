// The recordings window's work on a folder of 100,000 recordings
// (bench/recordings_folder.h, made once under the system's temporary folder
// and kept): listing and grouping the folder, the list's first sort, a sort by
// partners, and a filter.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/recordings_folder.h"
#include "common/strings.h"
#include "platform/paths.h"
#include "record/recording_list.h"

namespace {

const std::wstring& Folder() {
  static const std::wstring folder = [] {
    const char* temp = std::getenv("TMPDIR");
    std::wstring path = WideFromUtf8(temp && *temp ? temp : "/tmp") + L"/calvoro-recordings-bench";
    CreateDirectoryOneLevel(path);
    if (!MakeBenchRecordings(path)) std::abort();
    return path;
  }();
  return folder;
}

void BM_ScanRecordFolder(benchmark::State& state) {
  const std::wstring& folder = Folder();
  size_t count = 0;
  for (auto _ : state) {
    std::vector<RecordingEntry> entries = ScanRecordFolder(folder);
    count = entries.size();
    benchmark::DoNotOptimize(entries.data());
  }
  if (count != static_cast<size_t>(kBenchRecordings)) state.SkipWithError("the folder lacks recordings");
  state.counters["recordings"] = static_cast<double>(count);
}
BENCHMARK(BM_ScanRecordFolder)->Unit(benchmark::kMillisecond);

void BM_ReplaceAndDefaultSort(benchmark::State& state) {
  const std::vector<RecordingEntry> entries = ScanRecordFolder(Folder());
  for (auto _ : state) {
    RecordingListModel model;
    model.Replace(entries);  // the copy is part of what the window does with a new listing
    benchmark::DoNotOptimize(model.Count());
  }
}
BENCHMARK(BM_ReplaceAndDefaultSort)->Unit(benchmark::kMillisecond);

void BM_SortByPartners(benchmark::State& state) {
  RecordingListModel model;
  model.Replace(ScanRecordFolder(Folder()));
  bool ascending = true;
  for (auto _ : state) {
    model.SortBy(RecordingColumn::Partners, ascending);
    ascending = !ascending;
    benchmark::DoNotOptimize(model.Count());
  }
}
BENCHMARK(BM_SortByPartners)->Unit(benchmark::kMillisecond);

void BM_Filter(benchmark::State& state) {
  RecordingListModel model;
  model.Replace(ScanRecordFolder(Folder()));
  size_t shown = 0;
  for (auto _ : state) {
    model.SetFilter(L"BOB");
    shown = model.Count();
    model.SetFilter(L"");
    benchmark::DoNotOptimize(model.Count());
  }
  state.counters["shown"] = static_cast<double>(shown);
}
BENCHMARK(BM_Filter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
