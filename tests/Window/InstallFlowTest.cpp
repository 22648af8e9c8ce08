// The install flow on the real frame against the loopback download server and
// analytics collector, with the sample product's installer: failures, the running
// product, the redirect query, and quitting at seeded moments, each quit in a
// process of its own so that its exit is measured.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "DownloadTestServer.h"
#include "FrameTestSupport.h"
#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "Window/InstallerFrameWnd.h"
#include "common/GA.h"
#include "common/PayloadVerifier.h"
#include "common/SystemUtil.h"
#include "common/WorkFolder.h"
#include "ui/control/Control.h"

using namespace Veneer;

namespace {

const wchar_t kProductTitle[] = L"Vantelo Pexar - sample product";

std::wstring SampleProgram(const wchar_t* name) { return BuildPath(std::wstring(L"tools\\sample-product\\") + name); }

// The sample installer, served by the download server from its files folder.
void ServeSampleInstaller()
{
    std::wstring served = BuildPath(L"tests\\tool\\download-server\\files\\SampleSetup.exe");
    ASSERT_TRUE(CopyFileW(SampleProgram(L"SampleSetup.exe").c_str(), served.c_str(), FALSE)) << GetLastError();
}

bool ProcessRuns(const wchar_t* exeName)
{
    DWORD ignored = 0;
    return FindProcessByName(exeName, &ignored);
}

long long NowMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) /
           10000;
}

// A frame on the test thread, set up for one run of the flow: addresses on the
// loopback servers, events to the collector, the product into a folder of its own.
class Flow {
public:
    explicit Flow(const std::wstring& downloadUrl, const std::wstring& redirectUrl = L"")
    {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        frame.SetDialogs(&dialogs);
        opened = frame.Open(nullptr, L"", 0x96C80000, 0) != nullptr;
        Pump();
        frame.SetAddresses(downloadUrl, redirectUrl);
        GetGAInstance()->SetCollectUrl(collector.Url(L"tls", "/mp/collect?measurement_id=G-7QW2HXM4PB&api_secret=x"));
        frame.Manager().ControlNamed(L"edit_path")->SetText(installFolder.Path().c_str());
        while (FileExistsW(collector.RecordPath("collect-" + std::to_string(eventsBefore + 1) + ".req"))) ++eventsBefore;
    }
    ~Flow()
    {
        if (IsWindow(frame.GetHWND())) DestroyWindow(frame.GetHWND());
        Pump();
    }

    bool WaitForState(int state, DWORD timeoutMs)
    {
        return PumpUntil([&] { return frame.GetWindowState() == state; }, timeoutMs);
    }
    bool WaitForClose(DWORD timeoutMs)
    {
        return PumpUntil([&] { return !IsWindow(frame.GetHWND()); }, timeoutMs);
    }
    std::wstring ProductExe() const { return installFolder.Path() + L"\\Vantelo\\Vantelo Pexar\\Pexar.exe"; }
    std::wstring DownloadFile() const { return frame.GetWorkDir() + L"vantelo-download.exe"; }
    // A download that ended well with `installer` in place: its check begins.
    bool CheckDownloaded(const std::wstring& installer)
    {
        if (!CopyFileW(installer.c_str(), DownloadFile().c_str(), FALSE)) return false;
        frame.UpdateWindowSate(kWindow_Downloading);
        frame.DownloadSuccess();
        return true;
    }
    std::wstring Text(const wchar_t* key) const { return frame.GetLanguage().GetText(key); }

    // The bodies the collector received since the flow was set up, once `count`
    // arrived or after the wait.
    std::vector<std::string> Events(size_t count, DWORD waitMs = 5000) const
    {
        std::vector<std::string> bodies;
        DWORD start = GetTickCount();
        for (;;) {
            bodies.clear();
            for (int n = eventsBefore + 1;; ++n) {
                std::wstring path = collector.RecordPath("collect-" + std::to_string(n) + ".req");
                if (!FileExistsW(path)) break;
                bodies.push_back(RequestBody(ReadFileBytes(path)));
            }
            if (bodies.size() >= count || GetTickCount() - start > waitMs) return bodies;
            Sleep(50);
        }
    }
    static size_t CountNamed(const std::vector<std::string>& bodies, const std::string& name)
    {
        size_t count = 0;
        for (const std::string& body : bodies) count += body.find("\"name\": \"" + name + "\"") != std::string::npos;
        return count;
    }
    // The reasons of the "Downloader_Failed" events among the bodies, in order.
    static std::vector<std::string> FailureReasons(const std::vector<std::string>& bodies)
    {
        std::vector<std::string> reasons;
        const std::string key = "\"reason\": \"";
        for (const std::string& body : bodies) {
            size_t at = body.find(key);
            if (body.find("Downloader_Failed") == std::string::npos || at == std::string::npos) continue;
            at += key.size();
            reasons.push_back(body.substr(at, body.find('"', at) - at));
        }
        return reasons;
    }

    TestServer collector{L"analytics-collector"};
    TempFolder installFolder;
    ScriptedDialogs dialogs;
    CInstallerFrameWnd frame;
    bool opened = false;
    int eventsBefore = 0;
};

class InstallFlow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer(L"analytics-collector").Ready()) << "the analytics-collector fixture is not running";
        ServeSampleInstaller();
        SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_MS", L"400");
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_MS", nullptr);
        SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_EXIT", nullptr);
        SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_NO_PRODUCT", nullptr);
    }
    std::wstring InstallerUrl() { return ServerUrl(ServerPort::kPlain, false, UniquePath("SampleSetup.exe")); }
};

TEST_F(InstallFlow, AFailingInstallerGivesTheFailureBoxOncePerAttemptAndNoSuccessEvent)
{
    SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_EXIT", L"1");
    Flow flow(InstallerUrl());
    ASSERT_TRUE(flow.opened);
    LogCapture log;
    flow.dialogs.answers = {IDRETRY, IDCANCEL};
    flow.frame.OnClickInstall();
    ASSERT_TRUE(flow.WaitForClose(30000)) << "Cancel in the failure box closes the installer";

    ASSERT_EQ(2u, flow.dialogs.messages.size());
    for (const auto& message : flow.dialogs.messages) {
        EXPECT_EQ(flow.Text(L"STR_INSTALL_FAILED"), message.text);
        EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR), message.flags);
    }
    EXPECT_EQ(2u, log.Count("installer exit code 1"));
    std::vector<std::string> events = flow.Events(4);
    EXPECT_EQ(1u, Flow::CountNamed(events, "Downloader_Start_Install"));
    EXPECT_EQ(1u, Flow::CountNamed(events, "Downloader_Installed"));
    EXPECT_EQ(0u, Flow::CountNamed(events, "Installed_Succeed"));
    ASSERT_EQ(2u, Flow::CountNamed(events, "Downloader_Failed")) << "one for each attempt, none for the Cancel";
    for (const std::string& body : events) {
        if (body.find("Downloader_Failed") == std::string::npos) continue;
        EXPECT_NE(std::string::npos, body.find("\"reason\": \"install_exit\",\n                \"exit_code\": \"1\""))
            << body;
    }
    EXPECT_FALSE(FileExistsW(flow.frame.GetWorkDir() + L"vantelo-download.exe"));
}

TEST_F(InstallFlow, AZeroExitWithoutTheProductInPlaceIsAFailedInstallation)
{
    SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_NO_PRODUCT", L"1");
    Flow flow(InstallerUrl());
    ASSERT_TRUE(flow.opened);
    flow.dialogs.answer = IDCANCEL;
    flow.frame.OnClickInstall();
    ASSERT_TRUE(flow.WaitForClose(30000));
    ASSERT_EQ(1u, flow.dialogs.messages.size());
    EXPECT_EQ(flow.Text(L"STR_INSTALL_FAILED"), flow.dialogs.messages[0].text);
    EXPECT_EQ(0u, Flow::CountNamed(flow.Events(3), "Installed_Succeed"));
}

TEST_F(InstallFlow, EveryRunningCopyOfTheProductIsStoppedBeforeTheInstallerRuns)
{
    Flow flow(InstallerUrl());
    ASSERT_TRUE(flow.opened);
    std::wstring product = flow.ProductExe();
    ASSERT_EQ(0, SHCreateDirectoryExW(nullptr, product.substr(0, product.rfind(L'\\')).c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(SampleProgram(L"Pexar.exe").c_str(), product.c_str(), FALSE));
    // Twice: once as installed, once under another letter case.
    std::wstring upper = product;
    for (auto& c : upper) c = towupper(c);
    std::vector<UniqueProcessInformation> copies;
    for (const std::wstring& path : {product, upper}) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        copies.emplace_back(info);
    }
    ASSERT_TRUE(PumpUntil([] {
        int windows = 0;
        for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, kProductTitle); w;
             w = FindWindowExW(nullptr, w, nullptr, kProductTitle)) {
            ++windows;
        }
        return windows >= 2;
    }, 20000));

    flow.dialogs.answer = IDOK;
    flow.dialogs.onAnswer = [&](const std::wstring&) {
        // Under the question both still run, and the installer has not started.
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(copies[0].process.Get(), 0));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(copies[1].process.Get(), 0));
        EXPECT_FALSE(ProcessRuns(L"vantelo-download.exe"));
    };
    flow.frame.OnClickInstall();
    ASSERT_TRUE(flow.WaitForState(kWindow_Finish, 30000));
    ASSERT_EQ(1u, flow.dialogs.messages.size());
    EXPECT_EQ(flow.Text(L"STR_SOFT_RUN"), flow.dialogs.messages[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING), flow.dialogs.messages[0].flags);
    for (UniqueProcessInformation& copy : copies) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(copy.process.Get(), 0)) << "a copy of the product still runs";
        TerminateProcess(copy.process.Get(), 0);
    }
    EXPECT_EQ(1u, Flow::CountNamed(flow.Events(3), "Installed_Succeed"));
}

TEST_F(InstallFlow, AFailedDownloadOffersAbortRetryIgnoreAndReportsTheLoss)
{
    Flow flow(ServerUrl(ServerPort::kPlain, false, UniquePath("status=404/1000.bin")));
    ASSERT_TRUE(flow.opened);
    flow.dialogs.answer = IDABORT;
    flow.frame.OnClickInstall();
    ASSERT_TRUE(flow.WaitForClose(30000));
    ASSERT_EQ(1u, flow.dialogs.messages.size());
    EXPECT_EQ(flow.Text(L"STR_NETWORK_ERROR") + L"\n\n" + flow.Text(L"STR_OPERATE_TIP"), flow.dialogs.messages[0].text);
    EXPECT_EQ(flow.Text(L"STR_MESSAGEBOX_TITLE"), flow.dialogs.messages[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONWARNING), flow.dialogs.messages[0].flags);
    std::vector<std::string> events = flow.Events(2);
    ASSERT_EQ(1u, Flow::CountNamed(events, "Downloader_Failed"));
    for (const std::string& body : events) {
        if (body.find("Downloader_Failed") == std::string::npos) continue;
        EXPECT_NE(std::string::npos, body.find("\"reason\": \"download\",\n                \"result\": \"-3\""))
            << body;
    }
}

TEST_F(InstallFlow, WithoutARedirectAddressNoRedirectRequestIsMade)
{
    std::string probe = UniquePath("redirect");
    for (bool withRedirect : {false, true}) {
        std::string file = UniquePath("SampleSetup.exe");
        Flow flow(ServerUrl(ServerPort::kPlain, false, file),
                  withRedirect ? ServerUrl(ServerPort::kPlain, false, probe) : L"");
        ASSERT_TRUE(flow.opened);
        flow.frame.OnClickInstall();
        // The service answers 404, not 302: the configured address stays in use.
        ASSERT_TRUE(PumpUntil([&] { return !RequestsFor(file).empty(); }, 20000));
        EXPECT_EQ(withRedirect ? 1u : 0u, RequestsFor(probe).size());
        flow.dialogs.answer = IDYES;
        SendMessageW(flow.frame.GetHWND(), WM_CLOSE, 0, 0);
    }
}

TEST_F(InstallFlow, TheFramesEndLeavesNoWorkerAndNoFileBehind)
{
    Flow flow(ServerUrl(ServerPort::kPlain, false, UniquePath("rate=100000/5000000.bin")));
    ASSERT_TRUE(flow.opened);
    LogCapture log;
    flow.frame.OnClickInstall();
    ASSERT_TRUE(PumpUntil([&] { return log.Contains("DownLoadContent"); }, 10000));
    Pump(300);
    // The window goes without a close (a session that ends, for one).
    DestroyWindow(flow.frame.GetHWND());
    DWORD start = GetTickCount();
    EXPECT_TRUE(flow.frame.EndWorkers());
    EXPECT_LT(GetTickCount() - start, 2000u);
    // A worker's thread lets go of the context as it returns, right after it said it ended.
    EXPECT_TRUE(PumpUntil([&] { return flow.frame.GetFlowContext().use_count() == 1; }, 500))
        << "a worker still holds the flow context";
    EXPECT_FALSE(FileExistsW(flow.frame.GetWorkDir() + L"vantelo-download.exe"));
    EXPECT_TRUE(log.Contains("HttpDownload,ret = -5"));
}

// ---- the installer's check ----------------------------------------------------------

// The sample installer signed each way tools/release/sign-variants.py knows.
std::wstring PayloadVariant(const wchar_t* name) { return BuildPath(std::wstring(L"payload-variants\\") + name + L".exe"); }

TEST_F(InstallFlow, ARefusedInstallerIsOneLossPerAttemptAndRetryDownloadsAgain)
{
    std::wstring served = BuildPath(L"tests\\tool\\download-server\\files\\RefusedSetup.exe");
    ASSERT_TRUE(CopyFileW(PayloadVariant(L"other-key").c_str(), served.c_str(), FALSE)) << GetLastError();
    std::string path = UniquePath("RefusedSetup.exe");
    Flow flow(ServerUrl(ServerPort::kPlain, false, path));
    ASSERT_TRUE(flow.opened);
    LogCapture log;
    // Refused twice; before the second Retry the server gets the publisher's own.
    flow.dialogs.answers = {IDRETRY, IDRETRY};
    int boxes = 0;
    flow.dialogs.onAnswer = [&](const std::wstring&) {
        EXPECT_FALSE(FileExistsW(flow.DownloadFile())) << "a refused file is left under the box";
        if (++boxes == 2) CopyFileW(SampleProgram(L"SampleSetup.exe").c_str(), served.c_str(), FALSE);
    };
    flow.frame.OnClickInstall();
    ASSERT_TRUE(flow.WaitForState(kWindow_Finish, 60000));

    ASSERT_EQ(2u, flow.dialogs.messages.size());
    for (const auto& message : flow.dialogs.messages) {
        EXPECT_EQ(flow.Text(L"STR_VERIFY_FAILED"), message.text);
        EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR), message.flags);
    }
    EXPECT_EQ(2u, log.Count("Refused: the signer's key is not one of the pinned keys"));
    EXPECT_EQ(1u, log.Count("kWindow_Installing")) << "a refused file was started";
    size_t gets = 0;
    for (const ServedRequest& request : RequestsFor(path)) gets += request.method == "GET" && request.range.find("bytes=0-") == 0;
    EXPECT_GE(gets, 3u) << "each Retry downloads from the start";
    std::vector<std::string> events = flow.Events(7);
    EXPECT_EQ((std::vector<std::string>{"verify", "verify"}), Flow::FailureReasons(events))
        << "one loss for each refused attempt, none for the one that installed";
    EXPECT_EQ(3u, Flow::CountNamed(events, "Downloader_Installed"));
    EXPECT_EQ(1u, Flow::CountNamed(events, "Installed_Succeed"));
    EXPECT_TRUE(FileExistsW(flow.ProductExe()));
}

// A check that ends while the close question is up waits for the answer: after No
// it is applied (a refusal's box appears), after Yes it is moot, and a checked file
// goes with its hold, so nothing is left.
TEST_F(InstallFlow, ACheckEndingUnderTheCloseQuestionWaitsForTheAnswer)
{
    struct Case {
        const wchar_t* variant;
        int answer;
        const char* verdict;  // as the check logs it
        const char* loss;
    };
    const Case cases[] = {
        {L"unsigned", IDNO, "Refused: the file is not signed", "verify"},
        {L"unsigned", IDYES, "Refused: the file is not signed", "cancelled"},
        {L"signed", IDYES, "Trusted (", "cancelled"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(ToUtf8(one.variant) + (one.answer == IDYES ? ", Yes" : ", No"));
        Flow flow(InstallerUrl());
        ASSERT_TRUE(flow.opened);
        LogCapture log;
        flow.dialogs.whileShown = [&] {
            // The check ends while the box's own loop runs.
            EXPECT_TRUE(PumpUntil([&] { return log.Contains(one.verdict); }, 10000));
            Pump(200);
            EXPECT_EQ(1u, flow.dialogs.messages.size()) << "a box opened under the question";
            EXPECT_EQ(kWindow_Downloading, flow.frame.GetWindowState());
        };
        flow.dialogs.answers = {one.answer, IDCANCEL};
        ASSERT_TRUE(flow.CheckDownloaded(PayloadVariant(one.variant)));
        SendMessageW(flow.frame.GetHWND(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(flow.WaitForClose(5000));
        EXPECT_EQ(flow.Text(L"STR_CLOSE_TIP2"), flow.dialogs.messages[0].text);
        if (one.answer == IDNO) {
            ASSERT_EQ(2u, flow.dialogs.messages.size());
            EXPECT_EQ(flow.Text(L"STR_VERIFY_FAILED"), flow.dialogs.messages[1].text);
            EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR), flow.dialogs.messages[1].flags);
        } else {
            EXPECT_EQ(1u, flow.dialogs.messages.size());
            EXPECT_TRUE(log.Contains("flow event PayloadChecked of attempt 0 dropped: the installer is closing"));
        }
        EXPECT_FALSE(log.Contains("kWindow_Installing"));
        EXPECT_FALSE(ProcessRuns(L"vantelo-download.exe"));
        EXPECT_FALSE(FileExistsW(flow.DownloadFile())) << "the file is left";
        EXPECT_EQ(std::vector<std::string>{one.loss}, Flow::FailureReasons(flow.Events(2)));
    }
}

TEST_F(InstallFlow, QuittingWhileTheInstallerIsCheckedLeavesNoFileAndNoProcess)
{
    std::wstring installer = SampleProgram(L"SampleSetup.exe");
    // One whole check on this machine now: the quits land in its first half.
    DWORD checkMs = 0;
    {
        Flow flow(InstallerUrl());
        ASSERT_TRUE(flow.opened);
        std::vector<SignerKeyPin> pins = ParseSignerKeyPins(flow.frame.GetLanguage().GetSignerKeyPins(), nullptr);
        TempFolder folder;
        std::wstring copy = folder.Path() + L"\\SampleSetup.exe";
        ASSERT_TRUE(CopyFileW(installer.c_str(), copy.c_str(), FALSE));
        DWORD start = GetTickCount();
        PayloadCheck check = VerifyAndHoldPayload(copy, pins);
        checkMs = GetTickCount() - start;
        ASSERT_TRUE(check.verdict.trusted) << check.verdict.reason;
    }
    TestRandom random(1703);
    for (int i = 0; i < 5; ++i) {
        DWORD moment = i == 0 ? 0 : static_cast<DWORD>(random.Below(checkMs / 2 + 1));
        SCOPED_TRACE("quit " + std::to_string(moment) + " ms into a check of " + std::to_string(checkMs) + " ms");
        Flow flow(InstallerUrl());
        ASSERT_TRUE(flow.opened);
        LogCapture log;
        flow.dialogs.answer = IDYES;
        ASSERT_TRUE(flow.CheckDownloaded(installer));
        Pump(moment);
        // On a loaded machine a check may end sooner than the one measured: then the quit
        // meets the installation, whose way out the other tests cover; the files and
        // processes must still be gone.
        bool checkEnded = log.Contains("kWindow_Installing");
        if (i == 0) {
            EXPECT_FALSE(checkEnded) << "the check ended before the first quit";
        }
        DWORD asked = GetTickCount();
        SendMessageW(flow.frame.GetHWND(), WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(flow.frame.GetHWND()));
        EXPECT_TRUE(flow.frame.EndWorkers());
        EXPECT_LT(GetTickCount() - asked, 2000u) << "the way out took too long";
        EXPECT_FALSE(FileExistsW(flow.DownloadFile())) << "the checked file is left";
        EXPECT_FALSE(ProcessRuns(L"vantelo-download.exe")) << "the installer started";
        if (checkEnded) continue;
        EXPECT_FALSE(log.Contains("kWindow_Installing"));
        // The check stopped reading and deleted the file, or its verdict came too late to
        // be queued, or it was queued and dropped with its hold before the files went.
        EXPECT_TRUE(log.Contains("Refused: the check was cancelled") ||
                    log.Contains("flow event 7 of attempt 0 not queued: the installer is closing") ||
                    log.Contains("flow event PayloadChecked of attempt 0 dropped: the installer is closing"))
            << log.Text();
    }
}

// ---- quitting ---------------------------------------------------------------------

// The moment of one quit, given to a child run of this program on its command line.
bool QuitCase(std::wstring& phase, int& afterMs)
{
    std::wstring line = GetCommandLineW();
    size_t at = line.find(L"--quit-during=");
    if (at == std::wstring::npos) return false;
    phase = line.substr(at + 14, line.find(L' ', at) - at - 14);
    at = line.find(L"--quit-after=");
    afterMs = at == std::wstring::npos ? 0 : _wtoi(line.c_str() + at + 13);
    return true;
}

std::wstring QuitTimeFile() { return BuildPath(L"tests\\Window\\quit-answered.txt"); }

// Runs only as the child of a Quitting test: starts the flow, says Yes to the
// close question at the given moment and writes when it did. The process's end
// comes after the frame's end, which the parent measures.
TEST(QuitChild, SaysYesAtTheGivenMoment)
{
    std::wstring phase;
    int afterMs = 0;
    if (!QuitCase(phase, afterMs)) GTEST_SKIP() << "run by the Quitting tests";
    std::wstring url = phase == L"download"
                           ? ServerUrl(ServerPort::kPlain, false, UniquePath("rate=400000/5000000.bin"))
                           : ServerUrl(ServerPort::kPlain, false, UniquePath("SampleSetup.exe"));
    Flow flow(url);
    ASSERT_TRUE(flow.opened);
    flow.dialogs.answer = IDYES;
    flow.dialogs.onAnswer = [](const std::wstring&) { WriteFileBytes(QuitTimeFile(), std::to_string(NowMs())); };
    flow.frame.OnClickInstall();
    if (phase == L"install") {
        ASSERT_TRUE(flow.WaitForState(kWindow_Installing, 20000));
    }
    Pump(afterMs);
    EXPECT_NE(kWindow_Finish, flow.frame.GetWindowState()) << "the moment came after the end";
    PostMessageW(flow.frame.GetHWND(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(flow.WaitForClose(5000));
}

void QuitAt(const wchar_t* phase, int afterMs)
{
    SCOPED_TRACE(ToUtf8(phase) + " after " + std::to_string(afterMs) + " ms");
    DeleteFileW(QuitTimeFile().c_str());
    std::wstring arguments = L"--gtest_filter=QuitChild.* --quit-during=" + std::wstring(phase) +
                             L" --quit-after=" + std::to_wstring(afterMs);
    // Bounded well inside the entry's time-out, so that a child that hangs fails its
    // own moment instead of hiding the others.
    int code = RunAndWait(SelfPath(), arguments, 25000);
    long long ended = NowMs();
    EXPECT_EQ(0, code) << "the child failed or crashed (-1002: it hung and was ended)";
    std::string answered = ReadFileBytes(QuitTimeFile());
    ASSERT_FALSE(answered.empty()) << "the close question was not answered";
    EXPECT_LT(ended - atoll(answered.c_str()), 2000) << "the process took too long to exit after Yes";
    std::wstring work = GetWorkFolder();
    EXPECT_FALSE(FileExistsW(work + L"vantelo-download.exe"));
    EXPECT_FALSE(FileExistsW(work + L"temp.progress"));
    EXPECT_FALSE(ProcessRuns(L"vantelo-download.exe")) << "the installer runs on";
    EXPECT_FALSE(ProcessRuns(L"vantelo-download.tmp")) << "the installer's engine runs on";
}

class Quitting : public InstallFlow {};

TEST_F(Quitting, AtTenMomentsOfTheDownload)
{
    // At once, then at seeded moments.
    TestRandom random(1701);
    for (int i = 0; i < 10; ++i) QuitAt(L"download", i == 0 ? 0 : static_cast<int>(random.Below(1500)));
}

TEST_F(Quitting, AtTenMomentsOfTheInstallation)
{
    SetEnvironmentVariableW(L"VANTELO_SAMPLE_SETUP_MS", L"2000");
    TestRandom random(1702);
    for (int i = 0; i < 10; ++i) QuitAt(L"install", i == 0 ? 0 : static_cast<int>(random.Below(1500)));
}

}  // namespace
