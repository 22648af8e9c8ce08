// Creating a folder with the folders above it.
#include "base/FolderTree.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"

namespace {

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TEST(FolderTree, CreatesEveryMissingLevelWhateverTheSeparators)
{
    TempFolder root;
    EXPECT_TRUE(CreateFolderTree(root.Path() + L"\\a\\b\\c"));
    EXPECT_TRUE(IsFolder(root.Path() + L"\\a\\b\\c"));
    EXPECT_TRUE(CreateFolderTree(root.Path() + L"/d/e/"));
    EXPECT_TRUE(IsFolder(root.Path() + L"\\d\\e"));
    EXPECT_TRUE(CreateFolderTree(root.Path() + L"\\a\\b\\c\\")) << "an existing folder is no failure";
    EXPECT_TRUE(CreateFolderTreeFor(root.Path() + L"\\f\\g\\file.bin"));
    EXPECT_TRUE(IsFolder(root.Path() + L"\\f\\g"));
    EXPECT_FALSE(IsFolder(root.Path() + L"\\f\\g\\file.bin"));
}

TEST(FolderTree, FailsWhereAFileStandsInTheWay)
{
    TempFolder root;
    ASSERT_TRUE(WriteFileBytes(root.Path() + L"\\blocker", "x"));
    EXPECT_FALSE(CreateFolderTree(root.Path() + L"\\blocker\\below"));
    EXPECT_FALSE(CreateFolderTree(root.Path() + L"\\blocker"));
    EXPECT_FALSE(CreateFolderTree(L""));
    EXPECT_FALSE(CreateFolderTree(L"\\\\"));
}
