#pragma once
// What a screen reader learns about a control: whether it is in the window's
// accessible tree, and its role, name, state, value and default action in Active
// Accessibility's terms. One place knows the control kinds; the window's accessible
// object (AccessibleWindow.h) asks it.
//
// The tree holds what the user sees and can reach: visible buttons, options and check
// boxes, edits, progress bars, labels and texts with words, and any control the skin
// or the application gave a name ("accname"). Layouts and decoration are left out.
//
// Thread contract: UI thread only, like the controls.

#include <windows.h>

#include <string>

namespace Veneer {

class CControlUI;

struct AccessibleFacts {
    long role = 0;      // ROLE_SYSTEM_*
    long state = 0;     // STATE_SYSTEM_*
    std::wstring name;
    std::wstring value;
    std::wstring defaultAction;  // empty: the control has none
};

// Visible (with every ancestor), with a place of its own, and of a kind (or with a
// name) that belongs in the tree.
bool IsAccessible(CControlUI* control);

// focused: the control has the window's keyboard focus and the window the system's.
AccessibleFacts DescribeControl(CControlUI* control, bool focused);

// Whether screen readers hear the control as a link (a button whose words hold a
// brace-tag link, or one the skin calls a link with accrole="link"); high contrast
// draws such words in the system's link colour.
bool IsLink(CControlUI* control);

// The default action: presses a button or link, toggles a check box, selects a radio
// button. False when the control has none or cannot act now (disabled, hidden).
bool DoDefaultAction(CControlUI* control);

}  // namespace Veneer
