#pragma once
// CInstallerFrameWnd: the installer's only window and its install flow, from the
// click on Install to Start Now.
//
// Thread contract: the window, its controls, timers, the taskbar object, the
// settings and every message box belong to the UI thread. The install worker, the
// download threads, the payload check, the install thread, the product stopper,
// the finish timer and the analytics threads never touch them: each is started
// with copies of what it needs and hands its result to the UI thread as an event
// of the shared flow context (FlowContext.h). Progress is coalesced: only the
// latest value is painted.
//
// Lifetime: the entry function owns the frame on its stack. Workers never hold the
// frame: they hold the flow context (window handle, queue, atomics, the download's
// cancel, the installer's job) through a shared pointer, so whatever outlives the
// frame touches only that. A download's callback gets its own record, which lives
// on the download thread's stack for as long as the download runs. Closing (any
// WM_CLOSE that goes through) cancels the download and the payload check, ends
// the installer's job, waits a bounded time for the three to end and only then
// deletes the downloaded files; the frame's end (EndWorkers, also run by the
// destructor) waits a bounded time for every other worker.
//
// The downloaded installer runs only once checked: the payload check, a worker,
// holds the file open against writes and deletion and hands the hold to the UI
// thread in its event (then m_heldPayload); the install thread takes it over and
// lets go once the installer's process exists in its job, before it runs. Nothing
// starts a file that is not checked and held. A dropped event lets go of its hold;
// closing cancels a check under way (the check then deletes the file itself) and
// deletes the downloaded files only once every hold is gone.
//
// Receivers: flow events are applied on the UI thread one at a time, each checked
// against the current state and attempt. While a modal box or picker of the frame
// is on screen they wait in the queue; after the answer they are applied in the
// order they came, or dropped with a log line when the answer made them moot (the
// installer closing, another attempt, another state). A receiver may show a modal
// box and may start workers; it never waits for a worker, except the closing path,
// which does so bounded.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "Window/FlowContext.h"
#include "common/LanguageManager.h"
#include "common/TaskbarProgress.h"
#include "ui/core/WindowImplBase.h"

class IUserDialogs;
class ProxyLoginPrompt;

namespace Veneer {
class CControlUI;
class CEditUI;
class CCheckBoxUI;
class CProgressUI;
}  // namespace Veneer

enum WindowState { kWindow_Init = 0, kWindow_Downloading = 1, kWindow_Installing = 2, kWindow_Finish = 3 };

class CInstallerFrameWnd : public Veneer::WindowImplBase {
public:
    // Events of the flow context (CFlowContext::Event::action), with the states in which each is expected.
    enum FlowAction {
        kFlowLowSpace = 1,        // Downloading; value: required MiB
        kFlowDownloadReady = 2,   // Downloading; text: the address to download
        kFlowDownloadEnd = 3,     // Downloading; value: the download's result code
        kFlowProductStopped = 4,  // Installing; value: 1 when no copy of the product is left
        kFlowInstallEnd = 5,      // Installing; value: the outcome; detail: exit code or error
        kFlowFinishTail = 6,      // Finish; a second after the finish
        kFlowPayloadChecked = 7,  // detail: the state the check began in; value: 1 trusted, the
                                  // hold in payload; 0 refused, the file deleted and why logged
    };
    // Private message that wakes the UI thread for the flow context's events and progress.
    static constexpr UINT kMsgFlow = WM_APP + 16;
    // WM_CLOSE with this wParam closes without confirmation.
    static constexpr WPARAM kCloseRequest = 1000;
    static constexpr UINT_PTR kBannerTimer = 11;
    static constexpr UINT_PTR kProgressFileTimer = 12;

    CInstallerFrameWnd();
    ~CInstallerFrameWnd() override;

    // CWindowWnd / WindowImplBase
    const wchar_t* WindowClassName() const override;
    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AfterBuild() override;
    void HandleClick(Veneer::UiNotify& notification) override;
    Veneer::CUiString SkinFolder() override;
    Veneer::CUiString SkinFile() override;
    Veneer::SkinSourceKind SkinSource() const override;
    Veneer::CUiString SkinArchiveFile() const override;
    const wchar_t* SkinResourceId() const override;
    LRESULT HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleOtherMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void Receive(Veneer::UiNotify& notification) override;

    // Before the window is made: whether the installer can run with this work folder
    // (GetWorkFolder). Empty, it cannot: the log and the language
    // archive belong there, and no folder is safe to fall back to; then a log line
    // and a message say so and the caller stops.
    static bool CanStartIn(const std::wstring& workFolder, IUserDialogs& dialogs);

    // Test seam: the dialogs (message boxes, folder picker) the frame shows.
    void SetDialogs(IUserDialogs* dialogs);
    // Test seam: the download address and the redirect service's address (empty:
    // none) instead of the product data's.
    void SetAddresses(const std::wstring& downloadUrl, const std::wstring& redirectUrl);

    // The frame's end: the flow closed if it was not yet, then a bounded wait for
    // every worker. True when none is left running. The destructor runs it too.
    bool EndWorkers();

    // Read access for tests and the entry.
    int GetWindowState() const { return m_windowState; }
    const std::wstring& GetWorkDir() const { return m_workDir; }
    const std::wstring& GetInstallPath() const { return m_installPath; }
    const std::wstring& GetDownloadUrl() const { return m_downloadUrl; }
    const LanguageManager& GetLanguage() const { return m_language; }

    // What a download's callback reaches (its dwUserData), never the frame: it lives
    // on the download thread's stack, which outlives every callback of that download.
    struct DownloadRecord {
        std::shared_ptr<CFlowContext> context;
        int attempt;
        int downloadRatio;
    };
    // Download callback; runs on the download threads.
    static void OnDownloadEvent(int nEvent, long long nValue1, long long nValue2, DWORD_PTR dwUserData);
    const std::shared_ptr<CFlowContext>& GetFlowContext() const { return m_context; }
    int GetAttempt() const { return m_attempt; }

    // Reactions of the flow; UI thread.
    void UpdateWindowSate(int state);
    void SetProgress(int percent);
    void SetTipText(const std::wstring& text);
    bool SetBanner(int n);
    void HandleTimer(UINT_PTR id);
    void ReadProgressFile();
    void OnClickInstall();
    void DownloadSuccess();
    void DownloadFailed(int result);
    void InstallExeFinish();
    void DeleteDownloadFiles();
    void KillSilentInstallProcess();

private:
    // The wake-up of kMsgFlow when a request waits for the proxy login; 1 and 2 are
    // the flow context's.
    static constexpr WPARAM kWakeProxyLogin = 3;

    void InitLogAndLanguage();
    void PrepareWindow();
    void InitData();
    void InitControls();
    void InitAccessibleNames();
    void InitAnalytics();
    void InitTaskbar();
    void InitProxyLogin();
    bool AskProxyLogin(const std::wstring& proxy, bool refused, std::wstring& user, std::wstring& password);
    // Answers a waiting request "declined" and every later one at once; forgets the login.
    void CloseProxyLogin();
    // A modal box or picker of the frame on screen: flow events wait while one is up,
    // and are applied once the caller has acted on the answer.
    class ModalScope {
    public:
        explicit ModalScope(CInstallerFrameWnd& frame) : frame_(frame) { ++frame_.m_modalDepth; }
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        CInstallerFrameWnd& frame_;
    };
    void HandleFlow(WPARAM what);
    void ApplyEvents();
    void ApplyEvent(CFlowContext::Event event);
    void ApplyProgress();
    void DropPendingEvents(const char* why);
    void HandleNotify(Veneer::UiNotify& notification);
    void HandleSelectChanged(Veneer::UiNotify& notification);
    void HandleTextChanged(Veneer::UiNotify& notification);
    void OnFrameClick(Veneer::UiNotify& notification);
    void OnAgreeChanged();
    void OnFoldChanged();
    void OnBrowse();
    void OnClickLicence();
    void OnClickStart();
    void OnLowSpace(int requiredMB);
    void OnInstallerNotStarted(DWORD error);
    void OnInstallFailed(DWORD exitCode);
    void OnProductStopped(bool stopped);
    // The downloaded installer's signature check, on a worker; kFlowPayloadChecked brings the verdict.
    void VerifyDownload();
    void OnPayloadChecked(CFlowContext::Event& event);
    void OnPayloadRefused();
    // The Abort, Retry, Ignore box of a failed download or installer start.
    void OfferFailureChoices(const std::function<void()>& retry);
    void StartInstallExe();
    void ContinueInstallExe();
    void StartInstallThread();
    bool StartDownload(const std::wstring& url, const std::wstring& filePath);
    void SendAnalyticsAsync(int kind, const char* reason = nullptr, const char* codeName = nullptr,
                            long long code = 0);
    // One "Downloader_Failed" per attempt, unless the product data turned it off.
    void ReportLoss(const char* reason, const char* codeName = nullptr, long long code = 0);
    void NewAttempt();
    void EndFlow();
    void RunFinishTail();
    int ShowMessage(const std::wstring& text, UINT flags);
    void ResetToHome();
    std::wstring DownloadFilePath() const;
    std::wstring ProductExePath() const;
    void CheckUiThread(const char* operation) const;

    template <typename T>
    T* Control(const wchar_t* name);

    const Veneer::NotifyMap* GetNotifyMap() const override;
    static const Veneer::NotifyMapEntry kFrameNotifyEntries[];
    static const Veneer::NotifyMap kFrameNotifyMap;

    std::wstring m_workDir;
    std::wstring m_installPath;
    std::wstring m_downloadUrl;
    std::wstring m_progressFile;
    int m_windowState = -1;
    Veneer::CEditUI* m_editPath = nullptr;
    Veneer::CControlUI* m_labelTip = nullptr;
    Veneer::CCheckBoxUI* m_chkFold = nullptr;
    Veneer::CControlUI* m_labelProgress = nullptr;
    Veneer::CProgressUI* m_progressDownload = nullptr;
    std::unique_ptr<TaskbarProgress> m_taskbar;
    std::unique_ptr<CHeldPayload> m_heldPayload;  // the checked download, until the install thread takes it
    // Asked by request threads through the process's proxy credential store.
    std::unique_ptr<ProxyLoginPrompt> m_proxyLogin;
    LanguageManager m_language;
    int m_downloadRatio = 90;
    int m_readFileTimeout = 1500;

    bool m_languageReady = false;
    IUserDialogs* m_dialogs;
    DWORD m_uiThread;
    std::wstring m_redirectUrl;
    std::shared_ptr<CFlowContext> m_context;
    int m_attempt = 0;              // the installation attempt under way; events of others are stale
    bool m_lossReported = false;    // "Downloader_Failed" went out for this attempt
    int m_modalDepth = 0;           // modal boxes and pickers of the frame on screen
    bool m_applyingEvents = false;  // ApplyEvents is on the stack
    bool m_flowEnded = false;       // EndFlow ran: the installer is closing
    bool m_finishTailPending = false;
    bool m_proxyLoginWaiting = false;  // a request waits for the proxy login
    DWORD m_closeStartedAt = 0;
};
