// The settings in force change while every other thread reads them: each
// reader must see one whole applied set, never a mix of two, and never an
// older set after a newer one. Run natively under the thread sanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kApplies = 300;

// The dialog's values of the i-th apply: every field follows from i, and the
// folder's name says which i it is.
SettingsDialogValues ValuesOf(int i, const TempDir& dir) {
  SettingsDialogValues v;
  v.autoRecord = i & 1;
  v.openFolderAfterRecording = (i >> 1) & 1;
  v.stateBalloons = (i >> 2) & 1;
  v.stereo = (i >> 3) & 1;
  v.formatMp3 = i % 5 == 0;
  v.formatWma = i % 5 == 1;
  v.formatOgg = i % 5 == 2;
  v.formatFlac = i % 5 == 3;
  v.formatWav = i % 5 != 4;  // and sometimes no format at all, which stores MP3
  v.formatOpus = i % 10 == 2;
  v.closeCallQualityWindow = (i >> 4) & 1;
  v.hideClientWindowInCall = (i >> 5) & 1;
  v.languageIndex = i % 2;
  v.recordWayIndex = i % 3;
  v.recordFolder = dir.file(L"set" + std::to_wstring(i));
  return v;
}

// What the i-th apply puts in force.
SettingsRecord RecordOf(int i, const TempDir& dir) {
  SettingsDialogValues v = ValuesOf(i, dir);
  SettingsRecord r;
  r.languageIndex = static_cast<uint8_t>(v.languageIndex);
  r.recordWay = static_cast<RecordWay>(v.recordWayIndex);
  r.autoRecord = v.autoRecord;
  r.hideClientWindowInCall = v.hideClientWindowInCall;
  r.closeCallQualityWindow = v.closeCallQualityWindow;
  r.openFolderAfterRecording = v.openFolderAfterRecording;
  r.stateBalloons = v.stateBalloons;
  r.stereo = v.stereo;
  r.formats = static_cast<uint8_t>((v.formatMp3 ? kFormatMp3 : 0) | (v.formatWma ? kFormatWma : 0) |
                                        (v.formatOgg ? kFormatOgg : 0) | (v.formatFlac ? kFormatFlac : 0) |
                                        (v.formatWav ? kFormatWav : 0) | (v.formatOpus ? kFormatOpus : 0));
  if (r.formats == 0) r.formats = kFormatMp3;
  r.recordFolder = v.recordFolder;
  return r;
}

// Which apply a snapshot comes from (by its folder's name), -1 when none.
int ApplyOf(const SettingsRecord& r, const TempDir& dir) {
  std::wstring prefix = dir.file(L"set");
  if (r.recordFolder.compare(0, prefix.size(), prefix) != 0) return -1;
  return std::stoi(r.recordFolder.substr(prefix.size()));
}

}  // namespace

TEST(SettingsPublication, EveryReaderSeesWholeAppliedSetsInTheOrderOfTheApplies) {
  TempDir dir;
  std::wstring config = dir.file(L"Config.ini");
  SettingsStore store;
  LanguageTable language(LanguageIniPath());
  ASSERT_EQ(ApplySettings(store, language, ValuesOf(0, dir), config), ApplyResult::Applied);

  std::atomic<bool> done{false};
  std::atomic<int> mixed{0}, backwards{0}, unknown{0};
  std::atomic<long> reads{0};
  auto check = [&](const SettingsSnapshot& snapshot, int& last) {
    int i = ApplyOf(*snapshot, dir);
    if (i < 0 || i > kApplies) {
      ++unknown;
      return;
    }
    if (*snapshot != RecordOf(i, dir)) ++mixed;
    if (i < last) ++backwards;
    last = i;
    ++reads;
  };
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      int last = 0;
      // Readers give way after each read: four spinning threads on a two-core
      // machine would starve the applies (each writes Config.ini) for minutes.
      while (!done.load()) {
        check(store.Current(), last);
        std::this_thread::yield();
      }
      check(store.Current(), last);
    });
  }
  // A recording starts and ends again and again meanwhile: what it pins is a
  // whole set as well.
  readers.emplace_back([&] {
    int last = 0;
    while (!done.load()) {
      SettingsSnapshot pinned = store.PinCurrentUnlessPinned();
      SettingsSnapshot seen = store.ForRecording();
      if (seen != pinned) ++mixed;
      check(seen, last);
      store.PinForRecording(nullptr);
      std::this_thread::yield();
    }
  });

  for (int i = 1; i <= kApplies; ++i) ASSERT_EQ(ApplySettings(store, language, ValuesOf(i, dir), config), ApplyResult::Applied);
  done = true;
  for (std::thread& t : readers) t.join();

  EXPECT_EQ(mixed.load(), 0);
  EXPECT_EQ(backwards.load(), 0);
  EXPECT_EQ(unknown.load(), 0);
  EXPECT_GT(reads.load(), kApplies);
  // The last apply is in force, in the file too.
  EXPECT_EQ(*store.Current(), RecordOf(kApplies, dir));
  store.Publish(SettingsRecord());
  LoadSettings(store, language, config);
  EXPECT_EQ(*store.Current(), RecordOf(kApplies, dir));
}
