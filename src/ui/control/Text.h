#pragma once
// CTextUI: a label for running text (multi-line, top-left) whose formatted links
// can be hovered and clicked; a release over link i reports "link" with wParam i.
//
// Thread contract: UI thread only.

#include "ui/control/Label.h"

namespace Veneer {

class CTextUI : public CLabelUI {
public:
    static constexpr int kMaxLinks = 8;

    CTextUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    UINT GetInputFlags() override;
    void HandleEvent(UiEvent& event) override;
    void PaintCaption(HDC dc) override;

    int GetLinkCount() const { return linkCount_; }
    const RECT& GetLinkRect(int index) const { return linkRects_[index]; }
    const CUiString& GetLinkText(int index) const { return linkTexts_[index]; }
    int GetHoveredLink() const { return hoveredLink_; }

private:
    // The link under the point, or -1.
    int LinkAt(POINT point) const;

    int linkCount_ = 0;
    RECT linkRects_[kMaxLinks] = {};
    CUiString linkTexts_[kMaxLinks];
    int hoveredLink_ = -1;
};

}  // namespace Veneer
