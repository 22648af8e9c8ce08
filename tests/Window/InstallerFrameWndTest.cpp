#include "Window/InstallerFrameWnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "DownloadTestServer.h"
#include "FrameTestSupport.h"
#include "LogCapture.h"
#include "TestSupport.h"
#include "common/WorkFolder.h"
#include "net/ProxyCredentialStore.h"
#include "ui/control/Edit.h"
#include "ui/control/Option.h"
#include "ui/control/Progress.h"
#include "ui/control/TabLayout.h"
#include "ui/control/UiEvent.h"

using namespace Veneer;

namespace {

class FrameTest : public testing::Test {
protected:
    void SetUp() override
    {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        frame_.SetDialogs(&dialogs_);
        ASSERT_NE(nullptr, frame_.Open(nullptr, L"", 0x96C80000, 0));
        Pump();
    }
    void TearDown() override
    {
        if (IsWindow(frame_.GetHWND())) DestroyWindow(frame_.GetHWND());
        Pump();
    }

    template <typename T = CControlUI>
    T* Named(const wchar_t* name)
    {
        return dynamic_cast<T*>(frame_.Manager().ControlNamed(name));
    }
    int ClientHeight()
    {
        RECT rect{};
        GetClientRect(frame_.GetHWND(), &rect);
        return rect.bottom - rect.top;
    }
    std::wstring Text(const wchar_t* key) { return frame_.GetLanguage().GetText(key); }

    ScriptedDialogs dialogs_;
    CInstallerFrameWnd frame_;
};

TEST(FrameStart, StopsWithAMessageWhenTheWorkFolderIsUnknown)
{
    ScriptedDialogs dialogs;
    dialogs.answer = IDOK;
    LogCapture log;
    EXPECT_FALSE(CInstallerFrameWnd::CanStartIn(L"", dialogs));
    ASSERT_EQ(1u, dialogs.messages.size());
    EXPECT_EQ(0u, dialogs.messages[0].text.find(L"Setup cannot find the Program Files folder")) << ToUtf8(dialogs.messages[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), dialogs.messages[0].flags);
    EXPECT_TRUE(log.Contains("the Program Files folder cannot be determined: no work folder, setup stops")) << log.Text();

    EXPECT_TRUE(CInstallerFrameWnd::CanStartIn(GetWorkFolder(), dialogs));
    EXPECT_EQ(1u, dialogs.messages.size()) << "a known work folder asks nothing";
}

TEST_F(FrameTest, OpensOnTheHomePageWithTheLicenceTickedAndTheFolderReadOnly)
{
    EXPECT_EQ(kWindow_Init, frame_.GetWindowState());
    EXPECT_EQ(0, Named<CTabLayoutUI>(L"switch")->GetSelectedIndex());
    EXPECT_FALSE(Named(L"btn_start")->IsVisible());
    EXPECT_TRUE(Named<CCheckBoxUI>(L"chk_agree")->IsSelected());
    EXPECT_TRUE(Named(L"btn_install")->IsEnabled());
    EXPECT_FALSE(Named<CCheckBoxUI>(L"chk_fold")->IsSelected());
    EXPECT_FALSE(Named(L"bottomLayout")->IsVisible());
    auto* edit = Named<CEditUI>(L"edit_path");
    EXPECT_TRUE(edit->IsReadOnly());
    EXPECT_EQ(frame_.GetInstallPath(), std::wstring(edit->GetText().GetData()));
    wchar_t title[128] = {};
    GetWindowTextW(frame_.GetHWND(), title, 128);
    EXPECT_EQ(Text(L"STR_MESSAGEBOX_TITLE"), title);
    EXPECT_EQ(L"Vantelo Pexar Setup", std::wstring(title));
    EXPECT_EQ(Text(L"STR_INSTALL"), std::wstring(Named(L"btn_install")->GetText().GetData()));
}

TEST_F(FrameTest, UntickingTheLicenceDisablesInstall)
{
    auto* agree = Named<CCheckBoxUI>(L"chk_agree");
    agree->SetSelected(false);
    Pump();
    EXPECT_FALSE(Named(L"btn_install")->IsEnabled());
    agree->SetSelected(true);
    Pump();
    EXPECT_TRUE(Named(L"btn_install")->IsEnabled());
}

TEST_F(FrameTest, FoldingMakesTheWindowSeventyFivePixelsTallerAndShorter)
{
    int folded = ClientHeight();
    Named<CCheckBoxUI>(L"chk_fold")->SetSelected(true);
    Pump();
    EXPECT_EQ(folded + 75, ClientHeight());
    EXPECT_TRUE(Named(L"bottomLayout")->IsVisible());
    Named<CCheckBoxUI>(L"chk_fold")->SetSelected(false);
    Pump();
    EXPECT_EQ(folded, ClientHeight());
    EXPECT_FALSE(Named(L"bottomLayout")->IsVisible());
}

TEST_F(FrameTest, AFolderWhoseParentIsMissingShowsTheRedTipAndOpensThePathRow)
{
    Named(L"edit_path")->SetText(L"Q:\\missing\\deeper\\");
    frame_.OnClickInstall();
    Pump();
    EXPECT_EQ(kWindow_Init, frame_.GetWindowState());
    CControlUI* tip = Named(L"label_tip");
    EXPECT_TRUE(tip->IsVisible());
    EXPECT_EQ(Text(L"STR_PATH_INVALID"), std::wstring(tip->GetText().GetData()));
    EXPECT_TRUE(Named<CCheckBoxUI>(L"chk_fold")->IsSelected());
    EXPECT_TRUE(Named(L"bottomLayout")->IsVisible());
    // Choosing another folder clears the tip.
    dialogs_.folder = L"C:\\Chosen";
    UiNotify click;
    click.type = L"click";
    click.sender = Named(L"btn_browse");
    frame_.HandleClick(click);
    Pump();
    EXPECT_FALSE(tip->IsVisible());
    EXPECT_EQ(L"C:\\Chosen", std::wstring(Named(L"edit_path")->GetText().GetData()));
}

TEST_F(FrameTest, FocusOnThePathFieldOpensThePickerAndMovesTheFocusToBrowse)
{
    dialogs_.folder = L"C:\\Picked";
    Named<CCheckBoxUI>(L"chk_fold")->SetSelected(true);  // the path row is reachable only unfolded
    Pump();
    Named(L"edit_path")->RequestFocus();
    Pump(200);
    ASSERT_EQ(1u, dialogs_.pickerTitles.size());
    EXPECT_EQ(Text(L"STR_SELECT_FOLDER"), dialogs_.pickerTitles[0]);
    EXPECT_EQ(L"C:\\Picked", std::wstring(Named(L"edit_path")->GetText().GetData()));
    CControlUI* focused = frame_.Manager().FocusedControl();
    EXPECT_EQ(Named(L"btn_browse"), focused) << (focused ? ToUtf8(focused->GetName().GetData()) : "none");
}

TEST_F(FrameTest, ClosingAsksAtHomeAndWhileWorkingButNotWhenFinished)
{
    dialogs_.answer = IDNO;
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    ASSERT_EQ(1u, dialogs_.messages.size());
    EXPECT_EQ(Text(L"STR_CLOSE_TIP1"), dialogs_.messages[0].text);
    EXPECT_EQ(Text(L"STR_MESSAGEBOX_TITLE"), dialogs_.messages[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), dialogs_.messages[0].flags);
    EXPECT_TRUE(IsWindow(frame_.GetHWND())) << "No keeps the window";

    frame_.UpdateWindowSate(kWindow_Downloading);
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    ASSERT_EQ(2u, dialogs_.messages.size());
    EXPECT_EQ(Text(L"STR_CLOSE_TIP2"), dialogs_.messages[1].text);

    // The install flow's own close request is never confirmed.
    SendMessageW(frame_.GetHWND(), WM_CLOSE, CInstallerFrameWnd::kCloseRequest, 0);
    EXPECT_EQ(2u, dialogs_.messages.size());
    EXPECT_FALSE(IsWindow(frame_.GetHWND()));
}

TEST_F(FrameTest, ClosingAfterTheInstallationAsksNothing)
{
    frame_.UpdateWindowSate(kWindow_Finish);
    EXPECT_TRUE(Named(L"btn_start")->IsVisible());
    EXPECT_FALSE(Named(L"btn_install")->IsVisible());
    EXPECT_FALSE(Named(L"customLayout")->IsVisible());
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_FALSE(IsWindow(frame_.GetHWND()));
}

TEST_F(FrameTest, YesClosesFromHome)
{
    dialogs_.answer = IDYES;
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_EQ(1u, dialogs_.messages.size());
    EXPECT_FALSE(IsWindow(frame_.GetHWND()));
}

TEST_F(FrameTest, DownloadingShowsTheBannerPageAndRotatesThePictures)
{
    frame_.UpdateWindowSate(kWindow_Downloading);
    EXPECT_EQ(1, Named<CTabLayoutUI>(L"switch")->GetSelectedIndex());
    CControlUI* banner = Named(L"banner");
    std::wstring first = banner->GetBackImage();
    EXPECT_NE(std::wstring::npos, first.find(L"pr_1.png"));
    // Tick until the last picture, then one tick keeps it and the next starts again.
    std::wstring seen;
    for (int i = 0; i < 8 && seen.find(L"pr_5.png") == std::wstring::npos; ++i) {
        frame_.HandleTimer(CInstallerFrameWnd::kBannerTimer);
        seen = banner->GetBackImage();
    }
    ASSERT_NE(std::wstring::npos, seen.find(L"pr_5.png"));
    frame_.HandleTimer(CInstallerFrameWnd::kBannerTimer);
    EXPECT_EQ(seen, std::wstring(banner->GetBackImage())) << "the reset tick changes nothing";
    frame_.HandleTimer(CInstallerFrameWnd::kBannerTimer);
    EXPECT_NE(std::wstring::npos, std::wstring(banner->GetBackImage()).find(L"pr_1.png"));
}

TEST_F(FrameTest, ProgressShowsOnTheBarAndTheLabel)
{
    frame_.UpdateWindowSate(kWindow_Downloading);
    frame_.SetProgress(85);
    EXPECT_EQ(85, Named<CProgressUI>(L"progress_download")->GetValue());
    EXPECT_EQ(L"85 %", std::wstring(Named(L"label_progress")->GetText().GetData()));
}

TEST_F(FrameTest, DownloadEventsAreCoalescedOntoTheUiThreadAndCreepAfterARetry)
{
    frame_.UpdateWindowSate(kWindow_Downloading);
    CInstallerFrameWnd::DownloadRecord record{frame_.GetFlowContext(), frame_.GetAttempt(), 70};
    auto user = reinterpret_cast<DWORD_PTR>(&record);
    CInstallerFrameWnd::OnDownloadEvent(2, 500, 1000, user);
    CInstallerFrameWnd::OnDownloadEvent(2, 600, 1000, user);
    EXPECT_EQ(0, Named<CProgressUI>(L"progress_download")->GetValue()) << "nothing is touched off the queue";
    Pump();
    EXPECT_EQ(42, Named<CProgressUI>(L"progress_download")->GetValue()) << "the latest value wins";
    // A retry starts counting again: the bar does not move back.
    CInstallerFrameWnd::OnDownloadEvent(2, 100, 1000, user);
    Pump();
    EXPECT_EQ(42, Named<CProgressUI>(L"progress_download")->GetValue());
    CInstallerFrameWnd::OnDownloadEvent(2, 50, 0, user);  // unknown total: no division by zero
    Pump();
    EXPECT_EQ(0, Named<CProgressUI>(L"progress_download")->GetValue());
}

TEST_F(FrameTest, TheProgressFileMapsIntoTheInstallerShare)
{
    frame_.UpdateWindowSate(kWindow_Downloading);
    std::wstring progress = frame_.GetWorkDir() + L"temp.progress";
    ASSERT_TRUE(WriteFileBytes(progress, "42"));
    frame_.HandleTimer(CInstallerFrameWnd::kProgressFileTimer);
    EXPECT_EQ(L"82 %", std::wstring(Named(L"label_progress")->GetText().GetData()));
    ASSERT_TRUE(WriteFileBytes(progress, "nonsense"));
    frame_.HandleTimer(CInstallerFrameWnd::kProgressFileTimer);
    EXPECT_EQ(L"70 %", std::wstring(Named(L"label_progress")->GetText().GetData()));
    DeleteFileW(progress.c_str());
}

bool g_timerSeen = false;

bool CountTimerEvent(void* param)
{
    auto* event = static_cast<UiEvent*>(param);
    if (event->kind == kEventTimer && event->wParam == 7) g_timerSeen = true;
    return true;
}

TEST_F(FrameTest, AControlsTimerReachesTheControlAndIsNoBannerTick)
{
    frame_.UpdateWindowSate(kWindow_Downloading);
    CControlUI* banner = Named(L"banner");
    std::wstring picture = banner->GetBackImage();
    g_timerSeen = false;
    CDelegateStatic hook(&CountTimerEvent);
    banner->eventHooks += hook;
    ASSERT_TRUE(frame_.Manager().StartTimer(banner, 7, 20));
    PumpUntil([] { return g_timerSeen; }, 1000);
    frame_.Manager().StopTimer(banner, 7);
    banner->eventHooks -= hook;
    EXPECT_TRUE(g_timerSeen) << "the frame kept the control's timer";
    EXPECT_EQ(picture, std::wstring(banner->GetBackImage())) << "a control's timer turned the banner";
}

TEST_F(FrameTest, TheAfterInstallationPageOpensOnceAlsoWhenTheWindowClosesWithinTheSecond)
{
    LogCapture log;
    frame_.UpdateWindowSate(kWindow_Finish);
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(frame_.GetHWND()));
    Pump(1300);
    EXPECT_EQ(1u, log.Count("opening the after-installation page"));
}

TEST_F(FrameTest, TheAfterInstallationPageOpensASecondAfterTheFinish)
{
    LogCapture log;
    frame_.UpdateWindowSate(kWindow_Finish);
    Pump(300);
    EXPECT_EQ(0u, log.Count("opening the after-installation page"));
    EXPECT_TRUE(PumpUntil([&] { return log.Contains("opening the after-installation page"); }, 3000));
}

TEST_F(FrameTest, AnEventArrivingUnderTheCloseQuestionWaitsForTheAnswerNo)
{
    frame_.UpdateWindowSate(kWindow_Downloading);
    auto context = frame_.GetFlowContext();
    int attempt = frame_.GetAttempt();
    // A failed download ends while the question is up, as its box's loop runs.
    dialogs_.whileShown = [&] {
        context->PostEvent({CInstallerFrameWnd::kFlowDownloadEnd, attempt, -4});
        Pump(300);
        EXPECT_EQ(1u, dialogs_.messages.size()) << "the failure box opened under the question";
    };
    dialogs_.answers = {IDNO, IDABORT};
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(frame_.GetHWND()); }, 3000)) << "Abort closes";
    ASSERT_EQ(2u, dialogs_.messages.size());
    EXPECT_EQ(Text(L"STR_CLOSE_TIP2"), dialogs_.messages[0].text);
    EXPECT_EQ(Text(L"STR_NETWORK_ERROR") + L"\n\n" + Text(L"STR_OPERATE_TIP"), dialogs_.messages[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONWARNING), dialogs_.messages[1].flags);
}

TEST_F(FrameTest, YesToTheCloseQuestionMakesAnEventThatArrivedUnderItMoot)
{
    LogCapture log;
    frame_.UpdateWindowSate(kWindow_Downloading);
    auto context = frame_.GetFlowContext();
    int attempt = frame_.GetAttempt();
    // The download succeeds while the question is up: the installer must not start.
    dialogs_.whileShown = [&] {
        context->PostEvent({CInstallerFrameWnd::kFlowDownloadEnd, attempt, 0});
        Pump(300);
        EXPECT_EQ(kWindow_Downloading, frame_.GetWindowState()) << "the installation began under the question";
    };
    dialogs_.answer = IDYES;
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(frame_.GetHWND()));
    EXPECT_EQ(1u, dialogs_.messages.size());
    EXPECT_TRUE(log.Contains("flow event DownloadEnd of attempt 0 dropped: the installer is closing"));
    EXPECT_FALSE(log.Contains("kWindow_Installing"));
}

TEST_F(FrameTest, EventsOfAnotherStateOrAttemptAreDroppedWithALogLine)
{
    LogCapture log;
    auto context = frame_.GetFlowContext();
    int attempt = frame_.GetAttempt();
    context->PostEvent({CInstallerFrameWnd::kFlowDownloadEnd, attempt, 0});
    Pump();
    EXPECT_EQ(kWindow_Init, frame_.GetWindowState());
    EXPECT_TRUE(log.Contains("flow event DownloadEnd dropped: not expected in state 0"));
    frame_.UpdateWindowSate(kWindow_Downloading);
    context->PostEvent({CInstallerFrameWnd::kFlowDownloadEnd, attempt + 1, 0});
    context->PostEvent({CInstallerFrameWnd::kFlowInstallEnd, attempt, 2});
    Pump();
    EXPECT_EQ(kWindow_Downloading, frame_.GetWindowState());
    EXPECT_TRUE(log.Contains("flow event DownloadEnd dropped: it belongs to attempt 1, not 0"));
    EXPECT_TRUE(log.Contains("flow event InstallEnd dropped: not expected in state 1"));
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(FrameTest, NoDownloadAddressIsAFailedDownloadNotAnEndlessWait)
{
    frame_.SetAddresses(L"", L"");
    dialogs_.answer = IDABORT;
    frame_.OnClickInstall();
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(frame_.GetHWND()); }, 10000));
    ASSERT_EQ(1u, dialogs_.messages.size());
    EXPECT_EQ(static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONWARNING), dialogs_.messages[0].flags);
}

TEST_F(FrameTest, AProductThatCannotBeStoppedIsToldAndCancelCloses)
{
    // A slow installer in place, so that nothing else ends the installing state.
    ASSERT_TRUE(CopyFileW(BuildPath(L"tools\\sample-product\\SampleSetup.exe").c_str(),
                          (frame_.GetWorkDir() + L"vantelo-download.exe").c_str(), FALSE));
    SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_MS", L"20000");
    frame_.UpdateWindowSate(kWindow_Installing);
    SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_MS", nullptr);
    dialogs_.answer = IDCANCEL;
    frame_.GetFlowContext()->PostEvent({CInstallerFrameWnd::kFlowProductStopped, frame_.GetAttempt(), 0});
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(frame_.GetHWND()); }, 5000)) << "Cancel closes";
    ASSERT_EQ(1u, dialogs_.messages.size());
    EXPECT_EQ(Text(L"STR_SOFT_STOP_FAILED"), dialogs_.messages[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONWARNING), dialogs_.messages[0].flags);
    EXPECT_FALSE(FileExistsW(frame_.GetWorkDir() + L"vantelo-download.exe"));
}

// A request thread that needs the proxy login waits while the frame asks on the UI
// thread, in the user's language; the answer serves that request.
TEST_F(FrameTest, AProxyLoginIsAskedOnTheUiThreadForARequestThread)
{
    ProxyCredentialStore& store = ProxyCredentialStore::Instance();
    store.Wipe();
    std::atomic<bool> done{false};
    bool given = false;
    ProxyCredentialStore::Login login;
    std::thread request([&] {
        given = store.Renew(L"proxy.example:3128", 0, 1, login);
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i) Pump(20);
    request.join();
    ASSERT_TRUE(given);
    EXPECT_EQ(L"alice", login.user);
    EXPECT_EQ(L"secret", login.password);
    ASSERT_EQ(1u, dialogs_.loginQuestions.size());
    const auto& question = dialogs_.loginQuestions[0];
    EXPECT_EQ(Text(L"STR_MESSAGEBOX_TITLE"), question.caption);
    EXPECT_EQ(Text(L"STR_PROXY_LOGIN") + L"\n\nproxy.example:3128", question.message);
    EXPECT_EQ(L"proxy.example:3128", question.proxy);
    EXPECT_FALSE(question.refused);
    EXPECT_EQ(GetCurrentThreadId(), question.thread);
    store.Wipe();
}

// The window closing while a request waits for the login answers "no" at once, and
// the login of the run is wiped with it.
TEST_F(FrameTest, ClosingTheWindowEndsAWaitForTheProxyLogin)
{
    ProxyCredentialStore& store = ProxyCredentialStore::Instance();
    store.Wipe();
    std::atomic<bool> done{false};
    bool given = true;
    std::thread request([&] {
        ProxyCredentialStore::Login login;
        given = store.Renew(L"proxy.example:3128", 0, 1, login);
        done = true;
    });
    Sleep(200);  // the question is posted, not yet shown: no message is pumped
    DWORD began = GetTickCount();
    DestroyWindow(frame_.GetHWND());
    request.join();
    EXPECT_LT(GetTickCount() - began, 2000u);
    EXPECT_TRUE(done);
    EXPECT_FALSE(given);
    EXPECT_TRUE(dialogs_.loginQuestions.empty());
    ProxyCredentialStore::Login login;
    EXPECT_FALSE(store.Current(login));
    EXPECT_FALSE(store.Declined());
}

TEST(FrameEntry, ASecondCopyExitsAtOnceWithMinusOne)
{
    std::wstring installer = HostPathToWindows(VANTELO_INSTALLER_EXE);
    std::wstring name = installer.substr(installer.rfind(L'\\') + 1);
    name.resize(name.rfind(L'.'));
    UniqueKernelHandle first(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_NE(nullptr, first.Get());
    EXPECT_EQ(-1, RunAndWait(installer, L"", 30000));
}

class FrameRightToLeft : public FrameTest {};

TEST_F(FrameRightToLeft, ArabicMirrorsTheBarAndRightAlignsTheBoxes)
{
    if (!getenv("VANTELO_EXPECT_RTL")) GTEST_SKIP() << "run through the frame-arabic ctest entry";
    EXPECT_TRUE(frame_.GetLanguage().IsRightToLeft());
    frame_.UpdateWindowSate(kWindow_Downloading);
    frame_.SetProgress(30);
    EXPECT_EQ(70, Named<CProgressUI>(L"progress_download")->GetValue());
    EXPECT_EQ(L"30 %", std::wstring(Named(L"label_progress")->GetText().GetData()));
    dialogs_.answer = IDNO;
    SendMessageW(frame_.GetHWND(), WM_CLOSE, 0, 0);
    ASSERT_EQ(1u, dialogs_.messages.size());
    EXPECT_EQ(0x190024u, dialogs_.messages[0].flags);
}

}  // namespace
