// The window manager's tooltip: one tooltip window per manager, made on the first
// hover over a control with a tooltip, tracking the mouse.

#include "ui/core/WindowManager.h"

#include "log/Log.h"
#include "ui/control/Control.h"

namespace Veneer {

void CWindowManagerUI::HideToolTip() {
    if (toolTip_ != nullptr) SendMessageW(toolTip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&toolInfo_));
}

void CWindowManagerUI::ShowToolTip(POINT point) {
    CControlUI* control = ControlAt(point);
    if (control == nullptr || control->GetManager() != this) return;
    toolTipText_ = ReplaceLocalizedTokens(control->GetToolTip());
    if (toolTipText_.IsEmpty()) return;
    toolInfo_ = TOOLINFOW{};
    toolInfo_.cbSize = TTTOOLINFOW_V2_SIZE;
    toolInfo_.uFlags = TTF_IDISHWND;
    toolInfo_.hwnd = window_;
    toolInfo_.uId = reinterpret_cast<UINT_PTR>(window_);
    toolInfo_.hinst = ModuleHandle();
    toolInfo_.lpszText = const_cast<wchar_t*>(toolTipText_.GetData());
    toolInfo_.rect = control->GetRect();
    if (toolTip_ == nullptr) {
        toolTip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                   ModuleHandle(), nullptr);
        if (toolTip_ == nullptr) {
            LOG_A("the tooltip window could not be created: %lu", GetLastError());
            return;
        }
        SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&toolInfo_));
        SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, control->GetToolTipWidth());
    } else if (toolTipControl_ != control) {
        SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, control->GetToolTipWidth());
        SendMessageW(toolTip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&toolInfo_));
    } else {
        SendMessageW(toolTip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&toolInfo_));
    }
    toolTipControl_ = control;
    SendMessageW(toolTip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&toolInfo_));
    POINT screen = point;
    ClientToScreen(window_, &screen);
    SendMessageW(toolTip_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
}

}  // namespace Veneer
