#pragma once
// The event record the window manager delivers to controls, and its kinds.

#include <windows.h>

#include <cstdint>

namespace Veneer {

class CControlUI;

// Values 0 to 2, 7, 8 and 19 are produced by no message of the window manager.
enum UiEventKind : uint32_t {
    kEventKeyDown = 3,
    kEventKeyUp = 4,
    kEventChar = 5,
    kEventSysKey = 6,
    kEventMouseMove = 9,
    kEventMouseLeave = 10,
    kEventMouseEnter = 11,
    kEventMouseHover = 12,
    kEventButtonDown = 13,
    kEventButtonUp = 14,
    kEventRightButtonDown = 15,
    kEventDoubleClick = 16,
    kEventContextMenu = 17,
    kEventScrollWheel = 18,
    kEventKillFocus = 20,
    kEventSetFocus = 21,
    kEventWindowSize = 22,
    kEventSetCursor = 23,
    kEventTimer = 24,
};

// Controls treat the open range (8, 19) as "a mouse event".
inline bool IsMouseEventKind(uint32_t kind) { return kind > 8 && kind < 19; }

struct UiEvent {
    UiEventKind kind;
    CControlUI* sender;
    DWORD timestamp;
    POINT mousePoint;
    wchar_t key;  // the virtual-key code for kEventKeyDown, the character for kEventChar
    WORD keyState;
    WPARAM wParam;
    LPARAM lParam;
};

}  // namespace Veneer
