// The window manager's notifications: receivers, delivery now or through the posted
// queue, and the queue's draining when the notify message arrives.

#include "ui/core/WindowManager.h"

#include <memory>

#include "ui/control/Control.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

bool CWindowManagerUI::AddReceiver(INotifyUI* receiver) {
    if (receiver == nullptr || receivers_.Find(receiver) >= 0) return false;
    receivers_.Add(receiver);
    return true;
}

bool CWindowManagerUI::RemoveReceiver(INotifyUI* receiver) { return receivers_.RemoveItem(receiver); }

void CWindowManagerUI::SendNotification(CControlUI* control, const wchar_t* type, WPARAM wParam, LPARAM lParam,
                                        bool async, bool enableRepeat) {
    UiNotify notification;
    notification.type = type;
    notification.sender = control;
    notification.wParam = wParam;
    notification.lParam = lParam;
    SendNotification(notification, async, enableRepeat);
}

void CWindowManagerUI::SendNotification(UiNotify& notification, bool async, bool enableRepeat) {
    CDispatchScope scope(this);
    notification.mousePoint = lastMousePos_;
    notification.timestamp = GetTickCount();
    if (usesVirtualWindows_ && notification.sender != nullptr) {
        notification.virtualWindow = notification.sender->GetVirtualWindowName();
    }
    if (!async) {
        if (notification.sender != nullptr && !notification.sender->notifyHooks.IsEmpty()) {
            notification.sender->notifyHooks.Invoke(&notification);
        }
        // By index: a receiver may unregister itself while it handles the notification.
        for (int i = 0; i < receivers_.GetSize(); ++i) {
            auto* receiver = static_cast<INotifyUI*>(receivers_.GetAt(i));
            receiver->Receive(notification);
            if (receivers_.GetAt(i) != receiver) --i;
        }
        return;
    }
    if (!enableRepeat) {
        for (UiNotify* queued : asyncNotifications_) {
            if (queued->sender == notification.sender && queued->type == notification.type) {
                *queued = notification;
                return;
            }
        }
    }
    asyncNotifications_.push_back(new UiNotify(notification));
    if (!notifyPosted_ && window_ != nullptr) {
        notifyPosted_ = PostMessageW(window_, kNotifyMessage, 0, 0) != FALSE;
    }
}

// The controls deferred meanwhile go when the handling of the notify message ends.
void CWindowManagerUI::DeliverQueuedNotifications() {
    notifyPosted_ = false;
    while (!asyncNotifications_.empty()) {
        std::unique_ptr<UiNotify> notification(asyncNotifications_.front());
        asyncNotifications_.erase(asyncNotifications_.begin());
        // Delivered as it was queued: the record keeps its own time and position.
        if (notification->sender != nullptr && !notification->sender->notifyHooks.IsEmpty()) {
            notification->sender->notifyHooks.Invoke(notification.get());
        }
        for (int i = 0; i < receivers_.GetSize(); ++i) {
            auto* receiver = static_cast<INotifyUI*>(receivers_.GetAt(i));
            receiver->Receive(*notification);
            if (receivers_.GetAt(i) != receiver) --i;
        }
    }
}
}  // namespace Veneer
