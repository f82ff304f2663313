#include <gtest/gtest.h>

#include <algorithm>

#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace {
class FileTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearFileFaults(); }
  TempDir dir;
  std::wstring path = dir.file(L"a.sky");
};
}  // namespace

TEST_F(FileTest, CreateReplacesOpenExistingKeepsAndBothReadWriteSeek) {
  ASSERT_TRUE(WriteFileBytes(path, "old contents"));
  File file;
  ASSERT_TRUE(file.Create(path));
  uint64_t size = 99;
  ASSERT_TRUE(file.Size(size));
  EXPECT_EQ(size, 0u);
  ASSERT_TRUE(file.Write("hello world", 11));
  ASSERT_TRUE(file.Seek(6));
  ASSERT_TRUE(file.Write("WORLD", 5));
  ASSERT_TRUE(file.Flush());
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), "hello WORLD");

  ASSERT_TRUE(file.OpenExisting(path));
  char buffer[64] = {};
  size_t got = 0;
  ASSERT_TRUE(file.Seek(6));
  ASSERT_TRUE(file.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "WORLD");
  ASSERT_TRUE(file.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);  // the end
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), "hello WORLD");
  EXPECT_FALSE(file.OpenExisting(dir.file(L"missing.sky")));
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileTest, AnOpenFileIsNotShared) {
  File first, second;
  ASSERT_TRUE(first.Create(path));
  ASSERT_TRUE(first.Write("keep", 4));
  EXPECT_FALSE(second.OpenExisting(path));
  // A create while it is held neither succeeds nor empties it.
  EXPECT_FALSE(second.Create(path));
  first.Close();
  EXPECT_EQ(ReadFileBytes(path), "keep");
  EXPECT_TRUE(second.OpenExisting(path));
}

TEST_F(FileTest, MoveNeverReplacesAndRemoveDeletes) {
  std::wstring other = dir.file(L"b.wav");
  ASSERT_TRUE(WriteFileBytes(path, "source"));
  ASSERT_TRUE(WriteFileBytes(other, "target"));
  EXPECT_FALSE(MoveFileNoReplace(path, other));
  EXPECT_EQ(ReadFileBytes(other), "target");
  EXPECT_TRUE(RemoveFile(other));
  EXPECT_FALSE(FileExists(other));
  EXPECT_FALSE(RemoveFile(other));
  EXPECT_TRUE(MoveFileNoReplace(path, other));
  EXPECT_FALSE(FileExists(path));
  uint64_t size = 0;
  EXPECT_TRUE(QueryFileSize(other, size));
  EXPECT_EQ(size, 6u);
  EXPECT_FALSE(QueryFileSize(path, size));
  EXPECT_FALSE(QueryFileSize(dir.path(), size));  // a folder is not a file
}

TEST_F(FileTest, InjectedFaultsHitTheNthMatchingOperationOnly) {
  InjectFileFault({FileOp::Write, L"a.sky", 2});
  File file, other;
  ASSERT_TRUE(file.Create(path));
  ASSERT_TRUE(other.Create(dir.file(L"b.sky")));
  EXPECT_TRUE(other.Write("x", 1));  // another path: not counted
  EXPECT_TRUE(file.Write("1", 1));
  EXPECT_TRUE(file.Write("2", 1));
  EXPECT_FALSE(file.Write("3", 1));
  EXPECT_TRUE(file.Write("4", 1));  // not persistent
  EXPECT_EQ(FiredFileFaults(), 1);
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), "124");

  ClearFileFaults();
  InjectFileFault({FileOp::Create, L"", 0, true});
  EXPECT_FALSE(file.Create(path));
  EXPECT_FALSE(file.Create(dir.file(L"c.sky")));
  EXPECT_EQ(FiredFileFaults(), 2);
  EXPECT_EQ(ReadFileBytes(path), "124");  // a refused create empties nothing

  ClearFileFaults();
  InjectFileFault({FileOp::Move, L"a.sky"});
  InjectFileFault({FileOp::Remove, L"a.sky"});
  EXPECT_FALSE(MoveFileNoReplace(path, dir.file(L"d.wav")));
  EXPECT_FALSE(RemoveFile(path));
  EXPECT_TRUE(FileExists(path));
}

TEST(FolderListing, NamesSizesTimesAndFoldersInOnePass) {
  TempDir dir;
  const std::wstring unicode = L"2026年12月09日 21时30分05秒(王小明).wav";
  ASSERT_TRUE(WriteFileBytes(dir.file(unicode), std::string(1234, 'x')));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"empty"), ""));
  ASSERT_TRUE(CreateDirectoryOneLevel(dir.file(L"sub")));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"sub\\inner.wav"), "not listed"));
  // A time before 2001 and one past 2038, which a 32-bit count would lose.
  ASSERT_TRUE(SetFileModified(dir.file(unicode), 978307200));
  ASSERT_TRUE(SetFileModified(dir.file(L"empty"), 4102444800));
  EXPECT_FALSE(SetFileModified(dir.file(L"missing"), 978307200));

  std::vector<FolderEntry> entries = FolderEntriesOf(dir.path());
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 3u);  // no "." or ".."
  EXPECT_EQ(entries[0].name, unicode);
  EXPECT_EQ(entries[0].size, 1234u);
  EXPECT_EQ(entries[0].modified, 978307200);
  EXPECT_FALSE(entries[0].directory);
  EXPECT_EQ(entries[1].name, L"empty");
  EXPECT_EQ(entries[1].size, 0u);
  EXPECT_EQ(entries[1].modified, 4102444800);
  EXPECT_EQ(entries[2].name, L"sub");
  EXPECT_TRUE(entries[2].directory);
  // Both separators lead to the folder; a missing one lists nothing.
  EXPECT_EQ(FolderEntriesOf(dir.path() + L"\\").size(), 3u);
  EXPECT_TRUE(FolderEntriesOf(dir.file(L"missing")).empty());
}
