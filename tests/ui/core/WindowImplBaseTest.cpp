// The skinned window base with real windows: creation from the skin sources and the
// failure message, default keys, hit testing, rounded corners, system commands and
// buttons, and notification routing through notify maps and virtual windows.
// The program brings its own main: one mode runs as a child process that ends itself.

#include "ui/core/WindowImplBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "SkinWindowHost.h"
#include "TestSupport.h"
#include "ui/control/Control.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

// A 650 x 360 window whose row at y 289 holds one control of each kind that the
// caption rule tells apart.
const wchar_t kHitTestSkin[] =
    L"<Window size=\"650,360\" sizebox=\"4,4,4,4\" caption=\"0,0,0,290\">"
    L"<VerticalLayout>"
    L"<Control height=\"289\"/>"
    L"<HorizontalLayout height=\"2\">"
    L"<Control width=\"100\"/><Button width=\"100\"/><Option width=\"100\"/><Text width=\"100\"/>"
    L"<CheckBox width=\"100\"/><Edit width=\"100\"/>"
    L"</HorizontalLayout>"
    L"<Control/>"
    L"</VerticalLayout></Window>";

class WindowImplBaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr)); }
    void SetUp() override {
        CWindowManagerUI::SetResourceArchive(L"", false);
        CWindowManagerUI::SetResourceFolder(TestDataPath(L"skin"));
    }

    // The first posted WM_CLOSE for the window, removed from the queue; -1 when none.
    static long long TakePostedClose(HWND window) {
        MSG message;
        if (!PeekMessageW(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) return -1;
        return static_cast<long long>(message.wParam);
    }
    static LRESULT HitTest(HWND window, int x, int y) {
        POINT point = {x, y};
        ClientToScreen(window, &point);
        return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
    }
    static bool PreDispatchKey(HWND window, WPARAM key) {
        MSG message = {window, WM_KEYDOWN, key, 0, GetTickCount(), {0, 0}};
        return CWindowManagerUI::PreDispatch(&message);
    }
};

// A window opened and painted before each test and destroyed after it.
template <typename Window>
class OpenedWindowTest : public WindowImplBaseTest {
protected:
    template <typename... Arguments>
    explicit OpenedWindowTest(Arguments&&... arguments) : window(std::forward<Arguments>(arguments)...) {}
    void SetUp() override {
        WindowImplBaseTest::SetUp();
        handle = window.OpenWindow();
        window.ShowAndPaint();
    }
    void TearDown() override { DestroyWindow(handle); }
    Window window;
    HWND handle = nullptr;
};

// ---- creation -----------------------------------------------------------------------

TEST_F(WindowImplBaseTest, CreationBuildsTheSkinRemovesTheCaptionAndCallsAfterBuildOnce) {
    SkinWindow window(L"<Window size=\"320,200\"><VerticalLayout name=\"top\"/></Window>");
    HWND handle = window.OpenWindow();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(window.afterBuildCalls, 1);
    ASSERT_NE(window.Manager().Root(), nullptr);
    EXPECT_EQ(window.rootAtAfterBuild, window.Manager().Root());
    EXPECT_EQ(window.Manager().Root()->GetName(), L"top");
    LONG style = GetWindowLongW(handle, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_NE(style & WS_CLIPCHILDREN, 0);
    EXPECT_NE(style & WS_CLIPSIBLINGS, 0);
    RECT rect;
    GetWindowRect(handle, &rect);
    EXPECT_EQ(rect.right - rect.left, 320);
    // The whole window is client area.
    RECT client;
    GetClientRect(handle, &client);
    EXPECT_EQ(client.right, 320);
    DestroyWindow(handle);
}

TEST_F(WindowImplBaseTest, SkinFromAnXmlResourceWhoseIdIsTheSkinFileInDecimal) {
    SkinWindow window(L"201", kSkinResource);
    HWND handle = window.OpenWindow();
    ASSERT_NE(window.Manager().Root(), nullptr);
    EXPECT_EQ(window.Manager().Root()->GetName(), L"resourceRoot");
    EXPECT_NE(window.Manager().ControlNamed(L"fromResource"), nullptr);
    DestroyWindow(handle);
}

TEST_F(WindowImplBaseTest, SkinFromAnArchiveFileInTheResourceFolder) {
    CWindowManagerUI::SetResourceFolder(TestDataPath(L"skin\\archive"));
    struct ArchiveWindow : SkinWindow {
        ArchiveWindow() : SkinWindow(L"skin.xml", kSkinZip) {}
        CUiString SkinArchiveFile() const override { return L"skin-test.zip"; }
    } window;
    HWND handle = window.OpenWindow();
    EXPECT_STREQ(CWindowManagerUI::ResourceArchiveName().c_str(), L"skin-test.zip");
    ASSERT_NE(window.Manager().Root(), nullptr);
    EXPECT_NE(window.Manager().ControlNamed(L"zipped"), nullptr);
    DestroyWindow(handle);
    CWindowManagerUI::SetResourceArchive(L"", false);
}

TEST_F(WindowImplBaseTest, EmptyResourceFolderBecomesTheModuleFolderAndTheSkinFolder) {
    CWindowManagerUI::SetResourceFolder(L"");
    struct FolderWindow : SkinWindow {
        FolderWindow() : SkinWindow(L"<Window><Control/></Window>") {}
        CUiString SkinFolder() override { return L"skins\\"; }
    } window;
    HWND handle = window.OpenWindow();
    EXPECT_EQ(CWindowManagerUI::ResourceFolder(), CWindowManagerUI::ModuleFolder() + L"skins\\");
    DestroyWindow(handle);
}

// A skin without a root, and an archive resource that is missing or empty: each shows
// the failure message and ends the process with 1.
TEST_F(WindowImplBaseTest, WindowWithoutItsSkinShowsTheFailureMessageAndEndsTheProcessWithOne) {
    for (const wchar_t* failure : {L"no-root", L"missing-archive", L"empty-archive"}) {
        TempFolder folder;
        std::wstring result = folder.Path() + L"\\failure.txt";
        int code = RunAndWait(SelfPath(), std::wstring(L"--skin-failure-child ") + failure + L" \"" + result + L"\"", 60000);
        EXPECT_EQ(code, 1) << ToUtf8(failure);
        // The text and the caption as the message box showed them.
        EXPECT_EQ(ReadFileBytes(result), "\xE5\x8A\xA0\xE8\xBD\xBD\xE8\xB5\x84\xE6\xBA\x90\xE6\x96\x87\xE4\xBB\xB6"
                                         "\xE5\xA4\xB1\xE8\xB4\xA5|Veneer")
            << ToUtf8(failure);
    }
}

// ---- keys ---------------------------------------------------------------------------

TEST_F(WindowImplBaseTest, EscapePostsCloseWithOneAndEnterDoesNothing) {
    SkinWindow window(L"<Window><Control/></Window>");
    HWND handle = window.OpenWindow();
    TakePostedClose(handle);
    EXPECT_FALSE(PreDispatchKey(handle, VK_RETURN));
    EXPECT_EQ(TakePostedClose(handle), -1);
    // The key stays unhandled: the message is still dispatched.
    EXPECT_FALSE(PreDispatchKey(handle, VK_ESCAPE));
    EXPECT_EQ(TakePostedClose(handle), 1);
    EXPECT_EQ(window.HandleDefaultKey(VK_ESCAPE), 1);
    EXPECT_EQ(TakePostedClose(handle), 1);
    EXPECT_EQ(window.HandleDefaultKey(VK_RETURN), 0);
    DestroyWindow(handle);
}

// ---- hit testing --------------------------------------------------------------------

class HitTestTest : public OpenedWindowTest<SkinWindow> {
protected:
    HitTestTest() : OpenedWindowTest(kHitTestSkin) {}
};

TEST_F(HitTestTest, SizeBoxGivesTheResizeAnswers) {
    EXPECT_EQ(HitTest(handle, 1, 1), HTTOPLEFT);
    EXPECT_EQ(HitTest(handle, 3, 3), HTTOPLEFT);
    EXPECT_EQ(HitTest(handle, 300, 2), HTTOP);
    EXPECT_EQ(HitTest(handle, 648, 1), HTTOPRIGHT);
    EXPECT_EQ(HitTest(handle, 2, 150), HTLEFT);
    EXPECT_EQ(HitTest(handle, 648, 150), HTRIGHT);
    EXPECT_EQ(HitTest(handle, 2, 358), HTBOTTOMLEFT);
    EXPECT_EQ(HitTest(handle, 300, 358), HTBOTTOM);
    EXPECT_EQ(HitTest(handle, 648, 358), HTBOTTOMRIGHT);
}

TEST_F(HitTestTest, CaptionDragsOverPlainControlsButNotOverButtonsOptionsAndTexts) {
    EXPECT_EQ(HitTest(handle, 50, 100), HTCAPTION);
    EXPECT_EQ(HitTest(handle, 50, 289), HTCAPTION);    // Control
    EXPECT_EQ(HitTest(handle, 150, 289), HTCLIENT);    // Button
    EXPECT_EQ(HitTest(handle, 250, 289), HTCLIENT);    // Option
    EXPECT_EQ(HitTest(handle, 350, 289), HTCLIENT);    // Text
    EXPECT_EQ(HitTest(handle, 450, 289), HTCAPTION);   // CheckBox: its own word, so it drags
    EXPECT_EQ(HitTest(handle, 550, 289), HTCAPTION);   // Edit
    EXPECT_EQ(HitTest(handle, 50, 290), HTCLIENT);     // below the caption
    EXPECT_EQ(HitTest(handle, 150, 290), HTCLIENT);
}

TEST_F(HitTestTest, MaximizedWindowIgnoresTheSizeBox) {
    SendMessageW(handle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    window.Pump();
    ASSERT_TRUE(IsZoomed(handle));
    EXPECT_EQ(HitTest(handle, 1, 1), HTCAPTION);
    EXPECT_EQ(HitTest(handle, 1, 300), HTCLIENT);
    SendMessageW(handle, WM_SYSCOMMAND, SC_RESTORE, 0);
    window.Pump();
    EXPECT_EQ(HitTest(handle, 1, 1), HTTOPLEFT);
}

TEST_F(HitTestTest, CaptionMarginsAreMeasuredFromTheClientEdges) {
    SkinWindow margins(L"<Window size=\"400,300\" caption=\"50,10,60,100\"><Control/></Window>");
    HWND other = margins.OpenWindow();
    margins.ShowAndPaint();
    EXPECT_EQ(HitTest(other, 49, 50), HTCLIENT);
    EXPECT_EQ(HitTest(other, 50, 50), HTCAPTION);
    EXPECT_EQ(HitTest(other, 339, 50), HTCAPTION);
    EXPECT_EQ(HitTest(other, 340, 50), HTCLIENT);
    EXPECT_EQ(HitTest(other, 100, 9), HTCLIENT);
    EXPECT_EQ(HitTest(other, 100, 99), HTCAPTION);
    DestroyWindow(other);
}

// ---- size, non-client messages, system commands ---------------------------------------

TEST_F(WindowImplBaseTest, RoundCornerGivesTheWindowARoundedRegionAndNoneLeavesNone) {
    for (const wchar_t* round : {L" roundcorner=\"16,16\"", L""}) {
        SkinWindow window(std::wstring(L"<Window size=\"300,200\"") + round + L"><Control/></Window>");
        HWND handle = window.OpenWindow();
        window.ShowAndPaint();
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        if (*round == L'\0') {
            EXPECT_EQ(GetWindowRgn(handle, region), ERROR);
        } else {
            ASSERT_NE(GetWindowRgn(handle, region), ERROR);
            EXPECT_FALSE(PtInRegion(region, 0, 0));
            EXPECT_FALSE(PtInRegion(region, 299, 199));
            EXPECT_TRUE(PtInRegion(region, 8, 8));
            EXPECT_TRUE(PtInRegion(region, 150, 0));
            EXPECT_TRUE(PtInRegion(region, 299, 100));
        }
        DeleteObject(region);
        DestroyWindow(handle);
    }
}

TEST_F(WindowImplBaseTest, NcActivateAndNcPaintAnswers) {
    SkinWindow window(L"<Window><Control/></Window>");
    HWND handle = window.OpenWindow();
    EXPECT_EQ(SendMessageW(handle, WM_NCACTIVATE, FALSE, 0), 1);
    EXPECT_EQ(SendMessageW(handle, WM_NCACTIVATE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(handle, WM_NCPAINT, 1, 0), 0);
    DestroyWindow(handle);
}

TEST_F(WindowImplBaseTest, MinMaxInfoTakesTheWorkAreaAndTheSkinsLimits) {
    SkinWindow window(L"<Window size=\"300,200\" mininfo=\"250,150\" maxinfo=\"800,600\"><Control/></Window>");
    HWND handle = window.OpenWindow();
    MINMAXINFO info = {};
    SendMessageW(handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 250);
    EXPECT_EQ(info.ptMinTrackSize.y, 150);
    EXPECT_EQ(info.ptMaxTrackSize.x, 800);
    EXPECT_EQ(info.ptMaxTrackSize.y, 600);
    DestroyWindow(handle);

    SkinWindow plain(L"<Window size=\"300,200\"><Control/></Window>");
    handle = plain.OpenWindow();
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(handle, MONITOR_DEFAULTTONEAREST), &monitor);
    info = {};
    SendMessageW(handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMaxTrackSize.x, monitor.rcWork.right - monitor.rcWork.left);
    EXPECT_EQ(info.ptMaxPosition.x, monitor.rcWork.left - monitor.rcMonitor.left);
    DestroyWindow(handle);
}

TEST_F(WindowImplBaseTest, SystemCloseSendsCloseToTheHandler) {
    SkinWindow window(L"<Window><Control/></Window>");
    window.keepOpenOnClose = true;
    HWND handle = window.OpenWindow();
    EXPECT_EQ(SendMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    ASSERT_EQ(window.closeCodes.size(), 1u);
    EXPECT_EQ(window.closeCodes[0], 0u);
    EXPECT_TRUE(IsWindow(handle));
    DestroyWindow(handle);
}

TEST_F(WindowImplBaseTest, MaximizingSwapsMaxAndRestoreButtonsWhenBothExist) {
    SkinWindow window(L"<Window size=\"300,200\"><VerticalLayout><Button name=\"maxbtn\"/>"
                      L"<Button name=\"restorebtn\" visible=\"false\"/></VerticalLayout></Window>");
    HWND handle = window.OpenWindow();
    window.ShowAndPaint();
    CControlUI* maximize = window.Manager().ControlNamed(L"maxbtn");
    CControlUI* restore = window.Manager().ControlNamed(L"restorebtn");
    SendMessageW(handle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(IsZoomed(handle));
    EXPECT_FALSE(maximize->IsVisible());
    EXPECT_TRUE(restore->IsVisible());
    SendMessageW(handle, WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_FALSE(IsZoomed(handle));
    EXPECT_TRUE(maximize->IsVisible());
    EXPECT_FALSE(restore->IsVisible());
    DestroyWindow(handle);
}

TEST_F(WindowImplBaseTest, MaximizingLeavesALoneMaxButtonAlone) {
    SkinWindow window(L"<Window size=\"300,200\"><VerticalLayout><Button name=\"maxbtn\"/></VerticalLayout></Window>");
    HWND handle = window.OpenWindow();
    window.ShowAndPaint();
    SendMessageW(handle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(IsZoomed(handle));
    EXPECT_TRUE(window.Manager().ControlNamed(L"maxbtn")->IsVisible());
    // Wine's X11 driver, without a window manager, may unmap a window destroyed while
    // maximized after X has dropped it and end the process on the BadWindow error.
    SendMessageW(handle, WM_SYSCOMMAND, SC_RESTORE, 0);
    DestroyWindow(handle);
}

// ---- system buttons and notify maps ------------------------------------------------------

const wchar_t kButtonsSkin[] =
    L"<Window size=\"300,200\"><VerticalLayout>"
    L"<Button name=\"closebtn\"/><Button name=\"minbtn\"/><Button name=\"maxbtn\"/><Button name=\"restorebtn\"/>"
    L"<Button name=\"alpha\"/><Button name=\"gamma\"/><Option name=\"beta\" virtualwnd=\"Settings\"/>"
    L"<Button name=\"delta\" virtualwnd=\"Settings\"/>"
    L"</VerticalLayout></Window>";

TEST_F(WindowImplBaseTest, SystemButtonsByName) {
    SkinWindow window(kButtonsSkin);
    HWND handle = window.OpenWindow();
    window.ShowAndPaint();
    CWindowManagerUI& manager = window.Manager();
    manager.SendNotification(manager.ControlNamed(L"closebtn"), L"click");
    EXPECT_EQ(TakePostedClose(handle), 1);
    manager.SendNotification(manager.ControlNamed(L"maxbtn"), L"click");
    EXPECT_TRUE(IsZoomed(handle));
    manager.SendNotification(manager.ControlNamed(L"restorebtn"), L"click");
    EXPECT_FALSE(IsZoomed(handle));
    manager.SendNotification(manager.ControlNamed(L"minbtn"), L"click");
    EXPECT_TRUE(IsIconic(handle));
    // Names are compared exactly.
    UiNotify other;
    other.type = L"click";
    other.sender = manager.ControlNamed(L"alpha");
    window.HandleClick(other);
    EXPECT_EQ(TakePostedClose(handle), -1);
    DestroyWindow(handle);
}

class RoutingWindow : public SkinWindow {
public:
    RoutingWindow() : SkinWindow(kButtonsSkin) {}
    void OnAlpha(UiNotify& notification) { log.push_back(L"alpha " + std::wstring(notification.type)); }
    void OnAnyClick(UiNotify& notification) { log.push_back(L"any " + std::wstring(notification.sender->GetName())); }
    void OnBeta(WPARAM wParam, LPARAM lParam) {
        log.push_back(L"beta " + std::to_wstring(wParam) + L"," + std::to_wstring(lParam));
    }
    std::vector<std::wstring> log;

    VENEER_DECLARE_NOTIFY_MAP()
};

// The fallback entry stands before the named one: an exact name still wins.
VENEER_DEFINE_NOTIFY_MAP(RoutingWindow, &WindowImplBase::kNotifyMap) {
    NotifyOnRecord<RoutingWindow>(L"click", L"", &RoutingWindow::OnAnyClick),
    NotifyOnRecord<RoutingWindow>(L"click", L"alpha", &RoutingWindow::OnAlpha),
    NotifyOnParams<RoutingWindow>(L"selectchanged", L"beta", &RoutingWindow::OnBeta),
    NotifyMapEnd(),
};

class SettingsPump : public CNotifyPump {
public:
    void OnClick(UiNotify& notification) { log.push_back(L"settings " + std::wstring(notification.sender->GetName())); }
    std::vector<std::wstring> log;

    VENEER_DECLARE_NOTIFY_MAP()
};
VENEER_DEFINE_NOTIFY_MAP(SettingsPump, nullptr) {
    NotifyOnRecord<SettingsPump>(L"click", L"", &SettingsPump::OnClick),
    NotifyMapEnd(),
};

class NotifyRoutingTest : public OpenedWindowTest<RoutingWindow> {
protected:
    void Send(const wchar_t* sender, const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0) {
        CControlUI* control = window.Manager().ControlNamed(sender);
        ASSERT_NE(control, nullptr) << sender;
        window.Manager().SendNotification(control, type, wParam, lParam);
    }
};

TEST_F(NotifyRoutingTest, NamedEntryWinsOverTheFallbackOfTheSameMap) {
    Send(L"alpha", L"click");
    EXPECT_EQ(window.log, std::vector<std::wstring>{L"alpha click"});
}

TEST_F(NotifyRoutingTest, FallbackOfTheDerivedMapEndsTheRoutingBeforeTheBaseMap) {
    Send(L"gamma", L"click");
    Send(L"closebtn", L"click");
    EXPECT_EQ(window.log, (std::vector<std::wstring>{L"any gamma", L"any closebtn"}));
    EXPECT_EQ(TakePostedClose(handle), -1);  // the base's system buttons never saw it
}

TEST_F(NotifyRoutingTest, ParameterHandlersGetWParamAndLParam) {
    Send(L"beta", L"selectchanged", 5, 6);
    Send(L"gamma", L"selectchanged", 7, 8);  // no entry and no fallback for this sender
    EXPECT_EQ(window.log, std::vector<std::wstring>{L"beta 5,6"});
}

TEST_F(NotifyRoutingTest, VirtualWindowPumpGoesFirstAndFallsBackToTheWindow) {
    SettingsPump settings;
    ASSERT_TRUE(window.AddVirtualWindow(L"SETTINGS", &settings));
    EXPECT_FALSE(window.AddVirtualWindow(L"settings", &settings));
    window.Manager().SetUsesVirtualWindows(true);
    Send(L"delta", L"click");
    Send(L"beta", L"selectchanged", 1, 2);  // the pump has no entry for it
    Send(L"gamma", L"click");               // no virtual window
    EXPECT_EQ(settings.log, std::vector<std::wstring>{L"settings delta"});
    EXPECT_EQ(window.log, (std::vector<std::wstring>{L"beta 1,2", L"any gamma"}));
    ASSERT_TRUE(window.RemoveVirtualWindow(L"Settings"));
    Send(L"delta", L"click");
    EXPECT_EQ(window.log.back(), L"any delta");
    window.Manager().SetUsesVirtualWindows(false);
}

TEST_F(NotifyRoutingTest, DestroyUnregistersTheWindowFromItsManager) {
    DestroyWindow(handle);
    handle = nullptr;
    // A notification after the window is gone reaches no receiver.
    window.Manager().SendNotification(window.Manager().Root(), L"click");
    EXPECT_TRUE(window.log.empty());
}

// ---- the child process of the failure test --------------------------------------------

BOOL CALLBACK FindMessageText(HWND child, LPARAM found) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    wchar_t value[256] = {};
    if (_wcsicmp(className, L"Static") == 0 && GetWindowTextW(child, value, 256) > 0) {
        *reinterpret_cast<std::wstring*>(found) = value;
        return FALSE;
    }
    return TRUE;
}

// Reads the message box's texts, writes "text|caption" to the result file and presses OK.
DWORD WINAPI AnswerFailureMessage(void* resultPath) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        HWND box = FindWindowW(L"#32770", L"Veneer");
        if (box != nullptr) {
            std::wstring text;
            EnumChildWindows(box, FindMessageText, reinterpret_cast<LPARAM>(&text));
            wchar_t caption[64] = {};
            GetWindowTextW(box, caption, 64);
            WriteFileBytes(static_cast<const wchar_t*>(resultPath), ToUtf8(text + L"|" + caption));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}

// The child process of the failure test: opens a window whose skin fails as named.
int RunSkinFailureChild(const std::string& failure, const std::wstring& resultPath) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    CWindowManagerUI::SetResourceFolder(TestDataPath(L"skin"));
    HANDLE answer = CreateThread(nullptr, 0, AnswerFailureMessage, const_cast<wchar_t*>(resultPath.c_str()), 0, nullptr);
    if (failure == "no-root") {
        SkinWindow window(L"no-such-skin.xml");
        window.OpenWindow();
    } else if (failure == "missing-archive") {
        SkinWindow window(L"skin.xml", kSkinZipResource, MAKEINTRESOURCEW(999));
        window.OpenWindow();
    } else if (failure == "empty-archive") {
        SkinWindow window(L"skin.xml", kSkinZipResource, MAKEINTRESOURCEW(998));
        window.OpenWindow();
    }
    // Not reached: the failure ends the process with 1.
    CloseHandle(answer);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--skin-failure-child") == 0) return RunSkinFailureChild(argv[2], ToWide(argv[3]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
