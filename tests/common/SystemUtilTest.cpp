#include "common/SystemUtil.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cwctype>
#include <thread>

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

// Starts a copy of this program in a child mode.
UniqueProcessInformation StartChild(const std::wstring& exe, const std::wstring& arguments)
{
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    return UniqueProcessInformation(info);
}

TEST(Processes, KillEndsTheProcessWithExitCodeZero)
{
    TempFolder dir;
    std::wstring copy = dir.Path() + L"\\vantelo-sleeper.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), copy.c_str(), FALSE));
    UniqueProcessInformation child = StartChild(copy, L"--child-sleep");
    DWORD pid = 0;
    for (int i = 0; i < 100 && !FindProcessByName(L"vantelo-sleeper.exe", &pid); ++i) Sleep(50);
    ASSERT_EQ(child.processId, pid);
    EXPECT_TRUE(KillProcess(pid));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.process.Get(), 10000));
    DWORD code = 99;
    GetExitCodeProcess(child.process.Get(), &code);
    EXPECT_EQ(0u, code);
}

// Copies of this program showing a window, in the modes the stop tests need.
class ProductCopies {
public:
    ~ProductCopies()
    {
        for (UniqueProcessInformation& child : children) TerminateProcess(child.process.Get(), 0);
    }
    HANDLE Start(const std::wstring& exe, const wchar_t* mode)
    {
        children.push_back(StartChild(exe, mode));
        return children.back().process.Get();
    }
    // Waits until every copy shows its window, so that it can be asked to close.
    bool WaitForWindows(const std::wstring& title, size_t count)
    {
        for (int i = 0; i < 400; ++i) {
            size_t found = 0;
            for (HWND window = FindWindowExW(nullptr, nullptr, nullptr, title.c_str()); window;
                 window = FindWindowExW(nullptr, window, nullptr, title.c_str())) {
                ++found;
            }
            if (found >= count) return true;
            Sleep(25);
        }
        return false;
    }
    std::vector<UniqueProcessInformation> children;
};

DWORD ExitCodeOf(HANDLE process)
{
    DWORD code = 12345;
    if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) return code;
    GetExitCodeProcess(process, &code);
    return code;
}

TEST(Processes, EveryCopyOfTheProductInAnyLetterCaseIsAskedToCloseAndOnlyThose)
{
    TempFolder dir;
    std::wstring folder = dir.Path() + L"\\Product";
    std::wstring elsewhere = dir.Path() + L"\\Elsewhere";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    std::wstring product = folder + L"\\Pexar.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), product.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), (elsewhere + L"\\Pexar.exe").c_str(), FALSE));
    std::wstring upper = product;
    for (auto& c : upper) c = towupper(c);

    ProductCopies copies;
    HANDLE first = copies.Start(product, L"--child-window");
    HANDLE second = copies.Start(upper, L"--child-window");
    HANDLE other = copies.Start(elsewhere + L"\\Pexar.exe", L"--child-window");
    ASSERT_TRUE(copies.WaitForWindows(L"vantelo test product", 3));

    std::vector<DWORD> found = FindProcessesByPath(dir.Path() + L"\\product\\PEXAR.exe");
    EXPECT_EQ(2u, found.size());
    EXPECT_TRUE(StopProcessesByPath(product, 5000, 2000));
    EXPECT_EQ(0u, ExitCodeOf(first)) << "asked to close, it closed itself";
    EXPECT_EQ(0u, ExitCodeOf(second));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(other, 0)) << "another folder's copy runs on";
    EXPECT_TRUE(FindProcessesByPath(product).empty());
}

TEST(Processes, ACopyThatIgnoresTheRequestIsEndedByForce)
{
    TempFolder dir;
    std::wstring product = dir.Path() + L"\\Pexar.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), product.c_str(), FALSE));
    ProductCopies copies;
    HANDLE stubborn = copies.Start(product, L"--child-stubborn");
    ASSERT_TRUE(copies.WaitForWindows(L"vantelo test product", 1));
    DWORD start = GetTickCount();
    EXPECT_TRUE(StopProcessesByPath(product, 300, 3000));
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(1u, ExitCodeOf(stubborn));
    EXPECT_TRUE(StopProcessesByPath(product, 300, 300)) << "nothing left to stop";
}

TEST(SilentInstall, CommandLineHasTheSwitchesAndQuotedPaths)
{
    EXPECT_EQ(L" /verysilent /vantelo_down /wait_run /path=\"C:\\Program Files\\\" "
              L"/progress=\"C:\\Program Files\\vantelo_down\\Setup\\temp.progress\"",
              BuildSilentInstallCommandLine(L"C:\\Program Files\\", L"C:\\Program Files\\vantelo_down\\Setup\\temp.progress"));
}

// A copy of this program as the installer, in a folder of its own.
class InstallerRun : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CopyFileW(SelfPath().c_str(), installer.c_str(), FALSE)); }
    bool Run(CInstallerJob& job, DWORD* code)
    {
        return RunSilentInstall(installer, dir.Path() + L"\\", progress, job, code);
    }

    TempFolder dir;
    std::wstring installer = dir.Path() + L"\\installer.exe";
    std::wstring progress = dir.Path() + L"\\temp.progress";
};

TEST_F(InstallerRun, RunsTheInstallerWithThatCommandLineAndWaitsForIt)
{
    CInstallerJob job;
    DWORD code = 99;
    ASSERT_TRUE(Run(job, &code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(job.RanOutsideJob());
    // The child wrote its own command line into the progress file before it ended.
    EXPECT_EQ(ToUtf8(BuildSilentInstallCommandLine(dir.Path() + L"\\", progress)), ReadFileBytes(progress));
}

TEST_F(InstallerRun, TheInstallersExitCodeComesBack)
{
    SetEnvironmentVariableW(L"VANTELO_TEST_INSTALLER_EXIT", L"7");
    CInstallerJob job;
    DWORD code = 0;
    bool ran = Run(job, &code);
    SetEnvironmentVariableW(L"VANTELO_TEST_INSTALLER_EXIT", nullptr);
    EXPECT_TRUE(ran);
    EXPECT_EQ(7u, code);
}

TEST(SilentInstall, AnInstallerThatCannotStartIsAFailureWithTheSystemsError)
{
    CInstallerJob job;
    DWORD code = 0;
    EXPECT_FALSE(RunSilentInstall(L"C:\\no\\such\\installer.exe", L"C:\\x\\", L"C:\\x\\p", job, &code));
    EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code;
}

TEST_F(InstallerRun, TerminatingTheJobEndsTheInstallerAndEverythingItStarted)
{
    std::wstring helper = dir.Path() + L"\\vantelo-spawned.exe";
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), helper.c_str(), FALSE));
    // The installer starts the helper and both wait for a minute.
    SetEnvironmentVariableW(L"VANTELO_TEST_INSTALLER_SPAWN", helper.c_str());
    CInstallerJob job;
    DWORD code = 0;
    bool ran = false;
    DWORD took = 0;
    UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread runner([&] {
        DWORD start = GetTickCount();
        ran = Run(job, &code);
        took = GetTickCount() - start;
        SetEvent(done.Get());
    });
    DWORD pid = 0;
    for (int i = 0; i < 200 && !FindProcessByName(L"vantelo-spawned.exe", &pid); ++i) Sleep(25);
    SetEnvironmentVariableW(L"VANTELO_TEST_INSTALLER_SPAWN", nullptr);
    EXPECT_NE(0u, pid) << "the installer started its helper";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(done.Get(), 0)) << "the installer still runs";
    job.Terminate();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done.Get(), 5000));
    runner.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), code);
    EXPECT_LT(took, 30000u);
    EXPECT_TRUE(job.WaitUntilEmpty(2000));
    EXPECT_FALSE(FindProcessByName(L"vantelo-spawned.exe", &pid)) << "the helper went with the installer";
    // Nothing holds the installer any more: it can be deleted.
    EXPECT_TRUE(DeleteFileW(installer.c_str())) << GetLastError();
}

TEST_F(InstallerRun, AJobTerminatedBeforeTheStartNeverRunsTheInstaller)
{
    CInstallerJob job;
    job.Terminate();
    DWORD code = 0;
    EXPECT_FALSE(Run(job, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), code);
    Sleep(300);
    EXPECT_FALSE(FileExistsW(progress)) << "the installer ran";
    EXPECT_TRUE(job.WaitUntilEmpty(0));
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

LRESULT CALLBACK ProductWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool stubborn = GetWindowLongPtrW(window, GWLP_USERDATA) != 0;
    if (message == WM_CLOSE && stubborn) return 0;
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

// A product's stand-in: a window that closes when asked, or (stubborn) never does.
int RunProductWindow(bool stubborn)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProductWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VanteloTestProduct";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"VanteloTestProduct", L"vantelo test product", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 3;
    SetWindowLongPtrW(window, GWLP_USERDATA, stubborn ? 1 : 0);
    MSG message;
    // A minute at most, so that a failed test leaves nothing behind for long.
    SetTimer(window, 1, 60000, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) return 4;
        DispatchMessageW(&message);
    }
    return 0;
}

int RunChild(int argc, wchar_t** argv)
{
    std::wstring mode = argc >= 2 ? argv[1] : L"";
    if (mode == L"--child-sleep") {
        Sleep(60000);
        return 5;
    }
    if (mode == L"--child-window" || mode == L"--child-stubborn") return RunProductWindow(mode == L"--child-stubborn");
    if (std::wstring(GetCommandLineW()).find(L"/verysilent") != std::wstring::npos) {
        wchar_t value[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"VANTELO_TEST_INSTALLER_SPAWN", value, MAX_PATH) > 0) {
            StartChild(value, L"--child-sleep");
            Sleep(60000);
            return 6;
        }
        // Started as the product installer: record the command line as received.
        std::wstring line = GetCommandLineW();
        size_t progress = line.find(L"/progress=\"");
        std::wstring file = line.substr(progress + 11);
        file.resize(file.size() - 1);
        if (!WriteFileBytes(file, ToUtf8(line))) return 1;
        return GetEnvironmentVariableW(L"VANTELO_TEST_INSTALLER_EXIT", value, MAX_PATH) > 0 ? _wtoi(value) : 0;
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
