#pragma once
// CContainerUI: a control that owns an ordered list of children, lays them out
// inside its inset, paints them clipped to itself and passes visibility and
// manager attachment down to them. IContainerUI is the child-list face that the
// skin builder works through.
//
// Thread contract: UI thread only.

#include "ui/control/Control.h"

namespace Veneer {

class CScrollBarUI;

class IContainerUI {
public:
    virtual CControlUI* GetItemAt(int index) const = 0;
    virtual int GetItemIndex(CControlUI* child) const = 0;
    virtual bool SetItemIndex(CControlUI* child, int index) = 0;
    virtual bool MoveItemRun(CControlUI* child, int count, int index) = 0;
    virtual int GetCount() const = 0;
    virtual bool Add(CControlUI* child) = 0;
    virtual bool AddAt(CControlUI* child, int index) = 0;
    virtual bool Remove(CControlUI* child, bool keep = false) = 0;
    virtual bool RemoveAt(int index, bool keep = false) = 0;
    virtual void RemoveAll() = 0;

protected:
    ~IContainerUI() = default;
};

class CContainerUI : public CControlUI, public IContainerUI {
public:
    CContainerUI();
    ~CContainerUI() override;

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    void AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init = true) override;
    RECT GetClientRect() const override;
    void Place(RECT rect, bool invalidate = true) override;
    void Offset(int dx, int dy, bool invalidate = true) override;
    void SetVisible(bool visible = true) override;
    void SetInheritedVisible(bool visible = true) override;
    void SetMouseEnabled(bool enabled = true) override;
    CControlUI* FindInTree(FindControlProc visitor, void* data, UINT flags) override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    bool PaintSelf(HDC dc, const RECT& paintRect, CControlUI* stop) override;

    // IContainerUI
    CControlUI* GetItemAt(int index) const override;
    int GetItemIndex(CControlUI* child) const override;
    bool SetItemIndex(CControlUI* child, int index) override;
    bool MoveItemRun(CControlUI* child, int count, int index) override;
    int GetCount() const override;
    bool Add(CControlUI* child) override;
    bool AddAt(CControlUI* child, int index) override;
    bool Remove(CControlUI* child, bool keep = false) override;
    bool RemoveAt(int index, bool keep = false) override;
    void RemoveAll() override;

    // ---- appended virtual operations, in slot order ---------------------------
    virtual RECT GetInset() const;
    virtual void SetInset(RECT inset);
    virtual int GetChildPadding() const;
    virtual void SetChildPadding(int padding);
    virtual UINT GetChildAlign() const;
    virtual void SetChildAlign(UINT align);
    virtual UINT GetChildVAlign() const;
    virtual void SetChildVAlign(UINT align);
    virtual bool OwnsChildren() const;
    virtual void SetOwnsChildren(bool owns);
    virtual bool DefersChildDeletion() const;
    virtual void SetDefersChildDeletion(bool defers);
    virtual bool IsMouseChildEnabled() const;
    virtual void SetMouseChildEnabled(bool enabled = true);
    virtual int FindSelectableItem(int start, bool forward = true) const;
    // (horizontal, vertical)
    virtual SIZE GetScrollOffset() const;
    virtual SIZE GetScrollExtent() const;
    virtual void SetScrollOffset(SIZE offset);
    virtual void ScrollLineUp();
    virtual void ScrollLineDown();
    virtual void ScrollPageUp();
    virtual void ScrollPageDown();
    virtual void ScrollHome();
    virtual void ScrollEnd();
    virtual void ScrollLineLeft();
    virtual void ScrollLineRight();
    virtual void ScrollPageLeft();
    virtual void ScrollPageRight();
    virtual void ScrollHomeLeft();
    virtual void ScrollEndRight();
    virtual void EnableScrollBars(bool vertical = true, bool horizontal = false);
    virtual CScrollBarUI* GetVerticalScrollBar() const;
    virtual CScrollBarUI* GetHorizontalScrollBar() const;
    virtual void PlaceFloatChild(int index);
    virtual void UpdateScrollBars(const RECT& inner, int neededWidth, int neededHeight);

protected:
    // The item rectangle shrunk by the inset and by the visible scroll bars.
    RECT InnerRect() const;
    bool IsVerticalBarVisible() const;
    bool IsHorizontalBarVisible() const;
    // The child at index when the layout's flow places it: hidden children are left
    // alone and floating ones are placed here by their own rules (null for both).
    CControlUI* FlowChild(int index);
    // Attaches a new child to this container and to its manager, if any.
    void BindChild(CControlUI* child);
    // Hands a removed child to the deferred cleanup or destroys it, as ownership says.
    void ReleaseChild(CControlUI* child);
    int LineStepVertical() const;
    int LineStepHorizontal() const;

    CPtrArray items_;  // owned children, in paint and layout order
    RECT inset_ = {0, 0, 0, 0};
    int childPadding_ = 0;
    UINT childAlign_ = DT_LEFT;
    UINT childVAlign_ = DT_TOP;
    bool ownsChildren_ = true;
    bool defersChildDeletion_ = true;
    bool mouseChildEnabled_ = true;
    bool scrollProcessing_ = false;
    CScrollBarUI* verticalBar_ = nullptr;    // owned
    CScrollBarUI* horizontalBar_ = nullptr;  // owned

private:
    bool updatingScrollBars_ = false;
};

// Clamps a size to a child's limits: raised to the minimum, then lowered to the maximum.
int ClampWidth(const CControlUI* child, int width);
int ClampHeight(const CControlUI* child, int height);

}  // namespace Veneer
