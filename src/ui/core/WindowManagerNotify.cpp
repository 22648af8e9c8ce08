// The window manager's notifications: receivers, delivery now or through the posted
// queue, and the queue's draining when the notify message arrives.

#include "ui/core/WindowManager.h"

#include "ui/control/Control.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

bool CWindowManagerUI::AddReceiver(INotifyUI* receiver) { return AddOnce(receivers_, receiver); }

bool CWindowManagerUI::RemoveReceiver(INotifyUI* receiver) { return RemoveOnce(receivers_, receiver); }

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
        Deliver(notification);
        return;
    }
    if (!enableRepeat) {
        for (UiNotify& queued : asyncNotifications_) {
            if (queued.sender == notification.sender && queued.type == notification.type) {
                queued = notification;
                return;
            }
        }
    }
    asyncNotifications_.push_back(notification);
    PostNotifyMessage();
}

void CWindowManagerUI::Deliver(UiNotify& notification) {
    if (notification.sender != nullptr && !notification.sender->notifyHooks.IsEmpty()) {
        notification.sender->notifyHooks.Invoke(&notification);
    }
    WalkRegistered(receivers_, [&notification](INotifyUI* receiver) {
        receiver->Receive(notification);
        return false;
    });
}

void CWindowManagerUI::PostNotifyMessage() {
    if (!notifyPosted_ && window_ != nullptr) {
        notifyPosted_ = PostMessageW(window_, kNotifyMessage, 0, 0) != FALSE;
    }
}

// The controls deferred meanwhile go when the handling of the notify message ends.
void CWindowManagerUI::DeliverQueuedNotifications() {
    notifyPosted_ = false;
    while (!asyncNotifications_.empty()) {
        // Delivered as it was queued: the record keeps its own time and position.
        UiNotify notification = asyncNotifications_.front();
        asyncNotifications_.pop_front();
        Deliver(notification);
    }
}

}  // namespace Veneer
