#pragma once
// CFlowContext: the part of the installer frame that its worker threads may reach.
// The frame and every worker hold it through a shared pointer, so it lives until
// the last of them lets go; no worker ever holds the frame itself.
//
// Thread contract: every operation may be called from any thread. Workers hand
// their results to the UI thread only through PostEvent and PostProgress; the
// window handle they post to is read and cleared under one lock, so nothing is
// posted after the window is gone (nor to a later window that got its handle).
// TakeEvent, TakeProgress and DetachWindow belong to the UI thread.
//
// Lifetime: the download's cancel and the installer's job are owned here while
// they are current, and by the worker that uses them; BeginClose reaches both.
// Workers started through StartWorker are counted until their body returns, so
// that the frame's end can wait for them, bounded. An event owns what it carries
// (a checked file's hold): an event queued before closing began is dropped by the
// closing frame before it deletes the files; once closing began PostEvent refuses
// every event, and what it carried is let go before PostEvent returns.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/UniqueResource.h"
#include "common/PayloadVerifier.h"

class CInstallerJob;

class CFlowContext : public std::enable_shared_from_this<CFlowContext> {
public:
    // A worker's result for the UI thread; the frame gives action and values their meaning.
    struct Event {
        int action = 0;
        int attempt = 0;  // the installation attempt the worker belongs to
        long long value = 0;
        long long detail = 0;
        std::wstring text;
        std::unique_ptr<CHeldPayload> payload;  // a checked file, held until the installer starts from it
    };

    // What a worker holds while it runs.
    enum WorkerKind {
        kHoldsFiles,  // the download or the installer: the downloaded files wait for it
        kOther,       // queries, analytics, timers
    };

    // wakeMessage is posted to the window with wParam kWakeEvents or kWakeProgress.
    // Made through std::make_shared: workers keep the context alive.
    CFlowContext(HWND window, UINT wakeMessage);
    ~CFlowContext();
    CFlowContext(const CFlowContext&) = delete;
    CFlowContext& operator=(const CFlowContext&) = delete;

    static constexpr WPARAM kWakeEvents = 1;
    static constexpr WPARAM kWakeProgress = 2;

    // Queues the event and wakes the UI thread; events are taken in the order they
    // came. False once closing began: the event is not queued, and is gone when this
    // returns.
    bool PostEvent(Event event);
    bool TakeEvent(Event& event);
    // Only the latest progress counts: one wake-up is in the queue at a time.
    void PostProgress(int attempt, int percent);
    bool TakeProgress(int& attempt, int& percent);
    // No more wake-ups: the window is being destroyed.
    void DetachWindow();

    // Runs body on a new thread, counted until it returns. False when closing
    // began (the body is then not run) or no thread could be started.
    bool StartWorker(WorkerKind kind, const char* name, std::function<void()> body);
    // True once no worker of the kind (kOther: none at all) runs, waiting up to waitMs.
    bool WaitForWorkers(WorkerKind kind, DWORD waitMs);

    // Closing: no new flow worker, the current download cancelled, the installer's
    // job terminated, and every WaitForQuit returns at once.
    void BeginClose();
    bool IsClosing() const { return closing_; }
    // True when closing began, waiting up to waitMs for it.
    bool WaitForQuit(DWORD waitMs) const;

    // How to cancel the current download, and the current installer's job: the
    // latest set is what BeginClose ends; one set after closing began is ended at once.
    void SetDownloadCancel(std::function<void()> cancel);
    void SetInstallerJob(std::shared_ptr<CInstallerJob> job);
    std::shared_ptr<CInstallerJob> InstallerJob() const;

    // The last reported download position (bytes), shared by the progress events of
    // a download and reset by the UI thread when the flow returns home.
    std::atomic<long long> lastReportedPosition{0};

private:
    void Wake(WPARAM what);

    mutable std::mutex lock_;
    std::condition_variable workersChanged_;
    HWND window_;
    const UINT wakeMessage_;
    std::deque<Event> events_;
    bool eventsWakePosted_ = false;
    int workersHoldingFiles_ = 0;
    int workers_ = 0;
    std::function<void()> downloadCancel_;
    std::shared_ptr<CInstallerJob> installerJob_;
    UniqueKernelHandle quit_;  // manual reset, set by BeginClose
    std::atomic<bool> closing_{false};
    std::atomic<long long> progress_{0};  // attempt in the high half, percent in the low one
    std::atomic<bool> progressWakePosted_{false};
};
