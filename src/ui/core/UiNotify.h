#pragma once
// The notification record the window manager sends to its receivers, and the
// small interfaces through which other code joins a window's message handling.

#include <windows.h>

#include "ui/core/UiString.h"

namespace Veneer {

class CControlUI;

struct UiNotify {
    CUiString type;           // "click", "selectchanged", ...
    CUiString virtualWindow;  // the sender's virtual window name, when those are in use
    CControlUI* sender = nullptr;
    DWORD timestamp = 0;
    POINT mousePoint = {0, 0};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class INotifyUI {
public:
    virtual void Receive(UiNotify& notification) = 0;

protected:
    ~INotifyUI() = default;
};

class IMessageFilterUI {
public:
    // Sets handled to stop the message here; the result then answers it.
    virtual LRESULT FilterMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    ~IMessageFilterUI() = default;
};

class ITranslateAccelerator {
public:
    // Returns 0 when it translated the message.
    virtual LRESULT TranslateAccelerator(MSG* message) = 0;

protected:
    ~ITranslateAccelerator() = default;
};

}  // namespace Veneer
