// The window manager's control timers: native identifiers from 17 upward, one record
// per control and key, kept after a stop so that a restart reuses its identifier.

#include "ui/core/WindowManager.h"

#include <algorithm>

#include "log/Log.h"

namespace Veneer {

namespace {
// Native identifiers below this are left to the window's own timers.
constexpr UINT kFirstControlTimerId = 17;
constexpr UINT kTimerIdModulus = 255;
}  // namespace

bool CWindowManagerUI::StartTimer(CControlUI* control, UINT key, UINT elapse) {
    if (control == nullptr || window_ == nullptr) return false;
    for (TimerRecord& timer : timers_) {
        if (timer.control == control && timer.window == window_ && timer.key == key) {
            if (!timer.killed) return false;
            if (SetTimer(window_, timer.nativeId, elapse, nullptr) == 0) return false;
            timer.killed = false;
            return true;
        }
    }
    // Identifiers wrap within 17..254 and skip those a record still holds.
    UINT nativeId = 0;
    for (UINT tries = 0; tries < kTimerIdModulus; ++tries) {
        UINT candidate = ++timerCounter_ % kTimerIdModulus;
        if (candidate < kFirstControlTimerId) continue;
        bool taken = std::any_of(timers_.begin(), timers_.end(), [&](const TimerRecord& timer) {
            return timer.window == window_ && timer.nativeId == candidate;
        });
        if (!taken) {
            nativeId = candidate;
            break;
        }
    }
    if (nativeId == 0) {
        LOG_A("no free timer identifier among %u records", static_cast<unsigned>(timers_.size()));
        return false;
    }
    if (SetTimer(window_, nativeId, elapse, nullptr) == 0) {
        LOG_A("SetTimer %u failed: %lu", nativeId, GetLastError());
        return false;
    }
    timers_.push_back(TimerRecord{control, key, window_, nativeId, false});
    return true;
}

bool CWindowManagerUI::StopTimer(CControlUI* control, UINT key) {
    for (TimerRecord& timer : timers_) {
        if (timer.control == control && timer.window == window_ && timer.key == key) {
            if (!timer.killed) {
                KillTimer(timer.window, timer.nativeId);
                timer.killed = true;
            }
            return true;
        }
    }
    return false;
}

void CWindowManagerUI::StopTimers(CControlUI* control) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->control == control) {
            if (!it->killed) KillTimer(it->window, it->nativeId);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

void CWindowManagerUI::StopAllTimers() {
    for (const TimerRecord& timer : timers_) {
        if (!timer.killed) KillTimer(timer.window, timer.nativeId);
    }
    timers_.clear();
}

}  // namespace Veneer
