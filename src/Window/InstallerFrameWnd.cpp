#include "Window/InstallerFrameWnd.h"

#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "Window/InstallFlowRules.h"
#include "Window/ProxyLoginPrompt.h"
#include "Window/RedirectQuery.h"
#include "Window/UserDialogs.h"
#include "base/UniqueResource.h"
#include "common/GA.h"
#include "common/PayloadVerifier.h"
#include "common/SystemUtil.h"
#include "common/WorkFolder.h"
#include "net/ProxyCredentialStore.h"
#include "log/Log.h"
#include "tool/HttpDownload.h"
#include "ui/control/Edit.h"
#include "ui/control/Option.h"
#include "ui/control/Progress.h"
#include "ui/control/TabLayout.h"

using namespace Veneer;

namespace {

// Full-width colon of the flow's log lines, as its two GBK bytes.
#define FW_COLON "\xA3\xBA"

const wchar_t kDownloadFileName[] = L"vantelo-download.exe";
const wchar_t kInstallerEngineProcess[] = L"vantelo-download.tmp";
constexpr int kDownloadThreads = 5;
constexpr UINT kLowSpaceFlags = MB_OK;
constexpr UINT kDownloadFailedFlags = MB_ABORTRETRYIGNORE | MB_ICONWARNING;  // 0x32
constexpr UINT kProductRunningFlags = MB_OKCANCEL | MB_ICONWARNING;          // 0x31
constexpr UINT kCloseQuestionFlags = MB_YESNO | MB_ICONQUESTION;             // 0x24
constexpr UINT kInstallFailedFlags = MB_RETRYCANCEL | MB_ICONERROR;          // 0x15
constexpr UINT kProductNotStoppedFlags = MB_RETRYCANCEL | MB_ICONWARNING;    // 0x35
// Windows has no Abort/Retry pair: Cancel is the abort.
constexpr UINT kVerifyFailedFlags = MB_RETRYCANCEL | MB_ICONERROR;           // 0x15

// Quitting: the download's segments end within a second of the cancel and the
// installer's job ends at once; the whole way out stays under two seconds.
constexpr DWORD kFileHoldersEndMs = 1500;
constexpr DWORD kInstallerGoneMs = 300;
constexpr DWORD kDeleteRetryMs = 300;
constexpr DWORD kWorkersEndMs = 1800;  // from the start of closing to the frame's end
// A running product: asked to close, then ended by force.
constexpr DWORD kProductAskMs = 5000;
constexpr DWORD kProductKillMs = 3000;
constexpr DWORD kFinishTailMs = 1000;
// The download's own result when it was cancelled.
constexpr int kDownloadCancelled = -5;
// Outcomes of the installer in a kFlowInstallEnd event.
enum InstallOutcome { kInstallNotStarted = 0, kInstallFailed = 1, kInstallSucceeded = 2 };

// Process-wide values of the frame.
bool g_logAndLanguageDone = false;
bool g_closeConfirmOnScreen = false;
int g_bannerCounter = 1;

enum AnalyticsKind { kSendStartInstall = 0, kSendDownloadFinished = 1, kSendInstallSucceed = 2, kSendFailed = 3 };

const char* FlowActionName(int action)
{
    static const char* const names[] = {"?",          "LowSpace",   "DownloadReady", "DownloadEnd", "ProductStopped",
                                        "InstallEnd", "FinishTail", "PayloadChecked"};
    return action > 0 && action < static_cast<int>(sizeof names / sizeof names[0]) ? names[action] : names[0];
}

// Deletes a file and checks that it is gone: a handle that another process is
// still closing gets a short, bounded while.
void DeleteChecked(const std::wstring& path)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (DeleteFileW(path.c_str())) return;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        if (GetTickCount() - start >= kDeleteRetryMs) {
            LOG_W(L"%s could not be deleted, error %lu", path.c_str(), error);
            return;
        }
        Sleep(20);
    }
}

}  // namespace

const NotifyMapEntry CInstallerFrameWnd::kFrameNotifyEntries[] = {
    NotifyOnRecord<CInstallerFrameWnd>(L"click", L"", &CInstallerFrameWnd::OnFrameClick),
    NotifyOnRecord<CInstallerFrameWnd>(L"selectchanged", L"", &CInstallerFrameWnd::HandleSelectChanged),
    NotifyOnRecord<CInstallerFrameWnd>(L"textchanged", L"", &CInstallerFrameWnd::HandleTextChanged),
    NotifyMapEnd(),
};

const NotifyMap CInstallerFrameWnd::kFrameNotifyMap = {&WindowImplBase::kNotifyMap,
                                                       CInstallerFrameWnd::kFrameNotifyEntries};

const NotifyMap* CInstallerFrameWnd::GetNotifyMap() const { return &kFrameNotifyMap; }

CInstallerFrameWnd::CInstallerFrameWnd() : m_dialogs(&SystemDialogs()), m_uiThread(GetCurrentThreadId()) {}

CInstallerFrameWnd::~CInstallerFrameWnd() { EndWorkers(); }

bool CInstallerFrameWnd::CanStartIn(const std::wstring& workFolder, IUserDialogs& dialogs)
{
    if (!workFolder.empty()) return true;
    LOG_A("the Program Files folder cannot be determined: no work folder, setup stops");
    // The texts of the user's language are in the archive that would be unpacked
    // into the work folder, so the sentence is English; the system's own text for
    // the error follows in the user's language.
    std::wstring text =
        L"Setup cannot find the Program Files folder, where it keeps its working files and installs the "
        L"product, so it cannot continue.";
    wchar_t system[512] = {};
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_PATH_NOT_FOUND, 0,
                       system, 512, nullptr)) {
        text += L"\n\n";
        text += system;
    }
    dialogs.ShowMessage(nullptr, text, L"Setup", MB_OK | MB_ICONERROR);
    return false;
}

void CInstallerFrameWnd::SetDialogs(IUserDialogs* dialogs) { m_dialogs = dialogs ? dialogs : &SystemDialogs(); }

void CInstallerFrameWnd::SetAddresses(const std::wstring& downloadUrl, const std::wstring& redirectUrl)
{
    m_downloadUrl = downloadUrl;
    m_redirectUrl = redirectUrl;
}

const wchar_t* CInstallerFrameWnd::WindowClassName() const { return L"InstallerMainFrame"; }

LRESULT CInstallerFrameWnd::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return WindowImplBase::ProcessMessage(message, wParam, lParam);
}

CUiString CInstallerFrameWnd::SkinFolder() { return CUiString(L""); }

CUiString CInstallerFrameWnd::SkinFile()
{
    InitLogAndLanguage();
    // The skin is built next: its fonts take the language's face, when it names one.
    manager_.PreferFaces(m_language.GetFontFaces().c_str());
    return CUiString(m_language.IsRightToLeft() ? L"skin_rtl.xml" : L"skin.xml");
}

SkinSourceKind CInstallerFrameWnd::SkinSource() const { return kSkinZipResource; }

CUiString CInstallerFrameWnd::SkinArchiveFile() const { return CUiString(L"skin.zip"); }

const wchar_t* CInstallerFrameWnd::SkinResourceId() const { return MAKEINTRESOURCEW(104); }

void CInstallerFrameWnd::AfterBuild() { PrepareWindow(); }

template <typename T>
T* CInstallerFrameWnd::Control(const wchar_t* name)
{
    return dynamic_cast<T*>(manager_.ControlNamed(name));
}

void CInstallerFrameWnd::CheckUiThread(const char* operation) const
{
    if (GetCurrentThreadId() != m_uiThread) {
        LOG_A("%s touched the window off the UI thread", operation);
#ifndef NDEBUG
        AssertReport("GetCurrentThreadId() == m_uiThread", operation, __LINE__, "controls belong to the UI thread");
#endif
    }
}

// ---- preparation ----------------------------------------------------------------

void CInstallerFrameWnd::InitLogAndLanguage()
{
    if (m_languageReady) return;
    m_languageReady = true;
    m_workDir = GetWorkFolder();
    std::wstring languageFolder = m_workDir + L"language\\";
    // The log and the unpacked archive are the process's; a second frame (tests)
    // only reads the settings again.
    if (!g_logAndLanguageDone) {
        g_logAndLanguageDone = true;
        InitLog(L"vantelo_down.log", (m_workDir + L"Log").c_str());
        LanguageManager::LoadResZipFile(languageFolder);
    }
    m_language.Init(languageFolder);
}

void CInstallerFrameWnd::PrepareWindow()
{
    SetIconResource(101);
    InitData();
    InitAnalytics();
    InitTaskbar();
    InitProxyLogin();
}

void CInstallerFrameWnd::InitProxyLogin()
{
    m_proxyLogin.reset(new ProxyLoginPrompt(window_, kMsgFlow, kWakeProxyLogin));
    ProxyLoginPrompt* prompt = m_proxyLogin.get();
    ProxyCredentialStore::Instance().SetPrompt(
        [prompt](const std::wstring& proxy, bool refused, std::wstring& user, std::wstring& password) {
            return prompt->Ask(proxy, refused, user, password);
        });
}

bool CInstallerFrameWnd::AskProxyLogin(const std::wstring& proxy, bool refused, std::wstring& user,
                                       std::wstring& password)
{
    CheckUiThread("CInstallerFrameWnd::AskProxyLogin");
    LOG_W(L"asking for the login of proxy %s", proxy.c_str());
    std::wstring message = m_language.GetText(L"STR_PROXY_LOGIN") + L"\n\n" + proxy;
    ModalScope modal(*this);
    bool given = m_dialogs->AskProxyLogin(window_, m_language.GetText(L"STR_MESSAGEBOX_TITLE"), message, proxy,
                                          refused, user, password);
    LOG_A(given ? "proxy login given" : "proxy login declined");
    return given;
}

void CInstallerFrameWnd::CloseProxyLogin()
{
    if (!m_proxyLogin) return;
    m_proxyLogin->Close();
    ProxyCredentialStore::Instance().SetPrompt(nullptr);
    ProxyCredentialStore::Instance().Wipe();
}

void CInstallerFrameWnd::InitData()
{
    m_editPath = nullptr;
    m_labelTip = nullptr;
    m_chkFold = nullptr;
    m_labelProgress = nullptr;
    m_progressDownload = nullptr;
    m_taskbar.reset();
    m_windowState = -1;
    m_context = std::make_shared<CFlowContext>(window_, kMsgFlow);
    m_installPath = GetProgramFilesFolder();
    InitLogAndLanguage();
    m_language.LoadDomainFile();
    UpdateWindowSate(kWindow_Init);
    InitControls();
    m_labelProgress = manager_.ControlNamed(L"label_progress");
    m_labelTip = manager_.ControlNamed(L"label_tip");
    m_progressDownload = Control<CProgressUI>(L"progress_download");

    LOG_W(L"Windows Version:%s", GetWindowsProductName().c_str());
    LOG_W(L"Windows Bit:%s", Is64BitWindows() ? L"x64" : L"x86");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    LOG_W(L"downloader version:%s", GetFileVersionString(self).c_str());

    SetWindowTextW(window_, m_language.GetText(L"STR_MESSAGEBOX_TITLE").c_str());
    m_progressFile = m_workDir + L"temp.progress";
    m_downloadRatio = m_language.GetDownloadRatio();
    m_readFileTimeout = m_language.GetReadFileTimeout();
    LOG_A("DownloadRatio:%d  ==== ReadFileTimeout:%d", m_downloadRatio, m_readFileTimeout);
}

void CInstallerFrameWnd::InitControls()
{
    auto setText = [this](const wchar_t* name, const wchar_t* key) {
        if (CControlUI* control = manager_.ControlNamed(name)) control->SetText(m_language.GetText(key).c_str());
    };
    setText(L"btn_install", L"STR_INSTALL");
    setText(L"btn_hide", L"STR_HIDE");
    setText(L"text_install", L"STR_INSTALLING");
    setText(L"btn_start", L"STR_START");
    setText(L"label_path", L"STR_INSTALL_PATH");
    if (CControlUI* tip = manager_.ControlNamed(L"control_tip")) {
        std::wstring picture = m_workDir + L"language\\" + m_language.GetLanguageName() + L"\\install_tips.png";
        if (FileExists(picture)) tip->SetBackImage(picture.c_str());
    }
    if ((m_editPath = Control<CEditUI>(L"edit_path"))) {
        m_editPath->SetText(m_installPath.c_str());
        m_editPath->SetReadOnly(true);
    }
    setText(L"btn_browse", L"STR_BROWSE");
    setText(L"btn_lisence", L"STR_LISENCE");
    setText(L"label_install", L"STR_INSTALLING");
    if (auto* agree = Control<CCheckBoxUI>(L"chk_agree")) agree->SetSelected(true);
    InitAccessibleNames();
    if ((m_chkFold = Control<CCheckBoxUI>(L"chk_fold"))) {
        m_chkFold->SetText(m_language.GetText(L"STR_CUSTOMIZE_INSTALL").c_str());
        m_chkFold->SetSelected(false);
    }
    m_downloadUrl = m_language.GetDownUrl();
    m_redirectUrl = m_language.GetDownUrlEx();
}

void CInstallerFrameWnd::InitAccessibleNames()
{
    // What screen readers say for the controls that show no words of their own, in
    // the user's language; an empty text leaves the skin's tooltip.
    auto name = [this](const wchar_t* control, const std::wstring& text) {
        if (CControlUI* found = manager_.ControlNamed(control)) found->SetAccessibleName(text.c_str());
    };
    name(L"minbtn", m_language.GetText(L"STR_MINIMIZE"));
    name(L"closebtn", m_language.GetText(L"STR_CLOSE"));
    name(L"chk_agree", CDrawEngine::MarkupPlainText(m_language.GetText(L"STR_LISENCE").c_str()));
    name(L"edit_path", m_language.GetText(L"STR_INSTALL_PATH"));
    name(L"progress_download", m_language.GetText(L"STR_INSTALLING"));
}

void CInstallerFrameWnd::InitAnalytics()
{
    CGA* reporter = GetGAInstance();
    reporter->SetCollectUrl(CGA::ConfiguredCollectUrl());
    reporter->SetEventCategory(m_language.GetGATitle() + L" (Windows version)");
}

void CInstallerFrameWnd::InitTaskbar()
{
    if (m_taskbar) return;
    m_taskbar = std::make_unique<TaskbarProgress>();
    m_taskbar->Attach(window_);
    m_taskbar->SetState(TaskbarProgress::kNormal);
}

// ---- states -----------------------------------------------------------------------

void CInstallerFrameWnd::UpdateWindowSate(int state)
{
    CheckUiThread("CInstallerFrameWnd::UpdateWindowSate");
    auto* pages = Control<CTabLayoutUI>(L"switch");
    if (state == m_windowState || !pages) return;
    m_windowState = state;
    switch (state) {
    case kWindow_Init:
        LOG_A("UpdateWindowSate:kWindow_Init");
        pages->SelectPage(0);
        if (CControlUI* start = manager_.ControlNamed(L"btn_start")) start->SetVisible(false);
        break;
    case kWindow_Downloading:
        LOG_A("UpdateWindowSate:kWindow_Downloading");
        if (m_chkFold) m_chkFold->SetSelected(false);
        pages->SelectPage(1);
        SetProgress(0);
        SetBanner(1);
        SetTimer(window_, kBannerTimer, 5000, nullptr);
        break;
    case kWindow_Installing:
        LOG_A("UpdateWindowSate:kWindow_Installing");
        StartInstallExe();
        break;
    case kWindow_Finish:
        LOG_A("UpdateWindowSate:kWindow_Finish");
        pages->SelectPage(0);
        InstallExeFinish();
        break;
    default: break;
    }
}

// ---- notifications and clicks -------------------------------------------------------

void CInstallerFrameWnd::Receive(UiNotify& notification)
{
    HandleNotify(notification);
    WindowImplBase::Receive(notification);
}

void CInstallerFrameWnd::HandleNotify(UiNotify& notification)
{
    if (notification.type == L"setfocus" && notification.sender && notification.sender == m_editPath) {
        OnBrowse();
        if (CControlUI* browse = manager_.ControlNamed(L"btn_browse")) browse->RequestFocus();
    }
}

void CInstallerFrameWnd::OnFrameClick(UiNotify& notification) { HandleClick(notification); }

void CInstallerFrameWnd::HandleClick(UiNotify& notification)
{
    if (notification.sender) {
        const CUiString& name = notification.sender->GetName();
        if (name == L"btn_install") OnClickInstall();
        else if (name == L"btn_browse") OnBrowse();
        else if (name == L"btn_hide") Send(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        else if (name == L"btn_start") OnClickStart();
        else if (name == L"btn_lisence") OnClickLicence();
    }
    WindowImplBase::HandleClick(notification);
}

void CInstallerFrameWnd::HandleSelectChanged(UiNotify& notification)
{
    if (!notification.sender) return;
    const CUiString& name = notification.sender->GetName();
    auto* pages = Control<CTabLayoutUI>(L"switch");
    if (name == L"examine") {
        if (pages) pages->SelectPage(0);
    } else if (name == L"trojan") {
        if (pages) pages->SelectPage(1);
    } else if (name == L"chk_fold") {
        OnFoldChanged();
    } else if (name == L"chk_agree") {
        OnAgreeChanged();
    }
}

void CInstallerFrameWnd::HandleTextChanged(UiNotify& notification)
{
    if (notification.sender && notification.sender == m_editPath) SetTipText(L"");
}

void CInstallerFrameWnd::OnAgreeChanged()
{
    auto* agree = Control<CCheckBoxUI>(L"chk_agree");
    CControlUI* install = manager_.ControlNamed(L"btn_install");
    if (agree && install) install->SetEnabled(agree->IsSelected());
}

void CInstallerFrameWnd::OnFoldChanged()
{
    bool folded = !(m_chkFold && m_chkFold->IsSelected());
    if (CControlUI* bottom = manager_.ControlNamed(L"bottomLayout")) {
        bottom->ApplyAttribute(L"visible", folded ? L"false" : L"true");
    }
    RECT client{};
    GetClientRect(window_, &client);
    // The area is 75 skin pixels high; the window's scale turns them into device pixels.
    int area = manager_.Scale().Length(75);
    ResizeClientArea(client.right - client.left, client.bottom - client.top + (folded ? -area : area));
}

void CInstallerFrameWnd::OnBrowse()
{
    std::wstring folder;
    bool chosen = false;
    {
        ModalScope modal(*this);
        chosen = m_dialogs->BrowseForFolder(window_, m_language.GetText(L"STR_SELECT_FOLDER"), folder);
    }
    if (!chosen) return;
    if (m_editPath) m_editPath->SetText(folder.c_str());
    SetTipText(L"");
}

void CInstallerFrameWnd::OnClickLicence() { OpenInBrowser(window_, m_language.GetLicenceUrl()); }

void CInstallerFrameWnd::SetTipText(const std::wstring& text)
{
    if (!m_labelTip) return;
    m_labelTip->SetText(text.c_str());
    m_labelTip->SetVisible(!text.empty());
    if (!text.empty() && m_chkFold) m_chkFold->SetSelected(true);
}

bool CInstallerFrameWnd::SetBanner(int n)
{
    CControlUI* banner = manager_.ControlNamed(L"banner");
    if (!banner) return false;
    wchar_t name[32];
    swprintf(name, 32, L"pr_%d.png", n);
    std::wstring picture = m_workDir + L"language\\" + m_language.GetLanguageName() + L"\\" + name;
    if (!FileExists(picture)) return false;
    banner->SetBackImage(picture.c_str());
    return true;
}

void CInstallerFrameWnd::HandleTimer(UINT_PTR id)
{
    if (id == kProgressFileTimer) {
        ReadProgressFile();
    } else if (id == kBannerTimer && manager_.ControlNamed(L"banner")) {
        g_bannerCounter = SetBanner(g_bannerCounter) ? g_bannerCounter + 1 : 1;
    }
}

// ---- closing ------------------------------------------------------------------------

LRESULT CInstallerFrameWnd::HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = true;
    CControlUI* start = manager_.ControlNamed(L"btn_start");
    if (wParam != kCloseRequest && !(start && start->IsVisible())) {
        auto* pages = Control<CTabLayoutUI>(L"switch");
        if (!pages || g_closeConfirmOnScreen) return 0;
        g_closeConfirmOnScreen = true;
        std::wstring text =
            m_language.GetText(pages->GetSelectedIndex() == 1 ? L"STR_CLOSE_TIP2" : L"STR_CLOSE_TIP1");
        int answer = ShowMessage(text, kCloseQuestionFlags);
        g_closeConfirmOnScreen = false;
        if (answer != IDYES) return 0;
    }
    EndFlow();
    handled = false;
    return 0;
}

LRESULT CInstallerFrameWnd::HandleDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    CloseProxyLogin();
    if (m_context) m_context->DetachWindow();
    PostQuitMessage(18);
    return WindowImplBase::HandleDestroy(message, wParam, lParam, handled);
}

LRESULT CInstallerFrameWnd::HandleOtherMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    // Only the frame's own timers: every other one is a control's, which the window
    // manager delivers.
    if (message == WM_TIMER && (wParam == kBannerTimer || wParam == kProgressFileTimer)) {
        HandleTimer(wParam);
        handled = true;
        return 0;
    }
    if (message == kMsgFlow) {
        HandleFlow(wParam);
        handled = true;
        return 0;
    }
    return WindowImplBase::HandleOtherMessage(message, wParam, lParam, handled);
}

CInstallerFrameWnd::ModalScope::~ModalScope()
{
    if (--frame_.m_modalDepth == 0 && frame_.window_) {
        PostMessageW(frame_.window_, kMsgFlow, CFlowContext::kWakeEvents, 0);
    }
}

int CInstallerFrameWnd::ShowMessage(const std::wstring& text, UINT flags)
{
    CheckUiThread("CInstallerFrameWnd::ShowMessage");
    ModalScope modal(*this);
    return m_dialogs->ShowMessage(window_, text, m_language.GetText(L"STR_MESSAGEBOX_TITLE"),
                                  InstallFlow::MessageBoxFlags(flags, m_language.IsRightToLeft()));
}

void CInstallerFrameWnd::EndFlow()
{
    if (m_flowEnded || !m_context) return;
    m_flowEnded = true;
    m_closeStartedAt = GetTickCount();
    if (m_windowState == kWindow_Downloading || m_windowState == kWindow_Installing) ReportLoss("cancelled");
    m_context->BeginClose();
    // A request waiting for the proxy login must not hold the download up.
    CloseProxyLogin();
    if (window_) {
        KillTimer(window_, kBannerTimer);
        KillTimer(window_, kProgressFileTimer);
    }
    DropPendingEvents("the installer is closing");
    if (!m_context->WaitForWorkers(CFlowContext::kHoldsFiles, kFileHoldersEndMs)) {
        LOG_A("the download or the installer is still running %lu ms after closing began", kFileHoldersEndMs);
    }
    if (auto job = m_context->InstallerJob()) job->WaitUntilEmpty(kInstallerGoneMs);
    DeleteDownloadFiles();
    if (m_finishTailPending) RunFinishTail();
}

bool CInstallerFrameWnd::EndWorkers()
{
    if (!m_context) return true;
    EndFlow();
    DWORD spent = GetTickCount() - m_closeStartedAt;
    bool ended = m_context->WaitForWorkers(CFlowContext::kOther, spent < kWorkersEndMs ? kWorkersEndMs - spent : 0);
    if (!ended) LOG_A("workers are still running at the frame's end");
    DropPendingEvents("the frame has ended");
    return ended;
}

void CInstallerFrameWnd::DropPendingEvents(const char* why)
{
    for (;;) {
        // Each goes, with what it holds, before the next is taken.
        CFlowContext::Event event;
        if (!m_context->TakeEvent(event)) break;
        LOG_A("flow event %s of attempt %d dropped: %s", FlowActionName(event.action), event.attempt, why);
    }
}

// ---- the install flow ---------------------------------------------------------------

void CInstallerFrameWnd::HandleFlow(WPARAM what)
{
    if (what == CFlowContext::kWakeProgress) {
        ApplyProgress();
        return;
    }
    if (what == kWakeProxyLogin) m_proxyLoginWaiting = true;
    ApplyEvents();
}

void CInstallerFrameWnd::ApplyEvents()
{
    // Held while a box is up, and never applied inside another event's handling.
    if (m_modalDepth > 0 || m_applyingEvents || !m_context) return;
    m_applyingEvents = true;
    for (;;) {
        CFlowContext::Event event;
        if (m_proxyLoginWaiting) {
            m_proxyLoginWaiting = false;
            if (m_proxyLogin && !m_flowEnded) {
                m_proxyLogin->Show([this](const std::wstring& proxy, bool refused, std::wstring& user,
                                          std::wstring& password) { return AskProxyLogin(proxy, refused, user, password); });
            }
        } else if (m_context->TakeEvent(event)) {
            ApplyEvent(std::move(event));
        } else {
            break;
        }
    }
    m_applyingEvents = false;
}

void CInstallerFrameWnd::ApplyEvent(CFlowContext::Event event)
{
    const char* name = FlowActionName(event.action);
    if (m_flowEnded) {
        LOG_A("flow event %s dropped: the installer is closing", name);
        return;
    }
    if (event.attempt != m_attempt) {
        LOG_A("flow event %s dropped: it belongs to attempt %d, not %d", name, event.attempt, m_attempt);
        return;
    }
    int expected = event.action == kFlowFinishTail                                            ? kWindow_Finish
                   : event.action == kFlowProductStopped || event.action == kFlowInstallEnd ? kWindow_Installing
                   : event.action == kFlowPayloadChecked ? static_cast<int>(event.detail)
                                                         : kWindow_Downloading;
    if (m_windowState != expected) {
        LOG_A("flow event %s dropped: not expected in state %d", name, m_windowState);
        return;
    }
    switch (event.action) {
    case kFlowLowSpace: OnLowSpace(static_cast<int>(event.value)); break;
    case kFlowDownloadReady:
        m_downloadUrl = event.text;
        // No address (product data without one) is a failed download, not a wait without end.
        if (!StartDownload(m_downloadUrl, DownloadFilePath())) DownloadFailed(-1);
        break;
    case kFlowDownloadEnd:
        // Every failure gets the box, also bad parameters (-1), which left the window
        // on the progress page for good.
        if (event.value == 0) DownloadSuccess();
        else if (event.value == kDownloadCancelled) LOG_A("the download was cancelled");
        else DownloadFailed(static_cast<int>(event.value));
        break;
    case kFlowProductStopped: OnProductStopped(event.value != 0); break;
    case kFlowInstallEnd:
        if (event.value == kInstallNotStarted) OnInstallerNotStarted(static_cast<DWORD>(event.detail));
        else if (event.value == kInstallSucceeded) UpdateWindowSate(kWindow_Finish);
        else OnInstallFailed(static_cast<DWORD>(event.detail));
        break;
    case kFlowFinishTail: RunFinishTail(); break;
    case kFlowPayloadChecked: OnPayloadChecked(event); break;
    default: break;
    }
}

void CInstallerFrameWnd::ApplyProgress()
{
    int attempt = 0, percent = 0;
    if (!m_context || !m_context->TakeProgress(attempt, percent)) return;
    if (m_flowEnded || attempt != m_attempt || m_windowState != kWindow_Downloading) return;
    SetProgress(percent);
}

std::wstring CInstallerFrameWnd::DownloadFilePath() const { return m_workDir + kDownloadFileName; }

std::wstring CInstallerFrameWnd::ProductExePath() const { return m_installPath + m_language.GetExeRelativePath(); }

void CInstallerFrameWnd::SendAnalyticsAsync(int kind, const char* reason, const char* codeName, long long code)
{
    // Nobody waits for an event, except the frame's end, bounded.
    auto send = [kind, reason, codeName, code] {
        CGA* reporter = GetGAInstance();
        switch (kind) {
        case kSendStartInstall: reporter->SendStartInstall(); break;
        case kSendDownloadFinished: reporter->SendDownloadFinished(); break;
        case kSendInstallSucceed: reporter->SendInstallSucceed(); break;
        default: reporter->SendDownloaderFailed(reason, codeName, code); break;
        }
    };
    m_context->StartWorker(CFlowContext::kOther, "an analytics event", send);
}

void CInstallerFrameWnd::ReportLoss(const char* reason, const char* codeName, long long code)
{
    if (m_lossReported) return;
    m_lossReported = true;
    LOG_A("installation attempt %d lost: %s", m_attempt, reason);
    if (m_language.IsFailureEventOn()) SendAnalyticsAsync(kSendFailed, reason, codeName, code);
}

void CInstallerFrameWnd::NewAttempt()
{
    ++m_attempt;
    m_lossReported = false;
}

void CInstallerFrameWnd::OnClickInstall()
{
    LOG_A("OnClickInstall");
    SetTipText(L"");
    std::wstring path = m_editPath ? std::wstring(m_editPath->GetText().GetData()) : std::wstring();
    m_installPath = InstallFlow::WithTrailingBackslash(path);
    LOG_W(L"sel path:%s", m_installPath.c_str());
    if (!InstallFlow::IsInstallPathAccepted(m_installPath)) {
        SetTipText(m_language.GetText(L"STR_PATH_INVALID"));
        return;
    }
    LOG_A("sel path end");
    NewAttempt();
    std::shared_ptr<CFlowContext> context = m_context;
    int attempt = m_attempt;
    std::wstring redirect = m_redirectUrl, url = m_downloadUrl, installPath = m_installPath;
    std::vector<std::wstring> allowedHosts = m_language.GetDownloadHosts();
    m_context->StartWorker(CFlowContext::kOther, "the install worker", [=] {
        std::wstring address = ResolveDownloadUrl(redirect, url, allowedHosts);
        if (context->IsClosing()) return;
        LOG_A("get file size begin");
        long long size = QueryUrlFileSize(address);
        LOG_A("get file size end");
        std::wstring drive = InstallFlow::DriveOf(installPath);
        LOG_A("get disk size begin");
        int freeMB = 0;
        bool measured = GetFreeDiskSpaceMB(drive, &freeMB);
        LOG_A("get disk size end");
        if (!measured) {
            // The download fails cleanly by itself if the disk fills; waiting here would
            // leave the window on the progress page for good.
            LOG_A("OnClickInstall" FW_COLON "GetFreeSize Failed");
            LOG_A("free space unknown, downloading anyway");
        } else {
            long long sizeMB = size >> 20;
            int required = InstallFlow::RequiredSpaceMB(size);
            if (freeMB < required) {
                LOG_A("OnClickInstall" FW_COLON "filesize:%lldMB--FreeSize:%dMB", sizeMB, freeMB);
                context->PostEvent({kFlowLowSpace, attempt, required});
                return;
            }
        }
        context->PostEvent({kFlowDownloadReady, attempt, 0, 0, address});
    });
    LOG_A("send ga begin");
    SendAnalyticsAsync(kSendStartInstall);
    LOG_A("send ga end");
    LOG_A("change page downloading begin");
    UpdateWindowSate(kWindow_Downloading);
    LOG_A("change page downloading end");
}

void CInstallerFrameWnd::OnLowSpace(int requiredMB)
{
    ReportLoss("low_space");
    std::wstring text = InstallFlow::LowSpaceText(m_language.GetText(L"STR_STORAGE"), requiredMB,
                                                  m_language.GetText(L"STR_MB"));
    if (ShowMessage(text, kLowSpaceFlags) == IDOK) ResetToHome();
}

void CInstallerFrameWnd::ResetToHome()
{
    SetProgress(0);
    m_context->lastReportedPosition = 0;
    UpdateWindowSate(kWindow_Init);
}

bool CInstallerFrameWnd::StartDownload(const std::wstring& url, const std::wstring& filePath)
{
    if (url.empty() || filePath.empty()) return false;
    std::shared_ptr<CFlowContext> context = m_context;
    int attempt = m_attempt, ratio = m_downloadRatio;
    // Each download has its own cancel, which outlives it: its thread holds it too.
    auto cancel = std::make_shared<CDownloadCancel>();
    m_context->SetDownloadCancel([cancel] { cancel->Cancel(); });
    return m_context->StartWorker(CFlowContext::kHoldsFiles, "the download", [=] {
        DownloadRecord record{context, attempt, ratio};
        DownloadParam param;
        param.nDownloadThread = kDownloadThreads;
        param.strDownloadUrl = url;
        param.strSavePath = filePath;
        param.dwUserData = reinterpret_cast<DWORD_PTR>(&record);
        HttpDownload(&param, &CInstallerFrameWnd::OnDownloadEvent, cancel.get());
    });
}

void CInstallerFrameWnd::OnDownloadEvent(int nEvent, long long nValue1, long long nValue2, DWORD_PTR dwUserData)
{
    auto* record = reinterpret_cast<DownloadRecord*>(dwUserData);
    if (!record) return;
    CFlowContext& context = *record->context;
    if (nEvent == kDownloadEventProgress) {
        long long position = InstallFlow::NextReportedPosition(context.lastReportedPosition, nValue1, nValue2);
        context.lastReportedPosition = position;
        context.PostProgress(record->attempt, InstallFlow::DownloadProgress(position, nValue2, record->downloadRatio));
    } else if (nEvent == kDownloadEventEnd) {
        context.PostEvent({kFlowDownloadEnd, record->attempt, nValue1});
    }
}

void CInstallerFrameWnd::DownloadSuccess()
{
    LOG_A("HttpDownloadEnd" FW_COLON "Success");
    SendAnalyticsAsync(kSendDownloadFinished);
    // The installer runs elevated: it goes on only once its signature checked out.
    VerifyDownload();
}

void CInstallerFrameWnd::VerifyDownload()
{
    std::vector<std::wstring> rejected;
    std::vector<SignerKeyPin> pins = ParseSignerKeyPins(m_language.GetSignerKeyPins(), &rejected);
    for (const std::wstring& entry : rejected) LOG_W(L"VerifyPayload: not a SHA-256 key pin: \"%s\"", entry.c_str());
    LOG_A("VerifyPayload begin (%d pinned keys)", static_cast<int>(pins.size()));
    std::shared_ptr<CFlowContext> context = m_context;
    int attempt = m_attempt, state = m_windowState;
    std::wstring path = DownloadFilePath();
    // A worker that holds the file: closing cancels the check and waits for it
    // before the files are deleted.
    m_context->StartWorker(CFlowContext::kHoldsFiles, "the payload check", [=] {
        DWORD began = GetTickCount();
        PayloadCheck check = VerifyAndHoldPayload(path, pins, [&context] { return context->IsClosing(); });
        DWORD spent = GetTickCount() - began;
        if (check.verdict.trusted) {
            LOG_A("VerifyPayload" FW_COLON "Trusted (%lu ms)", spent);
        } else {
            LOG_A("VerifyPayload" FW_COLON "Refused: %s (%lu ms)", check.verdict.reason.c_str(), spent);
        }
        CFlowContext::Event event{kFlowPayloadChecked, attempt, check.verdict.trusted ? 1 : 0, state};
        event.payload = std::move(check.held);
        // Refused, the event has let go of the hold: nobody will start the file.
        if (!context->PostEvent(std::move(event))) DeleteChecked(path);
    });
}

void CInstallerFrameWnd::OnPayloadChecked(CFlowContext::Event& event)
{
    if (!event.value) {
        OnPayloadRefused();
        return;
    }
    m_heldPayload = std::move(event.payload);
    if (m_windowState != kWindow_Installing) {
        UpdateWindowSate(kWindow_Installing);
        SetProgress(m_downloadRatio);
    } else {
        // A start tried again, with the file checked anew.
        StartInstallThread();
    }
}

void CInstallerFrameWnd::OnPayloadRefused()
{
    // The check has deleted the file already.
    KillTimer(window_, kProgressFileTimer);
    ReportLoss("verify");
    if (m_taskbar) m_taskbar->SetState(TaskbarProgress::kError);
    if (ShowMessage(m_language.GetText(L"STR_VERIFY_FAILED"), kVerifyFailedFlags) != IDRETRY) {
        Post(WM_CLOSE, kCloseRequest, 0);
        return;
    }
    // A whole new download: what was there was not what the publisher signed.
    NewAttempt();
    DeleteDownloadFiles();
    UpdateWindowSate(kWindow_Downloading);
    m_context->lastReportedPosition = 0;
    SetProgress(0);
    StartDownload(m_downloadUrl, DownloadFilePath());
}

void CInstallerFrameWnd::DownloadFailed(int result)
{
    LOG_A("HttpDownloadEnd" FW_COLON "Failed");
    ReportLoss("download", "result", result);
    // Retry keeps the partial file and its state file: the download continues. It
    // may also mean logging in to the proxy after all.
    OfferFailureChoices([this] {
        NewAttempt();
        ProxyCredentialStore::Instance().AllowPromptAgain();
        StartDownload(m_downloadUrl, DownloadFilePath());
    });
}

void CInstallerFrameWnd::OfferFailureChoices(const std::function<void()>& retry)
{
    if (m_taskbar) m_taskbar->SetState(TaskbarProgress::kError);
    std::wstring text = m_language.GetText(L"STR_NETWORK_ERROR") + L"\n\n" + m_language.GetText(L"STR_OPERATE_TIP");
    switch (ShowMessage(text, kDownloadFailedFlags)) {
    case IDABORT: Post(WM_CLOSE, kCloseRequest, 0); break;
    case IDRETRY: retry(); break;
    case IDIGNORE:
        OpenInBrowser(window_, m_downloadUrl);
        DeleteDownloadFiles();
        ResetToHome();
        break;
    default: break;
    }
}

void CInstallerFrameWnd::StartInstallExe()
{
    std::wstring product = ProductExePath();
    if (FindProcessesByPath(product).empty()) {
        ContinueInstallExe();
        return;
    }
    LOG_A("StartInstallExe" FW_COLON "FindProcess");
    if (m_taskbar) m_taskbar->SetState(TBPF_PAUSED);
    if (ShowMessage(m_language.GetText(L"STR_SOFT_RUN"), kProductRunningFlags) != IDOK) {
        Post(WM_CLOSE, kCloseRequest, 0);
        return;
    }
    // Asking the product to close and waiting for it takes seconds: off the UI thread.
    std::shared_ptr<CFlowContext> context = m_context;
    int attempt = m_attempt;
    m_context->StartWorker(CFlowContext::kOther, "the product stopper", [=] {
        bool stopped = StopProcessesByPath(product, kProductAskMs, kProductKillMs);
        context->PostEvent({kFlowProductStopped, attempt, stopped ? 1 : 0});
    });
}

void CInstallerFrameWnd::OnProductStopped(bool stopped)
{
    if (stopped) {
        if (m_taskbar) m_taskbar->SetState(TaskbarProgress::kNormal);
        ContinueInstallExe();
        return;
    }
    LOG_W(L"StartInstallExe" L"\xFF1A" L"the running product %s could not be stopped", ProductExePath().c_str());
    if (ShowMessage(m_language.GetText(L"STR_SOFT_STOP_FAILED"), kProductNotStoppedFlags) == IDRETRY) {
        StartInstallExe();
    } else {
        Post(WM_CLOSE, kCloseRequest, 0);
    }
}

void CInstallerFrameWnd::ContinueInstallExe()
{
    std::wstring productFolder = m_installPath + m_language.GetInstallSubFolder();
    SHCreateDirectoryExW(nullptr, productFolder.c_str(), nullptr);
    if (GetFileAttributesW(productFolder.c_str()) != FILE_ATTRIBUTE_DIRECTORY) {
        CreateDirectoryW(productFolder.c_str(), nullptr);
    }
    m_language.WriteDomainFile(m_installPath);
    StartInstallThread();
    if (FileExists(m_progressFile)) DeleteFileW(m_progressFile.c_str());
    SetTimer(window_, kProgressFileTimer, m_readFileTimeout, nullptr);
}

void CInstallerFrameWnd::StartInstallThread()
{
    if (!m_heldPayload) {
        VerifyDownload();  // comes back here with the file checked and held
        return;
    }
    std::shared_ptr<CHeldPayload> payload(std::move(m_heldPayload));
    auto job = std::make_shared<CInstallerJob>();
    m_context->SetInstallerJob(job);
    std::shared_ptr<CFlowContext> context = m_context;
    int attempt = m_attempt;
    std::wstring installer = payload->Path(), installPath = m_installPath, progressFile = m_progressFile;
    std::wstring product = ProductExePath();
    m_context->StartWorker(CFlowContext::kHoldsFiles, "the install thread", [=]() mutable {
        DWORD code = 0;
        // The hold goes once the process exists in the job, before it runs: from then
        // on the system keeps the file of a mapped image from being written or deleted.
        bool ran = RunSilentInstall(installer, installPath, progressFile, *job, &code, [&payload] { payload.reset(); });
        payload.reset();
        if (context->IsClosing()) return;
        if (!ran) {
            LOG_A("StartInstallExe" FW_COLON "RunSilentInstall Failed");
            context->PostEvent({kFlowInstallEnd, attempt, kInstallNotStarted, code});
            return;
        }
        LOG_A("StartInstallExe" FW_COLON "installer exit code %lu", code);
        // Success is an exit code of 0 and the product in its place.
        bool installed = code == 0 && FileExists(product);
        if (installed) {
            GetGAInstance()->SendInstallSucceed();
            LOG_A("StartInstallExe" FW_COLON "SilentInstallation");
        }
        context->PostEvent({kFlowInstallEnd, attempt, installed ? kInstallSucceeded : kInstallFailed, code});
    });
}

void CInstallerFrameWnd::OnInstallerNotStarted(DWORD error)
{
    // An installer that cannot be started is a failure the user must hear of, not
    // an installed product: the download-failure choices apply.
    KillTimer(window_, kProgressFileTimer);
    ReportLoss("install_start", "result", error);
    OfferFailureChoices([this] {
        NewAttempt();
        StartInstallThread();
        SetTimer(window_, kProgressFileTimer, m_readFileTimeout, nullptr);
    });
}

void CInstallerFrameWnd::OnInstallFailed(DWORD exitCode)
{
    KillTimer(window_, kProgressFileTimer);
    LOG_A("StartInstallExe" FW_COLON "SilentInstallation Failed, exit code %lu", exitCode);
    ReportLoss("install_exit", "exit_code", exitCode);
    if (m_taskbar) m_taskbar->SetState(TaskbarProgress::kError);
    if (ShowMessage(m_language.GetText(L"STR_INSTALL_FAILED"), kInstallFailedFlags) == IDRETRY) {
        NewAttempt();
        SetProgress(m_downloadRatio);
        StartInstallExe();
    } else {
        Post(WM_CLOSE, kCloseRequest, 0);
    }
}

void CInstallerFrameWnd::ReadProgressFile()
{
    UniqueFileHandle file(CreateFileW(m_progressFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return;
    char bytes[11] = {};
    DWORD got = 0;
    ReadFile(file.Get(), bytes, 10, &got, nullptr);
    file.Reset();
    int n = InstallFlow::ParseProgressPercent(std::string(bytes, got));
    SetProgress(InstallFlow::InstallProgress(m_downloadRatio, n));
}

void CInstallerFrameWnd::SetProgress(int percent)
{
    CheckUiThread("CInstallerFrameWnd::SetProgress");
    if (m_progressDownload) {
        // Screen readers hear the progress, not the mirrored bar of right to left.
        m_progressDownload->SetAccessibleValue((std::to_wstring(percent) + L"%").c_str());
        m_progressDownload->SetValue(InstallFlow::BarValue(percent, m_language.IsRightToLeft()));
    }
    if (m_labelProgress) {
        wchar_t text[32];
        swprintf(text, 32, L"%d %%", percent);
        m_labelProgress->SetText(text);
    }
    if (m_taskbar) {
        m_taskbar->SetState(TaskbarProgress::kNormal);
        m_taskbar->SetValue(percent, 100);
    }
}

void CInstallerFrameWnd::InstallExeFinish()
{
    LOG_A("InstallExeFinish");
    KillTimer(window_, kBannerTimer);
    KillTimer(window_, kProgressFileTimer);
    if (CControlUI* start = manager_.ControlNamed(L"btn_start")) start->SetVisible(true);
    if (CControlUI* install = manager_.ControlNamed(L"btn_install")) install->SetVisible(false);
    if (CControlUI* line = manager_.ControlNamed(L"lineLayout")) line->ApplyAttribute(L"visible", L"false");
    if (CControlUI* custom = manager_.ControlNamed(L"customLayout")) custom->ApplyAttribute(L"visible", L"false");
    if (CControlUI* tip = manager_.ControlNamed(L"control_tip")) tip->SetVisible(false);
    if (m_taskbar) {
        m_taskbar->SetState(TaskbarProgress::kNormal);
        m_taskbar->SetValue(100, 100);
    }
    if (!IsWindowVisible(window_)) ShowWindow(window_, SW_SHOWNORMAL);
    DeleteDownloadFiles();
    // The taskbar keeps the full bar for a second before it is cleared and the
    // after-installation page opens; a window closed within that second runs the
    // rest at once (EndFlow).
    m_finishTailPending = true;
    std::shared_ptr<CFlowContext> context = m_context;
    int attempt = m_attempt;
    m_context->StartWorker(CFlowContext::kOther, "the finish timer", [=] {
        if (!context->WaitForQuit(kFinishTailMs)) context->PostEvent({kFlowFinishTail, attempt});
    });
}

void CInstallerFrameWnd::RunFinishTail()
{
    if (!m_finishTailPending) return;
    m_finishTailPending = false;
    if (m_taskbar) m_taskbar->SetState(0);
    std::wstring page = m_language.GetInstallUrl();
    if (page.empty()) return;
    LOG_W(L"opening the after-installation page %s", page.c_str());
    OpenInBrowser(window_, page);
}

void CInstallerFrameWnd::DeleteDownloadFiles()
{
    m_heldPayload.reset();  // a held file cannot be deleted
    // The installer's job ends the installer and all it started; stopping its engine
    // copy by name is only for an installer that could not be put in a job.
    std::shared_ptr<CInstallerJob> job = m_context ? m_context->InstallerJob() : nullptr;
    if (job && job->RanOutsideJob()) KillSilentInstallProcess();
    DeleteChecked(DownloadFilePath());
    DeleteChecked(DownloadStatePath(DownloadFilePath()));
    DeleteChecked(m_progressFile);
}

void CInstallerFrameWnd::KillSilentInstallProcess()
{
    DWORD process = 0;
    if (FindProcessByName(kInstallerEngineProcess, &process)) {
        LOG_A("KillSilentInstallProcess");
        KillProcess(process);
    }
}

void CInstallerFrameWnd::OnClickStart()
{
    RunProgram(m_installPath + m_language.GetExeRelativePath(), m_language.IsRunAsAdmin());
    Post(WM_CLOSE, kCloseRequest, 0);
}
