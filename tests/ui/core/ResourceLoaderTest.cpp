#include "ui/core/ResourceLoader.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "ui/core/WindowManager.h"
#include "ui/core/ZipArchive.h"

using namespace Veneer;

namespace {

std::wstring ZipFolder() { return TestDataPath(L"zip") + L"\\"; }

std::string Fixture(const wchar_t* name) { return ReadFileBytes(ZipFolder() + name); }

// Leaves any archive mode, so each test states the location it reads from.
void UseFolder(const std::wstring& folder)
{
    CWindowManagerUI::SetResourceArchive(L"", true);
    CWindowManagerUI::SetResourceFolder(folder);
}

void UseArchiveFile(const wchar_t* name, bool keepOpen)
{
    UseFolder(ZipFolder());
    CWindowManagerUI::SetResourceArchive(name, keepOpen);
}

// Blocks handed to the framework must outlive every later load.
const std::string& Block(const wchar_t* name)
{
    static std::string basic = Fixture(L"basic.zip");
    static std::string language = Fixture(L"language.zip");
    return std::wstring(name) == L"basic.zip" ? basic : language;
}

void UseArchiveMemory(const wchar_t* name, bool keepOpen)
{
    UseFolder(L"");
    CWindowManagerUI::SetResourceArchive(L"", keepOpen);
    CWindowManagerUI::SetResourceArchiveMemory(Block(name).data(), Block(name).size());
}

std::wstring LoadError(const std::wstring& name)
{
    std::string bytes = "stale";
    std::wstring error;
    bool ok = LoadMarkupBytes(name, bytes, error);
    EXPECT_EQ(ok, error.empty());
    if (!ok) {
        EXPECT_TRUE(bytes.empty());
    }
    return ok ? L"ok" : error;
}

}  // namespace

TEST(ResourceSettings, TheFolderAlwaysEndsWithASeparator)
{
    CWindowManagerUI::SetResourceFolder(L"C:\\skins");
    EXPECT_EQ(L"C:\\skins\\", CWindowManagerUI::ResourceFolder());
    CWindowManagerUI::SetResourceFolder(L"C:/skins/");
    EXPECT_EQ(L"C:/skins/", CWindowManagerUI::ResourceFolder());
    CWindowManagerUI::SetResourceFolder(L"");
    EXPECT_EQ(L"", CWindowManagerUI::ResourceFolder());
}

TEST(ResourceSettings, TheModuleFolderIsTheModulePathUpToItsLastBackslash)
{
    CWindowManagerUI::SetModuleHandle(nullptr);
    EXPECT_EQ(L"", CWindowManagerUI::ModuleFolder());
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    std::wstring self = SelfPath();
    EXPECT_EQ(self.substr(0, self.rfind(L'\\') + 1), CWindowManagerUI::ModuleFolder());
    EXPECT_EQ(GetModuleHandleW(nullptr), CWindowManagerUI::ModuleHandle());
}

TEST(ResourceSettings, TheSameArchiveSettingTwiceKeepsTheOpenArchive)
{
    UseArchiveFile(L"basic.zip", true);
    CZipArchive* kept = CWindowManagerUI::KeptResourceArchive();
    ASSERT_NE(nullptr, kept);
    CWindowManagerUI::SetResourceArchive(L"basic.zip", true);
    EXPECT_EQ(kept, CWindowManagerUI::KeptResourceArchive());
    CWindowManagerUI::SetResourceArchive(L"basic.zip", false);
    EXPECT_EQ(nullptr, CWindowManagerUI::KeptResourceArchive());
    EXPECT_FALSE(CWindowManagerUI::KeepsResourceArchiveOpen());
    CWindowManagerUI::SetResourceArchive(L"missing.zip", true);
    EXPECT_EQ(nullptr, CWindowManagerUI::KeptResourceArchive());
}

TEST(ResourceSettings, ASecondMemoryBlockKeepsTheFirst)
{
    UseArchiveMemory(L"basic.zip", true);
    EXPECT_EQ(L"membuffer", CWindowManagerUI::ResourceArchiveName());
    CZipArchive* kept = CWindowManagerUI::KeptResourceArchive();
    ASSERT_NE(nullptr, kept);
    CWindowManagerUI::SetResourceArchiveMemory(Block(L"language.zip").data(), Block(L"language.zip").size());
    EXPECT_EQ(kept, CWindowManagerUI::KeptResourceArchive());
    EXPECT_EQ(L"ok", LoadError(L"skin.xml"));
    EXPECT_EQ(L"Could not find ziped file", LoadError(L"language.ini"));
}

TEST(MarkupFromFolder, ReadsFilesUpToFourMebibytes)
{
    TempFolder folder;
    UseFolder(folder.Path());
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\skin.xml", "<Window/>"));
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\exact.xml", std::string(kMaxMarkupBytes, 'x')));
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\over.xml", std::string(kMaxMarkupBytes + 1, 'x')));
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\empty.xml", ""));

    std::string bytes;
    std::wstring error;
    EXPECT_TRUE(LoadMarkupBytes(L"skin.xml", bytes, error));
    EXPECT_EQ("<Window/>", bytes);
    EXPECT_TRUE(LoadMarkupBytes(L"exact.xml", bytes, error));
    EXPECT_EQ(kMaxMarkupBytes, bytes.size());
    EXPECT_EQ(L"File too large", LoadError(L"over.xml"));
    EXPECT_EQ(L"File is empty", LoadError(L"empty.xml"));
    EXPECT_EQ(L"Error opening file", LoadError(L"missing.xml"));
}

TEST(MarkupFromArchiveFile, FindsMembersWhateverTheSeparatorAndCase)
{
    for (bool keepOpen : {true, false}) {
        UseArchiveFile(L"basic.zip", keepOpen);
        std::string bytes;
        std::wstring error;
        EXPECT_TRUE(LoadMarkupBytes(L"SKIN.xml", bytes, error)) << keepOpen;
        EXPECT_EQ(0u, bytes.find("<?xml")) << keepOpen;
        EXPECT_TRUE(LoadMarkupBytes(L"images\\LOGO.PNG", bytes, error)) << keepOpen;
        EXPECT_EQ(768u, bytes.size());
        EXPECT_EQ(L"Could not find ziped file", LoadError(L"home.xml")) << keepOpen;
        EXPECT_EQ(L"File is empty", LoadError(L"empty.xml")) << keepOpen;
    }
}

TEST(MarkupFromArchiveFile, TheSizeLimitAppliesToTheUncompressedMember)
{
    UseArchiveFile(L"limits.zip", true);
    std::string bytes;
    std::wstring error;
    EXPECT_TRUE(LoadMarkupBytes(L"exact.bin", bytes, error));
    ASSERT_EQ(kMaxMarkupBytes, bytes.size());
    // The fixture's bytes follow (i * 7 + i / 4096) mod 251.
    for (size_t i : {size_t(0), size_t(123457), kMaxMarkupBytes - 1}) {
        EXPECT_EQ(static_cast<unsigned char>((i * 7 + (i >> 12)) % 251), static_cast<unsigned char>(bytes[i])) << i;
    }
    EXPECT_EQ(L"File too large", LoadError(L"over.bin"));
}

TEST(MarkupFromArchiveFile, UnsupportedMethodsAndMissingArchivesFail)
{
    UseArchiveFile(L"methods.zip", true);
    EXPECT_EQ(L"Could not unzip file", LoadError(L"bzip2.xml"));
    EXPECT_EQ(L"ok", LoadError(L"fine.xml"));
    UseArchiveFile(L"garbage.zip", false);
    EXPECT_EQ(L"Could not unzip file", LoadError(L"garbage.xml"));
    for (bool keepOpen : {true, false}) {
        UseArchiveFile(L"missing.zip", keepOpen);
        EXPECT_EQ(L"Error opening zip file", LoadError(L"skin.xml")) << keepOpen;
    }
}

TEST(MarkupFromMemory, ReadsTheBlockInPlace)
{
    UseArchiveMemory(L"basic.zip", true);
    std::string bytes;
    std::wstring error;
    EXPECT_TRUE(LoadMarkupBytes(L"readme.txt", bytes, error));
    EXPECT_EQ("plain stored text\r\n", bytes);
}

TEST(MarkupFromMemory, ABlockThatIsNotKeptOpenIsOpenedForEachLoad)
{
    UseArchiveMemory(L"basic.zip", false);
    EXPECT_EQ(nullptr, CWindowManagerUI::KeptResourceArchive());
    EXPECT_EQ(L"ok", LoadError(L"readme.txt"));
}

TEST(ImageRead, ComesFromTheArchiveThenFromThePathItself)
{
    TempFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\loose.png", "loose"));
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\empty.xml", "from the path"));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));

    UseArchiveFile(L"basic.zip", true);
    std::string bytes;
    EXPECT_TRUE(ReadImageFile(L"IMAGES/logo.png", bytes));
    EXPECT_EQ(768u, bytes.size());
    EXPECT_TRUE(ReadImageFile(L"loose.png", bytes));
    EXPECT_EQ("loose", bytes);
    // An empty member gives nothing from the archive.
    EXPECT_TRUE(ReadImageFile(L"empty.xml", bytes));
    EXPECT_EQ("from the path", bytes);
    EXPECT_FALSE(ReadImageFile(L"nowhere.png", bytes));
    EXPECT_TRUE(bytes.empty());

    UseFolder(ZipFolder());
    EXPECT_TRUE(ReadImageFile(L"basic.zip", bytes));
    EXPECT_EQ(Fixture(L"basic.zip"), bytes);
    EXPECT_TRUE(ReadImageFile(folder.Path() + L"\\loose.png", bytes));
    SetCurrentDirectoryW(previous);
}

TEST(Unpack, CreatesFoldersBeforeTheFilesInThem)
{
    TempFolder folder;
    const std::wstring target = folder.Path() + L"\\a\\language";
    const std::string& archive = Block(L"language.zip");
    EXPECT_TRUE(UnpackArchiveToFolder(archive.data(), archive.size(), target));
    EXPECT_EQ("[Language]\r\n1033=English\r\n", ReadFileBytes(target + L"\\language.ini"));
    DWORD english = GetFileAttributesW((target + L"\\English").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, english);
    EXPECT_TRUE(english & FILE_ATTRIBUTE_DIRECTORY);
    std::string text = ReadFileBytes(target + L"\\English\\text.ini");
    EXPECT_EQ(std::string("\xFF\xFE[\0", 4), text.substr(0, 4));
    // A member without data counts as a folder.
    DWORD empty = GetFileAttributesW((target + L"\\English\\empty.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, empty);
    EXPECT_TRUE(empty & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Unpack, ASecondRunOverwritesEditedFiles)
{
    TempFolder folder;
    const std::string& archive = Block(L"language.zip");
    UnpackArchiveToFolder(archive.data(), archive.size(), folder.Path() + L"\\");
    ASSERT_TRUE(WriteFileBytes(folder.Path() + L"\\language.ini", "[Language]\r\n1033=Edited, and longer than before\r\n"));
    UnpackArchiveToFolder(archive.data(), archive.size(), folder.Path());
    EXPECT_EQ("[Language]\r\n1033=English\r\n", ReadFileBytes(folder.Path() + L"\\language.ini"));
}

TEST(Unpack, MembersThatWouldLeaveTheFolderAreSkipped)
{
    TempFolder outer;
    const std::wstring target = outer.Path() + L"\\inner\\target";
    CreateDirectoryW((outer.Path() + L"\\inner").c_str(), nullptr);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(outer.Path().c_str());

    std::string archive = Fixture(L"escape.zip");
    EXPECT_TRUE(UnpackArchiveToFolder(archive.data(), archive.size(), target));
    EXPECT_EQ("good", ReadFileBytes(target + L"\\good.txt"));
    for (const wchar_t* name : {L"escaped-parent.txt", L"escaped-back.txt", L"escaped-deep.txt",
                                L"escaped-drive.txt", L"escaped-blank.txt"}) {
        EXPECT_FALSE(FileExistsW(outer.Path() + L"\\inner\\" + name)) << name;
        EXPECT_FALSE(FileExistsW(outer.Path() + L"\\" + name)) << name;
        EXPECT_FALSE(FileExistsW(std::wstring(L"C:\\") + name)) << name;
    }
    EXPECT_FALSE(FileExistsW(L"\\escaped-root.txt"));
    EXPECT_FALSE(FileExistsW(L"\\escaped-root2.txt"));
    EXPECT_FALSE(FileExistsW(target + L"\\.. \\escaped-blank.txt"));
    SetCurrentDirectoryW(previous);
}

TEST(Unpack, AnUnreadableArchiveLeavesOnlyTheFolder)
{
    TempFolder folder;
    const std::wstring target = folder.Path() + L"\\language";
    std::string archive = Fixture(L"truncated.zip");
    EXPECT_TRUE(UnpackArchiveToFolder(archive.data(), archive.size(), target));
    EXPECT_TRUE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((target + L"\\*").c_str(), &data);
    int entries = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            ++entries;
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    EXPECT_EQ(2, entries) << "only . and ..";
    EXPECT_TRUE(UnpackArchiveToFolder(nullptr, 0, target));
}

TEST(Unpack, NoFolderMeansNothingIsWritten)
{
    // Without the guard the members would land in the root of the current drive.
    TempFolder folder;
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.Path().c_str());
    const std::string& archive = Block(L"language.zip");
    EXPECT_TRUE(UnpackArchiveToFolder(archive.data(), archive.size(), L""));
    EXPECT_FALSE(FileExistsW(L"\\language.ini"));
    EXPECT_FALSE(FileExistsW(L"\\English"));
    SetCurrentDirectoryW(previous);
}

TEST(Unpack, DamagedMembersAreNotWritten)
{
    TempFolder folder;
    std::string archive = Fixture(L"short.zip");
    EXPECT_TRUE(UnpackArchiveToFolder(archive.data(), archive.size(), folder.Path()));
    EXPECT_FALSE(FileExistsW(folder.Path() + L"\\short.xml"));
}
