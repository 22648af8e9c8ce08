#pragma once
// CHorizontalLayoutUI places its children left to right: fixed widths are kept, children
// without a width share what is left, and the last of them takes the remainder.
//
// Thread contract: UI thread only.

#include "ui/control/LinearLayout.h"

namespace Veneer {

class CHorizontalLayoutUI : public CLinearLayoutUI {
public:
    CHorizontalLayoutUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
};

}  // namespace Veneer
