#include "Window/InstallFlowRules.h"

#include <gtest/gtest.h>

#include <climits>

#include "TestSupport.h"

namespace {

using namespace InstallFlow;

TEST(InstallPath, ParentMustExistButTheFolderNeedNot)
{
    TempFolder dir;
    EXPECT_TRUE(IsInstallPathAccepted(dir.Path() + L"\\"));
    EXPECT_TRUE(IsInstallPathAccepted(dir.Path() + L"\\NewFolder\\"));
    EXPECT_FALSE(IsInstallPathAccepted(L"Q:\\missing\\deeper\\"));
    EXPECT_FALSE(IsInstallPathAccepted(dir.Path() + L"\\missing\\deeper\\"));
}

TEST(InstallPath, StoredWithOneTrailingBackslashAndTheDriveIsUpToTheColon)
{
    EXPECT_EQ(L"C:\\Games\\", WithTrailingBackslash(L"C:\\Games"));
    EXPECT_EQ(L"C:\\Games\\", WithTrailingBackslash(L"C:\\Games\\"));
    EXPECT_EQ(L"\\", WithTrailingBackslash(L""));
    EXPECT_EQ(L"C:", DriveOf(L"C:\\Program Files\\"));
    EXPECT_EQ(L"D:", DriveOf(L"D:"));
}

TEST(Progress, DownloadShareNeverDividesByZeroAndNeverMovesBack)
{
    EXPECT_EQ(35, DownloadProgress(500, 1000, 70));
    EXPECT_EQ(70, DownloadProgress(1000, 1000, 70));
    EXPECT_EQ(0, DownloadProgress(500, 0, 70));
    EXPECT_EQ(0, DownloadProgress(500, -1, 70));
    // After a retry the downloaded count starts again: the reported position creeps.
    EXPECT_EQ(510, NextReportedPosition(500, 100, 1000));
    EXPECT_EQ(800, NextReportedPosition(500, 800, 1000));
    EXPECT_EQ(1000, NextReportedPosition(995, 10, 1000)) << "never past the total";
}

TEST(Progress, InstallerShareAndTheProgressFile)
{
    EXPECT_EQ(82, InstallProgress(70, ParseProgressPercent("42")));
    EXPECT_EQ(85, InstallProgress(70, ParseProgressPercent("50\r\n")));
    EXPECT_EQ(70, InstallProgress(70, ParseProgressPercent("")));
    EXPECT_EQ(70, InstallProgress(70, ParseProgressPercent("abc")));
    EXPECT_EQ(100, ParseProgressPercent("250")) << "clamped";
    EXPECT_EQ(0, ParseProgressPercent("-7")) << "clamped";
    EXPECT_EQ(100, ParseProgressPercent("12345678901234")) << "the first 10 bytes, 1234567890, clamp to 100";
    EXPECT_EQ(0, ParseProgressPercent(std::string(10, ' ') + "42")) << "only the first 10 bytes are read";
}

TEST(Progress, SizesAndPositionsBeyondFourGibibytes)
{
    const long long size = 5LL * 1024 * 1024 * 1024 + 12345;
    EXPECT_EQ(35, DownloadProgress(size / 2 + 1000, size, 70));
    EXPECT_EQ(70, DownloadProgress(size, size, 70));
    EXPECT_EQ(size - 5, NextReportedPosition(size - 15, 100, size));
    EXPECT_EQ(4294967396LL, NextReportedPosition(4294967296LL, 4294967396LL, size)) << "past 32 bits, not wrapped";
}

TEST(Space, ThreeTimesTheInstallerInWholeMebibytes)
{
    EXPECT_EQ(900, RequiredSpaceMB(300LL << 20));
    EXPECT_EQ(900, RequiredSpaceMB((300LL << 20) + (1 << 20) - 1)) << "a part of a mebibyte does not count";
    EXPECT_EQ(6144, RequiredSpaceMB(2LL << 30)) << "2 GiB";
    EXPECT_EQ(15360, RequiredSpaceMB((5LL << 30) + 12345)) << "5 GiB";
    EXPECT_EQ(0, RequiredSpaceMB(0));
    EXPECT_EQ(INT_MAX, RequiredSpaceMB(1LL << 53)) << "held, not wrapped";
}

TEST(Messages, LowSpaceTextAndRightToLeftFlags)
{
    EXPECT_EQ(L"Insuficient storage. Storage required: 900 MB", LowSpaceText(L"Insuficient storage. Storage required:", 900, L"MB"));
    EXPECT_EQ(L"Insuficient storage. Storage required:  900 MB",
              LowSpaceText(L"Insuficient storage. Storage required: ", 900, L""))
        << "a text ending in a blank gives two blanks; an empty unit reads MB";
    EXPECT_EQ(0x32u, MessageBoxFlags(0x32, false));
    EXPECT_EQ(0x190032u, MessageBoxFlags(0x32, true));
    EXPECT_EQ(0x190000u, MessageBoxFlags(0, true));
    EXPECT_EQ(70, BarValue(30, true));
    EXPECT_EQ(30, BarValue(30, false));
}

}  // namespace
