#include "record/recording_list.h"
#include "record/recording_name.h"
#include "record/recording_rename.h"
#include "record/recording_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "common/strings.h"
#include "common/text_format.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "record/wave_file.h"
#include "tests/formats/formats_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

// The bases the recorder makes in its Chinese languages.
const std::wstring kChs = L"2026年12月09日 21时30分05秒";
const std::wstring kCht = L"2026年12月09日 21時30分05秒";

RecordingName Parsed(const std::wstring& fileName, uint8_t* format = nullptr) {
  RecordingName name;
  EXPECT_TRUE(ParseRecordingName(fileName, name, format)) << "refused: " << testing::PrintToString(fileName);
  return name;
}

}  // namespace

TEST(RecordingName, EveryNameTheRecorderMakesParses) {
  uint8_t format = 0;
  RecordingName plain = Parsed(kChs + L"(alice bob).mp3", &format);
  EXPECT_EQ(format, kFormatMp3);
  EXPECT_EQ(plain.year, 2026);
  EXPECT_EQ(plain.month, 12);
  EXPECT_EQ(plain.day, 9);
  EXPECT_EQ(plain.hour, 21);
  EXPECT_EQ(plain.minute, 30);
  EXPECT_EQ(plain.second, 5);
  EXPECT_EQ(plain.partners, L"alice bob");
  EXPECT_TRUE(plain.hasPartners);
  EXPECT_FALSE(plain.recovered);
  EXPECT_EQ(plain.number, 0);

  RecordingName cht = Parsed(kCht + L"(Дмитрий 王小明 live_carol).WAV", &format);
  EXPECT_EQ(format, kFormatWav);
  EXPECT_EQ(cht.hour, 21);
  EXPECT_EQ(cht.partners, L"Дмитрий 王小明 live_carol");

  RecordingName sameSecond = Parsed(kChs + L" (3)(alice).ogg", &format);
  EXPECT_EQ(format, kFormatOgg);
  EXPECT_EQ(sameSecond.number, 3);
  EXPECT_EQ(sameSecond.partners, L"alice");

  RecordingName taken = Parsed(kChs + L"(alice) (12).Flac", &format);
  EXPECT_EQ(format, kFormatFlac);
  EXPECT_EQ(taken.number, 12);
  EXPECT_EQ(taken.partners, L"alice");

  RecordingName recovered = Parsed(kChs + L" (recovered)(alice).opus", &format);
  EXPECT_EQ(format, kFormatOpus);
  EXPECT_TRUE(recovered.recovered);
  EXPECT_EQ(recovered.partners, L"alice");

  RecordingName tooLong = Parsed(kChs + L".wma", &format);
  EXPECT_EQ(format, kFormatWma);
  EXPECT_FALSE(tooLong.hasPartners);
  EXPECT_EQ(Parsed(kChs + L" (2).wav").number, 2);

  RecordingName nobody = Parsed(kChs + L"().wav");
  EXPECT_TRUE(nobody.hasPartners);
  EXPECT_TRUE(nobody.partners.empty());

  // An app's name in parentheses of its own stays whole, also when numbered.
  EXPECT_EQ(Parsed(kChs + L"(Zoom (x86)).wav").partners, L"Zoom (x86)");
  RecordingName app = Parsed(kChs + L"(Zoom (x86)) (2).wav");
  EXPECT_EQ(app.partners, L"Zoom (x86)");
  EXPECT_EQ(app.number, 2);
  EXPECT_EQ(Parsed(kChs + L"(bob (2)).wav").number, 0);

  // Labels of other languages, an empty one among them, and a short year.
  RecordingName dashes = Parsed(L"2011-03-07 09h05m02s(bob).wav");
  EXPECT_EQ(dashes.year, 2011);
  EXPECT_EQ(dashes.second, 2);
  EXPECT_EQ(Parsed(L"999-03-07 23h05m02s(bob).wav").year, 999);
  RecordingName unlabelled = Parsed(L"20261209 213005(bob).wav");
  EXPECT_EQ(unlabelled.month, 12);
  EXPECT_EQ(unlabelled.day, 9);
  EXPECT_EQ(unlabelled.minute, 30);
  EXPECT_EQ(Parsed(L"2011_03_07 09h05m02s_ (2)(bob).mp3").number, 2);
}

TEST(RecordingName, NamesTheRecorderDoesNotMakeAreRefused) {
  const std::wstring foreign[] = {
      L"notes.wav",
      L"2026年13月09日 21时30分05秒(alice).wav",  // month 13
      L"2026年00月09日 21时30分05秒(alice).wav",
      L"2026年12月32日 21时30分05秒(alice).wav",
      L"2026年12月09日 24时30分05秒(alice).wav",
      L"2026年12月09日 21时60分05秒(alice).wav",
      L"2026年12月09日 21时30分60秒(alice).wav",
      L"2026年12月09日21时30分05秒(alice).wav",  // no space before the time
      L"2026年12月9日 21时30分05秒(alice).wav",   // one digit
      kChs + L"(alice).txt",
      kChs + L"(alice)",
      kChs + L".rec",
      kChs + L"_Out.sky",
      kChs + L"_In.sky.damaged",
      kChs + L"(alice).wav.part",
      kChs + L"(alice.wav",
      kChs + L" (1)(alice).wav",  // numbering starts at 2
      kChs + L" copy(alice).wav",
      kChs + L" - Copy.wav",
      kChs + L"(alice) - Copy.wav",
      kChs + L"(alice)x.wav",
      kChs + L" (recovered)x.wav",
      L"12026年12月09日 21时30分05秒(alice).wav",
      L"(alice).wav",
      L".wav",
  };
  for (const std::wstring& fileName : foreign) {
    RecordingName name;
    EXPECT_FALSE(ParseRecordingName(fileName, name)) << testing::PrintToString(fileName);
  }
}

TEST(RecordFolder, FilesOfOneStemFormOneRecording) {
  TempDir dir;
  const std::wstring both = kChs + L"(alice)", wavOnly = kCht + L" (2)(王小明)";
  ASSERT_TRUE(WriteFileBytes(dir.file(both + L".wav"), std::string(1000, 'w')));
  ASSERT_TRUE(WriteFileBytes(dir.file(both + L".mp3"), std::string(300, 'm')));
  ASSERT_TRUE(WriteFileBytes(dir.file(both + L".opus"), std::string(20, 'o')));
  ASSERT_TRUE(WriteFileBytes(dir.file(wavOnly + L".wav"), std::string(44, 'w')));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"notes.wav"), "x"));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"notes.txt"), "x"));
  ASSERT_TRUE(WriteFileBytes(dir.file(L".wav"), "x"));
  ASSERT_TRUE(SetFileModified(dir.file(L"notes.wav"), 1700000000));
  ASSERT_TRUE(WriteFileBytes(dir.file(kChs + L".rec"), "x"));
  ASSERT_TRUE(WriteFileBytes(dir.file(kChs + L"_Out.sky"), "x"));
  ASSERT_TRUE(CreateDirectoryOneLevel(dir.file(kChs + L"(folder).wav")));
  ASSERT_TRUE(SetFileModified(dir.file(both + L".wav"), 1700000000));
  ASSERT_TRUE(SetFileModified(dir.file(both + L".mp3"), 1700000900));
  ASSERT_TRUE(SetFileModified(dir.file(both + L".opus"), 1700000500));

  std::vector<RecordingEntry> entries = ScanRecordFolder(dir.path());
  // The user's own audio file is listed too, dated by the file and named by
  // its name; nothing else of the folder is.
  ASSERT_EQ(entries.size(), 3u);
  auto notes = std::find_if(entries.begin(), entries.end(), [](const RecordingEntry& e) { return !e.madeHere; });
  ASSERT_NE(notes, entries.end());
  EXPECT_EQ(notes->fileStem, L"notes");
  EXPECT_EQ(notes->name.partners, L"notes");
  const LocalTime t = LocalTimeOf(1700000000);
  EXPECT_EQ(FormatRecordingTime(notes->name),
            FormatText(L"%d-%02d-%02d %02d:%02d:%02d", {t.year, t.month, t.day, t.hour, t.minute, t.second}));
  entries.erase(notes);
  if (entries[0].fileStem != both) std::swap(entries[0], entries[1]);
  EXPECT_TRUE(entries[0].madeHere && entries[1].madeHere);
  const RecordingEntry& set = entries[0];
  EXPECT_EQ(set.fileStem, both);
  EXPECT_EQ(set.formats, kFormatWav | kFormatMp3 | kFormatOpus);
  EXPECT_EQ(set.size, 1320u);
  EXPECT_EQ(set.modified, 1700000900);
  EXPECT_EQ(set.durationMs, kDurationNotRead);
  EXPECT_EQ(set.name.partners, L"alice");
  // The stem leads to the files.
  EXPECT_TRUE(FileExists(set.stem + L".mp3"));
  EXPECT_EQ(entries[1].fileStem, wavOnly);
  EXPECT_EQ(entries[1].formats, kFormatWav);
  EXPECT_EQ(entries[1].name.number, 2);
  EXPECT_TRUE(ScanRecordFolder(dir.file(L"missing")).empty());
}

TEST(AudioDuration, ARecordingIsReadFromItsCheapestReadableFile) {
  TempDir dir;
  RecordingEntry entry;
  entry.fileStem = kChs + L"(alice)";
  entry.stem = dir.file(entry.fileStem);
  entry.formats = kFormatWav | kFormatWma;
  ASSERT_TRUE(WriteFileBytes(entry.stem + L".wav", WaveImage(1, kSampleRate, std::string(8000 * 2, '\x11'))));
  ASSERT_TRUE(WriteFileBytes(entry.stem + L".wma", "not a header"));
  EXPECT_EQ(RecordingDurationMs(entry), 500);
  // A damaged WAV gives way to the next file; none readable gives -2.
  ASSERT_TRUE(WriteFileBytes(entry.stem + L".wav", "junk"));
  EXPECT_EQ(RecordingDurationMs(entry), kDurationUnreadable);
  if (BuiltInCodecFormats() & kFormatFlac) {
    entry.formats |= kFormatFlac;
    ASSERT_TRUE(MakeRecording(kFormatFlac, entry.stem + L".flac", Sweep(1, kSampleRate, 0.25), 1, kSampleRate));
    EXPECT_EQ(RecordingDurationMs(entry), 250);
  }
}

TEST(Busy, ASideFileOfTheRecordingsBaseMakesItBusy) {
  auto listing = [](std::initializer_list<std::wstring> names) {
    std::vector<FolderEntry> folder;
    for (const std::wstring& name : names) folder.push_back(FolderEntry{name, 10, 0, false});
    return folder;
  };
  const std::wstring stem = kChs + L"(alice)";
  EXPECT_FALSE(RecordingBusy(listing({stem + L".wav", stem + L".mp3"}), stem));
  EXPECT_TRUE(RecordingBusy(listing({stem + L".wav", kChs + L".rec"}), stem));
  EXPECT_TRUE(RecordingBusy(listing({kChs + L"_Out.sky"}), stem));
  EXPECT_TRUE(RecordingBusy(listing({kChs + L"_In.sky"}), kChs + L" (recovered)(alice)"));
  EXPECT_TRUE(RecordingBusy(listing({kChs + L"_In.sky"}), kChs));
  EXPECT_TRUE(RecordingBusy(listing({kChs + L" (2).rec"}), kChs + L" (2)(bob)"));
  // Another recording's side files, a damaged stream kept for the user, a
  // folder of that name: not busy.
  EXPECT_FALSE(RecordingBusy(listing({L"2026年12月09日 21时30分06秒.rec"}), stem));
  EXPECT_FALSE(RecordingBusy(listing({kChs + L"_Out.sky.damaged"}), stem));
  EXPECT_FALSE(RecordingBusy(std::vector<FolderEntry>{FolderEntry{kChs + L".rec", 0, 0, true}}, stem));
  EXPECT_FALSE(RecordingBusy(listing({L"2026年12月09日 21时30分0.rec"}), stem));

  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.file(stem + L".wav"), "x"));
  EXPECT_FALSE(RecordingBusy(dir.path(), stem));
  ASSERT_TRUE(WriteFileBytes(dir.file(kChs + L".rec"), "x"));
  EXPECT_TRUE(RecordingBusy(dir.path(), stem));
}

namespace {

RecordingEntry Entry(const std::wstring& fileStem, uint8_t formats, uint64_t size, int64_t durationMs = -1) {
  RecordingEntry entry;
  EXPECT_TRUE(ParseRecordingName(fileStem + L".wav", entry.name)) << testing::PrintToString(fileStem);
  entry.fileStem = fileStem;
  entry.stem = L"D:\\Rec\\" + fileStem;
  entry.formats = formats;
  entry.size = size;
  entry.durationMs = durationMs;
  return entry;
}

std::vector<std::wstring> Partners(const RecordingListModel& model) {
  std::vector<std::wstring> partners;
  for (size_t row = 0; row < model.Count(); ++row) partners.push_back(model.At(row).name.partners);
  return partners;
}

using Names = std::vector<std::wstring>;

class ListModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.Replace({Entry(L"2026年01月05日 10时00分00秒(Bob)", kFormatWav, 500),
                   Entry(L"2025年12月31日 23时59分59秒(alice carol)", kFormatWav | kFormatMp3, 900),
                   Entry(L"2026年01月05日 10时00分00秒 (2)(Émile)", kFormatMp3, 500),
                   Entry(L"2026年02月01日 08时00分00秒(ÉMILE dave)", kFormatOgg, 100),
                   Entry(L"2024年06月01日 08时00分00秒", kFormatWav | kFormatFlac, 500)});
  }
  RecordingListModel model;
};

}  // namespace

TEST_F(ListModelTest, SortsByEachColumnNewestFirstByDefault) {
  EXPECT_EQ(model.sortColumn(), RecordingColumn::Time);
  EXPECT_FALSE(model.ascending());
  EXPECT_EQ(Partners(model), (Names{L"ÉMILE dave", L"Émile", L"Bob", L"alice carol", L""}));
  model.SortBy(RecordingColumn::Time, true);
  EXPECT_EQ(Partners(model), (Names{L"", L"alice carol", L"Bob", L"Émile", L"ÉMILE dave"}));

  // Case folded; equal partners by time.
  model.SortBy(RecordingColumn::Partners, true);
  EXPECT_EQ(Partners(model), (Names{L"", L"alice carol", L"Bob", L"Émile", L"ÉMILE dave"}));
  model.SortBy(RecordingColumn::Partners, false);
  EXPECT_EQ(Partners(model), (Names{L"ÉMILE dave", L"Émile", L"Bob", L"alice carol", L""}));

  // Three of 500 bytes, in time order among themselves.
  model.SortBy(RecordingColumn::Size, true);
  EXPECT_EQ(Partners(model), (Names{L"ÉMILE dave", L"", L"Bob", L"Émile", L"alice carol"}));
  model.SortBy(RecordingColumn::Size, false);
  EXPECT_EQ(Partners(model), (Names{L"alice carol", L"Émile", L"Bob", L"", L"ÉMILE dave"}));

  model.SortBy(RecordingColumn::Formats, false);
  EXPECT_EQ(Partners(model), (Names{L"", L"alice carol", L"Bob", L"ÉMILE dave", L"Émile"}));
}

TEST_F(ListModelTest, UnknownLengthsStayLastAndALengthMovesItsRow) {
  model.SortBy(RecordingColumn::Duration, true);
  const std::wstring bob = L"D:\\Rec\\2026年01月05日 10时00分00秒(Bob)";
  const std::wstring alice = L"D:\\Rec\\2025年12月31日 23时59分59秒(alice carol)";
  const std::wstring dave = L"D:\\Rec\\2026年02月01日 08时00分00秒(ÉMILE dave)";
  // None known yet: all in time order.
  EXPECT_EQ(Partners(model), (Names{L"", L"alice carol", L"Bob", L"Émile", L"ÉMILE dave"}));
  EXPECT_EQ(model.StemsWithoutDuration(1, 2), (Names{alice, bob}));
  EXPECT_TRUE(model.SetDuration(bob, 5000));
  EXPECT_TRUE(model.SetDuration(dave, 1000));
  EXPECT_TRUE(model.SetDuration(alice, kDurationUnreadable));
  EXPECT_FALSE(model.SetDuration(L"D:\\Rec\\other", 1));
  EXPECT_EQ(Partners(model), (Names{L"ÉMILE dave", L"Bob", L"", L"alice carol", L"Émile"}));
  EXPECT_EQ(model.RowOf(bob), std::optional<size_t>(1));
  model.SortBy(RecordingColumn::Duration, false);
  EXPECT_EQ(Partners(model), (Names{L"Bob", L"ÉMILE dave", L"Émile", L"alice carol", L""}));
  EXPECT_EQ(model.StemsWithoutDuration(0, 100).size(), 2u);
  EXPECT_TRUE(model.StemsWithoutDuration(7, 3).empty());

  // Sorted by another column a length moves nothing.
  model.SortBy(RecordingColumn::Time, false);
  EXPECT_TRUE(model.SetDuration(alice, 99999));
  EXPECT_EQ(Partners(model), (Names{L"ÉMILE dave", L"Émile", L"Bob", L"alice carol", L""}));
  EXPECT_EQ(model.At(3).durationMs, 99999);
}

TEST_F(ListModelTest, TheFilterAndTheSortOutliveANewListing) {
  model.SortBy(RecordingColumn::Partners, true);
  model.SetFilter(L"émi");
  EXPECT_EQ(Partners(model), (Names{L"Émile", L"ÉMILE dave"}));
  const std::wstring bob = L"D:\\Rec\\2026年01月05日 10时00分00秒(Bob)";
  EXPECT_FALSE(model.RowOf(bob).has_value());
  EXPECT_TRUE(model.SetDuration(bob, 1234));  // known though hidden
  EXPECT_TRUE(model.SetDuration(L"D:\\Rec\\2026年01月05日 10时00分00秒 (2)(Émile)", 777));

  // Bob unchanged keeps his length; Émile's file grew and is read again.
  model.Replace({Entry(L"2026年01月05日 10时00分00秒(Bob)", kFormatWav, 500),
                 Entry(L"2026年01月05日 10时00分00秒 (2)(Émile)", kFormatMp3, 501),
                 Entry(L"2026年03月01日 08时00分00秒(emilia)", kFormatWav, 10)});
  EXPECT_EQ(model.sortColumn(), RecordingColumn::Partners);
  EXPECT_EQ(Partners(model), (Names{L"Émile"}));
  model.SetFilter(L"EMI");
  EXPECT_EQ(Partners(model), (Names{L"emilia"}));
  model.SetFilter(L"");
  EXPECT_EQ(Partners(model), (Names{L"Bob", L"emilia", L"Émile"}));
  EXPECT_EQ(model.At(0).durationMs, 1234);
  EXPECT_EQ(model.At(2).durationMs, kDurationNotRead);
  model.Replace({});
  EXPECT_EQ(model.Count(), 0u);
}

TEST(RecordingTexts, LengthsSizesFormatsAndTimes) {
  EXPECT_EQ(FormatDuration(-1), L"");
  EXPECT_EQ(FormatDuration(0), L"0:00");
  EXPECT_EQ(FormatDuration(59999), L"0:59");
  EXPECT_EQ(FormatDuration(61000), L"1:01");
  EXPECT_EQ(FormatDuration(3599999), L"59:59");
  EXPECT_EQ(FormatDuration(3600000), L"1:00:00");
  EXPECT_EQ(FormatDuration(36061000), L"10:01:01");

  EXPECT_EQ(FormatSize(0), L"0 B");
  EXPECT_EQ(FormatSize(812), L"812 B");
  EXPECT_EQ(FormatSize(1023), L"1023 B");
  EXPECT_EQ(FormatSize(1024), L"1.0 KB");
  EXPECT_EQ(FormatSize(1434), L"1.4 KB");
  EXPECT_EQ(FormatSize(1048575), L"1.0 MB");  // would round to 1024.0 KB
  EXPECT_EQ(FormatSize(24641536), L"23.5 MB");
  EXPECT_EQ(FormatSize(1095216660), L"1.02 GB");
  EXPECT_EQ(FormatSize(5ull << 40), L"5120.00 GB");

  EXPECT_EQ(FormatNames(0), L"");
  EXPECT_EQ(FormatNames(kFormatMp3 | kFormatWav), L"WAV MP3");
  EXPECT_EQ(FormatNames(kFormatKnownBits), L"WAV FLAC OGG Opus MP3 WMA");

  EXPECT_EQ(FormatRecordingTime(Parsed(kChs + L"(a).wav")), L"2026-12-09 21:30:05");
  EXPECT_EQ(FormatRecordingTime(Parsed(L"999-03-07 23h05m02s(bob).wav")), L"0999-03-07 23:05:02");
}

TEST(Rename, AllFilesOrNone) {
  TempDir dir;
  RecordingEntry entry;
  entry.fileStem = kChs + L"(alice)";
  entry.stem = dir.file(entry.fileStem);
  entry.formats = kFormatWav | kFormatMp3 | kFormatOpus;
  for (const wchar_t* ext : {L".wav", L".mp3", L".opus"})
    ASSERT_TRUE(WriteFileBytes(entry.stem + ext, Utf8FromWide(ext)));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"taken.flac"), "other"));

  std::wstring error;
  for (const std::wstring& bad : {std::wstring(), std::wstring(L"a:b"), std::wstring(L"a/b"), std::wstring(L"a\\b"),
                                  std::wstring(L"a*"), std::wstring(L"a?"), std::wstring(L"\"a\""),
                                  std::wstring(L"<a>"), std::wstring(L"a|b"), std::wstring(L"trailing."),
                                  std::wstring(L"trailing "), std::wstring(L"taken")}) {
    error.clear();
    EXPECT_FALSE(RenameRecording(entry, bad, &error)) << testing::PrintToString(bad);
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(FileExists(entry.stem + L".mp3"));

  // The second move fails: the first is undone.
  InjectFileFault({FileOp::Move, L".mp3"});
  EXPECT_FALSE(RenameRecording(entry, L"Interview 王", &error));
  ClearFileFaults();
  for (const wchar_t* ext : {L".wav", L".mp3", L".opus"}) {
    EXPECT_EQ(ReadFileBytes(entry.stem + ext), Utf8FromWide(ext));
    EXPECT_FALSE(FileExists(dir.file(std::wstring(L"Interview 王") + ext)));
  }

  ASSERT_TRUE(RenameRecording(entry, L"Interview 王", &error)) << testing::PrintToString(error);
  for (const wchar_t* ext : {L".wav", L".mp3", L".opus"}) {
    EXPECT_EQ(ReadFileBytes(dir.file(std::wstring(L"Interview 王") + ext)), Utf8FromWide(ext));
    EXPECT_FALSE(FileExists(entry.stem + ext));
  }
}
