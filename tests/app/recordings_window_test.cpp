// The recordings window as the user meets it: a modeless window without an
// owner on the window thread, listing the record folder of a copy of the
// program; played sound goes to a sound output the test listens to, and the
// Recycle Bin is a folder of the test's.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <mutex>

#include "app/recordings_dlg.h"
#include "app/resource.h"
#include "common/text_format.h"
#include "platform/paths.h"
#include "platform/recycle_bin.h"
#include "record/recording_list.h"
#include "record/recording_name.h"
#include "record/recording_rename.h"
#include "record/recording_scan.h"
#include "record/wave_file.h"
#include "tests/app/dialog_test_support.h"
#include "tests/playback/fake_sound_out.h"
#include "ui/control.h"

namespace {

// A 16 kHz mono recording of `seconds`: sample n is n, as a 16-bit number.
std::string RecordingWave(double seconds) {
  const uint32_t samples = static_cast<uint32_t>(seconds * 16000);
  const auto header = BuildWaveHeader(1, 36 + samples * 2, samples * 2);
  std::string wav(header.begin(), header.end());
  for (uint32_t n = 0; n < samples; ++n) {
    wav.push_back(static_cast<char>(n & 0xFF));
    wav.push_back(static_cast<char>((n >> 8) & 0xFF));
  }
  return wav;
}

class RecordingsWindowTest : public ::testing::Test {
 protected:
  RecordingsWindowTest() {
    records = program.recorder->settings().Current()->recordFolder;
    // The Recycle Bin, as the shell would take the files: they leave the folder.
    OverrideRecycleBin([this](const std::vector<std::wstring>& paths) {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const std::wstring& path : paths) {
        recycled_.push_back(path.substr(path.find_last_of(L'\\') + 1));
        MoveFileW(path.c_str(), bin.file(recycled_.back()).c_str());
      }
      return true;
    });
  }
  ~RecordingsWindowTest() override { OverrideRecycleBin({}); }

  std::unique_ptr<OpenDialog> Open() {
    return OpenDialog::Open(windows, [this] {
      auto dialog = std::make_unique<CRecordingsDlg>(nullptr, *program.recorder);
      dialog->makeSoundOut = [this] { return std::make_unique<FakeSoundOut>(sound); };
      return dialog;
    });
  }
  void Put(const std::wstring& name, const std::string& bytes) { ASSERT_TRUE(WriteFileBytes(records + L"\\" + name, bytes)); }

  // The rows as the list shows them, each its column texts.
  static std::vector<std::vector<std::wstring>> Rows(const OpenDialog& dialog) {
    HWND list = dialog.item(IDC_RECORDINGS_LIST);
    std::vector<std::vector<std::wstring>> rows(static_cast<size_t>(ListView_GetItemCount(list)));
    for (size_t row = 0; row < rows.size(); ++row)
      for (int column = 0; column < 5; ++column) {
        wchar_t text[512] = L"";
        ListView_GetItemText(list, static_cast<int>(row), column, text, 512);
        rows[row].push_back(text);
      }
    return rows;
  }
  // The column of every row, once every duration is known.
  static std::vector<std::wstring> Column(const OpenDialog& dialog, int column) {
    std::vector<std::wstring> texts;
    for (const auto& row : Rows(dialog)) texts.push_back(row[static_cast<size_t>(column)]);
    return texts;
  }
  static bool Listed(const OpenDialog& dialog, size_t n) {
    auto rows = Rows(dialog);
    return rows.size() == n && std::none_of(rows.begin(), rows.end(), [](const auto& r) { return r[2] == L"…"; });
  }
  void ClickRow(const OpenDialog& dialog, int row) {
    HWND list = dialog.item(IDC_RECORDINGS_LIST);
    RECT r = {};
    ASSERT_TRUE(ListView_GetItemRect(list, row, &r, LVIR_LABEL));
    ClickAt(list, {r.left + 10, (r.top + r.bottom) / 2});
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetNextItem(list, -1, LVNI_SELECTED) == row; }));
  }
  // The sort arrow a column's heading shows: HDF_SORTUP, HDF_SORTDOWN or 0.
  static int SortArrow(const OpenDialog& dialog, int column) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    Header_GetItem(ListView_GetHeader(dialog.item(IDC_RECORDINGS_LIST)), column, &item);
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
  }
  // A click on a column's heading; a second click on the same heading lands
  // a little aside, as two clicks on one spot make a double click.
  void ClickHeader(const OpenDialog& dialog, int column) {
    HWND header = ListView_GetHeader(dialog.item(IDC_RECORDINGS_LIST));
    RECT r = {};
    ASSERT_TRUE(Header_GetItemRect(header, column, &r));
    // Near its edges a press takes the divider (it resizes the column).
    const int offset = (headerClicks_++ % 2) * 12;
    ClickAt(header, {(r.left + r.right) / 2 - 6 + offset, (r.top + r.bottom) / 2});
  }
  std::vector<std::wstring> recycled() {
    std::lock_guard<std::mutex> lock(mutex_);
    return recycled_;
  }

  ProgramCopy program;
  WindowThread windows;
  TempDir bin;
  std::wstring records;
  // The sound output playback goes to: it hears what the test lets it.
  std::shared_ptr<FakeOutState> sound = std::make_shared<FakeOutState>();

 private:
  std::mutex mutex_;
  std::vector<std::wstring> recycled_;
  int headerClicks_ = 0;
};

}  // namespace

// The list shows the recordings of the folder with the durations their files
// hold, newest first; a click on a column's heading sorts by it, typing in the
// search box keeps the partners that match, and the list follows the folder
// by itself: a recording that appears is added, one deleted in Explorer goes.
TEST_F(RecordingsWindowTest, ListsSortsFiltersAndFollowsTheFolder) {
  Put(L"2026年03月04日 10时20分30秒(alice).wav", RecordingWave(5));
  Put(L"2026年03月05日 11时00分00秒(bob carol).wav", RecordingWave(65.5));
  Put(L"2026年03月05日 11时00分00秒(bob carol).mp3", std::string(9000, '\0'));
  Put(L"2026年03月01日 08时00分00秒(Alicia).wav", RecordingWave(2));
  Put(L"notes.txt", "not a recording");
  auto dialog = Open();
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 3); }));
  EXPECT_EQ(Rows(*dialog)[0], (std::vector<std::wstring>{L"2026-03-05 11:00:00", L"bob carol", L"1:05", L"WAV MP3",
                                                           FormatSize(RecordingWave(65.5).size() + 9000)}));
  EXPECT_EQ(Column(*dialog, 1), (std::vector<std::wstring>{L"bob carol", L"alice", L"Alicia"}));
  EXPECT_EQ(Column(*dialog, 2), (std::vector<std::wstring>{L"1:05", L"0:05", L"0:02"}));
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_COUNT), FormatText(program.Text(L"Chs", L"Recordings_Count"), {L"3"}));

  ClickHeader(*dialog, 2);  // the longest first
  ASSERT_TRUE(PumpUntil([&] { return SortArrow(*dialog, 2) == HDF_SORTDOWN; }));
  EXPECT_EQ(SortArrow(*dialog, 0), 0);
  ASSERT_TRUE(PumpUntil([&] { return Column(*dialog, 2) == std::vector<std::wstring>{L"1:05", L"0:05", L"0:02"}; }));
  ClickHeader(*dialog, 2);  // and the other way round
  ASSERT_TRUE(PumpUntil([&] { return Column(*dialog, 2) == std::vector<std::wstring>{L"0:02", L"0:05", L"1:05"}; }));
  EXPECT_EQ(SortArrow(*dialog, 2), HDF_SORTUP);
  ClickHeader(*dialog, 1);  // partners, A to Z
  ASSERT_TRUE(PumpUntil([&] {
    auto partners = Column(*dialog, 1);
    return partners.size() == 3 && partners[2] == L"bob carol";
  }));

  HWND search = dialog->item(IDC_RECORDINGS_SEARCH);
  Click(search);
  ASSERT_TRUE(AwaitKeyboardIn(search));
  Keyboard::Type(L"ALI");
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 2; }));
  for (const auto& row : Rows(*dialog)) EXPECT_NE(row[1].find(L"li"), std::wstring::npos) << row[1];
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_COUNT), FormatText(program.Text(L"Chs", L"Recordings_Count"), {L"2"}));
  Keyboard::Press(VK_HOME);
  Keyboard::Press(VK_END, true);
  Keyboard::Press(VK_DELETE);
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 3; }));

  // A recording finished meanwhile, and one deleted outside the program.
  Put(L"2026年03月06日 12时00分00秒(dave).wav", RecordingWave(3));
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 4); }));
  EXPECT_TRUE(DeleteFileW((records + L"\\2026年03月04日 10时20分30秒(alice).wav").c_str()));
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 3); }));
  auto partners = Column(*dialog, 1);
  EXPECT_EQ(std::count(partners.begin(), partners.end(), L"alice"), 0);
  EXPECT_EQ(std::count(partners.begin(), partners.end(), L"dave"), 1);
}

// Delete moves every file of the recording to the Recycle Bin, and only those;
// a recording whose side file says it is still being written is refused and
// stays, with the reason on the window's line. Rename renames the set.
TEST_F(RecordingsWindowTest, DeleteRecyclesTheWholeSetRefusesOneBeingWrittenAndRenameKeepsTheSetTogether) {
  Put(L"2026年03月05日 11时00分00秒(bob).wav", RecordingWave(1));
  Put(L"2026年03月05日 11时00分00秒(bob).mp3", std::string(700, '\0'));
  Put(L"2026年03月07日 09时00分00秒(carol).wav", RecordingWave(1));
  Put(L"2026年03月07日 09时00分00秒.rec", "2026-03-07 09:00:00\r\ncarol\r\n");
  Put(L"2026年03月08日 09时00分00秒(erin).wav", RecordingWave(1));
  Put(L"2026年03月08日 09时00分00秒(erin).ogg", std::string(300, '\0'));
  auto dialog = Open();
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 3); }));
  ASSERT_EQ(Column(*dialog, 1), (std::vector<std::wstring>{L"erin", L"carol", L"bob"}));

  ClickRow(*dialog, 1);
  Click(dialog->item(IDC_RECORDINGS_DELETE));
  ASSERT_TRUE(PumpUntil([&] { return dialog->text(IDC_RECORDINGS_STATUS) == program.Text(L"Chs", L"Recordings_Busy"); }));
  EXPECT_TRUE(recycled().empty());
  EXPECT_TRUE(PathExists(records + L"\\2026年03月07日 09时00分00秒(carol).wav"));

  ClickRow(*dialog, 2);
  Click(dialog->item(IDC_RECORDINGS_DELETE));
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 2; }));
  auto gone = recycled();
  std::sort(gone.begin(), gone.end());
  EXPECT_EQ(gone, (std::vector<std::wstring>{L"2026年03月05日 11时00分00秒(bob).mp3", L"2026年03月05日 11时00分00秒(bob).wav"}));
  EXPECT_NE(dialog->text(IDC_RECORDINGS_STATUS).find(L"11时00分00秒(bob)"), std::wstring::npos);

  // Renamed by its dialog: the WAV and the OGG together.
  ClickRow(*dialog, 0);
  Click(dialog->item(IDC_RECORDINGS_RENAME));
  HWND rename = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (rename = dialog->FindWindowOfClass(L"#32770", dialog->hwnd())) != nullptr; }));
  HWND field = GetDlgItem(rename, IDC_RENAME_NAME);
  EXPECT_EQ(GetWindowTextString(field), L"2026年03月08日 09时00分00秒(erin)");
  ASSERT_TRUE(AwaitKeyboardIn(field));
  Keyboard::Press(VK_END);
  Keyboard::Press(VK_LEFT);
  Keyboard::Type(L" 周会");
  Keyboard::Press(VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] {
    auto partners = Column(*dialog, 1);
    return std::count(partners.begin(), partners.end(), L"erin 周会") == 1;
  }));
  EXPECT_TRUE(PathExists(records + L"\\2026年03月08日 09时00分00秒(erin 周会).wav"));
  EXPECT_TRUE(PathExists(records + L"\\2026年03月08日 09时00分00秒(erin 周会).ogg"));
  EXPECT_FALSE(PathExists(records + L"\\2026年03月08日 09时00分00秒(erin).ogg"));
}

// Play, the position bar and Stop through the window: the output is given the
// file's own samples from the start, the bar and the time follow what has
// been heard, Stop keeps the place and Play goes on from there, and the end
// brings the bar to its end. A recording only in a format that does not play
// here says so.
TEST_F(RecordingsWindowTest, PlaysWithThePositionBarStopsWhereItWasAndGoesOnFromThere) {
  const std::wstring name = L"2026年03月05日 11时00分00秒(bob)";
  Put(name + L".wav", RecordingWave(5));
  Put(L"2026年03月01日 11时00分00秒(carol).wma", std::string(5000, '\0'));
  auto dialog = Open();
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 2; }));
  const LanguageTable& language = program.recorder->language();
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_STATUS), language.Text(L"Recordings_Hint"));
  EXPECT_FALSE(IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP)));

  ClickRow(*dialog, 1);
  Click(dialog->item(IDC_RECORDINGS_PLAY));
  ASSERT_TRUE(PumpUntil([&] { return dialog->text(IDC_RECORDINGS_STATUS) == language.Text(L"Recordings_Cannot_Play_Format"); }));
  EXPECT_EQ(sound->Get(&FakeOutState::opens), 0);

  ClickRow(*dialog, 0);
  Click(dialog->item(IDC_RECORDINGS_PLAY));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP)) != FALSE; }));
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_STATUS), FormatText(language.Text(L"Recordings_Playing"), {name + L".wav"}));
  EXPECT_EQ(sound->Get(&FakeOutState::rate), 16000u);
  EXPECT_EQ(sound->Get(&FakeOutState::channels), 1u);
  HWND bar = dialog->item(IDC_RECORDINGS_POSITION);
  auto barAt = [&] { return static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0)); };
  // Two seconds of five heard, as fast as the player queues them.
  auto hearUpTo = [&](uint64_t frames) {
    uint64_t heard = sound->Get(&FakeOutState::heard);
    if (heard < frames) sound->Hear(frames - heard);
  };
  ASSERT_TRUE(PumpUntil([&] {
    hearUpTo(32000);
    return barAt() == 400;
  }));
  EXPECT_TRUE(PumpUntil([&] { return dialog->text(IDC_RECORDINGS_TIME) == L"0:02 / 0:05"; }));
  std::vector<int16_t> given = sound->All();
  ASSERT_GE(given.size(), 32000u);
  for (size_t n = 0; n < given.size(); ++n) ASSERT_EQ(static_cast<uint16_t>(given[n]), n & 0xFFFF) << n;

  Click(dialog->item(IDC_RECORDINGS_STOP));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP)); }));
  ASSERT_TRUE(PumpUntil([&] { return sound->Get(&FakeOutState::closes) == 1; }));
  EXPECT_EQ(barAt(), 400);

  // Again: from two seconds in.
  Click(dialog->item(IDC_RECORDINGS_PLAY));
  ASSERT_TRUE(PumpUntil([&] { return sound->Get(&FakeOutState::opens) == 2 && !sound->Last().empty(); }));
  EXPECT_EQ(static_cast<uint16_t>(sound->Last()[0]), 32000u);
  // Heard to the end: the bar and the time stand at the end, Stop is done.
  ASSERT_TRUE(PumpUntil([&] {
    sound->Hear(16000);
    return !IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP));
  }));
  EXPECT_EQ(barAt(), 1000);
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_TIME), L"0:05 / 0:05");
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_STATUS), language.Text(L"Recordings_Hint"));
}
