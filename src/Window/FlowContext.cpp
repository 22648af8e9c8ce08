#include "Window/FlowContext.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "common/SystemUtil.h"
#include "log/Log.h"

CFlowContext::CFlowContext(HWND window, UINT wakeMessage)
    : window_(window), wakeMessage_(wakeMessage), quit_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CFlowContext::~CFlowContext() = default;

void CFlowContext::Wake(WPARAM what)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (window_ && !PostMessageW(window_, wakeMessage_, what, 0)) {
        LOG_A("PostMessage of a flow wake-up failed, error %lu", GetLastError());
    }
}

bool CFlowContext::PostEvent(Event event)
{
    {
        // Under the lock that BeginClose sets closing under: an event is either
        // queued before closing began, and dropped by it, or refused here.
        std::lock_guard<std::mutex> hold(lock_);
        if (closing_) {
            LOG_A("flow event %d of attempt %d not queued: the installer is closing", event.action, event.attempt);
            return false;
        }
        events_.push_back(std::move(event));
    }
    Wake(kWakeEvents);
    return true;
}

bool CFlowContext::TakeEvent(Event& event)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (events_.empty()) return false;
    event = std::move(events_.front());
    events_.pop_front();
    return true;
}

void CFlowContext::PostProgress(int attempt, int percent)
{
    progress_ = (static_cast<long long>(attempt) << 32) | static_cast<unsigned>(percent);
    if (!progressWakePosted_.exchange(true)) Wake(kWakeProgress);
}

bool CFlowContext::TakeProgress(int& attempt, int& percent)
{
    if (!progressWakePosted_.exchange(false)) return false;
    long long progress = progress_;
    attempt = static_cast<int>(progress >> 32);
    percent = static_cast<int>(progress & 0xFFFFFFFF);
    return true;
}

void CFlowContext::DetachWindow()
{
    std::lock_guard<std::mutex> hold(lock_);
    window_ = nullptr;
}

bool CFlowContext::StartWorker(WorkerKind kind, const char* name, std::function<void()> body)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (closing_) {
            LOG_A("%s not started: the installer is closing", name);
            return false;
        }
        ++workers_;
        if (kind == kHoldsFiles) ++workersHoldingFiles_;
    }
    auto self = shared_from_this();
    auto finished = [self, kind] {
        std::lock_guard<std::mutex> hold(self->lock_);
        --self->workers_;
        if (kind == kHoldsFiles) --self->workersHoldingFiles_;
        self->workersChanged_.notify_all();
    };
    try {
        std::thread([body = std::move(body), finished]() mutable {
            body();
            body = nullptr;  // what it held goes before the count says it ended
            finished();
        }).detach();
    } catch (const std::system_error& error) {
        LOG_A("%s could not be started: %s", name, error.what());
        finished();
        return false;
    }
    return true;
}

bool CFlowContext::WaitForWorkers(WorkerKind kind, DWORD waitMs)
{
    std::unique_lock<std::mutex> hold(lock_);
    return workersChanged_.wait_for(hold, std::chrono::milliseconds(waitMs), [this, kind] {
        return (kind == kHoldsFiles ? workersHoldingFiles_ : workers_) == 0;
    });
}

void CFlowContext::BeginClose()
{
    std::function<void()> cancel;
    std::shared_ptr<CInstallerJob> job;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (closing_) return;
        closing_ = true;
        cancel = downloadCancel_;
        job = installerJob_;
    }
    if (quit_) SetEvent(quit_.Get());
    if (cancel) cancel();
    if (job) job->Terminate();
}

bool CFlowContext::WaitForQuit(DWORD waitMs) const
{
    if (closing_) return true;
    if (!quit_) {
        Sleep(waitMs);
        return closing_;
    }
    return WaitForSingleObject(quit_.Get(), waitMs) == WAIT_OBJECT_0;
}

void CFlowContext::SetDownloadCancel(std::function<void()> cancel)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        downloadCancel_ = cancel;
        if (!closing_) return;
    }
    if (cancel) cancel();
}

void CFlowContext::SetInstallerJob(std::shared_ptr<CInstallerJob> job)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        installerJob_ = job;
        if (!closing_) return;
    }
    if (job) job->Terminate();
}

std::shared_ptr<CInstallerJob> CFlowContext::InstallerJob() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return installerJob_;
}
