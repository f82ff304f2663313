#include "record/retention.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/recycle_bin.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#include <stdlib.h>
#endif

namespace {

constexpr int64_t kNow = 1800000000;  // 2027-01-15
constexpr int64_t kDay = 86400;
const std::wstring kOld = L"2026年10月01日 09时00分00秒";
const std::wstring kNew = L"2027年01月14日 09时00分00秒";
const std::wstring kBusy = L"2026年10月02日 09时00分00秒";

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// A recycle bin of the test's own: a folder the files are moved into, and
// the batches it was handed.
class RetentionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryOneLevel(bin.path() + L"/bin"));
    OverrideRecycleBin([this](const std::vector<std::wstring>& paths) {
      batches.push_back(paths);
      bool all = true;
      for (const std::wstring& path : paths) {
        if (!refuse.empty() && path.find(refuse) != std::wstring::npos) {
          all = false;
          continue;
        }
        all = MoveFileNoReplace(path, bin.file(L"bin/" + NameOf(path))) && all;
      }
      return all;
    });
  }
  void TearDown() override {
    OverrideRecycleBin(nullptr);
    ClearFileFaults();
  }

  void Make(const std::wstring& name, int64_t modified) {
    ASSERT_TRUE(WriteFileBytes(dir.file(name), "bytes of " + std::to_string(name.size())));
    ASSERT_TRUE(SetFileModified(dir.file(name), modified));
  }
  bool InBin(const std::wstring& name) { return FileExists(bin.file(L"bin/" + name)); }

  TempDir dir, bin;
  std::vector<std::vector<std::wstring>> batches;
  std::wstring refuse;  // a file the bin does not take
};

}  // namespace

TEST_F(RetentionTest, OnlyOldFilesOfTheRecordersNamesGo) {
  const int64_t old = kNow - 40 * kDay;
  Make(kOld + L"(alice).wav", old);
  Make(kOld + L"(alice).mp3", old);
  Make(kOld + L" (recovered)(bob).opus", kNow - 30 * kDay - 1);  // a second past the limit
  Make(kOld + L" (2)(carol).wav", kNow - 30 * kDay);            // exactly at it: kept
  Make(kNew + L"(alice).wav", kNow - kDay);
  // An old WAV whose MP3 was made again yesterday: the recording is young.
  Make(kOld + L"(erin).wav", old);
  Make(kOld + L"(erin).mp3", kNow - kDay);
  Make(L"notes.wav", old);
  Make(kOld + L"(alice).txt", old);
  Make(kOld + L"(alice).wav.bak", old);
  // A recording still being written (its side file stands beside it).
  Make(kBusy + L"(dave).wav", old);
  Make(kBusy + L".rec", old);
  Make(kBusy + L"_Out.sky", old);
  ASSERT_TRUE(CreateDirectoryOneLevel(dir.file(kOld + L"(folder).wav")));
  ASSERT_TRUE(SetFileModified(dir.file(kOld + L"(folder).wav"), old));

  std::vector<std::wstring> expired = ExpiredRecordingFiles(FolderEntriesOf(dir.path()), dir.path(), 30, kNow);
  std::vector<std::wstring> names;
  for (const std::wstring& path : expired) names.push_back(NameOf(path));
  std::sort(names.begin(), names.end());
  std::vector<std::wstring> expected = {kOld + L" (recovered)(bob).opus", kOld + L"(alice).mp3",
                                        kOld + L"(alice).wav"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  for (const std::wstring& path : expired) EXPECT_TRUE(FileExists(path)) << testing::PrintToString(path);

  EXPECT_TRUE(ExpiredRecordingFiles(FolderEntriesOf(dir.path()), dir.path(), 0, kNow).empty());
  EXPECT_TRUE(ExpiredRecordingFiles(FolderEntriesOf(dir.path()), dir.path(), -5, kNow).empty());
  RetentionResult none = ApplyRetention(dir.path(), 0, kNow);
  EXPECT_EQ(none.removed + none.failed, 0u);
  EXPECT_TRUE(batches.empty());

  RetentionResult result = ApplyRetention(dir.path(), 30, kNow);
  EXPECT_EQ(result.removed, 2u);  // alice's two files are one recording
  EXPECT_EQ(result.failed, 0u);
  for (const std::wstring& name : expected) {
    EXPECT_FALSE(FileExists(dir.file(name)));
    EXPECT_TRUE(InBin(name));
  }
  for (const std::wstring& kept : {kOld + L" (2)(carol).wav", kNew + L"(alice).wav", kOld + L"(erin).wav",
                                   kOld + L"(erin).mp3", std::wstring(L"notes.wav"),
                                   kOld + L"(alice).txt", kOld + L"(alice).wav.bak", kBusy + L"(dave).wav",
                                   kBusy + L".rec", kBusy + L"_Out.sky"})
    EXPECT_EQ(ReadFileBytes(dir.file(kept)), "bytes of " + std::to_string(kept.size()))
        << testing::PrintToString(kept);
  EXPECT_TRUE(IsDirectory(dir.file(kOld + L"(folder).wav")));

  // Once the recording is finished, its side files gone, it expires too.
  ASSERT_TRUE(RemoveFile(dir.file(kBusy + L".rec")));
  ASSERT_TRUE(RemoveFile(dir.file(kBusy + L"_Out.sky")));
  result = ApplyRetention(dir.path(), 30, kNow);
  EXPECT_EQ(result.removed, 1u);
  EXPECT_TRUE(InBin(kBusy + L"(dave).wav"));
}

TEST_F(RetentionTest, FilesTheBinRefusesStayAndCountAsFailed) {
  const int64_t old = kNow - 100 * kDay;
  Make(kOld + L"(alice).wav", old);
  Make(kOld + L"(alice).mp3", old);
  Make(kOld + L"(bob).wav", old);
  refuse = L"(alice).mp3";
  RetentionResult result = ApplyRetention(dir.path(), 7, kNow);
  EXPECT_EQ(result.removed, 1u);
  EXPECT_EQ(result.failed, 1u);
  EXPECT_TRUE(FileExists(dir.file(kOld + L"(alice).mp3")));
  EXPECT_TRUE(InBin(kOld + L"(bob).wav"));
}

TEST_F(RetentionTest, AFullFolderGoesInBatchesThatKeepARecordingTogether) {
  const int64_t old = kNow - 400 * kDay;
  for (int i = 0; i < 100; ++i) {
    std::wstring stem = L"2026年01月01日 10时" + std::to_wstring(10 + i / 60) + L"分" +
                        (i % 60 < 10 ? L"0" : L"") + std::to_wstring(i % 60) + L"秒(p" + std::to_wstring(i) + L")";
    Make(stem + L".wav", old);
    Make(stem + L".mp3", old);
  }
  RetentionResult result = ApplyRetention(dir.path(), 1, kNow);
  EXPECT_EQ(result.removed, 100u);
  EXPECT_EQ(result.failed, 0u);
  ASSERT_GE(batches.size(), 4u);
  size_t files = 0;
  for (const auto& batch : batches) {
    EXPECT_LE(batch.size(), 64u);
    EXPECT_EQ(batch.size() % 2, 0u);  // both files of each recording
    files += batch.size();
  }
  EXPECT_EQ(files, 200u);
  EXPECT_TRUE(FolderEntriesOf(dir.path()).empty());
}

TEST(Clock, UnixTimeNowIsTheFilesClock) {
  TempDir dir;
  int64_t before = UnixTimeNow();
  ASSERT_TRUE(WriteFileBytes(dir.file(L"now.wav"), "x"));
  std::vector<FolderEntry> entries = FolderEntriesOf(dir.path());
  ASSERT_EQ(entries.size(), 1u);
  // The file system's time and the clock agree to within a few seconds (file
  // systems round their times).
  EXPECT_GE(entries[0].modified, before - 5);
  EXPECT_LE(entries[0].modified, UnixTimeNow() + 5);
  EXPECT_GT(before, 1700000000);
}

#ifdef _WIN32
namespace {

using UnixNameOf = char*(__cdecl*)(const wchar_t*);

UnixNameOf WineUnixNames() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<UnixNameOf>(GetProcAddress(kernel, "wine_get_unix_file_name")) : nullptr;
}

std::wstring UnixPathOf(const std::wstring& path) {
  char* unix = WineUnixNames()(path.c_str());
  if (!unix) return std::wstring();
  std::wstring wide;
  int n = MultiByteToWideChar(CP_UTF8, 0, unix, -1, nullptr, 0);
  wide.resize(n > 0 ? n - 1 : 0);
  MultiByteToWideChar(CP_UTF8, 0, unix, -1, &wide[0], n);
  HeapFree(GetProcessHeap(), 0, unix);
  return wide;
}

// wine's shell reads the variable through the C library, this program's
// guard through the system: both are set.
void SetDataHome(const std::wstring& unixPath) {
  SetEnvironmentVariableW(L"XDG_DATA_HOME", unixPath.c_str());
  _wputenv_s(L"XDG_DATA_HOME", unixPath.c_str());
}

}  // namespace

TEST(WineRecycleBin, AFileGoesIntoTheTrashAndNeverAway) {
  if (!WineUnixNames()) GTEST_SKIP() << "the real Recycle Bin is left alone outside wine";
  TempDir dir;
  const std::wstring name = L"2026年10月01日 09时00分00秒(王小明 alice).wav";
  const std::wstring path = dir.file(name);
  ASSERT_TRUE(WriteFileBytes(path, "the recording's bytes"));

  // No trash can be made below a plain file: the file stays, nothing asks.
  ASSERT_TRUE(WriteFileBytes(dir.file(L"blocker"), "x"));
  SetDataHome(UnixPathOf(dir.file(L"blocker")));
  EXPECT_FALSE(MoveToRecycleBin({path}, nullptr));
  EXPECT_EQ(ReadFileBytes(path), "the recording's bytes");

  ASSERT_TRUE(CreateDirectoryOneLevel(dir.file(L"data")));
  SetDataHome(UnixPathOf(dir.file(L"data")));
  EXPECT_TRUE(MoveToRecycleBin({path}, nullptr));
  EXPECT_FALSE(FileExists(path));
  // In the trash byte for byte, with the note that lets it be restored.
  EXPECT_EQ(ReadFileBytes(dir.file(L"data\\Trash\\files\\" + name)), "the recording's bytes");
  std::string info = ReadFileBytes(dir.file(L"data\\Trash\\info\\" + name + L".trashinfo"));
  EXPECT_NE(info.find("[Trash Info]"), std::string::npos) << info;
  EXPECT_NE(info.find("Path=/"), std::string::npos) << info;

  // A file that is not there is no success.
  EXPECT_FALSE(MoveToRecycleBin({dir.file(L"missing.wav")}, nullptr));
}
#endif
