#pragma once
// CVerticalLayoutUI stacks its children top to bottom: fixed heights are kept, children that
// report no height share what is left, and the last of them takes the remainder.
//
// Thread contract: UI thread only.

#include "ui/control/LinearLayout.h"

namespace Veneer {

class CVerticalLayoutUI : public CLinearLayoutUI {
public:
    CVerticalLayoutUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
};

}  // namespace Veneer
