#pragma once
// CTabLayoutUI shows exactly one of its children, the selected page; the others
// are hidden. The first visible child added becomes the selection.
//
// Thread contract: UI thread only.

#include "ui/control/Container.h"

namespace Veneer {

class CTabLayoutUI : public CContainerUI {
public:
    CTabLayoutUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    void Place(RECT rect, bool invalidate = true) override;

    bool Add(CControlUI* child) override;
    bool AddAt(CControlUI* child, int index) override;
    bool Remove(CControlUI* child, bool keep = false) override;
    void RemoveAll() override;

    int GetSelectedIndex() const { return selected_; }
    // Shows page index and hides the others; "tabselect" (wParam new, lParam old)
    // when notify is set and the selection changed.
    bool SelectPage(int index, bool notify = true);

private:
    int selected_ = -1;
};

}  // namespace Veneer
