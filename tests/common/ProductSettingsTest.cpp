// The product and address settings against the product data this program carries
// (the shipped language archive and domain text are linked into it), against
// missing files, and against small variants written by the tests.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "common/LanguageManager.h"
#include "common/SystemUtil.h"

namespace {

const wchar_t kShippedDownload[] = L"https://download.vantelo.example/pexar/VanteloPexarSetup.exe";
const wchar_t kShippedLicence[] =
    L"https://product.vantelo.example/producturl?key=license_agreement&pid=216&lang=English";
const wchar_t kShippedInstalled[] = L"https://product.vantelo.example/producturl?key=installed&pid=216&lang=English";

void WriteUtf16(const std::wstring& path, const std::wstring& text)
{
    std::wstring crlf;
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(crlf.data()), crlf.size() * sizeof(wchar_t));
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << ToUtf8(path);
}

// The shipped archive unpacked once into a fresh folder, read as an English user.
class ShippedData : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        temp_ = new TempFolder;
        folder_ = temp_->Path() + L"\\language\\";
        LanguageManager::LoadResZipFile(folder_);
    }
    static void TearDownTestSuite()
    {
        delete temp_;
        temp_ = nullptr;
    }
    void SetUp() override
    {
        LanguageManager::SetLanguageIdOverride(L"1033");
        settings_.Init(folder_);
    }
    void TearDown() override { LanguageManager::SetLanguageIdOverride(L""); }

    static TempFolder* temp_;
    static std::wstring folder_;
    LanguageManager settings_;
};

TempFolder* ShippedData::temp_ = nullptr;
std::wstring ShippedData::folder_;

// A language folder written by the test: English only.
class WrittenData : public ::testing::Test {
protected:
    void SetUp() override
    {
        LanguageManager::SetLanguageIdOverride(L"1033");
        folder_ = temp_.Path() + L"\\";
        CreateDirectoryW((folder_ + L"English").c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(folder_ + L"language.ini", "[Language]\r\n1033=English\r\n"));
    }
    void TearDown() override { LanguageManager::SetLanguageIdOverride(L""); }

    void Write(const std::wstring& product, const std::wstring& urls)
    {
        WriteUtf16(folder_ + L"productInfo.ini", L"[PRODUCT]\n" + product);
        WriteUtf16(folder_ + L"English\\UrlInfo.ini", L"[URL]\n" + urls);
        settings_.Init(folder_);
    }

    TempFolder temp_;
    std::wstring folder_;
    LanguageManager settings_;
};

}  // namespace

TEST_F(ShippedData, EveryGetterAnswersTheShippedValue)
{
    EXPECT_EQ(L"English", settings_.GetLanguageName());
    EXPECT_EQ(L"Vantelo Pexar", settings_.GetProductName());
    EXPECT_EQ(L"Vantelo", settings_.GetBrandName());
    EXPECT_EQ(L"#337BDD", settings_.GetLicenseColor());
    EXPECT_EQ(L"Vantelo Pexar", settings_.GetGATitle());
    EXPECT_EQ(L"Pexar.exe", settings_.GetExeName());
    EXPECT_EQ(L"Vantelo\\Vantelo Pexar\\", settings_.GetInstallSubFolder());
    EXPECT_EQ(L"Vantelo\\Vantelo Pexar\\Pexar.exe", settings_.GetExeRelativePath());
    EXPECT_TRUE(settings_.IsRunAsAdmin());
    EXPECT_EQ(kShippedDownload, settings_.GetDownUrl());
    EXPECT_EQ(L"", settings_.GetDownUrlEx());
    EXPECT_EQ(std::vector<std::wstring>{L"download.vantelo.example"}, settings_.GetDownloadHosts());
    EXPECT_EQ(70, settings_.GetDownloadRatio());
    EXPECT_EQ(1500, settings_.GetReadFileTimeout());
    // The texts come from the unpacked archive with the product's placeholders filled.
    EXPECT_EQ(L"Vantelo Pexar Setup", settings_.GetText(L"STR_MESSAGEBOX_TITLE"));
    EXPECT_EQ(L"I've read and agreed to {c #337BDD}Vantelo License Agreement{/c}", settings_.GetText(L"STR_LISENCE"));
    // The shipped English file ends this text with a blank (Wine's section reader
    // drops it) and lacks STR_MB, which keeps its default.
    const std::string english = ReadFileBytes(folder_ + L"English\\text.ini");
    const std::wstring text(reinterpret_cast<const wchar_t*>(english.data() + 2), (english.size() - 2) / 2);
    EXPECT_NE(std::wstring::npos, text.find(L"STR_STORAGE=Insuficient storage. Storage required: \r\n"));
    EXPECT_EQ(std::wstring::npos, text.find(L"STR_MB"));
    EXPECT_EQ(L"MB", settings_.GetText(L"STR_MB"));
}

TEST_F(ShippedData, TheDomainTextAddsTheCustomParameterToThePageAddresses)
{
    EXPECT_EQ(L"", settings_.GetCustomKey());
    EXPECT_EQ(kShippedLicence, settings_.GetLicenceUrl());
    settings_.LoadDomainFile();
    EXPECT_EQ(L"com_english", settings_.GetCustomKey());
    EXPECT_EQ(std::wstring(kShippedLicence) + L"&custom=com_english", settings_.GetLicenceUrl());
    EXPECT_EQ(std::wstring(kShippedInstalled) + L"&custom=com_english", settings_.GetInstallUrl());
    EXPECT_EQ(kShippedDownload, settings_.GetDownUrl()) << "the download address never gets the parameter";
    // Init starts over without a custom key.
    settings_.Init(folder_);
    EXPECT_EQ(L"", settings_.GetCustomKey());
}

TEST_F(ShippedData, EveryLanguageOfTheArchiveIsUnpackedWithItsFiles)
{
    for (const wchar_t* language : {L"English", L"Arabic", L"Chinese", L"ChineseTW", L"Thai", L"Indonesian"}) {
        for (const wchar_t* file : {L"text.ini", L"UrlInfo.ini", L"pr_1.png", L"pr_5.png", L"install_tips.png"}) {
            EXPECT_TRUE(FileExistsW(folder_ + language + L"\\" + file)) << ToUtf8(language) << " " << ToUtf8(file);
        }
    }
    LanguageManager::SetLanguageIdOverride(L"1025");
    LanguageManager arabic;
    arabic.Init(folder_);
    EXPECT_TRUE(arabic.IsRightToLeft());
    EXPECT_EQ(L"https://product.vantelo.example/producturl?key=license_agreement&pid=216&lang=arabic",
              arabic.GetLicenceUrl());
    EXPECT_EQ(std::wstring(L"\u0627\u0628\u062F\u0623\u00A0\u0627\u0644\u0622\u0646"), arabic.GetText(L"STR_START"));
}

TEST_F(ShippedData, ASecondRunOverwritesEditedFiles)
{
    const std::wstring text = folder_ + L"English\\text.ini";
    const std::string shipped = ReadFileBytes(text);
    ASSERT_FALSE(shipped.empty());
    WriteUtf16(text, L"[LANSTR]\nSTR_INSTALL=Edited\n");
    WriteUtf16(folder_ + L"productInfo.ini", L"[PRODUCT]\nSTR_PRODUCT_NAME=Edited\n");
    LanguageManager::LoadResZipFile(folder_);
    EXPECT_EQ(shipped, ReadFileBytes(text));
    settings_.Init(folder_);
    EXPECT_EQ(L"Vantelo Pexar", settings_.GetProductName());
    EXPECT_EQ(L"Install", settings_.GetText(L"STR_INSTALL"));
}

TEST(MissingData, WithoutTheArchiveEveryGetterGivesItsDefault)
{
    TempFolder temp;
    const std::wstring folder = temp.Path() + L"\\language\\";
    // kernel32 carries no language archive and no domain text.
    HMODULE noResources = GetModuleHandleW(L"kernel32.dll");
    LanguageManager::LoadResZipFile(folder, noResources);
    EXPECT_TRUE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    LanguageManager settings;
    settings.Init(folder);
    settings.LoadDomainFile(noResources);
    EXPECT_EQ(L"", settings.GetProductName());
    EXPECT_EQ(L"Vantelo", settings.GetBrandName());
    EXPECT_EQ(L"", settings.GetLicenseColor());
    EXPECT_EQ(L"", settings.GetGATitle());
    EXPECT_EQ(L"", settings.GetExeName());
    EXPECT_EQ(L"", settings.GetInstallSubFolder());
    EXPECT_EQ(L"", settings.GetExeRelativePath());
    EXPECT_TRUE(settings.IsRunAsAdmin());
    EXPECT_EQ(L"", settings.GetDownUrl());
    EXPECT_EQ(L"", settings.GetDownUrlEx());
    EXPECT_EQ(L"", settings.GetLicenceUrl());
    EXPECT_EQ(L"", settings.GetInstallUrl());
    EXPECT_EQ(L"", settings.GetCustomKey());
    EXPECT_EQ(L"Install", settings.GetText(L"STR_INSTALL"));
}

namespace {

std::wstring CustomKeyOf(const wchar_t* module)
{
    UniqueModule resources(LoadLibraryExW(BuildPath(std::wstring(L"tests\\common\\") + module).c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_NE(nullptr, resources.Get()) << ToUtf8(module);
    LanguageManager settings;
    settings.LoadDomainFile(resources.Get());
    return settings.GetCustomKey();
}

}  // namespace

TEST(DomainText, TheKeyIsTheSameWithoutTheLineBreak)
{
    // The module's only resource is the domain text "com_english" without CR LF.
    EXPECT_EQ(L"com_english", CustomKeyOf(L"domain_plain.dll"));
}

TEST(DomainText, ATextLongerThanTheBufferIsCutNotOverrun)
{
    // 250 x, then ABCDEFGHIJ and CR LF: the first 254 bytes stay.
    EXPECT_EQ(std::wstring(250, L'x') + L"ABCD", CustomKeyOf(L"domain_long.dll"));
}

TEST_F(WrittenData, OnlyExactlyZeroStartsTheProductWithoutElevation)
{
    Write(L"STR_RUN_AS_ADMIN=0\n", L"");
    EXPECT_FALSE(settings_.IsRunAsAdmin());
    Write(L"STR_RUN_AS_ADMIN=00\n", L"");
    EXPECT_TRUE(settings_.IsRunAsAdmin());
    Write(L"STR_RUN_AS_ADMIN=\n", L"");
    EXPECT_TRUE(settings_.IsRunAsAdmin());
}

TEST_F(WrittenData, OnlyExactlyZeroTurnsTheLossEventOff)
{
    Write(L"STR_EXE_NAME=Pexar.exe\n", L"");
    EXPECT_TRUE(settings_.IsFailureEventOn()) << "on unless the product says otherwise";
    Write(L"STR_GA_FAILED_EVENT=0\n", L"");
    EXPECT_FALSE(settings_.IsFailureEventOn());
    Write(L"STR_GA_FAILED_EVENT=1\n", L"");
    EXPECT_TRUE(settings_.IsFailureEventOn());
}

TEST_F(WrittenData, EmptyFolderNamesInstallIntoTheChosenFolder)
{
    Write(L"STR_DIR1_NAME=\nSTR_DIR2_NAME=\nSTR_EXE_NAME=Pexar.exe\nSTR_BRAND_NAME=\n", L"");
    EXPECT_EQ(L"", settings_.GetInstallSubFolder());
    EXPECT_EQ(L"Pexar.exe", settings_.GetExeRelativePath());
    EXPECT_EQ(L"Vantelo", settings_.GetBrandName());
    Write(L"STR_DIR2_NAME=Pexar\n", L"");
    EXPECT_EQ(L"Pexar\\", settings_.GetInstallSubFolder());
}

TEST_F(WrittenData, SixtyFourBitWindowsGetsTheSixtyFourBitInstallerEvenInAThirtyTwoBitProcess)
{
    Write(L"", L"STR_DOWN_URL=https://a.example/x86.exe\nSTR_DOWN_URL_X64=https://a.example/x64.exe\n");
    ASSERT_TRUE(Is64BitWindows()) << "the test prefix is a 64-bit one";
    EXPECT_EQ(L"https://a.example/x64.exe", settings_.GetDownUrl());
}

TEST_F(WrittenData, TheDownloadHostsAreAListSeparatedByCommasOrBlanks)
{
    Write(L"STR_DOWN_HOSTS= a.example, B.example\tc.example,,\n", L"");
    EXPECT_EQ((std::vector<std::wstring>{L"a.example", L"B.example", L"c.example"}), settings_.GetDownloadHosts());
    Write(L"STR_DOWN_HOSTS=\n", L"");
    EXPECT_TRUE(settings_.GetDownloadHosts().empty());
    Write(L"", L"");
    EXPECT_TRUE(settings_.GetDownloadHosts().empty());
}

TEST_F(WrittenData, OnlyAddressesWithAKeyQueryGetTheCustomParameter)
{
    Write(L"", L"STR_DOWN_URLEX=http://127.0.0.1:48080/redirect?key=download&pid=216\n"
               L"STR_LICENCE_URL=https://a.example/licence.html\n"
               L"STR_INSTALL_URL=\n");
    HMODULE self = GetModuleHandleW(nullptr);
    settings_.LoadDomainFile(self);
    EXPECT_EQ(L"http://127.0.0.1:48080/redirect?key=download&pid=216&custom=com_english", settings_.GetDownUrlEx());
    EXPECT_EQ(L"https://a.example/licence.html", settings_.GetLicenceUrl());
    EXPECT_EQ(L"", settings_.GetInstallUrl());
}

TEST_F(WrittenData, TheDomainFileHoldsTheKeyInTheProductFolder)
{
    Write(L"STR_DIR1_NAME=Vantelo\nSTR_DIR2_NAME=Vantelo Pexar\n", L"");
    const std::wstring install = temp_.Path() + L"\\Program\\";
    CreateDirectoryW(install.c_str(), nullptr);
    // Without a key nothing is written.
    settings_.WriteDomainFile(install);
    CreateDirectoryW((install + L"Vantelo").c_str(), nullptr);
    CreateDirectoryW((install + L"Vantelo\\Vantelo Pexar").c_str(), nullptr);
    settings_.WriteDomainFile(install);
    EXPECT_FALSE(FileExistsW(install + L"Vantelo\\Vantelo Pexar\\domain"));

    settings_.LoadDomainFile();
    settings_.WriteDomainFile(install);
    EXPECT_EQ("com_english", ReadFileBytes(install + L"Vantelo\\Vantelo Pexar\\domain"));
    // A product folder that does not exist is skipped without a word.
    settings_.WriteDomainFile(temp_.Path() + L"\\missing\\");
    EXPECT_FALSE(FileExistsW(temp_.Path() + L"\\missing"));
}
