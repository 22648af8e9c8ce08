// Opening a page: only http and https addresses reach the shell, and a page opens
// with exactly its address. Under Wine the browser is a recorder (see
// CMakeLists.txt). Wine's desktop (explorer.exe /desktop) offers the shell windows
// object when it was started on a display, as tools/test starts it; otherwise the
// page opens through the logged fall-back.
#include "common/SystemUtil.h"

#include <exdisp.h>
#include <gtest/gtest.h>

#include <string>

#include "LogCapture.h"
#include "TestSupport.h"

namespace {

const wchar_t kWineBrowserKey[] = L"Software\\Wine\\WineBrowser";

bool RunsUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Whether the desktop offers the shell windows object, the way in to its shell.
bool DesktopShellRuns()
{
    bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IShellWindows* windows = nullptr;
    bool runs = SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                           reinterpret_cast<void**>(&windows)));
    if (windows) windows->Release();
    if (initialised) CoUninitialize();
    return runs;
}

class OpenInBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!RunsUnderWine()) GTEST_SKIP() << "the recorder stands in for Wine's browser only";
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kWineBrowserKey, 0, nullptr, 0,
                                                 KEY_READ | KEY_WRITE, nullptr, &key_, nullptr));
        wchar_t previous[1024] = {};
        DWORD size = sizeof previous - sizeof(wchar_t);
        hadBrowsers_ = RegQueryValueExW(key_, L"Browsers", nullptr, nullptr, reinterpret_cast<BYTE*>(previous),
                                        &size) == ERROR_SUCCESS;
        previous_ = previous;
        std::wstring recorder = ToWide(VANTELO_PAGE_RECORDER);
        RegSetValueExW(key_, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(recorder.c_str()),
                       static_cast<DWORD>((recorder.size() + 1) * sizeof(wchar_t)));
        DeleteFileW(opened_.c_str());
    }
    void TearDown() override
    {
        if (!key_) return;
        if (hadBrowsers_) {
            RegSetValueExW(key_, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                           static_cast<DWORD>((previous_.size() + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key_, L"Browsers");
        }
        RegCloseKey(key_);
    }

    // The addresses the browser was given, waiting up to 10 s for `expected`.
    std::string OpenedWaitingFor(const std::string& expected) const
    {
        std::string text;
        for (int i = 0; i < 200 && (text = ReadFileBytes(opened_)).find(expected) == std::string::npos; ++i) Sleep(50);
        return text;
    }

    // A page address no other run has used.
    static std::string UniquePage(const char* name)
    {
        return "https://localhost/" + std::string(name) + "?run=" + std::to_string(GetTickCount()) + "&lang=English";
    }

    HKEY key_ = nullptr;
    bool hadBrowsers_ = false;
    std::wstring previous_;
    std::wstring opened_ = HostPathToWindows(VANTELO_OPENED_PAGES);
};

}  // namespace

TEST_F(OpenInBrowserTest, AnHttpsPageOpensWithExactlyItsAddress)
{
    LogCapture log;
    std::string page = UniquePage("licence");
    EXPECT_TRUE(OpenInBrowser(nullptr, ToWide(page)));
    EXPECT_EQ(page + "\n", OpenedWaitingFor(page));
    if (DesktopShellRuns()) {
        EXPECT_TRUE(log.Contains("opened (" + page + ") through the desktop shell")) << log.Text();
    } else {
        EXPECT_TRUE(log.Contains("the desktop shell cannot open (" + page + "), 0x")) << log.Text();
        EXPECT_TRUE(log.Contains(": opening it from this process, elevated")) << log.Text();
    }

    std::string plain = "http://127.0.0.1:48080/producturl?key=installed&run=" + std::to_string(GetTickCount());
    EXPECT_TRUE(OpenInBrowser(nullptr, ToWide(plain)));
    EXPECT_NE(std::string::npos, OpenedWaitingFor(plain).find(plain));
}

TEST_F(OpenInBrowserTest, AnyOtherAddressIsRefusedAndNeverReachesTheShell)
{
    for (const wchar_t* address :
         {L"file:///C:/windows/system32/winver.exe", L"C:\\windows\\system32\\winver.exe",
          L"\\\\127.0.0.1\\c$\\windows\\system32\\winver.exe", L"winver.exe", L"javascript:alert(1)",
          L"ms-settings:", L"shell:startup", L"https://localhost/a b.exe", L""}) {
        LogCapture log;
        EXPECT_FALSE(OpenInBrowser(nullptr, address)) << ToUtf8(address);
        EXPECT_TRUE(log.Contains("refused to open (")) << log.Text();
        EXPECT_TRUE(log.Contains("): only http and https addresses are opened")) << log.Text();
    }
    // What was opened before this page would have arrived before it.
    std::string page = UniquePage("after-refusals");
    EXPECT_TRUE(OpenInBrowser(nullptr, ToWide(page)));
    EXPECT_EQ(page + "\n", OpenedWaitingFor(page));
}
