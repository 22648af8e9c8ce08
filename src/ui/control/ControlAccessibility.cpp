#include "ui/control/ControlAccessibility.h"

#include <oleacc.h>

#include <cwchar>
#include <cwctype>

#include "ui/control/Edit.h"
#include "ui/control/Label.h"
#include "ui/control/Option.h"
#include "ui/control/Progress.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {

template <typename T>
T* As(CControlUI* control, const wchar_t* kind) {
    void* found = control->CastTo(kind);
    return found != nullptr ? static_cast<T*>(static_cast<CControlUI*>(found)) : nullptr;
}

bool Is(CControlUI* control, const wchar_t* kind) { return control->CastTo(kind) != nullptr; }

std::wstring Trimmed(std::wstring text) {
    size_t first = 0;
    while (first < text.size() && iswspace(text[first])) ++first;
    size_t last = text.size();
    while (last > first && iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// The words the control shows: brace tags taken out, "%{n}" replaced.
std::wstring ShownText(CControlUI* control, int* links) {
    CUiString text = control->GetText();
    if (links != nullptr) *links = 0;
    auto* label = As<CLabelUI>(control, L"Label");
    if (label != nullptr && label->IsShowHtml()) return Trimmed(CDrawEngine::MarkupPlainText(text, links));
    return Trimmed(CWindowManagerUI::ReplaceLocalizedTokens(text).GetData());
}

// A role the skin gives with "accrole", for controls whose kind says too little
// (a button that opens a web page is a link).
long SkinRole(CControlUI* control) {
    const wchar_t* role = control->CustomAttribute(L"accrole");
    if (role == nullptr) return 0;
    struct Word {
        const wchar_t* word;
        long role;
    };
    const Word words[] = {{L"link", ROLE_SYSTEM_LINK},           {L"button", ROLE_SYSTEM_PUSHBUTTON},
                          {L"checkbox", ROLE_SYSTEM_CHECKBUTTON}, {L"radio", ROLE_SYSTEM_RADIOBUTTON},
                          {L"edit", ROLE_SYSTEM_TEXT},            {L"progress", ROLE_SYSTEM_PROGRESSBAR},
                          {L"text", ROLE_SYSTEM_STATICTEXT},      {L"graphic", ROLE_SYSTEM_GRAPHIC}};
    for (const Word& word : words) {
        if (wcscmp(role, word.word) == 0) return word.role;
    }
    return 0;
}

long RoleOf(CControlUI* control) {
    if (long role = SkinRole(control)) return role;
    if (Is(control, L"CheckBox")) return ROLE_SYSTEM_CHECKBUTTON;
    if (Is(control, L"Option")) return ROLE_SYSTEM_RADIOBUTTON;
    if (Is(control, L"Button")) return IsLink(control) ? ROLE_SYSTEM_LINK : ROLE_SYSTEM_PUSHBUTTON;
    if (Is(control, L"Edit")) return ROLE_SYSTEM_TEXT;
    if (Is(control, L"Progress")) return ROLE_SYSTEM_PROGRESSBAR;
    if (Is(control, L"Label")) return ROLE_SYSTEM_STATICTEXT;
    return control->GetBackImage()[0] != L'\0' ? ROLE_SYSTEM_GRAPHIC : ROLE_SYSTEM_STATICTEXT;
}

std::wstring NameOf(CControlUI* control) {
    if (!control->GetAccessibleName().IsEmpty()) return control->GetAccessibleName().GetData();
    // An edit's words are its value; its name comes from "accname" or its tooltip.
    std::wstring name = Is(control, L"Edit") ? std::wstring() : ShownText(control, nullptr);
    if (name.empty()) name = Trimmed(CWindowManagerUI::ReplaceLocalizedTokens(control->GetToolTip()).GetData());
    return name;
}

std::wstring ValueOf(CControlUI* control) {
    if (!control->GetAccessibleValue().IsEmpty()) return control->GetAccessibleValue().GetData();
    if (auto* edit = As<CEditUI>(control, L"Edit")) {
        return edit->IsPasswordMode() ? std::wstring() : std::wstring(edit->GetText().GetData());
    }
    if (auto* progress = As<CProgressUI>(control, L"Progress")) {
        long long span = static_cast<long long>(progress->GetMaxValue()) - progress->GetMinValue();
        if (span <= 0) return L"0%";
        long long done = static_cast<long long>(progress->GetValue()) - progress->GetMinValue();
        return std::to_wstring(done * 100 / span) + L"%";
    }
    return std::wstring();
}

}  // namespace

bool IsLink(CControlUI* control) {
    if (long role = SkinRole(control)) return role == ROLE_SYSTEM_LINK;
    if (!Is(control, L"Button") || Is(control, L"Option")) return false;
    int links = 0;
    ShownText(control, &links);
    return links > 0;
}

bool IsAccessible(CControlUI* control) {
    if (control == nullptr || !control->IsVisible()) return false;
    // An edit does not record that an ancestor hid it: every ancestor is asked.
    for (CControlUI* parent = control->GetParent(); parent != nullptr; parent = parent->GetParent()) {
        if (!parent->IsVisible()) return false;
    }
    const RECT& rect = control->GetRect();
    if (IsRectEmpty(&rect)) return false;
    if (!control->GetAccessibleName().IsEmpty()) return true;
    if (Is(control, L"Button") || Is(control, L"Edit") || Is(control, L"Progress")) return true;
    return Is(control, L"Label") && !ShownText(control, nullptr).empty();
}

AccessibleFacts DescribeControl(CControlUI* control, bool focused) {
    AccessibleFacts facts;
    facts.role = RoleOf(control);
    facts.name = NameOf(control);
    facts.value = ValueOf(control);
    if (!control->IsEnabled()) facts.state |= STATE_SYSTEM_UNAVAILABLE;
    if ((control->GetInputFlags() & kInputTabStop) != 0 && control->IsEnabled()) facts.state |= STATE_SYSTEM_FOCUSABLE;
    if (focused) facts.state |= STATE_SYSTEM_FOCUSED;
    if (auto* option = As<COptionUI>(control, L"Option")) {
        if (option->IsSelected()) facts.state |= STATE_SYSTEM_CHECKED;
    }
    if (auto* edit = As<CEditUI>(control, L"Edit")) {
        if (edit->IsReadOnly()) facts.state |= STATE_SYSTEM_READONLY;
        if (edit->IsPasswordMode()) facts.state |= STATE_SYSTEM_PROTECTED;
    }
    switch (facts.role) {
    case ROLE_SYSTEM_STATICTEXT:
    case ROLE_SYSTEM_PROGRESSBAR:
    case ROLE_SYSTEM_GRAPHIC:
        facts.state |= STATE_SYSTEM_READONLY;
        break;
    case ROLE_SYSTEM_LINK:
        facts.state |= STATE_SYSTEM_LINKED;
        facts.defaultAction = L"Jump";
        break;
    case ROLE_SYSTEM_PUSHBUTTON:
        facts.defaultAction = L"Press";
        break;
    case ROLE_SYSTEM_CHECKBUTTON:
        facts.defaultAction = (facts.state & STATE_SYSTEM_CHECKED) != 0 ? L"Uncheck" : L"Check";
        break;
    case ROLE_SYSTEM_RADIOBUTTON:
        facts.defaultAction = L"Check";
        break;
    default:
        break;
    }
    return facts;
}

bool DoDefaultAction(CControlUI* control) {
    if (!IsAccessible(control) || !control->IsEnabled() || !Is(control, L"Button")) return false;
    // Buttons and links click; options and check boxes click and change their state.
    return control->Activate();
}

}  // namespace Veneer
