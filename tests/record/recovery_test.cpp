#include <gtest/gtest.h>

#include <algorithm>

#include "record/output_name.h"
#include "record/recovery.h"
#include "tests/record/record_test_support.h"

namespace {

// A record folder as a crash leaves it: stream files whose headers were last
// brought up to date some time before the end (or never), and the side file.
class RecoveryTest : public RecordingTest {
 protected:
  std::wstring Output(const std::wstring& partners) const {
    return OutputWaveName(base + kRecoveredMarker, partners);
  }
  void WriteSidecar(const std::string& partners) {
    ASSERT_TRUE(WriteFileBytes(SidecarFileName(base),
                               "Calvoro Record recording\r\nstarted=2011-03-07 09:05:02\r\npartners=" + partners +
                                   "\r\n   "));
  }
  RecoveryReport Recover(bool stereo = false) { return RecoverRecordings(dir.path(), stereo, kFormatWav); }
  std::vector<std::wstring> Names() {
    std::vector<std::wstring> names = FilesInFolder(dir.path());
    std::sort(names.begin(), names.end());
    return names;
  }
};

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

}  // namespace

TEST_F(RecoveryTest, BothFilesAreRepairedMixedAndNamedAsRecoveredWithTheirPartners) {
  std::string out = Samples({20000, -20000, 100}), in = Samples({20000, -20000, 5, 7, 9});
  // Out's header was never updated; In's claims more than the file holds, and
  // In ends in the middle of a sample.
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), Header(1, 0, 0) + out));
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::In), Header(1, 999999, 999963) + in + "\x01"));
  WriteSidecar("alice bob");
  RecoveryReport report = Recover();
  ASSERT_EQ(report.recovered, std::vector<std::wstring>{Output(L"alice bob")});
  EXPECT_TRUE(report.damaged.empty());
  // Summed with clipping, the shorter input padded with silence, the odd byte
  // rounded up to a whole sample.
  EXPECT_EQ(ReadFileBytes(Output(L"alice bob")),
            WaveImage(1, Samples({32767, -32768, 105, 7, 9, 1})));
  EXPECT_EQ(Names(), std::vector<std::wstring>{NameOf(Output(L"alice bob"))});
}

TEST_F(RecoveryTest, StereoAndOneDirectionAloneAndHeaderOnly) {
  std::string out = Samples({1, 2, 3});
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), Header(1, 0, 0) + out));
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::In), Header(1, 0, 0)));
  // No side file (a program that kept none): no partners, still recovered.
  ASSERT_EQ(Recover(true).recovered.size(), 1u);
  EXPECT_EQ(ReadFileBytes(Output(L"")), WaveImage(2, Samples({1, 0, 2, 0, 3, 0})));
  ASSERT_TRUE(RemoveFile(Output(L"")));

  // The In file alone, its header claiming more than it holds: it becomes the
  // recording as it is, with its sizes repaired.
  std::string in = Samples({-5, 6, -7});
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::In), Header(1, 5000, 4964) + in));
  WriteSidecar("carol");
  ASSERT_EQ(Recover().recovered, std::vector<std::wstring>{Output(L"carol")});
  EXPECT_EQ(ReadFileBytes(Output(L"carol")), WaveImage(1, in));

  // A side file without stream files (a crash before they were made) goes.
  WriteSidecar("dave");
  EXPECT_TRUE(Recover().recovered.empty());
  EXPECT_FALSE(FileExists(SidecarFileName(base)));
}

TEST_F(RecoveryTest, DamagedFilesAreKeptAndReportedTheUsableOneIsRecovered) {
  std::string in = Samples({11, 12});
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), Header(1, 0, 0).substr(0, 30)));  // shorter than a header
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::In), Header(1, 0, 0) + in));
  WriteSidecar("erin");
  RecoveryReport report = Recover();
  EXPECT_EQ(report.recovered, std::vector<std::wstring>{Output(L"erin")});
  EXPECT_EQ(report.damaged, std::vector<std::wstring>{StreamName(Direction::Out) + L".damaged"});
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out) + L".damaged"), Header(1, 0, 0).substr(0, 30));
  EXPECT_EQ(ReadFileBytes(Output(L"erin")), WaveImage(1, in));

  // Not a WAV file at all: kept, nothing made, reported once.
  std::string junk(200, 'x');
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::In), junk));
  report = Recover();
  EXPECT_TRUE(report.recovered.empty());
  EXPECT_EQ(report.damaged, std::vector<std::wstring>{StreamName(Direction::In) + L".damaged"});
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::In) + L".damaged"), junk);
  EXPECT_TRUE(Recover().damaged.empty());

  // Empty (killed before its header was written): kept the same way.
  std::wstring empty = dir.file(L"empty_Out.sky");
  ASSERT_TRUE(WriteFileBytes(empty, ""));
  EXPECT_EQ(Recover().damaged, std::vector<std::wstring>{empty + L".damaged"});
  EXPECT_TRUE(FileExists(empty + L".damaged"));
}

TEST_F(RecoveryTest, ARunningRecordingsFilesAreLeftAlone) {
  std::string audio = Samples({1, 2, 3, 4});
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), Header(1, 0, 0) + audio));
  // The running recording holds its side file (here: this process's own).
  RecordingSidecar running;
  ASSERT_TRUE(running.Open(base, L"2011-03-07 09:05:02"));
  running.SetPartners(L"frank");
  EXPECT_TRUE(Recover().recovered.empty());
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), Header(1, 0, 0) + audio);
  // A stream file held by a program that keeps no side file is left alone too.
  {
    File held;
    std::wstring other = dir.file(L"other_In.sky");
    ASSERT_TRUE(WriteFileBytes(other, Header(1, 0, 0) + audio));
    ASSERT_TRUE(held.OpenExisting(other));
    EXPECT_TRUE(Recover().recovered.empty());
    EXPECT_FALSE(FileExists(SidecarFileName(dir.file(L"other"))));
  }
  // Once it has let go (it crashed), its partners name the recovered file.
  running.Close();
  ASSERT_TRUE(FileExists(SidecarFileName(base)));
  RecoveryReport report = Recover();
  EXPECT_EQ(report.recovered.size(), 2u);
  EXPECT_EQ(ReadFileBytes(Output(L"frank")), WaveImage(1, audio));
  EXPECT_TRUE(FileExists(OutputWaveName(dir.file(L"other") + kRecoveredMarker, L"")));
}
