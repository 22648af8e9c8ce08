#include "common/SystemUtil.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cwctype>

#include "TestSupport.h"
#include "common/TaskbarProgress.h"

namespace {

std::wstring ExeName()
{
    std::wstring self = SelfPath();
    return self.substr(self.rfind(L'\\') + 1);
}

TEST(SystemFacts, ThirtyTwoBitProcessOnSixtyFourBitWindows)
{
#ifdef _WIN64
    GTEST_SKIP() << "the shipped build is 32-bit";
#else
    EXPECT_TRUE(Is64BitWindows());
    EXPECT_EQ(L"C:\\Program Files (x86)\\", GetProgramFilesFolder());
#endif
}

TEST(SystemFacts, OnlyX64AndItaniumCountAsSixtyFourBit)
{
    EXPECT_TRUE(IsArchitecture64Bit(9));
    EXPECT_TRUE(IsArchitecture64Bit(6));
    EXPECT_FALSE(IsArchitecture64Bit(12)) << "ARM64";
    EXPECT_FALSE(IsArchitecture64Bit(0));
    EXPECT_FALSE(IsArchitecture64Bit(5));
}

TEST(SystemFacts, ProductNameAndLanguageId)
{
    EXPECT_NE(std::wstring::npos, GetWindowsProductName().find(L"Windows"));
    EXPECT_EQ(std::to_wstring(GetUserDefaultUILanguage()), GetUserUiLanguageId());
}

TEST(SystemFacts, FreeSpaceIsTheVolumesFreeBytesInMebibytes)
{
    int free = -1;
    ASSERT_TRUE(GetFreeDiskSpaceMB(L"C:", &free));
    ULARGE_INTEGER available{}, total{}, totalFree{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:", &available, &total, &totalFree));
    EXPECT_NEAR(static_cast<double>(totalFree.QuadPart >> 20), free, 64.0);
    EXPECT_FALSE(GetFreeDiskSpaceMB(L"Q:\\no\\such\\volume", &free));
}

TEST(SystemFacts, FileVersionIsEmptyWithoutAVersionResource)
{
    EXPECT_EQ(L"", GetFileVersionString(SelfPath()));
    EXPECT_EQ(L"", GetFileVersionString(L"C:\\no\\such\\file.exe"));
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring version = GetFileVersionString(std::wstring(system) + L"\\kernel32.dll");
    int dots = 0;
    for (wchar_t c : version) {
        if (c == L'.') ++dots;
        else EXPECT_TRUE(iswdigit(c)) << "unexpected character in " << ToUtf8(version);
    }
    EXPECT_EQ(3, dots);
}

TEST(Files, IniStringAndFileExists)
{
    TempFolder dir;
    std::wstring ini = dir.Path() + L"\\a.ini";
    ASSERT_TRUE(WriteFileBytes(ini, "[S]\r\nkey=value\r\n"));
    EXPECT_EQ(L"value", ReadIniString(ini, L"S", L"key"));
    EXPECT_EQ(L"", ReadIniString(ini, L"S", L"other"));
    EXPECT_TRUE(FileExists(ini));
    EXPECT_FALSE(FileExists(dir.Path() + L"\\missing.ini"));
}

TEST(Processes, LookupIsCaseSensitiveAndByFileName)
{
    DWORD pid = 0;
    ASSERT_TRUE(FindProcessByName(ExeName(), &pid));
    EXPECT_EQ(GetCurrentProcessId(), pid);
    std::wstring upper = ExeName();
    for (auto& c : upper) c = towupper(c);
    EXPECT_FALSE(FindProcessByName(upper, &pid));
    EXPECT_FALSE(FindProcessByName(std::wstring(300, L'a') + L".exe", &pid)) << "long names need no fixed buffer";
}

// Starts a copy of this program in a child mode and returns its process handle.
PROCESS_INFORMATION StartChild(const std::wstring& exe, const std::wstring& arguments)
{
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    return info;
}

TEST(Processes, KillEndsTheProcessWithExitCodeZero)
{
    TempFolder dir;
    std::wstring copy = dir.Path() + L"\\vantelo-sleeper.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), copy.c_str(), FALSE));
    PROCESS_INFORMATION child = StartChild(copy, L"--child-sleep");
    DWORD pid = 0;
    for (int i = 0; i < 100 && !FindProcessByName(L"vantelo-sleeper.exe", &pid); ++i) Sleep(50);
    ASSERT_EQ(child.dwProcessId, pid);
    EXPECT_TRUE(KillProcess(pid));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 10000));
    DWORD code = 99;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

TEST(SilentInstall, CommandLineHasTheSwitchesAndQuotedPaths)
{
    EXPECT_EQ(L" /verysilent /vantelo_down /wait_run /path=\"C:\\Program Files\\\" "
              L"/progress=\"C:\\Program Files\\vantelo_down\\Setup\\temp.progress\"",
              BuildSilentInstallCommandLine(L"C:\\Program Files\\", L"C:\\Program Files\\vantelo_down\\Setup\\temp.progress"));
}

TEST(SilentInstall, RunsTheInstallerWithThatCommandLineAndWaitsForIt)
{
    TempFolder dir;
    std::wstring installer = dir.Path() + L"\\installer.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), installer.c_str(), FALSE));
    std::wstring progress = dir.Path() + L"\\temp.progress";
    ASSERT_TRUE(RunSilentInstall(installer, dir.Path() + L"\\", progress));
    // The child wrote its own command line into the progress file before it ended.
    EXPECT_EQ(ToUtf8(BuildSilentInstallCommandLine(dir.Path() + L"\\", progress)), ReadFileBytes(progress));
}

TEST(SilentInstall, AnInstallerThatCannotStartIsAFailure)
{
    EXPECT_FALSE(RunSilentInstall(L"C:\\no\\such\\installer.exe", L"C:\\x\\", L"C:\\x\\p"));
}

TEST(StartProduct, NonElevatedStartFallsBackWhenWdcIsMissing)
{
    TempFolder dir;
    std::wstring product = dir.Path() + L"\\product.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), product.c_str(), FALSE));
    ASSERT_EQ(nullptr, LoadLibraryA("wdc.dll")) << "this case is about systems without wdc.dll";
    // Started with no arguments, the copy marks that it ran beside itself.
    EXPECT_TRUE(RunProgram(product, false));
    std::wstring marker = dir.Path() + L"\\started.marker";
    for (int i = 0; i < 200 && !FileExistsW(marker); ++i) Sleep(50);
    EXPECT_TRUE(FileExistsW(marker));
    Sleep(200);  // let the child close its file before the folder goes
}

TEST(Taskbar, AttachesToAWindowAndTakesStatesAndValues)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"taskbar", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    TaskbarProgress progress;
    progress.Attach(window);
    EXPECT_TRUE(progress.HasTaskbar());
    progress.SetState(TaskbarProgress::kNormal);
    progress.SetValue(50, 100);
    progress.SetState(TaskbarProgress::kError);
    DestroyWindow(window);
}

int RunChild(int argc, wchar_t** argv)
{
    std::wstring mode = argc >= 2 ? argv[1] : L"";
    if (mode == L"--child-sleep") {
        Sleep(60000);
        return 5;
    }
    if (std::wstring(GetCommandLineW()).find(L"/verysilent") != std::wstring::npos) {
        // Started as the product installer: record the command line as received.
        std::wstring line = GetCommandLineW();
        size_t progress = line.find(L"/progress=\"");
        std::wstring file = line.substr(progress + 11);
        file.resize(file.size() - 1);
        return WriteFileBytes(file, ToUtf8(line)) ? 0 : 1;
    }
    if (argc == 1) {
        // Started as the product: leave a marker beside this exe.
        std::wstring self = SelfPath();
        std::wstring marker = self.substr(0, self.rfind(L'\\')) + L"\\started.marker";
        return WriteFileBytes(marker, "ok") ? 0 : 1;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring self = SelfPath();
    bool isTestRun = self.find(L"test_system.exe") != std::wstring::npos;
    if (!isTestRun) return RunChild(count, wide);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
