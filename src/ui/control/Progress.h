#pragma once
// CProgressUI: a label that shows a value between a minimum and a maximum as a
// bar. The background forms the track; the fore image covers the part of the
// control that corresponds to the value, from the left edge or from the bottom.
//
// Thread contract: UI thread only; workers report progress to the frame window,
// which calls SetValue.

#include "ui/control/Label.h"

namespace Veneer {

class CProgressUI : public CLabelUI {
public:
    CProgressUI();
    ~CProgressUI() override;

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    void PaintStateImage(HDC dc) override;

    bool IsHorizontal() const { return horizontal_; }
    void SetHorizontal(bool horizontal = true) { SetAndRepaintIfChanged(horizontal_, horizontal); }
    int GetMinValue() const { return minimum_; }
    // The value is not re-clamped until the next paint.
    void SetMinValue(int minimum) { SetAndRepaint(minimum_, minimum); }
    int GetMaxValue() const { return maximum_; }
    void SetMaxValue(int maximum) { SetAndRepaint(maximum_, maximum); }
    int GetValue() const { return value_; }
    // Clamped into the range.
    void SetValue(int value);
    void SetForeImage(const wchar_t* image);
    const DrawInfo& ForeImage() const { return progressImage_; }

    // The part the bar covers, relative to the control's top-left corner; repairs a
    // range whose maximum is not above its minimum and clamps the value first.
    RECT BarRect();

private:
    bool horizontal_ = true;
    int maximum_ = 100;
    int minimum_ = 0;
    int value_ = 0;
    DrawInfo progressImage_;
};

}  // namespace Veneer
