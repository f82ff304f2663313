// A second program that looks for left-behind recordings in a record folder,
// as a second instance in another session would at its start: the end-to-end
// tests run it beside the real program while that records, under wine, where
// the files' share modes hold between processes. Prints what it did; the exit
// code is the number of recordings it finished (that belonged to nobody).
#include <windows.h>

#include <cstdio>

#include "record/recovery.h"
#include "settings/settings.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: RecoverFolder.exe <record folder>\n");
    return 100;
  }
  RecoveryReport report = RecoverRecordings(argv[1], false, kFormatWav);
  std::printf("recovered %u, damaged %u, failed %u\n", static_cast<unsigned>(report.recovered.size()),
              static_cast<unsigned>(report.damaged.size()), static_cast<unsigned>(report.failed.size()));
  return static_cast<int>(report.recovered.size());
}
