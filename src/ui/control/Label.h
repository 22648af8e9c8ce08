#pragma once
// CLabelUI shows one text in a font, colour, alignment and padding, plain or with
// the draw engine's brace-tag formatting, and reports how much room the text
// needs (cached until something that affects it changes). An optional effect
// painter draws the text through GDI+ with shadow, stroke and gradient.
//
// Thread contract: UI thread only.

#include "ui/control/Control.h"

namespace Veneer {

// Keeps the GDI+ library started for as long as the owner lives.
class CGdiplusSession {
public:
    CGdiplusSession();
    ~CGdiplusSession();
    CGdiplusSession(const CGdiplusSession&) = delete;
    CGdiplusSession& operator=(const CGdiplusSession&) = delete;
    bool IsStarted() const { return token_ != 0; }

private:
    ULONG_PTR token_ = 0;
};

class CLabelUI : public CControlUI {
public:
    CLabelUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    void SetText(const wchar_t* text) override;
    void SetFixedWidth(int width) override;
    void SetFixedHeight(int height) override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    SIZE MeasureSize(SIZE available) override;
    void PaintCaption(HDC dc) override;

    DWORD GetTextColor() const { return textColor_; }
    void SetTextColor(DWORD color) { SetAndRepaint(textColor_, color); }
    DWORD GetDisabledTextColor() const { return disabledTextColor_; }
    void SetDisabledTextColor(DWORD color) { SetAndRepaint(disabledTextColor_, color); }
    int GetFont() const { return font_; }
    void SetFont(int font);
    UINT GetTextStyle() const { return textStyle_; }
    void SetTextStyle(UINT style) { SetAndRepaint(textStyle_, style); }
    RECT GetTextPadding() const { return textPadding_; }
    void SetTextPadding(RECT padding);
    bool IsShowHtml() const { return showHtml_; }
    void SetShowHtml(bool showHtml = true);
    bool IsMultiLine() const { return (textStyle_ & DT_SINGLELINE) == 0; }
    void SetMultiLine(bool multiLine = true);

    // Effect painter settings.
    bool IsEffectEnabled() const { return effect_; }
    void SetEffectEnabled(bool enabled) { SetAndRepaint(effect_, enabled); }
    void SetLuminousEnabled(bool enabled) { SetAndRepaint(luminous_, enabled); }
    void SetStrokeEnabled(bool enabled) { SetAndRepaint(stroke_, enabled); }
    void SetShadowEnabled(bool enabled) { SetAndRepaint(shadow_, enabled); }
    float GetLuminousFuzziness() const { return luminousFuzziness_; }
    void SetLuminousFuzziness(float fuzziness) { SetAndRepaint(luminousFuzziness_, fuzziness); }
    void SetGradientLength(int length) { SetAndRepaint(gradientLength_, length); }
    void SetGradientAngle(int angle) { SetAndRepaint(gradientAngle_, angle); }
    void SetSecondTextColor(DWORD color) { SetAndRepaint(secondTextColor_, color); }
    void SetShadowColorA(DWORD color) { SetAndRepaint(shadowColorA_, color); }
    void SetShadowColorB(DWORD color) { SetAndRepaint(shadowColorB_, color); }
    void SetStrokeColor(DWORD color) { SetAndRepaint(strokeColor_, color); }
    // The shadow lies offset pixels away in the direction of angle (degrees, -180 to 180).
    void SetShadowOffset(int offset, int angle);
    POINT GetShadowOffset() const { return shadowOffset_; }

protected:
    // The text-metric height of the control's font (the default font for -1 or a
    // font the manager lacks); 0 without a manager.
    int FontHeight() const;
    // A mouse event while the mouse is switched off goes to the parent (or, at the
    // root, to the label's own handling); true when the event was passed on.
    bool PassOnIgnoredMouse(UiEvent& event);
    // What buttons, options and edits report: the fixed size when a height is set,
    // else the fixed width and the font's height + 8; the text is not measured.
    SIZE FixedOrFontSize() const;
    // Zero text colours take the manager's defaults at the first paint, and keep them.
    void ResolveDefaultColors();
    // The colour the caption is drawn in: the designed one, or in high contrast the
    // system's text, link (hot light) or unavailable colour.
    DWORD CaptionColor(DWORD designed);
    RECT TextRect() const;
    // Plain or formatted text, as "showhtml" says, with the font and style; with
    // DT_CALCRECT rect receives the extent instead.
    void PaintText(HDC dc, RECT& rect, DWORD color, UINT style);
    void PaintEffectText(HDC dc);

    DWORD textColor_ = 0;
    DWORD disabledTextColor_ = 0;
    int font_ = -1;
    UINT textStyle_ = DT_VCENTER | DT_SINGLELINE;
    RECT textPadding_ = {0, 0, 0, 0};
    bool showHtml_ = false;
    SIZE lastAvailable_ = {0, 0};
    SIZE measured_ = {0, 0};
    bool needsMeasure_ = true;
    float luminousFuzziness_ = 3.0f;
    int gradientLength_ = 0;
    int gradientAngle_ = 0;
    bool effect_ = false;
    bool luminous_ = false;
    bool stroke_ = false;
    bool shadow_ = false;
    DWORD secondTextColor_ = 0xFFFFFFFF;
    DWORD shadowColorA_ = 0xFF000000;
    DWORD shadowColorB_ = 0xFFFFFFFF;
    DWORD strokeColor_ = 0;
    POINT shadowOffset_ = {0, 0};
    CGdiplusSession gdiplus_;  // the effect painter draws with GDI+
};

}  // namespace Veneer
