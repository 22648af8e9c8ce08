#include "ui/control/VerticalLayout.h"

#include <cwchar>

namespace Veneer {

CVerticalLayoutUI::CVerticalLayoutUI() : CLinearLayoutUI(true, L"sepheight", false) {}

const wchar_t* CVerticalLayoutUI::GetTypeName() const { return L"VerticalLayout"; }

void* CVerticalLayoutUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"VerticalLayout") == 0) return static_cast<CControlUI*>(this);
    return CLinearLayoutUI::CastTo(name);
}

}  // namespace Veneer
