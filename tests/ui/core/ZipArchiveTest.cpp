#include "ui/core/ZipArchive.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

using namespace Veneer;

namespace {

std::string Fixture(const wchar_t* name) { return ReadFileBytes(TestDataPath(std::wstring(L"zip\\") + name)); }

std::unique_ptr<CZipArchive> OpenFixture(const std::string& bytes)
{
    return CZipArchive::OpenMemory(bytes.data(), bytes.size());
}

std::string LogoBytes()
{
    std::string logo;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 256; ++i) logo += static_cast<char>(i);
    }
    return logo;
}

// The whole member through one buffer of exactly its size.
std::string Extract(CZipArchive& archive, const wchar_t* name, ZipResult* result = nullptr)
{
    int index = -1;
    ZipMemberInfo info;
    EXPECT_EQ(kZipOk, archive.FindMember(name, false, index, info)) << name;
    std::string data(info.uncompressedSize, '\0');
    ZipResult got = archive.ExtractToMemory(index, &data[0], data.size());
    if (result) *result = got;
    return data;
}

}  // namespace

TEST(ZipOpen, ReadsTheDirectoryOfAFileAndOfAMemoryBlock)
{
    auto fromFile = CZipArchive::OpenFile(TestDataPath(L"zip\\basic.zip"));
    ASSERT_TRUE(fromFile);
    ZipMemberInfo count;
    EXPECT_EQ(kZipOk, fromFile->GetMember(-1, count));
    EXPECT_EQ(5, count.index);

    std::string bytes = Fixture(L"basic.zip");
    auto fromMemory = OpenFixture(bytes);
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(5, fromMemory->MemberCount());
}

TEST(ZipOpen, ReadsAnArchiveBehindASelfExtractingStub)
{
    std::string plain = Fixture(L"basic.zip");
    std::string stubbed = Fixture(L"sfx.zip");
    auto reference = OpenFixture(plain);
    auto archive = OpenFixture(stubbed);
    ASSERT_TRUE(archive);
    ZipResult result = kZipArgs;
    EXPECT_EQ(Extract(*reference, L"skin.xml"), Extract(*archive, L"skin.xml", &result));
    EXPECT_EQ(kZipOk, result);
    EXPECT_EQ(LogoBytes(), Extract(*archive, L"Images/logo.png"));
}

TEST(ZipOpen, FindsTheEndRecordBehindALongComment)
{
    std::string bytes = Fixture(L"comment.zip");
    auto archive = OpenFixture(bytes);
    ASSERT_TRUE(archive);
    EXPECT_EQ("plain stored text\r\n", Extract(*archive, L"readme.txt"));
}

TEST(ZipOpen, RefusesWhatIsNoReadableArchive)
{
    EXPECT_FALSE(CZipArchive::OpenFile(TestDataPath(L"zip\\missing.zip")));
    EXPECT_FALSE(CZipArchive::OpenFile(TestDataPath(L"zip\\make-archives.py")));
    EXPECT_FALSE(CZipArchive::OpenMemory(nullptr, 0));
    std::string tiny = "PK\x05\x06";
    EXPECT_FALSE(OpenFixture(tiny));
    std::string truncated = Fixture(L"truncated.zip");
    EXPECT_FALSE(OpenFixture(truncated));

    // A second disk, or counts that disagree, mean a multi-volume archive.
    std::string bytes = Fixture(L"basic.zip");
    std::string otherDisk = bytes;
    otherDisk[otherDisk.size() - 22 + 4] = 1;
    EXPECT_FALSE(OpenFixture(otherDisk));
    std::string counts = bytes;
    counts[counts.size() - 22 + 8] = 4;
    EXPECT_FALSE(OpenFixture(counts));
}

TEST(ZipMembers, ReportsNamesSizesAttributesAndCount)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    ASSERT_TRUE(archive);
    ZipMemberInfo info;
    ASSERT_EQ(kZipOk, archive->GetMember(1, info));
    EXPECT_EQ(1, info.index);
    EXPECT_EQ(L"Images/", info.name);
    EXPECT_TRUE(info.attributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_EQ(kZipOk, archive->GetMember(2, info));
    EXPECT_EQ(L"Images/logo.png", info.name);
    EXPECT_EQ(768u, info.uncompressedSize);
    EXPECT_EQ(768u, info.compressedSize);
    EXPECT_FALSE(info.attributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_EQ(kZipOk, archive->GetMember(0, info));
    EXPECT_LT(info.compressedSize, info.uncompressedSize);

    EXPECT_EQ(kZipArgs, archive->GetMember(5, info));
    EXPECT_EQ(kZipArgs, archive->GetMember(-2, info));
}

TEST(ZipMembers, TakesTimesFromTheUnixExtraFieldOverTheDosStamp)
{
    std::string bytes = Fixture(L"times.zip");
    auto archive = OpenFixture(bytes);
    ASSERT_TRUE(archive);
    ZipMemberInfo info;
    ASSERT_EQ(kZipOk, archive->GetMember(0, info));
    SYSTEMTIME time;
    ASSERT_TRUE(FileTimeToSystemTime(&info.writeTime, &time));
    EXPECT_EQ(2023, time.wYear);
    EXPECT_EQ(11, time.wMonth);
    EXPECT_EQ(14, time.wDay);
    EXPECT_EQ(22, time.wHour);
    EXPECT_EQ(13, time.wMinute);

    // Without the extra field the DOS stamp (2024-05-17 10:30 local) holds for all three.
    std::string basic = Fixture(L"basic.zip");
    auto plain = OpenFixture(basic);
    ASSERT_EQ(kZipOk, plain->GetMember(0, info));
    FILETIME local;
    ASSERT_TRUE(FileTimeToLocalFileTime(&info.writeTime, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &time));
    EXPECT_EQ(2024, time.wYear);
    EXPECT_EQ(10, time.wHour);
    EXPECT_EQ(30, time.wMinute);
    EXPECT_EQ(0, CompareFileTime(&info.writeTime, &info.creationTime));
}

TEST(ZipFind, MatchesBackslashesAsSlashesAndFoldsAsciiCaseOnRequest)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    int index = -1;
    ZipMemberInfo info;
    EXPECT_EQ(kZipOk, archive->FindMember(L"images\\LOGO.png", true, index, info));
    EXPECT_EQ(2, index);
    EXPECT_EQ(L"Images/logo.png", info.name);
    EXPECT_EQ(kZipNotFound, archive->FindMember(L"images\\LOGO.png", false, index, info));
    EXPECT_EQ(kZipOk, archive->FindMember(L"Images\\logo.png", false, index, info));
    EXPECT_EQ(kZipNotFound, archive->FindMember(L"logo.png", true, index, info));
    // Letters beyond ASCII are compared as stored.
    EXPECT_EQ(kZipNotFound, archive->FindMember(L"SK\u00CDN.XML", true, index, info));
}

TEST(ZipFind, NamesOf256CharactersOrMoreMatchNothing)
{
    std::string bytes = Fixture(L"long.zip");
    auto archive = OpenFixture(bytes);
    ASSERT_TRUE(archive);
    int index = -1;
    ZipMemberInfo info;
    EXPECT_EQ(kZipOk, archive->FindMember(std::wstring(255, L'a'), false, index, info));
    EXPECT_EQ(0, index);
    EXPECT_EQ(kZipNotFound, archive->FindMember(std::wstring(256, L'b'), false, index, info));
}

TEST(ZipExtract, CopiesStoredAndInflatesDeflatedMembers)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    ZipResult result = kZipArgs;
    EXPECT_EQ(LogoBytes(), Extract(*archive, L"Images/logo.png", &result));
    EXPECT_EQ(kZipOk, result);
    std::string skin = Extract(*archive, L"skin.xml", &result);
    EXPECT_EQ(kZipOk, result);
    EXPECT_EQ(0u, skin.find("<?xml"));
    EXPECT_EQ(skin.size() - 10, skin.find("</Window>\n"));
}

TEST(ZipExtract, ASmallerBufferReportsMoreAndTheNextCallContinues)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    std::string whole = Extract(*archive, L"skin.xml");
    std::string pieces;
    char chunk[100];
    ZipResult result = kZipMore;
    int calls = 0;
    while (result == kZipMore && calls++ < 100) {
        ZipMemberInfo info;
        archive->GetMember(0, info);
        size_t wanted = std::min<size_t>(sizeof chunk, info.uncompressedSize - pieces.size());
        result = archive->ExtractToMemory(0, chunk, sizeof chunk);
        pieces.append(chunk, wanted);
    }
    EXPECT_EQ(kZipOk, result);
    EXPECT_EQ(whole, pieces);

    // After the end, the member starts again from its first byte.
    char first[5] = {};
    EXPECT_EQ(kZipMore, archive->ExtractToMemory(0, first, sizeof first));
    EXPECT_EQ("<?xml", std::string(first, 5));
}

TEST(ZipExtract, ALookupStartsTheNextReadFromTheFirstByte)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    char head[5];
    ASSERT_EQ(kZipMore, archive->ExtractToMemory(0, head, sizeof head));
    int index = -1;
    ZipMemberInfo info;
    ASSERT_EQ(kZipOk, archive->FindMember(L"skin.xml", true, index, info));
    std::string whole(info.uncompressedSize, '\0');
    EXPECT_EQ(kZipOk, archive->ExtractToMemory(index, &whole[0], whole.size()));
    EXPECT_EQ(0u, whole.find("<?xml"));
}

TEST(ZipExtract, ALargerBufferEndsWithTheData)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    std::string buffer(100, '#');
    EXPECT_EQ(kZipOk, archive->ExtractToMemory(3, &buffer[0], buffer.size()));
    EXPECT_EQ("plain stored text\r\n" + std::string(81, '#'), buffer);
}

TEST(ZipExtract, RefusesUnsupportedMethodsAndBadArguments)
{
    std::string bytes = Fixture(L"methods.zip");
    auto archive = OpenFixture(bytes);
    ASSERT_TRUE(archive);
    char buffer[64];
    ZipResult bzip2 = archive->ExtractToMemory(0, buffer, sizeof buffer);
    EXPECT_FALSE(ZipSucceeded(bzip2));
    EXPECT_EQ(kZipCorrupt, bzip2);
    EXPECT_EQ(kZipOk, archive->ExtractToMemory(1, buffer, sizeof buffer));
    EXPECT_EQ(kZipArgs, archive->ExtractToMemory(2, buffer, sizeof buffer));
    EXPECT_EQ(kZipArgs, archive->ExtractToMemory(-1, buffer, sizeof buffer));
    EXPECT_EQ(kZipArgs, archive->ExtractToMemory(1, nullptr, 10));
}

TEST(ZipDamage, DataBeyondTheStatedSizeIsNeverWritten)
{
    std::string bytes = Fixture(L"oversize.zip");
    auto archive = OpenFixture(bytes);
    ASSERT_TRUE(archive);
    for (int index = 0; index < 2; ++index) {
        std::string buffer(300, '#');
        EXPECT_EQ(kZipOk, archive->ExtractToMemory(index, &buffer[0], buffer.size())) << index;
        EXPECT_EQ(std::string(200, '#'), buffer.substr(100)) << index;
    }
}

TEST(ZipDamage, TruncatedShortAndGarbledDataFailWithCodes)
{
    struct Case {
        const wchar_t* file;
        ZipResult expected;
    } cases[] = {{L"cutdata.zip", kZipCorrupt}, {L"short.zip", kZipCorrupt}, {L"garbage.zip", kZipInflate}};
    for (const Case& c : cases) {
        std::string bytes = Fixture(c.file);
        auto archive = OpenFixture(bytes);
        ASSERT_TRUE(archive) << c.file;
        ZipMemberInfo info;
        archive->GetMember(0, info);
        std::string buffer(info.uncompressedSize + 16, '#');
        EXPECT_EQ(c.expected, archive->ExtractToMemory(0, &buffer[0], info.uncompressedSize)) << c.file;
        EXPECT_EQ(std::string(16, '#'), buffer.substr(info.uncompressedSize)) << c.file;
    }
}

TEST(ZipDamage, ALocalHeaderThatDisagreesWithTheDirectoryIsCorrupt)
{
    std::string bytes = Fixture(L"basic.zip");
    std::string wrongMethod = bytes;
    wrongMethod[8] = 0;  // skin.xml's local header says stored, the directory deflated
    auto archive = OpenFixture(wrongMethod);
    char buffer[16];
    EXPECT_EQ(kZipCorrupt, archive->ExtractToMemory(0, buffer, sizeof buffer));
    std::string wrongSignature = bytes;
    wrongSignature[0] = 'X';
    archive = OpenFixture(wrongSignature);
    EXPECT_EQ(kZipCorrupt, archive->ExtractToMemory(0, buffer, sizeof buffer));
}

TEST(ZipClose, AClosedArchiveAnswersNoFile)
{
    std::string bytes = Fixture(L"basic.zip");
    auto archive = OpenFixture(bytes);
    archive->Close();
    int index = -1;
    ZipMemberInfo info;
    char buffer[4];
    EXPECT_EQ(kZipNoFile, archive->FindMember(L"skin.xml", true, index, info));
    EXPECT_EQ(kZipNoFile, archive->GetMember(0, info));
    EXPECT_EQ(kZipNoFile, archive->ExtractToMemory(0, buffer, sizeof buffer));
}
