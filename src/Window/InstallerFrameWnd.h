#pragma once
// CInstallerFrameWnd: the installer's only window and its install flow, from the
// click on Install to Start Now.
//
// Thread contract: the window, its controls, timers, the taskbar object and every
// message box belong to the UI thread. The install worker, the download threads,
// the install thread and the analytics threads never touch them: each reaction is
// posted to the frame as a kMsgFlow message and runs on the UI thread, in the
// order the flow fixes. Progress events are coalesced: the latest value wins and
// only one progress message is in the queue at a time. Workers read the settings
// (LanguageManager, filled before any worker starts) and m_downloadUrl, which only
// the install worker writes, before it starts the download.

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

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
    // Private message carrying a worker's reaction to the UI thread; wParam is a FlowAction.
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

    // Test seam: the dialogs (message boxes, folder picker) the frame shows.
    void SetDialogs(IUserDialogs* dialogs);

    // Read access for tests and the entry.
    int GetWindowState() const { return m_windowState; }
    const std::wstring& GetWorkDir() const { return m_workDir; }
    const std::wstring& GetInstallPath() const { return m_installPath; }
    const std::wstring& GetDownloadUrl() const { return m_downloadUrl; }
    const LanguageManager& GetLanguage() const { return m_language; }

    // Download callback; runs on the download threads.
    static void OnDownloadEvent(int nEvent, long long nValue1, long long nValue2, DWORD_PTR dwUserData);

    // Reactions of the flow; UI thread.
    void UpdateWindowSate(int state);
    void SetProgress(int percent);
    void SetTipText(const std::wstring& text);
    bool SetBanner(int n);
    void HandleTimer(UINT_PTR id);
    void ReadProgressFile();
    void OnClickInstall();
    void DownloadSuccess();
    void DownloadFailed();
    void InstallExeFinish();
    void DeleteDownloadFiles();
    void KillSilentInstallProcess();

private:
    enum FlowAction : WPARAM {
        kFlowLowSpace = 1,      // lParam: required MiB
        kFlowProgress = 2,      // the latest progress is in m_pendingProgress
        kFlowDownloadEnd = 3,   // lParam: the download's result code
        kFlowInstallEnd = 4,    // lParam: 1 the installer ran, 0 it could not be started
        kFlowFinishTail = 5,    // a second after the finish
        kFlowProxyLogin = 6,    // a request waits for the proxy login (m_proxyLogin)
    };

    void InitLogAndLanguage();
    void PrepareWindow();
    void InitData();
    void InitControls();
    void InitAccessibleNames();
    void InitAnalytics();
    void InitTaskbar();
    void InitProxyLogin();
    bool AskProxyLogin(const std::wstring& proxy, bool refused, std::wstring& user, std::wstring& password);
    void HandleFlow(WPARAM action, LPARAM value);
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
    void OnInstallerNotStarted();
    // The Abort, Retry, Ignore box of a failed download or installer start.
    void OfferFailureChoices(const std::function<void()>& retry);
    void StartInstallExe();
    void StartInstallThread();
    bool StartDownload(const std::wstring& url, const std::wstring& filePath);
    void InstallWorker();
    void SendAnalyticsAsync(int kind);
    void PostFlow(FlowAction action, LPARAM value = 0);
    int ShowMessage(const std::wstring& text, UINT flags);
    void ResetToHome();
    std::wstring DownloadFilePath() const;
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
    // Asked by request threads through the process's proxy credential store.
    std::unique_ptr<ProxyLoginPrompt> m_proxyLogin;
    LanguageManager m_language;
    int m_downloadRatio = 90;
    int m_readFileTimeout = 1500;

    bool m_languageReady = false;
    IUserDialogs* m_dialogs;
    DWORD m_uiThread;
    std::atomic<int> m_pendingProgress{0};
    std::atomic<bool> m_progressPosted{false};
};
