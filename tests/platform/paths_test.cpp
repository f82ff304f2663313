#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

TEST(PathRootLength, FullPathsOfEveryKindAndRelativeOnes) {
  EXPECT_EQ(PathRootLength(L"C:\\"), 3u);
  EXPECT_EQ(PathRootLength(L"C:\\Rec\\Calls"), 3u);
  EXPECT_EQ(PathRootLength(L"C:/Rec"), 3u);
  EXPECT_EQ(PathRootLength(L"\\\\server\\share\\Rec"), 15u);
  EXPECT_EQ(PathRootLength(L"\\\\server\\share"), 14u);
  EXPECT_EQ(PathRootLength(L"/home/ann"), 1u);
  EXPECT_EQ(PathRootLength(L"\\Rec"), 1u);
  // Not full: they would land wherever the current folder is.
  EXPECT_EQ(PathRootLength(L"C:Rec"), 0u);
  EXPECT_EQ(PathRootLength(L"Rec\\Calls"), 0u);
  EXPECT_EQ(PathRootLength(L""), 0u);
  EXPECT_EQ(PathRootLength(L"\\\\server"), 0u);
  EXPECT_EQ(PathRootLength(L"\\\\\\share"), 0u);
  EXPECT_EQ(PathRootLength(L"\\\\server\\\\x"), 0u);
}

TEST(CreateDirectoryTree, MakesEveryMissingLevelAndOnlyFolders) {
  TempDir dir;
  std::wstring deep = dir.path() + L"\\a\\b\\c";
  EXPECT_FALSE(IsDirectory(deep));
  EXPECT_TRUE(CreateDirectoryTree(deep + L"\\\\"));  // trailing separators are no level
  EXPECT_TRUE(IsDirectory(deep));
  EXPECT_TRUE(CreateDirectoryTree(deep));  // already there
  EXPECT_TRUE(CreateDirectoryTree(dir.path() + L"\\a\\x"));
  EXPECT_TRUE(IsDirectory(dir.path() + L"\\a\\x"));

  // A file in the way: neither it nor anything under it becomes a folder.
  ASSERT_TRUE(WriteFileBytes(dir.file(L"file"), "x"));
  EXPECT_FALSE(CreateDirectoryTree(dir.file(L"file")));
  EXPECT_FALSE(CreateDirectoryTree(dir.file(L"file") + L"\\sub\\deeper"));
  EXPECT_FALSE(IsDirectory(dir.file(L"file")));
  EXPECT_EQ(ReadFileBytes(dir.file(L"file")), "x");
  EXPECT_FALSE(CreateDirectoryTree(L"relative\\folder"));
  EXPECT_FALSE(IsDirectory(L"relative"));
}

TEST(FreeSpace, IsAskedForTheFolderItselfAndFailsForAMissingOne) {
  TempDir dir;
  uint64_t bytes = 0;
  ASSERT_TRUE(FreeSpaceOfFolder(dir.path(), bytes));
  EXPECT_GT(bytes, 0u);
  uint64_t withSeparator = 0;
  ASSERT_TRUE(FreeSpaceOfFolder(dir.file(L""), withSeparator));
  EXPECT_GT(withSeparator, 0u);
  bytes = 7;
  EXPECT_FALSE(FreeSpaceOfFolder(dir.file(L"missing"), bytes));

  // Tests answer in place of the platform, and give it back.
  OverrideFreeSpace([](std::wstring_view folder, uint64_t& answer) {
    answer = folder.size();
    return true;
  });
  ASSERT_TRUE(FreeSpaceOfFolder(L"\\\\server\\share\\dir", bytes));
  EXPECT_EQ(bytes, 18u);
  OverrideFreeSpace(nullptr);
  EXPECT_FALSE(FreeSpaceOfFolder(dir.file(L"missing"), bytes));
}
