#include "ui/control/Label.h"

#include <objidl.h>  // gdiplus.h needs PROPID, which the lean Windows headers leave out
#include <gdiplus.h>

#include <cmath>
#include <memory>
#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/control/ControlAccessibility.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

CGdiplusSession::CGdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

CGdiplusSession::~CGdiplusSession() {
    if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

CLabelUI::CLabelUI() = default;

const wchar_t* CLabelUI::GetTypeName() const { return L"Label"; }

void* CLabelUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"Label") == 0) return static_cast<CControlUI*>(this);
    return CControlUI::CastTo(name);
}

void CLabelUI::SetText(const wchar_t* text) {
    CControlUI::SetText(text);
    needsMeasure_ = true;
}

void CLabelUI::SetFixedWidth(int width) {
    needsMeasure_ = true;
    CControlUI::SetFixedWidth(width);
}

void CLabelUI::SetFixedHeight(int height) {
    needsMeasure_ = true;
    CControlUI::SetFixedHeight(height);
}

void CLabelUI::HandleEvent(UiEvent& event) {
    if (event.kind == kEventSetFocus) {
        focused_ = true;
        return;
    }
    if (event.kind == kEventKillFocus) {
        focused_ = false;
        return;
    }
    CControlUI::HandleEvent(event);
}

bool CLabelUI::PassOnIgnoredMouse(UiEvent& event) {
    if (IsMouseEnabled() || !IsMouseEventKind(event.kind)) return false;
    if (parent_ != nullptr) {
        parent_->HandleEvent(event);
    } else {
        CLabelUI::HandleEvent(event);
    }
    return true;
}

void CLabelUI::SetFont(int font) {
    font_ = font;
    needsMeasure_ = true;
    Invalidate();
}

void CLabelUI::SetTextPadding(RECT padding) {
    textPadding_ = padding;
    needsMeasure_ = true;
    Invalidate();
}

void CLabelUI::SetShowHtml(bool showHtml) {
    if (showHtml_ == showHtml) return;
    showHtml_ = showHtml;
    needsMeasure_ = true;
    Invalidate();
}

void CLabelUI::SetMultiLine(bool multiLine) {
    if (multiLine) {
        textStyle_ = (textStyle_ & ~DT_SINGLELINE) | DT_WORDBREAK;
    } else {
        textStyle_ |= DT_SINGLELINE;
    }
    needsMeasure_ = true;
}

void CLabelUI::SetShadowOffset(int offset, int angle) {
    if (angle < -180 || angle > 180) return;
    double radians = angle * 3.14159265358979323846 / 180.0;
    shadowOffset_ = {static_cast<LONG>(std::lround(offset * std::cos(radians))),
                     static_cast<LONG>(std::lround(offset * std::sin(radians)))};
    Invalidate();
}

void CLabelUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"align") == 0) {
        // Substring search, in this order: the last word found wins.
        if (wcsstr(value, L"left") != nullptr) textStyle_ &= ~(DT_CENTER | DT_RIGHT);
        if (wcsstr(value, L"center") != nullptr) textStyle_ = (textStyle_ & ~DT_RIGHT) | DT_CENTER;
        if (wcsstr(value, L"right") != nullptr) textStyle_ = (textStyle_ & ~DT_CENTER) | DT_RIGHT;
        Invalidate();
    } else if (wcscmp(name, L"valign") == 0) {
        if (wcsstr(value, L"top") != nullptr) textStyle_ &= ~(DT_VCENTER | DT_BOTTOM);
        if (wcsstr(value, L"vcenter") != nullptr) textStyle_ = (textStyle_ & ~DT_BOTTOM) | DT_VCENTER;
        if (wcsstr(value, L"bottom") != nullptr) textStyle_ = (textStyle_ & ~DT_VCENTER) | DT_BOTTOM;
        Invalidate();
    } else if (wcscmp(name, L"endellipsis") == 0) {
        SetTextStyle(IsTrueValue(value) ? (textStyle_ | DT_END_ELLIPSIS) : (textStyle_ & ~DT_END_ELLIPSIS));
    } else if (wcscmp(name, L"rtlreading") == 0) {
        SetTextStyle(IsTrueValue(value) ? (textStyle_ | DT_RTLREADING) : (textStyle_ & ~DT_RTLREADING));
    } else if (wcscmp(name, L"font") == 0) {
        SetFont(ReadInteger(value));
    } else if (wcscmp(name, L"textcolor") == 0) {
        SetTextColor(ReadColor(value));
    } else if (wcscmp(name, L"disabledtextcolor") == 0) {
        SetDisabledTextColor(ReadColor(value));
    } else if (wcscmp(name, L"textpadding") == 0) {
        SetTextPadding(ReadRect(value));
    } else if (wcscmp(name, L"multiline") == 0) {
        SetMultiLine(IsTrueValue(value));
    } else if (wcscmp(name, L"showhtml") == 0) {
        SetShowHtml(IsTrueValue(value));
    } else if (wcscmp(name, L"enabledeffect") == 0) {
        SetEffectEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"enabledluminous") == 0) {
        SetLuminousEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"enabledstroke") == 0) {
        SetStrokeEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"enabledshadow") == 0) {
        SetShadowEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"luminousfuzzy") == 0) {
        double fuzziness = ReadDouble(value);
        if (fuzziness >= 0.0001) SetLuminousFuzziness(static_cast<float>(fuzziness));
    } else if (wcscmp(name, L"gradientangle") == 0) {
        SetGradientAngle(ReadInteger(value));
    } else if (wcscmp(name, L"gradientlength") == 0) {
        SetGradientLength(ReadInteger(value));
    } else if (wcscmp(name, L"shadowoffset") == 0) {
        SIZE pair = ReadSize(value);
        SetShadowOffset(pair.cx, pair.cy);
    } else if (wcscmp(name, L"textcolor1") == 0) {
        SetSecondTextColor(ReadColor(value));
    } else if (wcscmp(name, L"textshadowcolora") == 0) {
        SetShadowColorA(ReadColor(value));
    } else if (wcscmp(name, L"textshadowcolorb") == 0) {
        SetShadowColorB(ReadColor(value));
    } else if (wcscmp(name, L"strokecolor") == 0) {
        SetStrokeColor(ReadColor(value));
    } else {
        CControlUI::ApplyAttribute(name, value);
    }
}

int CLabelUI::FontHeight() const {
    if (manager_ == nullptr) return 0;
    const FontRecord* font = manager_->FontRecordById(font_);
    if (font == nullptr) font = manager_->StandardFontRecord();
    return font != nullptr ? font->metrics.tmHeight : 0;
}

SIZE CLabelUI::FixedOrFontSize() const {
    if (fixedSize_.cy != 0) return fixedSize_;
    return SIZE{fixedSize_.cx, FontHeight() + DeviceLength(8)};
}

void CLabelUI::PaintText(HDC dc, RECT& rect, DWORD color, UINT style) {
    if (showHtml_) {
        int links = 0;
        CDrawEngine::PaintMarkupText(dc, manager_, rect, text_, color, nullptr, nullptr, links, font_, style);
    } else {
        CDrawEngine::PaintPlainText(dc, manager_, rect, text_, color, font_, style);
    }
}

SIZE CLabelUI::MeasureSize(SIZE available) {
    if (fixedSize_.cx > 0 && fixedSize_.cy > 0) return fixedSize_;
    bool multiLine = IsMultiLine();
    if (multiLine && (available.cx != lastAvailable_.cx || available.cy != lastAvailable_.cy)) needsMeasure_ = true;
    if (!needsMeasure_) return measured_;
    needsMeasure_ = false;
    lastAvailable_ = available;
    measured_ = fixedSize_;
    HDC dc = manager_ != nullptr ? manager_->PaintDC() : nullptr;
    const RECT& pad = textPadding_;
    if (!multiLine) {
        if (measured_.cy == 0) measured_.cy = FontHeight() + DeviceLength(8) + pad.top + pad.bottom;
        if (measured_.cx == 0) {
            RECT rect = {0, 0, 9999, measured_.cy};
            if (dc != nullptr) {
                PaintText(dc, rect, 0, (textStyle_ | DT_CALCRECT) & ~(DT_CENTER | DT_RIGHT));
            } else {
                rect.right = 0;
            }
            measured_.cx = rect.right - rect.left + pad.left + pad.right;
        }
    } else {
        if (measured_.cx == 0) measured_.cx = available.cx;
        RECT rect = {pad.left, 0, measured_.cx - pad.right, 9999};
        if (dc != nullptr) {
            PaintText(dc, rect, 0, textStyle_ | DT_CALCRECT);
        } else {
            rect.bottom = 0;
        }
        measured_.cy = rect.bottom - rect.top + pad.top + pad.bottom;
    }
    return measured_;
}

void CLabelUI::ResolveDefaultColors() {
    if (manager_ == nullptr) return;
    if (textColor_ == 0) textColor_ = manager_->DefaultFontColor();
    if (disabledTextColor_ == 0) disabledTextColor_ = manager_->DefaultDisabledColor();
}

RECT CLabelUI::TextRect() const {
    return RECT{itemRect_.left + textPadding_.left, itemRect_.top + textPadding_.top,
                itemRect_.right - textPadding_.right, itemRect_.bottom - textPadding_.bottom};
}

void CLabelUI::PaintCaption(HDC dc) {
    ResolveDefaultColors();
    if (effect_) {
        PaintEffectText(dc);
        return;
    }
    if (text_.IsEmpty()) return;
    RECT rect = TextRect();
    PaintText(dc, rect, CaptionColor(IsEnabled() ? textColor_ : disabledTextColor_), textStyle_);
}

DWORD CLabelUI::CaptionColor(DWORD designed) {
    const HighContrastPalette* palette = HighContrast();
    if (palette == nullptr) return designed;
    if (!IsEnabled()) return palette->grayText;
    return IsLink(this) ? palette->hotLight : palette->windowText;
}

namespace {
Gdiplus::Color ToGdiplus(DWORD argb) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb)); }
}  // namespace

void CLabelUI::PaintEffectText(HDC dc) {
    if (text_.IsEmpty() || !gdiplus_.IsStarted() || manager_ == nullptr) return;
    HFONT fontHandle = manager_->FontById(font_);
    if (fontHandle == nullptr) fontHandle = manager_->StandardFont();
    Gdiplus::Graphics graphics(dc);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    LOGFONTW logFont = {};
    GetObjectW(fontHandle, sizeof logFont, &logFont);
    std::unique_ptr<Gdiplus::Font> font = std::make_unique<Gdiplus::Font>(dc, &logFont);
    // GDI+ finds only faces that are installed under their own name (Wine's dialog
    // font and its substitutes are not): such text is drawn plainly instead.
    if (font->GetLastStatus() != Gdiplus::Ok || graphics.GetLastStatus() != Gdiplus::Ok) {
        RECT rect = TextRect();
        PaintText(dc, rect, IsEnabled() ? textColor_ : disabledTextColor_, textStyle_);
        return;
    }
    Gdiplus::StringFormat format;
    format.SetAlignment((textStyle_ & DT_CENTER) != 0  ? Gdiplus::StringAlignmentCenter
                        : (textStyle_ & DT_RIGHT) != 0 ? Gdiplus::StringAlignmentFar
                                                       : Gdiplus::StringAlignmentNear);
    format.SetLineAlignment((textStyle_ & DT_VCENTER) != 0  ? Gdiplus::StringAlignmentCenter
                            : (textStyle_ & DT_BOTTOM) != 0 ? Gdiplus::StringAlignmentFar
                                                            : Gdiplus::StringAlignmentNear);
    if ((textStyle_ & DT_SINGLELINE) != 0) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    RECT text = TextRect();
    Gdiplus::RectF area(static_cast<Gdiplus::REAL>(text.left), static_cast<Gdiplus::REAL>(text.top),
                        static_cast<Gdiplus::REAL>(text.right - text.left),
                        static_cast<Gdiplus::REAL>(text.bottom - text.top));
    auto drawAt = [&](float dx, float dy, const Gdiplus::Brush& brush) {
        Gdiplus::RectF moved = area;
        moved.Offset(dx, dy);
        graphics.DrawString(text_, text_.GetLength(), font.get(), moved, &format, &brush);
    };
    if (shadow_) {
        Gdiplus::SolidBrush shadowBrush(ToGdiplus(shadowColorA_));
        drawAt(static_cast<float>(shadowOffset_.x), static_cast<float>(shadowOffset_.y), shadowBrush);
    }
    if (luminous_) {
        // A soft halo: the text repeated around itself in the glow colour.
        Gdiplus::SolidBrush glow(ToGdiplus((shadowColorB_ & 0x00FFFFFF) | 0x40000000));
        float reach = luminousFuzziness_;
        for (float dx = -reach; dx <= reach; dx += reach) {
            for (float dy = -reach; dy <= reach; dy += reach) drawAt(dx, dy, glow);
        }
    }
    if (stroke_) {
        Gdiplus::SolidBrush strokeBrush(ToGdiplus(strokeColor_));
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy) {
                if (dx != 0 || dy != 0) drawAt(static_cast<float>(dx), static_cast<float>(dy), strokeBrush);
            }
        }
    }
    DWORD color = IsEnabled() ? textColor_ : disabledTextColor_;
    if (gradientLength_ > 0) {
        Gdiplus::RectF band(area.X, area.Y, static_cast<Gdiplus::REAL>(gradientLength_),
                            static_cast<Gdiplus::REAL>(gradientLength_));
        Gdiplus::LinearGradientBrush brush(band, ToGdiplus(color), ToGdiplus(secondTextColor_),
                                           static_cast<Gdiplus::REAL>(gradientAngle_));
        drawAt(0, 0, brush);
    } else {
        Gdiplus::SolidBrush brush(ToGdiplus(color));
        drawAt(0, 0, brush);
    }
}

}  // namespace Veneer
