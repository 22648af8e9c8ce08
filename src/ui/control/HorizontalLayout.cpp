#include "ui/control/HorizontalLayout.h"

#include <cwchar>

namespace Veneer {

CHorizontalLayoutUI::CHorizontalLayoutUI() : CLinearLayoutUI(false, L"sepwidth", true) {}

const wchar_t* CHorizontalLayoutUI::GetTypeName() const { return L"HorizontalLayout"; }

void* CHorizontalLayoutUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"HorizontalLayout") == 0) return static_cast<CControlUI*>(this);
    return CLinearLayoutUI::CastTo(name);
}

}  // namespace Veneer
