#include "Window/InstallerFrameWnd.h"

#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "Window/InstallFlowRules.h"
#include "Window/ProxyLoginPrompt.h"
#include "Window/RedirectQuery.h"
#include "Window/UserDialogs.h"
#include "common/GA.h"
#include "common/SystemUtil.h"
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

// Process-wide values of the frame.
bool g_logAndLanguageDone = false;
bool g_closeConfirmOnScreen = false;
int g_bannerCounter = 1;
std::atomic<long long> g_lastReportedPosition{0};
// Handed to every download; nothing sets it yet. It lives for the process, so a
// download thread that outlives the window still finds it.
CDownloadCancel g_cancelDownload;

enum AnalyticsKind { kSendStartInstall = 0, kSendDownloadFinished = 1, kSendInstallSucceed = 2 };

struct AnalyticsRecord {
    CGA* reporter;
    int kind;
    bool result;
};

DWORD WINAPI AnalyticsThread(LPVOID parameter)
{
    auto* record = static_cast<AnalyticsRecord*>(parameter);
    switch (record->kind) {
    case kSendStartInstall: record->result = record->reporter->SendStartInstall(); break;
    case kSendDownloadFinished: record->result = record->reporter->SendDownloadFinished(); break;
    default: record->result = record->reporter->SendInstallSucceed(); break;
    }
    delete record;
    return 0;
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

CInstallerFrameWnd::~CInstallerFrameWnd() = default;

void CInstallerFrameWnd::SetDialogs(IUserDialogs* dialogs) { m_dialogs = dialogs ? dialogs : &SystemDialogs(); }

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
    m_workDir = LanguageManager::GetWorkFolder();
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
    m_proxyLogin.reset(new ProxyLoginPrompt(window_, kMsgFlow, kFlowProxyLogin));
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
    bool given = m_dialogs->AskProxyLogin(window_, m_language.GetText(L"STR_MESSAGEBOX_TITLE"), message, proxy,
                                          refused, user, password);
    LOG_A(given ? "proxy login given" : "proxy login declined");
    return given;
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
    if (!m_dialogs->BrowseForFolder(window_, m_language.GetText(L"STR_SELECT_FOLDER"), folder)) return;
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
    } else if (manager_.ControlNamed(L"banner")) {
        g_bannerCounter = SetBanner(g_bannerCounter) ? g_bannerCounter + 1 : 1;
    }
}

// ---- closing ------------------------------------------------------------------------

LRESULT CInstallerFrameWnd::HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = true;
    if (wParam == kCloseRequest) {
        DeleteDownloadFiles();
        handled = false;
        return 0;
    }
    CControlUI* start = manager_.ControlNamed(L"btn_start");
    if (start && start->IsVisible()) {
        DeleteDownloadFiles();
        handled = false;
        return 0;
    }
    auto* pages = Control<CTabLayoutUI>(L"switch");
    if (!pages || g_closeConfirmOnScreen) return 0;
    g_closeConfirmOnScreen = true;
    std::wstring text = m_language.GetText(pages->GetSelectedIndex() == 1 ? L"STR_CLOSE_TIP2" : L"STR_CLOSE_TIP1");
    int answer = ShowMessage(text, kCloseQuestionFlags);
    g_closeConfirmOnScreen = false;
    if (answer == IDYES) {
        DeleteDownloadFiles();
        handled = false;
    }
    return 0;
}

LRESULT CInstallerFrameWnd::HandleDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    // A request waiting for the login is told no; the login of this run is wiped.
    if (m_proxyLogin) {
        m_proxyLogin->Close();
        ProxyCredentialStore::Instance().SetPrompt(nullptr);
        ProxyCredentialStore::Instance().Wipe();
    }
    PostQuitMessage(18);
    return WindowImplBase::HandleDestroy(message, wParam, lParam, handled);
}

LRESULT CInstallerFrameWnd::HandleOtherMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message == WM_TIMER) {
        HandleTimer(wParam);
        handled = true;
        return 0;
    }
    if (message == kMsgFlow) {
        HandleFlow(wParam, lParam);
        handled = true;
        return 0;
    }
    return WindowImplBase::HandleOtherMessage(message, wParam, lParam, handled);
}

int CInstallerFrameWnd::ShowMessage(const std::wstring& text, UINT flags)
{
    CheckUiThread("CInstallerFrameWnd::ShowMessage");
    return m_dialogs->ShowMessage(window_, text, m_language.GetText(L"STR_MESSAGEBOX_TITLE"),
                                  InstallFlow::MessageBoxFlags(flags, m_language.IsRightToLeft()));
}

// ---- the install flow ---------------------------------------------------------------

void CInstallerFrameWnd::PostFlow(FlowAction action, LPARAM value)
{
    if (!PostMessageW(window_, kMsgFlow, action, value)) {
        LOG_A("PostMessage of flow action %d failed, error %lu", static_cast<int>(action), GetLastError());
    }
}

void CInstallerFrameWnd::HandleFlow(WPARAM action, LPARAM value)
{
    switch (action) {
    case kFlowLowSpace: OnLowSpace(static_cast<int>(value)); break;
    case kFlowProgress:
        m_progressPosted = false;
        SetProgress(m_pendingProgress);
        break;
    case kFlowDownloadEnd:
        if (value == 0) DownloadSuccess();
        else if (value == -3 || value == -4) DownloadFailed();
        break;
    case kFlowInstallEnd:
        if (value) {
            if (m_windowState != kWindow_Finish) UpdateWindowSate(kWindow_Finish);
        } else {
            OnInstallerNotStarted();
        }
        break;
    case kFlowProxyLogin:
        if (m_proxyLogin) {
            m_proxyLogin->Show([this](const std::wstring& proxy, bool refused, std::wstring& user,
                                      std::wstring& password) { return AskProxyLogin(proxy, refused, user, password); });
        }
        break;
    case kFlowFinishTail: {
        if (m_taskbar) m_taskbar->SetState(0);
        std::wstring page = m_language.GetInstallUrl();
        if (!page.empty()) OpenInBrowser(window_, page);
        break;
    }
    default: break;
    }
}

std::wstring CInstallerFrameWnd::DownloadFilePath() const { return m_workDir + kDownloadFileName; }

void CInstallerFrameWnd::SendAnalyticsAsync(int kind)
{
    auto* record = new AnalyticsRecord{GetGAInstance(), kind, false};
    HANDLE thread = CreateThread(nullptr, 0, AnalyticsThread, record, 0, nullptr);
    if (thread) {
        CloseHandle(thread);  // nobody waits for an event
    } else {
        LOG_A("CreateThread for analytics event %d failed, error %lu", kind, GetLastError());
        delete record;
    }
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
    std::thread([this] { InstallWorker(); }).detach();
    LOG_A("send ga begin");
    SendAnalyticsAsync(kSendStartInstall);
    LOG_A("send ga end");
    LOG_A("change page downloading begin");
    UpdateWindowSate(kWindow_Downloading);
    LOG_A("change page downloading end");
}

void CInstallerFrameWnd::InstallWorker()
{
    std::wstring redirect = m_language.GetDownUrlEx();
    if (!redirect.empty()) {
        std::wstring host, path, url = redirect;
        if (LanguageManager::SplitUrl(redirect, host, path) && GetRedirectUrl(host, path, url)) {
            m_downloadUrl = url;
            LOG_W(L"get redirect Url:%s", m_downloadUrl.c_str());
        }
    }
    LOG_A("get file size begin");
    long long size = QueryUrlFileSize(m_downloadUrl);
    LOG_A("get file size end");
    std::wstring drive = InstallFlow::DriveOf(m_installPath);
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
            PostFlow(kFlowLowSpace, required);
            return;
        }
    }
    StartDownload(m_downloadUrl, DownloadFilePath());
}

void CInstallerFrameWnd::OnLowSpace(int requiredMB)
{
    std::wstring text = InstallFlow::LowSpaceText(m_language.GetText(L"STR_STORAGE"), requiredMB,
                                                  m_language.GetText(L"STR_MB"));
    if (ShowMessage(text, kLowSpaceFlags) == IDOK) ResetToHome();
}

void CInstallerFrameWnd::ResetToHome()
{
    SetProgress(0);
    g_lastReportedPosition = 0;
    UpdateWindowSate(kWindow_Init);
}

bool CInstallerFrameWnd::StartDownload(const std::wstring& url, const std::wstring& filePath)
{
    if (url.empty() || filePath.empty()) return false;
    std::thread([this, url, filePath] {
        DownloadParam param;
        param.nDownloadThread = kDownloadThreads;
        param.strDownloadUrl = url;
        param.strSavePath = filePath;
        param.dwUserData = reinterpret_cast<DWORD_PTR>(this);
        HttpDownload(&param, &CInstallerFrameWnd::OnDownloadEvent, &g_cancelDownload);
    }).detach();
    return true;
}

void CInstallerFrameWnd::OnDownloadEvent(int nEvent, long long nValue1, long long nValue2, DWORD_PTR dwUserData)
{
    auto* frame = reinterpret_cast<CInstallerFrameWnd*>(dwUserData);
    if (!frame) return;
    if (nEvent == kDownloadEventProgress) {
        long long position = InstallFlow::NextReportedPosition(g_lastReportedPosition, nValue1, nValue2);
        g_lastReportedPosition = position;
        frame->m_pendingProgress = InstallFlow::DownloadProgress(position, nValue2, frame->m_downloadRatio);
        if (!frame->m_progressPosted.exchange(true)) frame->PostFlow(kFlowProgress);
    } else if (nEvent == kDownloadEventEnd) {
        frame->PostFlow(kFlowDownloadEnd, static_cast<LPARAM>(nValue1));
    }
}

void CInstallerFrameWnd::DownloadSuccess()
{
    LOG_A("HttpDownloadEnd" FW_COLON "Success");
    SendAnalyticsAsync(kSendDownloadFinished);
    if (m_windowState != kWindow_Installing) UpdateWindowSate(kWindow_Installing);
    SetProgress(m_downloadRatio);
}

void CInstallerFrameWnd::DownloadFailed()
{
    LOG_A("HttpDownloadEnd" FW_COLON "Failed");
    // Retry keeps the partial file and its state file: the download continues. It
    // may also mean logging in to the proxy after all.
    OfferFailureChoices([this] {
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
    DWORD productProcess = 0;
    if (FindProcessByName(m_language.GetExeName(), &productProcess)) {
        LOG_A("StartInstallExe" FW_COLON "FindProcess");
        if (m_taskbar) m_taskbar->SetState(TBPF_PAUSED);
        if (ShowMessage(m_language.GetText(L"STR_SOFT_RUN"), kProductRunningFlags) != IDOK) {
            Post(WM_CLOSE, kCloseRequest, 0);
            return;
        }
        KillProcess(productProcess);
        if (m_taskbar) m_taskbar->SetState(TaskbarProgress::kNormal);
    }
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
    std::wstring installer = DownloadFilePath();
    std::wstring installPath = m_installPath;
    std::wstring progressFile = m_progressFile;
    std::thread([this, installer, installPath, progressFile] {
        if (!RunSilentInstall(installer, installPath, progressFile)) {
            LOG_A("StartInstallExe" FW_COLON "RunSilentInstall Failed");
            PostFlow(kFlowInstallEnd, 0);
            return;
        }
        GetGAInstance()->SendInstallSucceed();
        LOG_A("StartInstallExe" FW_COLON "SilentInstallation");
        PostFlow(kFlowInstallEnd, 1);
    }).detach();
}

void CInstallerFrameWnd::OnInstallerNotStarted()
{
    // An installer that cannot be started is a failure the user must hear of, not
    // an installed product: the download-failure choices apply.
    KillTimer(window_, kProgressFileTimer);
    OfferFailureChoices([this] {
        StartInstallThread();
        SetTimer(window_, kProgressFileTimer, m_readFileTimeout, nullptr);
    });
}

void CInstallerFrameWnd::ReadProgressFile()
{
    HANDLE file = CreateFileW(m_progressFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char bytes[11] = {};
    DWORD got = 0;
    ReadFile(file, bytes, 10, &got, nullptr);
    CloseHandle(file);
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
    // The taskbar keeps the full bar for a second before it is cleared; the UI
    // thread does not wait for it.
    HWND window = window_;
    std::thread([window] {
        Sleep(1000);
        PostMessageW(window, kMsgFlow, kFlowFinishTail, 0);
    }).detach();
}

void CInstallerFrameWnd::DeleteDownloadFiles()
{
    KillSilentInstallProcess();
    DeleteFileW(DownloadFilePath().c_str());
    DeleteFileW(DownloadStatePath(DownloadFilePath()).c_str());
    DeleteFileW(m_progressFile.c_str());
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
