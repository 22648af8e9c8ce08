#include "tool/RegularFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

std::string ReadThrough(HANDLE file)
{
    std::string bytes(64, '\0');
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

void WriteThrough(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

TEST(RegularFile, OpensANewFileOrKeepsOrEmptiesAnExistingOne)
{
    TempFolder folder;
    std::wstring path = folder.Path() + L"\\out.bin";
    {
        UniqueFileHandle file = OpenRegularFile(path, true);
        ASSERT_TRUE(file.Valid());
        WriteThrough(file.Get(), "partial");
    }
    {
        UniqueFileHandle file = OpenRegularFile(path, true);
        ASSERT_TRUE(file.Valid());
        EXPECT_EQ("partial", ReadThrough(file.Get()));
        EXPECT_EQ("partial", ReadFileBytes(path)) << "others may read while it is open";
    }
    UniqueFileHandle emptied = OpenRegularFile(path, false);
    ASSERT_TRUE(emptied.Valid());
    EXPECT_EQ("", ReadThrough(emptied.Get()));
}

TEST(RegularFile, ASecondHardLinkInItsPlaceIsRemovedAndTheOtherNameKeepsItsBytes)
{
    // A link planted where the elevated installer writes would make it overwrite the
    // file the link names.
    TempFolder folder;
    std::wstring precious = folder.Path() + L"\\precious.dll";
    std::wstring path = folder.Path() + L"\\vantelo-download.exe";
    ASSERT_TRUE(WriteFileBytes(precious, "system file"));
    ASSERT_TRUE(CreateHardLinkW(path.c_str(), precious.c_str(), nullptr));
    for (bool keep : {true, false}) {
        UniqueFileHandle file = OpenRegularFile(path, keep);
        ASSERT_TRUE(file.Valid());
        EXPECT_EQ("", ReadThrough(file.Get())) << "a new file, not the linked one";
        WriteThrough(file.Get(), "download");
        file.Reset();
        EXPECT_EQ("system file", ReadFileBytes(precious));
        EXPECT_EQ("download", ReadFileBytes(path));
        DeleteFileW(path.c_str());
        ASSERT_TRUE(CreateHardLinkW(path.c_str(), precious.c_str(), nullptr));
    }
    std::string bytes;
    EXPECT_FALSE(ReadRegularFile(path, 1024, bytes)) << "read through a second name: no";
    EXPECT_FALSE(FileExistsW(path)) << "and the name is removed";
    EXPECT_TRUE(ReplaceRegularFile(path, "state"));
    EXPECT_EQ("state", ReadFileBytes(path));
    EXPECT_EQ("system file", ReadFileBytes(precious));
}

TEST(RegularFile, AFolderLinkInItsPlaceIsNeverWrittenThrough)
{
    // The fixture made links/folder-link and links/state-link -> links/target on the
    // host. Wine shows such a link as a folder with FILE_ATTRIBUTE_REPARSE_POINT but
    // cannot remove it (RemoveDirectoryW goes to the folder it names and fails, 145):
    // the open fails, nothing is written, the folder keeps its files. Windows'
    // RemoveDirectoryW removes a junction or folder link itself.
    std::wstring links = BuildPath(L"tests\\tool\\download-server\\links");
    for (const wchar_t* name : {L"\\folder-link", L"\\state-link"}) {
        std::wstring link = links + name;
        DWORD attributes = GetFileAttributesW(link.c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << "the download_server fixture makes the link";
        ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        UniqueFileHandle file = OpenRegularFile(link, true);
        if (file.Valid()) {
            // Where the link could be removed, a new file stands in its place.
            EXPECT_EQ(0u, GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
            continue;
        }
        EXPECT_FALSE(ReplaceRegularFile(link, "state"));
        EXPECT_EQ("inside the target", ReadFileBytes(links + L"\\target\\kept.txt"));
        EXPECT_FALSE(FileExistsW(link + L".new")) << "no temporary file is left";
    }
}

TEST(RegularFile, AFolderThatIsNoLinkIsLeftAloneAndTheOpenFails)
{
    TempFolder folder;
    std::wstring path = folder.Path() + L"\\out.bin";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(path + L"\\inside.txt", "kept"));
    EXPECT_FALSE(OpenRegularFile(path, true).Valid());
    EXPECT_EQ("kept", ReadFileBytes(path + L"\\inside.txt"));
}
