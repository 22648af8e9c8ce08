#pragma once
// What the window manager's files share and no one else sees: the process-wide
// state of every manager, the private messages and timer, the font helpers, and the
// one way the registration lists are kept and walked.

#include <algorithm>
#include <map>
#include <vector>

#include "ui/core/WindowManager.h"

namespace Veneer {
namespace manager {

constexpr UINT kNotifyMessage = WM_APP + 1;
// An accessibility client's default action or focus request, run after its call.
constexpr UINT kAccessibleActionMessage = WM_APP + 3;
constexpr UINT_PTR kLayeredTimerId = 0x2000;

struct SharedState {
    bool initialized = false;
    bool highContrastOverridden = false;
    HighContrastPalette highContrastOverride = {};
    std::vector<CWindowManagerUI*> managers;
    FontTable fonts;
    ImageTable images;
    TextTable classDefaults;
    std::map<int, CUiString> localizedTexts;
    std::vector<ControlFactory> controlFactories;
    FontRecord standardFont;
    DWORD disabledColor = 0xFFA7A6AA;
    DWORD fontColor = 0xFF000000;
    DWORD linkColor = 0xFF0000FF;
    DWORD linkHoverColor = 0xFFD3215F;
    DWORD selectedBackColor = 0xFFBAE4FF;
    UniqueGdiObject<HPEN> dirtyPen;
};

// Registration lists: an item is in a list at most once.
template <typename T>
bool AddOnce(std::vector<T*>& list, T* item) {
    if (item == nullptr || std::find(list.begin(), list.end(), item) != list.end()) return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveOnce(std::vector<T*>& list, const T* item) {
    auto found = std::find(list.begin(), list.end(), item);
    if (found == list.end()) return false;
    list.erase(found);
    return true;
}

// Offers each registered item to visit, in order, until visit returns true (then
// true). Visit may unregister any item, its own included: the walk notices and goes
// on with the item after it, so none is skipped or offered twice.
template <typename T, typename Visit>
bool WalkRegistered(const std::vector<T*>& list, Visit visit) {
    for (size_t i = 0; i < list.size(); ++i) {
        T* item = list[i];
        if (visit(item)) return true;
        if (i >= list.size() || list[i] != item) --i;
    }
    return false;
}

// The first filter that handles the message gives the result.
inline bool OfferToFilters(const std::vector<IMessageFilterUI*>& filters, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT& result) {
    return WalkRegistered(filters, [&](IMessageFilterUI* filter) {
        bool handled = false;
        LRESULT answer = filter->FilterMessage(message, wParam, lParam, handled);
        if (handled) result = answer;
        return handled;
    });
}

// A text table's entry, or nullptr.
const wchar_t* FindText(const TextTable& table, const wchar_t* name);

// Built on first use, so that windows made from static constructors see it too.
SharedState& Shared();

// The default GUI font with the given properties; nullptr when it cannot be made.
HFONT CreateSkinFont(const wchar_t* face, int size, bool bold, bool underline, bool italic);
void ReadMetrics(HDC dc, FontRecord& record);
// The record takes the font (deleting the one it held) and forgets the old metrics.
void StoreFont(FontRecord& record, HFONT font, const wchar_t* face, int size, bool bold, bool underline,
               bool italic);

// The DPI a window is shown at: its own (per-monitor) DPI where the system can say,
// else its display's.
int WindowDpi(HWND window, HDC dc);

}  // namespace manager
}  // namespace Veneer
